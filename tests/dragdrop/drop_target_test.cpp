// The relay's drop target and sessions, driven in process: the test plays
// OLE with its own data object, and a JX_Editor window on another thread
// plays the host.
#include <gtest/gtest.h>
#include <string.h>
#include <atomic>
#include <future>
#include <optional>
#include <thread>
#include <string>
#include <vector>
#include "drop_target.h"
#include "host_thread.h"
#include "owners.h"
#include "scripted_host.h"
#include "test_data_object.h"

bool operator==(const JxRelayFormat& left, const JxRelayFormat& right) {
    return memcmp(&left, &right, sizeof left) == 0;
}

namespace {

using jxdd::DropTarget;
using jxhost::RelayData;
using jxhost::RelaySession;
using namespace jxdd_test;

constexpr DWORD kAllowedEffects = DROPEFFECT_COPY | DROPEFFECT_MOVE;
constexpr DWORD kKeys = MK_LBUTTON | MK_SHIFT;
constexpr POINTL kPoint = {40, 30};
constexpr HRESULT kNotInGlobalMemory = static_cast<HRESULT>(0x80040069);  // DV_E_TYMED

using DropTargetEvent = HRESULT (STDMETHODCALLTYPE DropTarget::*)(IDataObject*, DWORD, POINTL, DWORD*);

Owned<TestDataObject> TextObject(const std::wstring& text, bool enumerable = true) {
    return Owned<TestDataObject>(TestDataObject::Create({{GlobalFormat(CF_UNICODETEXT), UnicodeTextBytes(text)}}, enumerable));
}

// Blocks until the relay closes its end.
void WaitForTheRelayToClose(RelaySession& session) {
    BYTE byte;
    DWORD read = 0;
    while (ReadFile(session.Pipe(), &byte, sizeof byte, &read, nullptr)) {
    }
}

class RelayTest : public ::testing::Test {
protected:
    ScriptedHost& Host() { return host_.Attached(); }

    // Runs one drag entering or drop and waits for the host's client script.
    DWORD Relay(DropTarget& target, DropTargetEvent event, IDataObject* data) {
        DWORD effect = kAllowedEffects;
        EXPECT_EQ((target.*event)(data, kKeys, kPoint, &effect), S_OK);
        Host().WaitForClient();
        return effect;
    }
    DWORD Enter(IDataObject* data) { return Relay(target_, &DropTarget::DragEnter, data); }

    HostThread<ScriptedHost> host_;
    DropTarget target_{host_.Handle(), nullptr};
};

TEST_F(RelayTest, ObjectWithoutEnumerationOffersItsUnicodeTextAsTheOnlyRecord) {
    Owned<TestDataObject> data(TestDataObject::Create(
        {{GlobalFormat(CF_UNICODETEXT), UnicodeTextBytes(L"probe")}, {GlobalFormat(CF_HDROP), DropFilesBytes({L"C:\\a"})}},
        false));
    std::vector<JxRelayFormat> formats;
    std::optional<RelayData> text;
    Host().AcceptNextSession([&](RelaySession& session) {
        formats = session.ReadFormats().value_or(std::vector<JxRelayFormat>{});
        if (formats.size() == 1) text = session.Request(formats[0]);
        session.End(DROPEFFECT_COPY);
    });
    EXPECT_EQ(Enter(data.get()), static_cast<DWORD>(DROPEFFECT_COPY));
    const JxRelayFormat unicodeText = {CF_UNICODETEXT, 0, 0, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(formats, std::vector<JxRelayFormat>{unicodeText});
    ASSERT_TRUE(text);
    EXPECT_EQ(text->result, S_OK);
    EXPECT_EQ(text->bytes, UnicodeTextBytes(L"probe"));

    // Without Unicode text there is nothing to offer, and the host hears nothing.
    Owned<TestDataObject> filesOnly(TestDataObject::Create({{GlobalFormat(CF_HDROP), DropFilesBytes({L"C:\\a"})}}, false));
    const size_t callsBefore = Host().Calls().size();
    EXPECT_EQ(Enter(filesOnly.get()), 0u);
    EXPECT_EQ(Host().Calls().size(), callsBefore);
}

TEST_F(RelayTest, OffersTheFirstHundredOfMoreFormats) {
    constexpr CLIPFORMAT kFirstFormat = 0xC000;
    std::vector<TestFormat> offered;
    for (CLIPFORMAT i = 0; i < 120; ++i) offered.push_back({GlobalFormat(kFirstFormat + i), {1}});
    Owned<TestDataObject> data(TestDataObject::Create(offered));
    std::vector<JxRelayFormat> formats;
    Host().AcceptNextSession(ReadFormatsAndEnd(formats, DROPEFFECT_COPY));
    Enter(data.get());
    ASSERT_EQ(formats.size(), 100u);
    for (CLIPFORMAT i = 0; i < 100; ++i) EXPECT_EQ(formats[i].format, kFirstFormat + i);
}

TEST_F(RelayTest, AnswersEachRequestAndReleasesEveryMedium) {
    const std::vector<BYTE> text = UnicodeTextBytes(L"dropped");
    const FORMATETC streamOnly = {0xC001, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
    struct Case {
        const char* name;
        TestFormat format;
        RelayData reply;
    } cases[] = {
        {"text in global memory", {GlobalFormat(CF_UNICODETEXT), text}, {S_OK, text}},
        {"a stream", {streamOnly, text, TYMED_ISTREAM}, {kNotInGlobalMemory, {}}},
        {"empty global memory", {GlobalFormat(0xC002), {}}, {E_UNEXPECTED, {}}},
        {"the object fails", {GlobalFormat(0xC003), text, TYMED_HGLOBAL, E_ACCESSDENIED}, {E_ACCESSDENIED, {}}},
    };
    std::vector<TestFormat> offered;
    for (const Case& c : cases) offered.push_back(c.format);
    Owned<TestDataObject> data(TestDataObject::Create(offered));

    std::vector<std::optional<RelayData>> replies;
    Host().AcceptNextSession([&](RelaySession& session) {
        for (const JxRelayFormat& format : session.ReadFormats().value_or(std::vector<JxRelayFormat>{}))
            replies.push_back(session.Request(format));
        session.End(DROPEFFECT_COPY);
    });
    // Failed requests do not end the session: the end request still comes.
    EXPECT_EQ(Enter(data.get()), static_cast<DWORD>(DROPEFFECT_COPY));
    ASSERT_EQ(replies.size(), std::size(cases));
    for (size_t i = 0; i < replies.size(); ++i) {
        ASSERT_TRUE(replies[i]) << cases[i].name;
        EXPECT_EQ(replies[i]->result, cases[i].reply.result) << cases[i].name;
        EXPECT_EQ(replies[i]->bytes, cases[i].reply.bytes) << cases[i].name;
    }
    EXPECT_EQ(data->OutstandingMedia(), 0);
    EXPECT_EQ(data->MediaReleasedLocked(), 0);
}

TEST_F(RelayTest, EndRequestSetsTheEffectOfDragEnterAndDrop) {
    struct Case {
        const char* name;
        DropTargetEvent event;
        WORD code;
    } cases[] = {
        {"DragEnter", &DropTarget::DragEnter, JX_RELAY_DRAG_ENTER},
        {"Drop", &DropTarget::Drop, JX_RELAY_DROP},
    };
    Owned<TestDataObject> data = TextObject(L"text");
    for (const Case& c : cases) {
        Host().AcceptNextSession(EndWith(DROPEFFECT_COPY));
        EXPECT_EQ(Relay(target_, c.event, data.get()), static_cast<DWORD>(DROPEFFECT_COPY)) << c.name;
        EXPECT_EQ(Host().Calls().back(), (RelayCall{c.code, kKeys, kAllowedEffects})) << c.name;
    }
}

TEST_F(RelayTest, DragOverAnsweredWithKeepShowsTheEffectOfDragEnter) {
    Owned<TestDataObject> data = TextObject(L"text");
    Host().AcceptNextSession(EndWith(DROPEFFECT_COPY));
    Enter(data.get());
    struct Case {
        int32_t answer;
        DWORD effect;
    } cases[] = {{JX_RELAY_KEEP_EFFECT, DROPEFFECT_COPY}, {DROPEFFECT_MOVE, DROPEFFECT_MOVE}, {DROPEFFECT_NONE, DROPEFFECT_NONE}};
    for (const Case& c : cases) {
        Host().AnswerDragOver(c.answer);
        DWORD effect = kAllowedEffects;
        EXPECT_EQ(target_.DragOver(kKeys, kPoint, &effect), S_OK);
        EXPECT_EQ(effect, c.effect) << "answer " << c.answer;
        EXPECT_EQ(Host().Calls().back(), (RelayCall{JX_RELAY_DRAG_OVER, kKeys, kAllowedEffects}));
    }
}

using UniqueWindow = jxdd::UniqueHandle<HWND, DestroyWindow>;
using UniqueHandle = jxdd::UniqueKernelHandle;

HANDLE NullWhenInvalid(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? nullptr : handle; }

// A server pipe that lets other instances of its name be created.
UniqueHandle SquatterPipe(const char* name) {
    return UniqueHandle(NullWhenInvalid(CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_MESSAGE,
                                                         PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr)));
}

// Wine 8 creates further instances of a name even with FILE_FLAG_FIRST_PIPE_INSTANCE.
bool SystemEnforcesFirstPipeInstance() {
    constexpr char kProbeName[] = "\\\\.\\pipe\\JX_FirstInstanceProbe";
    UniqueHandle first = SquatterPipe(kProbeName);
    UniqueHandle second(NullWhenInvalid(CreateNamedPipeA(kProbeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                                         PIPE_TYPE_MESSAGE, 1, 4096, 4096, 0, nullptr)));
    return first && !second;
}

class RefusedSessionTest : public RelayTest {
protected:
    void SetUp() override { ASSERT_TRUE(relayWindow_); }
    // Drops while the relay window is shown.
    DWORD DropOnShownWindow(IDataObject* data) {
        ShowWindow(relayWindow_.get(), SW_SHOWNOACTIVATE);
        return Relay(windowTarget_, &DropTarget::Drop, data);
    }

    const RelayCall drop_ = {JX_RELAY_DROP, kKeys, kAllowedEffects};
    const RelayCall leave_ = {JX_RELAY_DRAG_LEAVE, 0, 0};
    UniqueWindow relayWindow_{CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"STATIC", L"", WS_POPUP, 0, 0, 10,
                                              10, nullptr, nullptr, nullptr, nullptr)};
    DropTarget windowTarget_{host_.Handle(), relayWindow_.get()};
    Owned<TestDataObject> data_ = TextObject(L"text");
};

TEST_F(RefusedSessionTest, DropRefusedByTheHostActsAsDragLeave) {
    EXPECT_EQ(DropOnShownWindow(data_.get()), 0u);
    EXPECT_EQ(Host().Calls(), (std::vector<RelayCall>{drop_, leave_}));
    EXPECT_FALSE(IsWindowVisible(relayWindow_.get()));
}

TEST_F(RefusedSessionTest, PipeNameOwnedByAnotherServerRefusesTheSession) {
    if (!SystemEnforcesFirstPipeInstance()) GTEST_SKIP() << "the system does not enforce FILE_FLAG_FIRST_PIPE_INSTANCE";
    UniqueHandle squatter = SquatterPipe(JX_RELAY_PIPE_NAME);
    ASSERT_TRUE(squatter);
    UniqueHandle connected(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED connection{};
    connection.hEvent = connected.get();
    ConnectNamedPipe(squatter.get(), &connection);

    // The host is never asked to connect, so the squatter gets no client.
    Host().AcceptNextSession(EndWith(DROPEFFECT_COPY));
    EXPECT_EQ(Relay(windowTarget_, &DropTarget::DragEnter, data_.get()), 0u);
    EXPECT_EQ(DropOnShownWindow(data_.get()), 0u);
    EXPECT_EQ(Host().Calls(), (std::vector<RelayCall>{leave_}));
    EXPECT_FALSE(IsWindowVisible(relayWindow_.get()));
    EXPECT_EQ(WaitForSingleObject(connected.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CancelIo(squatter.get());
    DWORD transferred = 0;
    GetOverlappedResult(squatter.get(), &connection, &transferred, TRUE);
}

HANDLE g_timerFired;
void CALLBACK OnThreadTimer(HWND, UINT, UINT_PTR, DWORD) { SetEvent(g_timerFired); }

TEST_F(RelayTest, WaitingForTheHostKeepsDispatchingTheRelaysMessages) {
    UniqueHandle fired(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_timerFired = fired.get();
    constexpr UINT kTimerMs = 50;
    constexpr DWORD kHostPatienceMs = 5000;
    const UINT_PTR timer = SetTimer(nullptr, 0, kTimerMs, OnThreadTimer);
    Owned<TestDataObject> data = TextObject(L"text");
    // The host holds its request back until the relay's thread ran its timer.
    Host().AcceptNextSession([&](RelaySession& session) {
        session.ReadFormats();
        bool dispatched = WaitForSingleObject(fired.get(), kHostPatienceMs) == WAIT_OBJECT_0;
        session.End(dispatched ? DROPEFFECT_COPY : DROPEFFECT_NONE);
    });
    EXPECT_EQ(Enter(data.get()), static_cast<DWORD>(DROPEFFECT_COPY));
    KillTimer(nullptr, timer);
}

constexpr int kQuitCode = 7;
void CALLBACK PostQuit(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    PostQuitMessage(kQuitCode);
}

// The relay's timer ends the program by posting WM_QUIT, which may come while
// a session waits: the session gives up and leaves the quit to the thread's loop.
TEST_F(RelayTest, QuitWhileWaitingForTheHostEndsTheSessionAndIsKept) {
    constexpr UINT kTimerMs = 50;
    SetTimer(nullptr, 0, kTimerMs, PostQuit);
    Owned<TestDataObject> data = TextObject(L"text");
    Host().AcceptNextSession([](RelaySession& session) {
        session.ReadFormats();
        WaitForTheRelayToClose(session);
    });
    EXPECT_EQ(Enter(data.get()), 0u);
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, static_cast<WPARAM>(kQuitCode));
}

TEST_F(RelayTest, TargetDeviceComesOnlyFromTheOfferedRecords) {
    DVTARGETDEVICE device{};
    device.tdSize = sizeof device;
    const FORMATETC forDevice = {CF_UNICODETEXT, &device, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    Owned<TestDataObject> data(TestDataObject::Create({{forDevice, UnicodeTextBytes(L"text")}}));
    std::vector<std::optional<RelayData>> replies;
    Host().AcceptNextSession([&](RelaySession& session) {
        std::vector<JxRelayFormat> formats = session.ReadFormats().value_or(std::vector<JxRelayFormat>{});
        if (formats.size() != 1 || formats[0].targetDevice == 0) return;
        JxRelayFormat unknownDevice = formats[0];
        unknownDevice.targetDevice ^= 0x10;
        replies.push_back(session.Request(formats[0]));
        replies.push_back(session.Request(unknownDevice));
        session.End(DROPEFFECT_COPY);
    });
    EXPECT_EQ(Enter(data.get()), static_cast<DWORD>(DROPEFFECT_COPY));
    ASSERT_EQ(replies.size(), 2u);
    ASSERT_TRUE(replies[0] && replies[1]);
    EXPECT_EQ(replies[0]->result, S_OK);
    EXPECT_EQ(replies[1]->result, DV_E_DVTARGETDEVICE);
    const auto* deviceBytes = reinterpret_cast<const BYTE*>(&device);
    EXPECT_EQ(data->RequestedTargetDevices(),
              (std::vector<std::vector<BYTE>>{{deviceBytes, deviceBytes + sizeof device}}));
}

// A host that misbehaves: the relay gives up the session, releases all it
// took, and the next drag works. Records are awaited for a shortened time.
class RelayFaultTest : public RelayTest {
protected:
    static constexpr DWORD kShortBudgetMs = 300;
    DropTarget shortTarget_{host_.Handle(), nullptr, kShortBudgetMs};
};

ClientScript WriteAndWait(size_t size) {
    return [size](RelaySession& session) {
        session.ReadFormats();
        std::vector<BYTE> request(size);
        DWORD written = 0;
        WriteFile(session.Pipe(), request.data(), static_cast<DWORD>(request.size()), &written, nullptr);
        WaitForTheRelayToClose(session);
    };
}

TEST_F(RelayFaultTest, BrokenSessionReleasesEverythingAndTheNextDragWorks) {
    constexpr CLIPFORMAT kLargeFormat = 0xC010;
    constexpr size_t kLargeSize = 16 * JX_RELAY_PIPE_BUFFER_SIZE;
    Owned<TestDataObject> data(TestDataObject::Create(
        {{GlobalFormat(CF_UNICODETEXT), UnicodeTextBytes(L"text")}, {GlobalFormat(kLargeFormat), std::vector<BYTE>(kLargeSize, 7)}}));
    struct Case {
        const char* name;
        ClientScript script;
    } cases[] = {
        {"short request", WriteAndWait(sizeof(JxRelayFormat) - 12)},
        {"long request", WriteAndWait(sizeof(JxRelayFormat) + 10)},
        {"no request", [](RelaySession& session) {
             session.ReadFormats();
             WaitForTheRelayToClose(session);
         }},
        {"closed before the list", [](RelaySession& session) { session.Close(); }},
        {"closed in the middle of a reply", [](RelaySession& session) {
             std::vector<JxRelayFormat> formats = session.ReadFormats().value_or(std::vector<JxRelayFormat>{});
             if (formats.size() != 2) return;
             DWORD written = 0;
             JxRelayReply reply;
             WriteFile(session.Pipe(), &formats[1], sizeof formats[1], &written, nullptr);
             ReadFile(session.Pipe(), &reply, sizeof reply, &written, nullptr);
             session.Close();
         }},
    };
    for (const Case& c : cases) {
        Host().AcceptNextSession(c.script);
        EXPECT_EQ(Relay(shortTarget_, &DropTarget::DragEnter, data.get()), 0u) << c.name;
        Host().AcceptNextSession(EndWith(DROPEFFECT_COPY));
        EXPECT_EQ(Relay(shortTarget_, &DropTarget::Drop, data.get()), static_cast<DWORD>(DROPEFFECT_COPY)) << c.name;
        EXPECT_EQ(data->OutstandingMedia(), 0) << c.name;
        EXPECT_EQ(data->MediaReleasedLocked(), 0) << c.name;
    }
}

// A host window on a thread of its own that stops answering: each relay
// message waits until the test lets it go (or a safety limit passes).
class HungHost {
public:
    HungHost() {
        std::promise<HWND> ready;
        std::future<HWND> created = ready.get_future();
        thread_ = std::thread([this, &ready] {
            static const ATOM atom = [] {
                WNDCLASSW info = {};
                info.lpfnWndProc = Procedure;
                info.hInstance = GetModuleHandleW(nullptr);
                info.lpszClassName = L"JX_TestHungHost";
                return RegisterClassW(&info);
            }();
            HWND window = CreateWindowExW(0, reinterpret_cast<LPCWSTR>(ULONG_PTR(atom)), L"", WS_POPUP, 0, 0, 0, 0,
                                          nullptr, nullptr, GetModuleHandleW(nullptr), this);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            threadId_ = GetCurrentThreadId();
            ready.set_value(window);
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
            DestroyWindow(window);
        });
        window_ = created.get();
    }
    ~HungHost() {
        SetEvent(release_.get());
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    HWND Handle() const { return window_; }
    int Answered() const { return answered_; }

private:
    static constexpr DWORD kSafetyMs = 5000;
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<HungHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message == JX_RELAY_MESSAGE) {
            WaitForSingleObject(self->release_.get(), kSafetyMs);
            ++self->answered_;
            return DROPEFFECT_MOVE;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    UniqueHandle release_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<int> answered_{0};
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
    std::thread thread_;
};

TEST(HungHostTest, EveryEventReturnsWhileTheHostDoesNotAnswer) {
    constexpr DWORD kBudgetMs = 300;
    HungHost host;
    ASSERT_TRUE(host.Handle());
    DropTarget target(host.Handle(), nullptr, kBudgetMs);
    Owned<TestDataObject> data = TextObject(L"text");
    // Enter and drop are refused, drag-over keeps the last effect.
    DWORD effect = kAllowedEffects;
    EXPECT_EQ(target.DragEnter(data.get(), kKeys, kPoint, &effect), S_OK);
    EXPECT_EQ(effect, 0u);
    effect = kAllowedEffects;
    EXPECT_EQ(target.DragOver(kKeys, kPoint, &effect), S_OK);
    EXPECT_EQ(effect, 0u);
    effect = kAllowedEffects;
    EXPECT_EQ(target.Drop(data.get(), kKeys, kPoint, &effect), S_OK);
    EXPECT_EQ(effect, 0u);
    EXPECT_EQ(target.DragLeave(), S_OK);
    EXPECT_EQ(host.Answered(), 0) << "the drag went on without the host";
}

}  // namespace
