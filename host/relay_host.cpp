#include "relay_host.h"
#include <commctrl.h>
#include <limits.h>
#include <ole2.h>
#include <wchar.h>
#include <algorithm>
#include <optional>
#include "exit_codes.h"
#include "loaded_library.h"

namespace jxhost {
namespace {

constexpr UINT_PTR kSubclassId = 1;
constexpr UINT_PTR kDragWatchTimer = 0x4A44;  // apart from the editor's own timer ids
constexpr UINT kDragWatchMs = 100;
// Posted by a session's thread after it recorded a drop.
constexpr UINT kDropsChangedMessage = WM_APP + 1;

constexpr size_t kShownTextLength = 80;
constexpr wchar_t kEllipsis[] = L"...";
constexpr wchar_t kRelayProgramName[] = L"jxdd.exe";

constexpr std::wstring_view kExitAfterOption = L"--exit-after";

// The offered record for `format` if it can come in global memory.
const JxRelayFormat* FindGlobalFormat(const std::vector<JxRelayFormat>& formats, CLIPFORMAT format) {
    auto found = std::find_if(formats.begin(), formats.end(), [format](const JxRelayFormat& offered) {
        return offered.format == format && (offered.tymed & TYMED_HGLOBAL);
    });
    return found == formats.end() ? nullptr : &*found;
}

bool UnderstandsAny(const std::vector<JxRelayFormat>& formats) {
    return FindGlobalFormat(formats, CF_UNICODETEXT) || FindGlobalFormat(formats, CF_TEXT) ||
           FindGlobalFormat(formats, CF_HDROP);
}

// The bytes of an offered record, asked for in global memory only; nullopt
// when the relay failed it or the session broke.
std::optional<std::vector<BYTE>> RequestGlobal(RelaySession& session, const JxRelayFormat& offered) {
    JxRelayFormat request = offered;
    request.tymed = TYMED_HGLOBAL;
    std::optional<RelayData> data = session.Request(request);
    if (!data || FAILED(data->result)) return std::nullopt;
    return std::move(data->bytes);
}

RelayDrop TakeDrop(RelaySession& session, const std::vector<JxRelayFormat>& formats) {
    RelayDrop drop;
    drop.formatsOffered = formats.size();
    if (const JxRelayFormat* text = FindGlobalFormat(formats, CF_UNICODETEXT)) {
        if (std::optional<std::vector<BYTE>> bytes = RequestGlobal(session, *text))
            drop.text = TextFromUnicodeData(*bytes);
    } else if (const JxRelayFormat* ansiText = FindGlobalFormat(formats, CF_TEXT)) {
        if (std::optional<std::vector<BYTE>> bytes = RequestGlobal(session, *ansiText))
            drop.text = TextFromAnsiData(*bytes);
    }
    if (const JxRelayFormat* fileList = FindGlobalFormat(formats, CF_HDROP)) {
        std::optional<std::vector<BYTE>> bytes = RequestGlobal(session, *fileList);
        std::optional<std::vector<std::wstring>> files = bytes ? FilesFromDropData(*bytes) : std::nullopt;
        if (files) drop.files = std::move(*files);
    }
    return drop;
}

// A drag is under way when a button is held; one that started in the editor
// itself is not for the relay.
bool DragFromElsewhereOver(HWND editor) {
    bool buttonDown = GetAsyncKeyState(VK_LBUTTON) < 0 || GetAsyncKeyState(VK_RBUTTON) < 0;
    if (!buttonDown || GetForegroundWindow() == editor) return false;
    POINT cursor;
    return GetCursorPos(&cursor) && GetAncestor(WindowFromPoint(cursor), GA_ROOT) == editor;
}

std::wstring ShownText(const std::wstring& text) {
    std::wstring line = text.substr(0, text.find_first_of(L"\r\n"));
    if (line.size() > kShownTextLength || line.size() < text.size()) line = line.substr(0, kShownTextLength) + kEllipsis;
    return line;
}

}  // namespace

RelayHost::RelayHost(EditorWindow& editor, std::wstring relayProgram)
    : editor_(editor), window_(editor.Handle()), relayProgram_(std::move(relayProgram)) {
    attached_ = SetWindowSubclass(window_, Subclass, kSubclassId, reinterpret_cast<DWORD_PTR>(this)) != FALSE;
    if (!attached_) return;
    SetTimer(window_, kDragWatchTimer, kDragWatchMs, nullptr);
    StartRelay();
}

RelayHost::~RelayHost() {
    if (session_.joinable()) session_.join();
    if (!attached_) return;
    KillTimer(window_, kDragWatchTimer);
    RemoveWindowSubclass(window_, Subclass, kSubclassId);
}

bool RelayHost::StartRelay() {
    if (FindWindowA(JX_RELAY_WINDOW_CLASS, nullptr)) return true;
    // Started before and not yet showing its window.
    if (relayProcess_ && WaitForSingleObject(relayProcess_.get(), 0) == WAIT_TIMEOUT) return true;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + relayProgram_ + L"\"";
    bool started = CreateProcessW(relayProgram_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &process) != FALSE;
    if (started) {
        UniqueKernelHandle thread(process.hThread);
        relayProcess_.reset(process.hProcess);
        relayState_ = L"started";
    } else {
        relayState_ = L"cannot start (error " + std::to_wstring(GetLastError()) + L")";
    }
    ShowStatus();
    return started;
}

std::vector<RelayDrop> RelayHost::Drops() const {
    ExclusiveLock lock(lock_);
    return drops_;
}

LRESULT CALLBACK RelayHost::Subclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                     DWORD_PTR data) {
    auto* self = reinterpret_cast<RelayHost*>(data);
    switch (message) {
    case JX_RELAY_MESSAGE:
        return self->OnRelayMessage(wParam, lParam);
    case kDropsChangedMessage:
        self->OnDropsChanged();
        return 0;
    case WM_TIMER:
        if (wParam != kDragWatchTimer) break;
        self->OnDragWatch();
        return 0;
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, Subclass, kSubclassId);
        self->attached_ = false;
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT RelayHost::OnRelayMessage(WPARAM wParam, LPARAM lParam) {
    switch (JX_RELAY_EVENT(wParam)) {
    case JX_RELAY_DRAG_OVER:
        return JX_RELAY_KEEP_EFFECT;
    case JX_RELAY_DRAG_ENTER:
    case JX_RELAY_DROP: {
        // The client end must be open before the answer; the relay writes only after it.
        RelaySession session;
        if (!session.Connected()) return FALSE;
        if (session_.joinable()) session_.join();
        const bool isDrop = JX_RELAY_EVENT(wParam) == JX_RELAY_DROP;
        session_ = std::thread(&RelayHost::RunSession, this, isDrop, JX_RELAY_EFFECTS(lParam), std::move(session));
        return TRUE;
    }
    }
    return 0;
}

void RelayHost::RunSession(bool isDrop, DWORD allowedEffects, RelaySession session) {
    std::optional<std::vector<JxRelayFormat>> formats = session.ReadFormats();
    if (!formats) return;
    const DWORD effect = UnderstandsAny(*formats) ? (allowedEffects & DROPEFFECT_COPY) : DROPEFFECT_NONE;
    if (!isDrop) {
        session.End(effect);
        return;
    }
    RelayDrop drop = TakeDrop(session, *formats);
    session.End(effect);
    {
        ExclusiveLock lock(lock_);
        drops_.push_back(std::move(drop));
    }
    PostMessageW(window_, kDropsChangedMessage, 0, 0);
}

void RelayHost::OnDragWatch() {
    if (!DragFromElsewhereOver(window_)) return;
    HWND relay = FindWindowA(JX_RELAY_WINDOW_CLASS, nullptr);
    if (!relay) {
        StartRelay();
        return;
    }
    if (IsWindowVisible(relay)) return;
    RECT client;
    GetClientRect(window_, &client);
    MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&client), 2);
    SetWindowPos(relay, HWND_TOPMOST, client.left, client.top, client.right - client.left, client.bottom - client.top,
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void RelayHost::OnDropsChanged() { ShowStatus(); }

void RelayHost::ShowStatus() {
    std::vector<std::wstring> lines = {L"Drop relay: " + relayProgram_ + L" (" + relayState_ + L")",
                                       L"Drag text or files from another window over this one."};
    std::vector<RelayDrop> drops = Drops();
    if (!drops.empty()) {
        const RelayDrop& last = drops.back();
        lines.push_back(L"Drop " + std::to_wstring(drops.size()) + L": " + std::to_wstring(last.formatsOffered) +
                        L" formats offered");
        if (!last.text.empty()) lines.push_back(L"    text: " + ShownText(last.text));
        for (const std::wstring& file : last.files) lines.push_back(L"    file: " + file);
    }
    editor_.SetStatusLines(lines);
}

int RunDragDropCommand(std::span<const std::wstring_view> args) {
    UINT exitAfterSeconds = 0;  // 0: stay until closed
    if (!args.empty()) {
        if (args.size() != 2 || args[0] != kExitAfterOption) return kExitUsage;
        std::wstring digits(args[1]);
        wchar_t* end = nullptr;
        unsigned long seconds = wcstoul(digits.c_str(), &end, 10);
        if (digits.empty() || *end != L'\0' || seconds > UINT_MAX) return kExitUsage;
        exitAfterSeconds = static_cast<UINT>(seconds);
    }

    EditorWindow editor;
    if (!editor.Handle()) return kExitNoWindow;
    RelayHost relay(editor, ProgramFolder() + kRelayProgramName);
    ShowWindow(editor.Handle(), SW_SHOWNORMAL);
    UpdateWindow(editor.Handle());
    if (exitAfterSeconds > 0) editor.CloseAfter(exitAfterSeconds);
    RunMessageLoop(editor.Handle());
    return kExitOk;
}

}  // namespace jxhost
