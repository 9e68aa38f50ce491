#include "editor_window.h"
#include <string.h>
#include <future>
#include <optional>
#include <stdexcept>
#include "jx/errors.h"
#include "jx/host_interface.h"
#include "handles.h"
#include "text.h"

namespace jxhost {
namespace {

constexpr wchar_t kClassName[] = L"" JX_HOST_WINDOW_CLASS;
constexpr wchar_t kTitle[] = L"jxhost";
constexpr int kInitialWidth = 760;
constexpr int kInitialHeight = 480;
constexpr int kMargin = 8;
constexpr UINT_PTR kCloseTimer = 1;
constexpr UINT kMillisecondsPerSecond = 1000;

// dwData of WM_COPYDATA: two 16-bit fields, the kind below the code page.
constexpr ULONG_PTR kCopyDataFieldMask = 0xFFFF;
constexpr int kCopyDataCodePageShift = 16;
constexpr size_t kFinalNulSize = 1;

constexpr wchar_t kContinuationIndent[] = L"    ";

// Every count, offset and text is checked against cbData, so a malformed
// block never makes the host read outside it.
std::optional<std::vector<std::string>> ParseErrorBlock(const void* data, size_t size) {
    JxErrorBlockHeader header;
    if (!data || size < sizeof header) return std::nullopt;
    memcpy(&header, data, sizeof header);
    const auto* offsets = static_cast<const BYTE*>(data) + sizeof header;
    const uint64_t offsetsSize = uint64_t{header.count} * sizeof(uint32_t);
    if (size < sizeof header + offsetsSize + header.textLength + kFinalNulSize) return std::nullopt;
    const char* text = reinterpret_cast<const char*>(offsets + offsetsSize);
    if (text[header.textLength] != '\0') return std::nullopt;

    std::vector<std::string> messages;
    messages.reserve(header.count);
    for (uint32_t i = 0; i < header.count; ++i) {
        uint32_t offset;
        memcpy(&offset, offsets + i * sizeof offset, sizeof offset);
        if (offset >= header.textLength) return std::nullopt;
        const auto* end = static_cast<const char*>(memchr(text + offset, '\0', header.textLength - offset));
        if (!end) return std::nullopt;
        messages.emplace_back(text + offset, end);
    }
    return messages;
}

// Registered once per process, unregistered when the process ends.
class EditorClass {
public:
    explicit EditorClass(WNDPROC procedure) {
        WNDCLASSEXW info{};
        info.cbSize = sizeof info;
        info.lpfnWndProc = procedure;
        info.hInstance = GetModuleHandleW(nullptr);
        info.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        info.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        info.lpszClassName = kClassName;
        registered_ = RegisterClassExW(&info) != 0;
    }
    ~EditorClass() {
        if (registered_) UnregisterClassW(kClassName, GetModuleHandleW(nullptr));
    }
    EditorClass(const EditorClass&) = delete;
    EditorClass& operator=(const EditorClass&) = delete;

private:
    bool registered_;
};

// A list box shows one line per item, so multi-line messages are split and
// their later lines indented.
std::vector<std::wstring> DisplayLines(const std::wstring& message) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start <= message.size()) {
        size_t end = message.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) end = message.size();
        std::wstring line = message.substr(start, end - start);
        lines.push_back(lines.empty() ? line : kContinuationIndent + line);
        start = end + ((message.compare(end, 2, L"\r\n") == 0) ? 2 : 1);
    }
    return lines;
}

}  // namespace

EditorWindow::EditorWindow() {
    static EditorClass editorClass(Procedure);
    // WM_NCCREATE stores `this` and the handle, so messages sent during
    // creation already reach OnMessage.
    CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                    kInitialWidth, kInitialHeight, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (window_) {
        CreateChildren();
        Layout();
    }
}

EditorWindow::~EditorWindow() {
    if (window_) DestroyWindow(window_);
}

void EditorWindow::CreateChildren() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    status_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0,
                              Handle(), nullptr, instance, nullptr);
    errors_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL, 0,
                              0, 0, 0, Handle(), nullptr, instance, nullptr);
    // A stock object: shared, never deleted.
    auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(status_, WM_SETFONT, font, FALSE);
    SendMessageW(errors_, WM_SETFONT, font, FALSE);
}

void EditorWindow::Layout() {
    RECT client;
    GetClientRect(Handle(), &client);
    auto lineHeight = static_cast<int>(SendMessageW(errors_, LB_GETITEMHEIGHT, 0, 0));
    int statusHeight = statusLineCount_ * lineHeight;
    int width = client.right - 2 * kMargin;
    MoveWindow(status_, kMargin, kMargin, width, statusHeight, TRUE);
    int listTop = statusHeight + 2 * kMargin;
    MoveWindow(errors_, kMargin, listTop, width, client.bottom - listTop - kMargin, TRUE);
}

void EditorWindow::SetStatusLines(const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const std::wstring& line : lines) text += line + L"\r\n";
    SetWindowTextW(status_, text.c_str());
    statusLineCount_ = static_cast<int>(lines.size());
    Layout();
}

void EditorWindow::CloseAfter(UINT seconds) { SetTimer(Handle(), kCloseTimer, seconds * kMillisecondsPerSecond, nullptr); }

std::vector<ErrorBlock> EditorWindow::ReceivedBlocks() const {
    ExclusiveLock lock(lock_);
    return received_;
}

LRESULT CALLBACK EditorWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = static_cast<EditorWindow*>(create->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
    }
    auto* self = reinterpret_cast<EditorWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->OnMessage(message, wParam, lParam);
}

LRESULT EditorWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COPYDATA:
        return lParam && OnCopyData(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_SIZE:
        if (errors_) Layout();
        return 0;
    case WM_TIMER:
        if (wParam != kCloseTimer) break;
        KillTimer(window_, kCloseTimer);
        PostMessageW(window_, WM_CLOSE, 0, 0);
        return 0;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

BOOL EditorWindow::OnCopyData(const COPYDATASTRUCT& data) {
    if ((data.dwData & kCopyDataFieldMask) != JX_COPYDATA_ERROR_BLOCK) return FALSE;
    std::optional<std::vector<std::string>> messages = ParseErrorBlock(data.lpData, data.cbData);
    if (!messages) return FALSE;

    auto codePage = static_cast<UINT>((data.dwData >> kCopyDataCodePageShift) & kCopyDataFieldMask);
    for (const std::string& message : *messages) {
        for (const std::wstring& line : DisplayLines(WideFromCodePage(message, codePage)))
            SendMessageW(errors_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    }
    auto count = SendMessageW(errors_, LB_GETCOUNT, 0, 0);
    SendMessageW(errors_, LB_SETTOPINDEX, static_cast<WPARAM>(count - 1), 0);

    ExclusiveLock lock(lock_);
    received_.push_back({data.dwData, std::move(*messages)});
    return TRUE;
}

// Ends with the window rather than with WM_QUIT, so a test thread that made
// and dropped an editor window keeps an empty queue for its own loops.
void RunMessageLoop(HWND window) {
    MSG message;
    while (IsWindow(window) && GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

EditorThread::EditorThread() {
    std::promise<HWND> created;
    std::future<HWND> window = created.get_future();
    thread_ = std::thread([this, &created] {
        EditorWindow editor;
        window_ = &editor;
        created.set_value(editor.Handle());
        if (editor.Handle()) RunMessageLoop(editor.Handle());
    });
    if (!window.get()) {
        thread_.join();
        throw std::runtime_error("cannot create the " JX_HOST_WINDOW_CLASS " window");
    }
}

EditorThread::~EditorThread() {
    PostMessageW(window_->Handle(), WM_CLOSE, 0, 0);
    thread_.join();
}

HWND EditorThread::Handle() const { return window_->Handle(); }

std::vector<ErrorBlock> EditorThread::ReceivedBlocks() const { return window_->ReceivedBlocks(); }

}  // namespace jxhost
