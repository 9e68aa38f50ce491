// jxdd.exe as a process: its window, its ending with the host window, and a
// real OLE drop carried to the reference host.
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>
#include "editor_window.h"
#include "host_thread.h"
#include "jx/host_interface.h"
#include "jx/relay_protocol.h"
#include "loaded_library.h"
#include "owners.h"
#include "relay_host.h"
#include "text.h"
#include "test_data_object.h"

namespace {

using jxdd::UniqueKernelHandle;
using namespace jxdd_test;

// How long the tests wait for the relay, far above what it needs.
constexpr DWORD kPatienceMs = 10000;
constexpr DWORD kPollMs = 20;

std::wstring RelayProgram() { return jxhost::ProgramFolder() + L"jxdd.exe"; }

UniqueKernelHandle StartRelay() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring program = RelayProgram();
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return nullptr;
    UniqueKernelHandle thread(process.hThread);
    return UniqueKernelHandle(process.hProcess);
}

// Polls `condition` until it holds or the patience runs out.
template <typename Condition>
bool WaitUntil(Condition condition) {
    for (DWORD waited = 0; waited < kPatienceMs; waited += kPollMs) {
        if (condition()) return true;
        Sleep(kPollMs);
    }
    return condition();
}

HWND WaitForRelayWindow() {
    HWND window = nullptr;
    WaitUntil([&] { return (window = FindWindowA(JX_RELAY_WINDOW_CLASS, nullptr)) != nullptr; });
    return window;
}

UniqueKernelHandle ProcessOf(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return UniqueKernelHandle(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
}

std::wstring StatusText(HWND editor) {
    HWND status = FindWindowExW(editor, nullptr, L"Static", nullptr);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(status)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(status, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The exit code once the process has ended, nullopt while it runs on.
std::optional<DWORD> ExitCodeAfterWaiting(HANDLE process) {
    DWORD exitCode = 0;
    if (WaitForSingleObject(process, kPatienceMs) != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &exitCode))
        return std::nullopt;
    return exitCode;
}

TEST(RelayProgram, EndsWithoutAHostWindow) {
    ASSERT_EQ(FindWindowA(JX_HOST_WINDOW_CLASS, nullptr), nullptr);
    UniqueKernelHandle relay = StartRelay();
    ASSERT_TRUE(relay);
    EXPECT_EQ(ExitCodeAfterWaiting(relay.get()), 0u);
}

TEST(RelayProgram, ShowsNothingUntilAskedAndEndsAfterTheHostWindow) {
    std::optional<jxhost::EditorThread> host(std::in_place);
    UniqueKernelHandle relay = StartRelay();
    ASSERT_TRUE(relay);
    HWND window = WaitForRelayWindow();
    ASSERT_TRUE(window);
    constexpr LONG_PTR kExStyle = WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW;
    constexpr LONG_PTR kStyle = WS_POPUP | WS_DISABLED;
    EXPECT_EQ(GetWindowLongPtrW(window, GWL_EXSTYLE) & kExStyle, kExStyle);
    EXPECT_EQ(GetWindowLongPtrW(window, GWL_STYLE) & kStyle, kStyle);
    EXPECT_FALSE(IsWindowVisible(window));

    host.reset();
    EXPECT_EQ(ExitCodeAfterWaiting(relay.get()), 0u);
}

// Asks for the drop after a few checks, as a user releasing the button would.
class DropAfterFewChecks final : public IDropSource {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDropSource)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IDropSource*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP QueryContinueDrag(BOOL, DWORD) override { return ++checks_ < kChecksBeforeDrop ? S_OK : DRAGDROP_S_DROP; }
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    static constexpr int kChecksBeforeDrop = 4;
    int checks_ = 0;
};

TEST(ReferenceHost, StartsTheRelayAndListsWhatIsDropped) {
    jxdd::OleSession ole;
    ASSERT_TRUE(ole.Initialized());
    std::optional<HostThread<jxhost::RelayHost>> host(std::in_place, RelayProgram());
    HWND relayWindow = WaitForRelayWindow();
    ASSERT_TRUE(relayWindow);
    UniqueKernelHandle relay = ProcessOf(relayWindow);

    // The relay hides its window on each tick while no button is down, so the
    // drag starts right after a tick hid it, which leaves it a second.
    constexpr RECT kDropArea = {100, 100, 300, 260};
    auto showRelayWindow = [&] {
        SetWindowPos(relayWindow, HWND_TOPMOST, kDropArea.left, kDropArea.top, kDropArea.right - kDropArea.left,
                     kDropArea.bottom - kDropArea.top, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    };
    showRelayWindow();
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(relayWindow); }));
    showRelayWindow();
    SetCursorPos((kDropArea.left + kDropArea.right) / 2, (kDropArea.top + kDropArea.bottom) / 2);

    const std::vector<std::wstring> files = {L"C:\\dropped\\one.txt", L"C:\\dropped\\two.txt"};
    Owned<TestDataObject> data(TestDataObject::Create({{GlobalFormat(CF_UNICODETEXT), UnicodeTextBytes(L"dropped text")},
                                                       {GlobalFormat(CF_HDROP), DropFilesBytes(files)}}));
    DropAfterFewChecks source;
    DWORD effect = DROPEFFECT_NONE;
    EXPECT_EQ(DoDragDrop(data.get(), &source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect), DRAGDROP_S_DROP);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));

    ASSERT_TRUE(WaitUntil([&] { return !host->Attached().Drops().empty(); }));
    std::vector<jxhost::RelayDrop> drops = host->Attached().Drops();
    ASSERT_EQ(drops.size(), 1u);
    EXPECT_EQ(drops[0].formatsOffered, 2u);
    EXPECT_EQ(drops[0].text, L"dropped text");
    EXPECT_EQ(drops[0].files, files);
    EXPECT_TRUE(WaitUntil([&] {
        std::wstring status = StatusText(host->Handle());
        return status.find(L"text: dropped text") != std::wstring::npos &&
               status.find(L"file: C:\\dropped\\two.txt") != std::wstring::npos;
    })) << jxhost::Utf8FromWide(StatusText(host->Handle()));

    host.reset();
    EXPECT_EQ(ExitCodeAfterWaiting(relay.get()), 0u);
}

}  // namespace
