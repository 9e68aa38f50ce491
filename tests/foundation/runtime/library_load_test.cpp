// The libraries loaded by a host with the counting allocator: what they bind
// at start-up, threads that call in, errors that reach the host window, and
// that everything taken from the host allocator is given back.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <string.h>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include "counting_allocator.h"
#include "editor_window.h"
#include "handles.h"
#include "host_exports.h"
#include "jx/errors.h"
#include "loaded_library.h"

namespace {

struct Probe {
    UINT(__cdecl* codePage)();
    HWND(__cdecl* hostWindow)();
    int(__cdecl* threadStateCount)();
    void(__cdecl* holdThreadList)(HANDLE, HANDLE);
    int(__cdecl* attachThread)();
    BYTE(__cdecl* toLower)(BYTE);
    void(__cdecl* reportError)(const char*);
    const char*(__cdecl* literalText)();
    void(__cdecl* raise)(int, const char*);
    void(__cdecl* setRetryPause)(DWORD);
    int(__cdecl* buildText)(int);
    void(__cdecl* requestAbort)(int);
    int(__cdecl* abortableWait)(DWORD);
    int(__cdecl* hostExceptionModel)();
    void(__cdecl* holdAndCall)(void(__cdecl*)(void*), void*);
};

template <class F>
void Bind(HMODULE module, const char* name, F& target) {
    target = reinterpret_cast<F>(GetProcAddress(module, name));
    ASSERT_NE(target, nullptr) << name;
}

// The probe library loaded under the host's current table.
class ProbeLibrary {
public:
    ProbeLibrary() : library_(L"jxprobe.dll") {
        HMODULE m = library_.Handle();
        if (!m) return;
        Bind(m, "probe_code_page", probe.codePage);
        Bind(m, "probe_host_window", probe.hostWindow);
        Bind(m, "probe_thread_state_count", probe.threadStateCount);
        Bind(m, "probe_hold_thread_list", probe.holdThreadList);
        Bind(m, "probe_attach_thread", probe.attachThread);
        Bind(m, "probe_to_lower", probe.toLower);
        Bind(m, "probe_report_error", probe.reportError);
        Bind(m, "probe_literal_text", probe.literalText);
        Bind(m, "probe_raise", probe.raise);
        Bind(m, "probe_set_retry_pause", probe.setRetryPause);
        Bind(m, "probe_build_text", probe.buildText);
        Bind(m, "probe_request_abort", probe.requestAbort);
        Bind(m, "probe_abortable_wait", probe.abortableWait);
        Bind(m, "probe_host_exception_model", probe.hostExceptionModel);
        Bind(m, "probe_hold_and_call", probe.holdAndCall);
    }
    bool Loaded() const { return library_.Loaded(); }
    jxhost::AllocDelta Unload() { return library_.Unload(); }
    HMODULE Handle() const { return library_.Handle(); }

    Probe probe{};

private:
    jxhost::LoadedLibrary library_;
};

// Every test starts and ends with the host's default table and no faults.
class LibraryLoad : public ::testing::Test {
protected:
    void SetUp() override { ResetHost(); }
    void TearDown() override { ResetHost(); }
    static void ResetHost() {
        jxhost::Allocator().ResetFaults();
        jxhost::Allocator().SetMSizeMissing(false);
        jxhost::Allocator().SetCodePage(JX_DEFAULT_CODE_PAGE);
        jxhost::Allocator().SetHostWindow(nullptr);
    }
};

TEST_F(LibraryLoad, DeliverablesGiveBackEveryBlock) {
    for (const wchar_t* name : {L"jxgrid.dll", L"jxplus.dll", L"jxprobe.dll"}) {
        jxhost::LoadedLibrary library(name);
        ASSERT_TRUE(library.Loaded()) << "load error " << library.LoadError();
        EXPECT_GT(library.Held().blocks, 0) << "start-up takes its strings from the host";
        const jxhost::AllocDelta left = library.Unload();
        EXPECT_EQ(left.blocks, 0);
        EXPECT_EQ(left.bytes, 0);
    }
}

// The names in a loaded module's export directory.
std::vector<std::string> ExportedNames(HMODULE module) {
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::vector<std::string> names;
    if (!directory.Size) return names;
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    auto nameOffsets = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names.emplace_back(reinterpret_cast<const char*>(base + nameOffsets[i]));
    return names;
}

TEST_F(LibraryLoad, DeliverablesExportExactlyTheirDocumentedNames) {
    struct Case {
        const wchar_t* library;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {L"jxgrid.dll", {"ShowDropdown", "ShowDropdownList", "ShowDropdownListSimple", "ShowDropdownMenuItemFlags"}},
        {L"jxplus.dll", {"jxplus_str_stem", "jxplus_str_wrap"}},
    };
    for (const Case& c : cases) {
        jxhost::LoadedLibrary library(c.library);
        ASSERT_TRUE(library.Loaded());
        EXPECT_EQ(ExportedNames(library.Handle()), c.names) << "nothing of the foundation leaks out";
    }
}

TEST_F(LibraryLoad, ErrorBlocksCarryTheTableCodePage) {
    struct Case {
        UINT codePage;
        ULONG_PTR dwData;
    };
    for (const Case& c : {Case{65001, 0xFDE90003}, Case{1252, 0x04E40003}, Case{0, 0x00000003}}) {
        SCOPED_TRACE(c.codePage);
        jxhost::EditorWindow window;
        jxhost::Allocator().SetCodePage(c.codePage);
        jxhost::Allocator().SetHostWindow(window.Handle());
        ProbeLibrary library;
        ASSERT_TRUE(library.Loaded());
        EXPECT_EQ(library.probe.codePage(), c.codePage);
        library.probe.reportError("first");
        library.probe.reportError("second");
        const auto blocks = window.ReceivedBlocks();
        ASSERT_EQ(blocks.size(), 2u);
        for (size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_EQ(blocks[i].dwData, c.dwData);
            ASSERT_EQ(blocks[i].messages.size(), 1u);
            EXPECT_EQ(blocks[i].messages[0], i == 0 ? "first" : "second");
        }
        EXPECT_EQ(library.Unload().blocks, 0);
    }
}

TEST_F(LibraryLoad, ATableWithAFunctionMissingIsRefusedWhole) {
    jxhost::Allocator().SetCodePage(1252);
    jxhost::Allocator().SetMSizeMissing(true);
    const size_t liveBefore = jxhost::Allocator().Stats().liveBlocks;
    ProbeLibrary library;
    ASSERT_TRUE(library.Loaded());
    EXPECT_EQ(library.probe.codePage(), UINT(JX_DEFAULT_CODE_PAGE)) << "the library's own defaults, not the table's";
    EXPECT_EQ(library.probe.buildText(300), 300) << "the library's own heap serves";
    EXPECT_EQ(jxhost::Allocator().Stats().liveBlocks, liveBefore);
    library.Unload();
}

TEST_F(LibraryLoad, CaseTablesFollowTheCodePage) {
    constexpr BYTE kUpperAUmlautAnsi = 0xC4;
    {
        ProbeLibrary utf8;
        ASSERT_TRUE(utf8.Loaded());
        EXPECT_EQ(utf8.probe.toLower('A'), 'a');
        EXPECT_EQ(utf8.probe.toLower(kUpperAUmlautAnsi), kUpperAUmlautAnsi) << "UTF-8 bytes are never mapped";
    }
    jxhost::Allocator().SetCodePage(0);
    ProbeLibrary ansi;
    ASSERT_TRUE(ansi.Loaded());
    EXPECT_EQ(ansi.probe.toLower('A'), 'a');
    if (GetACP() == 1252) {
        EXPECT_EQ(ansi.probe.toLower(kUpperAUmlautAnsi), 0xE4);
    }
}

TEST_F(LibraryLoad, HostWindowFoundByClassNameWhenTheTableHasNone) {
    jxhost::EditorWindow window;
    ASSERT_NE(window.Handle(), nullptr);
    ProbeLibrary library;
    ASSERT_TRUE(library.Loaded());
    EXPECT_EQ(library.probe.hostWindow(), window.Handle());
}

TEST_F(LibraryLoad, ThreadsThatCallInGetStateAndOleUntilTheyEnd) {
    ProbeLibrary library;
    ASSERT_TRUE(library.Loaded());
    const int before = library.probe.threadStateCount();

    int status = 0;
    HRESULT multithreaded = S_OK;
    int during = 0;
    std::thread caller([&] {
        status = library.probe.attachThread();
        during = library.probe.threadStateCount();
        // OLE made this thread single-threaded; a second kind is refused.
        multithreaded = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(multithreaded)) CoUninitialize();
    });
    caller.join();
    EXPECT_EQ(status & 1, 1) << "attached";
    EXPECT_EQ(multithreaded, RPC_E_CHANGED_MODE);
    EXPECT_EQ(during, before + 1);
    EXPECT_EQ(library.probe.threadStateCount(), before) << "thread exit ends its state";

    HRESULT untouched = E_FAIL;
    std::thread bystander([&] {
        untouched = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (SUCCEEDED(untouched)) CoUninitialize();
    });
    bystander.join();
    EXPECT_EQ(untouched, S_OK) << "a thread that never calls in gets no OLE";
    EXPECT_EQ(library.probe.threadStateCount(), before);
    EXPECT_EQ(library.Unload().blocks, 0);
}

using jxhost::UniqueKernelHandle;

UniqueKernelHandle ManualEvent() { return UniqueKernelHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr)); }

// Holds the probe's thread-list lock on a thread of its own while it lives.
class ThreadListHolder {
public:
    explicit ThreadListHolder(const Probe& probe) : held_(ManualEvent()), release_(ManualEvent()) {
        thread_ = std::thread([&probe, this] { probe.holdThreadList(held_.get(), release_.get()); });
        WaitForSingleObject(held_.get(), INFINITE);
    }
    ~ThreadListHolder() {
        SetEvent(release_.get());
        thread_.join();
    }
    ThreadListHolder(const ThreadListHolder&) = delete;
    ThreadListHolder& operator=(const ThreadListHolder&) = delete;

private:
    UniqueKernelHandle held_, release_;
    std::thread thread_;
};

void CALLBACK MarkAlertableWait(ULONG_PTR flag) { reinterpret_cast<std::atomic<bool>*>(flag)->store(true); }

// A thread that makes its first call into the probe, checks how often OLE was
// initialised for it, and ends when `mayExit` is set.
class FirstCaller {
public:
    FirstCaller(const Probe& probe, HANDLE mayExit) : probe_(probe), mayExit_(mayExit), attached_(ManualEvent()) {
        thread_.reset(CreateThread(nullptr, 0, Run, this, 0, nullptr));
    }
    // Returns once the thread sits in an alertable wait, which on its way into
    // the library is only the wait for the thread list's lock.
    void AwaitAlertableWait() {
        while (!started_) Sleep(1);
        reachedWait_ = false;
        QueueUserAPC(MarkAlertableWait, thread_.get(), reinterpret_cast<ULONG_PTR>(&reachedWait_));
        while (!reachedWait_) Sleep(1);
    }
    void AwaitAttached() const { WaitForSingleObject(attached_.get(), INFINITE); }
    void Join() const { WaitForSingleObject(thread_.get(), INFINITE); }
    HANDLE Handle() const { return thread_.get(); }

    int status = -1;
    bool oneOleInitialisation = false;

private:
    static DWORD WINAPI Run(void* context) {
        auto self = static_cast<FirstCaller*>(context);
        self->started_ = true;
        self->status = self->probe_.attachThread();
        // Giving back one initialisation leaves no apartment only when the
        // library made exactly one; the library's own is then restored.
        CoUninitialize();
        const HRESULT fresh = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        self->oneOleInitialisation = fresh == S_OK;
        if (SUCCEEDED(fresh)) CoUninitialize();
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        SetEvent(self->attached_.get());
        WaitForSingleObject(self->mayExit_, INFINITE);
        return 0;
    }

    const Probe& probe_;
    HANDLE mayExit_;
    UniqueKernelHandle attached_, thread_;
    std::atomic<bool> started_{false}, reachedWait_{false};
};

TEST_F(LibraryLoad, ThreadsAttachAndEndWhileTheThreadListIsHeld) {
    ProbeLibrary library;
    ASSERT_TRUE(library.Loaded());
    const int before = library.probe.threadStateCount();
    constexpr int kCallers = 3;
    UniqueKernelHandle mayExit = ManualEvent();
    std::vector<std::unique_ptr<FirstCaller>> callers;
    {
        ThreadListHolder holder(library.probe);
        for (int i = 0; i < kCallers; ++i) callers.push_back(std::make_unique<FirstCaller>(library.probe, mayExit.get()));
        for (auto& caller : callers) caller->AwaitAlertableWait();
    }
    for (auto& caller : callers) caller->AwaitAttached();
    EXPECT_EQ(library.probe.threadStateCount(), before + kCallers) << "one state per thread";
    {
        ThreadListHolder holder(library.probe);
        SetEvent(mayExit.get());
        // The system delivers no asynchronous call to an ending thread: it
        // is given a while to reach the list's lock, where it has to stay.
        constexpr DWORD kWhileMs = 200;
        for (auto& caller : callers)
            EXPECT_EQ(WaitForSingleObject(caller->Handle(), kWhileMs), DWORD(WAIT_TIMEOUT))
                << "a thread ends only once its state is off the list";
    }
    for (auto& caller : callers) {
        caller->Join();
        EXPECT_EQ(caller->status & 1, 1) << "attached";
        EXPECT_TRUE(caller->oneOleInitialisation);
    }
    EXPECT_EQ(library.probe.threadStateCount(), before) << "every exit ended its state";
    EXPECT_EQ(library.Unload().blocks, 0);
}

TEST_F(LibraryLoad, TheProcessEndsWhileAStoppedThreadHeldTheThreadList) {
    constexpr UINT kExitCode = 7;
    std::wstring commandLine = L"exit_while_held.exe " + std::to_wstring(kExitCode);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    UniqueKernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
    constexpr DWORD kSafetyMs = 20000;  // then the process waits for a lock that nobody releases
    const bool ended = WaitForSingleObject(process.hProcess, kSafetyMs) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(process.hProcess, 0);
    ASSERT_TRUE(ended) << "the library's teardown waited for the stopped thread's lock";
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, kExitCode);
}

TEST_F(LibraryLoad, RaisedMessagesOutliveTheThrowersBuffer) {
    ProbeLibrary library;
    ASSERT_TRUE(library.Loaded());
    const char* literal = library.probe.literalText();
    try {
        library.probe.raise(7, literal);
        FAIL() << "no exception";
    } catch (const JxException& e) {
        EXPECT_EQ(e.kind, JX_EXCEPTION_LIBRARY);
        EXPECT_EQ(e.code, 7);
        EXPECT_EQ(e.message, literal) << "a literal of the library is passed as is";
    }
    std::string heapText = "a message on the heap";
    try {
        library.probe.raise(8, heapText.c_str());
        FAIL() << "no exception";
    } catch (const JxException& e) {
        EXPECT_NE(e.message, heapText.c_str());
        EXPECT_STREQ(e.message, heapText.c_str());
    }
    EXPECT_EQ(library.Unload().blocks, 0);
}

TEST_F(LibraryLoad, PassingAllocationFailuresAreRetried) {
    ProbeLibrary library;
    ASSERT_TRUE(library.Loaded());
    library.probe.setRetryPause(1);
    jxhost::Allocator().FailNext(3);
    EXPECT_EQ(library.probe.buildText(300), 300);
    EXPECT_GE(jxhost::Allocator().Stats().failedAllocs, 3u);
    EXPECT_EQ(library.Unload().blocks, 0);
}

TEST_F(LibraryLoad, LastingAllocationFailureRaisesAndLeaksNothing) {
    ProbeLibrary library;
    ASSERT_TRUE(library.Loaded());
    library.probe.setRetryPause(0);
    const size_t liveBefore = jxhost::Allocator().Stats().liveBlocks;
    constexpr size_t kCopyBlock = 304;  // the block of a 300-byte copy made from nothing
    jxhost::Allocator().FailSize(kCopyBlock);
    try {
        library.probe.buildText(300);
        FAIL() << "no exception";
    } catch (const JxException& e) {
        EXPECT_EQ(e.code, JX_ERROR_OUT_OF_MEMORY);
        EXPECT_STREQ(e.message, "failed to allocate memory");
    }
    jxhost::Allocator().ResetFaults();
    EXPECT_EQ(jxhost::Allocator().Stats().liveBlocks, liveBefore);
    EXPECT_EQ(library.Unload().blocks, 0);
}

// A GCC-built host (this program) catches the libraries' exceptions as they
// are thrown, also from a library call inside a library callback.
Probe* g_nestedProbe = nullptr;
void __cdecl RaiseFromTheCallback(void*) { g_nestedProbe->raise(11, "nested"); }

TEST_F(LibraryLoad, GnuHostCatchesAbortAndNestedFailures) {
    ProbeLibrary library;
    ASSERT_TRUE(library.Loaded());
    EXPECT_EQ(library.probe.hostExceptionModel(), 1) << "a program linked by GNU ld is a GNU host";
    library.probe.requestAbort(1);
    EXPECT_THROW(library.probe.abortableWait(50), JxExceptionScriptEnd);
    library.probe.requestAbort(0);
    EXPECT_EQ(library.probe.abortableWait(0), 1);

    g_nestedProbe = &library.probe;
    EXPECT_THROW(library.probe.raise(12, "the thread's error text takes its block"), JxException);
    const size_t liveBefore = jxhost::Allocator().Stats().liveBlocks;
    try {
        library.probe.holdAndCall(RaiseFromTheCallback, nullptr);
        FAIL() << "no exception";
    } catch (const JxException& e) {
        EXPECT_EQ(e.code, 11);
    }
    EXPECT_EQ(jxhost::Allocator().Stats().liveBlocks, liveBefore) << "the outer call released what it held";
    EXPECT_EQ(library.Unload().blocks, 0);
}

TEST_F(LibraryLoad, FailedErrorFlushKeepsTheMessageAndReleasesTheQueue) {
    jxhost::EditorThread window;
    jxhost::Allocator().SetHostWindow(window.Handle());
    ProbeLibrary library;
    ASSERT_TRUE(library.Loaded());
    library.probe.setRetryPause(0);
    // The block for one message "abc": header 8, one offset 4, text 4, final NUL 1.
    jxhost::Allocator().FailSize(17);
    EXPECT_THROW(library.probe.reportError("abc"), JxException);
    jxhost::Allocator().ResetFaults();

    // Another thread must get the queue's lock, and nothing queued is lost.
    std::thread other([&] { library.probe.reportError("next"); });
    other.join();
    const auto blocks = window.ReceivedBlocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].messages, (std::vector<std::string>{"abc", "next"}));
    EXPECT_EQ(library.Unload().blocks, 0);
}

}  // namespace

namespace {

// Where a field of a record starts, read off a live record by its address.
template <typename Record, typename Field>
size_t OffsetIn(const Record& record, const Field& field) {
    return static_cast<size_t>(reinterpret_cast<const BYTE*>(&field) - reinterpret_cast<const BYTE*>(&record));
}

// The records that cross the boundary as the running program and a loaded
// library see them: the table the library copied, and an exception it threw.
TEST_F(LibraryLoad, BoundaryRecordsHaveTheirFixedLayouts) {
    constexpr size_t kPointer = sizeof(void*);
    const HostAllocTable& table = *InterfaceForDll();
    EXPECT_EQ(OffsetIn(table, table.codePage), 5 * kPointer);
    EXPECT_EQ(OffsetIn(table, table.hostWindow), kPointer == 4 ? 24u : 48u);
    EXPECT_EQ(sizeof(HostAllocTable), kPointer == 4 ? 28u : 56u);

    ProbeLibrary library;
    ASSERT_TRUE(library.Loaded());
    try {
        library.probe.raise(9, "layout");
        FAIL() << "no exception";
    } catch (const JxException& e) {
        EXPECT_EQ(sizeof e, kPointer == 4 ? 24u : 40u);
        EXPECT_EQ(OffsetIn(e, e.kind), kPointer);
        EXPECT_EQ(OffsetIn(e, e.code), kPointer + 4);
        EXPECT_EQ(OffsetIn(e, e.address), kPointer == 4 ? 20u : 32u);
        int code = 0;
        memcpy(&code, reinterpret_cast<const BYTE*>(&e) + kPointer + 4, sizeof code);
        EXPECT_EQ(code, 9) << "the library wrote the code where the host reads it";
    }
    EXPECT_EQ(library.Unload().blocks, 0);
}

}  // namespace
