// Menus from text and popup-menu tracking.
#include "window/menu.h"
#include "text/numbers.h"
#include "text/str.h"
#include "text/text_scan.h"
#include "text/wide_text.h"
#include "window/window_utils.h"

namespace {
constexpr char kLineSeparatorOrDisabled = '-';
constexpr char kLineSubmenuStart = '>';
constexpr char kLineSubmenuEnd = '<';
constexpr char kLineColumnBreak = '|';
constexpr UINT kAppendPosition = 0xFFFF;
constexpr UINT kFirstCommandId = 1;

// Class atom of the system's popup menu windows ("#32768").
constexpr ATOM kMenuClassAtom = 0x8000;
constexpr UINT kWatchIntervalMs = 50;

struct MenuBuildState {
    const char* const* lines;
    int count;
    int next = 0;
    UINT nextId = kFirstCommandId;
    bool columnBreak = false;  // the next item starts a new column
};

// A popup menu destroyed unless a parent menu took it.
class OwnedMenu {
public:
    OwnedMenu() : menu_(CreatePopupMenu()) {}
    ~OwnedMenu() {
        if (menu_) DestroyMenu(menu_);
    }
    OwnedMenu(const OwnedMenu&) = delete;
    OwnedMenu& operator=(const OwnedMenu&) = delete;

    HMENU Get() const { return menu_; }
    void Release() { menu_ = nullptr; }

private:
    HMENU menu_;
};

bool AppendItem(HMENU menu, MenuBuildState& state, MENUITEMINFOW& item, const char* text) {
    const WideText wide(text);
    item.fMask |= MIIM_FTYPE | MIIM_STATE;
    if (text) {
        item.fMask |= MIIM_STRING;
        item.dwTypeData = const_cast<wchar_t*>(wide.Get());
    }
    if (state.columnBreak) item.fType |= MFT_MENUBARBREAK;
    state.columnBreak = false;
    return InsertMenuItemW(menu, kAppendPosition, TRUE, &item) != FALSE;
}

// Reads lines into `menu` until the end or the line that closes it.
void FillMenu(HMENU menu, MenuBuildState& state) {
    while (state.next < state.count) {
        const char* line = state.lines[state.next++];
        while (*line == '\t') ++line;
        MENUITEMINFOW item = {};
        item.cbSize = sizeof(item);
        switch (*line) {
            case kLineSubmenuEnd:
                return;
            case kLineColumnBreak:
                state.columnBreak = true;
                continue;
            case kLineSubmenuStart: {
                OwnedMenu submenu;
                const HMENU popup = submenu.Get();
                item.fMask = MIIM_SUBMENU;
                item.hSubMenu = popup;
                if (popup && AppendItem(menu, state, item, line + 1)) submenu.Release();  // the menu owns it now
                // Its lines are read even when the item could not be made.
                FillMenu(popup, state);
                continue;
            }
            case kLineSeparatorOrDisabled:
                if (!line[1]) {
                    item.fType = MFT_SEPARATOR;
                    AppendItem(menu, state, item, nullptr);
                    continue;
                }
                item.fState = MFS_DISABLED | MFS_GRAYED;
                ++line;
                break;
        }
        const char* afterNumber;
        const int id = ParseIntEnd(line, &afterNumber);
        if (id) {
            state.nextId = UINT(id);
            line = *afterNumber == ' ' ? afterNumber + 1 : afterNumber;
        }
        item.fMask = MIIM_ID;
        item.wID = state.nextId++;
        AppendItem(menu, state, item, line);
    }
}

// Ends the menu when a mouse button is clicked outside it or another window
// comes to the foreground; runs on a timer of the menu's owner while
// `active`.
class MenuWatcher {
public:
    MenuWatcher(bool active, HWND owner, HWND foreground)
        : owner_(active ? owner : nullptr), foreground_(foreground), buttons_(ButtonToggleState()) {
        if (owner_) SetTimer(owner_, TimerId(), kWatchIntervalMs, OnTimer);
    }
    ~MenuWatcher() {
        if (owner_) KillTimer(owner_, TimerId());
    }
    MenuWatcher(const MenuWatcher&) = delete;
    MenuWatcher& operator=(const MenuWatcher&) = delete;

private:
    // The toggle bits of the right (bit 16) and left (bit 0) buttons: a
    // change means a click happened.
    static DWORD ButtonToggleState() {
        return (DWORD(GetKeyState(VK_RBUTTON) & 1) << 16) | DWORD(GetKeyState(VK_LBUTTON) & 1);
    }
    static bool CursorIsOverMenu() {
        POINT cursor;
        if (!GetCursorPosEx(&cursor)) return false;
        HWND window = WindowFromPointEx(cursor.x, cursor.y);
        return window && GetClassLongW(window, GCW_ATOM) == kMenuClassAtom;
    }
    // The watcher is the timer's id, so the callback finds it without a global.
    UINT_PTR TimerId() const { return reinterpret_cast<UINT_PTR>(this); }

    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR timerId, DWORD) {
        auto* watcher = reinterpret_cast<MenuWatcher*>(timerId);
        const DWORD buttons = ButtonToggleState();
        const bool clicked = buttons != watcher->buttons_;
        watcher->buttons_ = buttons;
        if ((clicked && !CursorIsOverMenu()) || GetForegroundWindow() != watcher->foreground_) EndMenu();
    }

    HWND owner_;
    HWND foreground_;
    DWORD buttons_;
};

// A CBT hook of the calling thread that keeps new menu windows from taking
// activation, for one tracking.
class MenuNoActivateHook {
public:
    MenuNoActivateHook() : hook_(SetWindowsHookExW(WH_CBT, OnCbt, nullptr, GetCurrentThreadId())) {}
    ~MenuNoActivateHook() {
        if (hook_) UnhookWindowsHookEx(hook_);
    }
    MenuNoActivateHook(const MenuNoActivateHook&) = delete;
    MenuNoActivateHook& operator=(const MenuNoActivateHook&) = delete;

private:
    static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND) {
            HWND window = reinterpret_cast<HWND>(wParam);
            if (GetClassLongW(window, GCW_ATOM) == kMenuClassAtom)
                SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_NOACTIVATE);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    HHOOK hook_;
};

// A hidden message-only window that owns a menu shown without an owner.
class MessageOnlyOwner {
public:
    explicit MessageOnlyOwner(bool needed)
        : window_(needed ? CreateUtilityWindow(WS_EX_TOOLWINDOW | WS_EX_NOPARENTNOTIFY, nullptr, 0, HWND_MESSAGE,
                                               nullptr)
                         : nullptr) {}
    ~MessageOnlyOwner() {
        if (window_) DestroyWindow(window_);
    }
    MessageOnlyOwner(const MessageOnlyOwner&) = delete;
    MessageOnlyOwner& operator=(const MessageOnlyOwner&) = delete;

    HWND Get() const { return window_; }

private:
    HWND window_;
};
}  // namespace

void BuildMenuFromLines(HMENU menu, const char* const* lines, int count) {
    if (count < 0) {
        count = 0;
        while (lines[count]) ++count;
    }
    MenuBuildState state{lines, count};
    // A "<" without an open submenu ends nothing: reading goes on.
    while (state.next < state.count) FillMenu(menu, state);
}

void BuildMenuFromText(HMENU menu, const char* text) {
    str copy(text);
    if (copy.IsEmpty()) return;
    const bool endsWithLineFeed = copy.EndsWith('\n');
    TextList lines;
    int count = SplitLines(copy.buf, lines);
    // A line feed ends the last line; no empty line follows it.
    if (endsWithLineFeed) --count;
    BuildMenuFromLines(menu, lines.data(), count);
}

int TrackPopup(HMENU menu, HWND owner, UINT flags, const POINT* point) {
    POINT at = {};
    if (point)
        at = *point;
    else
        GetCursorPosEx(&at);
    flags ^= TPM_RETURNCMD;
    HWND foreground = GetForegroundWindow();
    const bool foregroundIsThisThread =
        foreground && GetWindowThreadProcessId(foreground, nullptr) == GetCurrentThreadId();
    if (owner && (owner == foreground || foregroundIsThisThread))
        return TrackPopupMenuEx(menu, flags, at.x, at.y, owner, nullptr);

    MessageOnlyOwner messageOnlyOwner(!owner);
    if (!owner) owner = messageOnlyOwner.Get();
    MenuWatcher watcher(!foregroundIsThisThread, owner, foreground);
    MenuNoActivateHook hook;
    return TrackPopupMenuEx(menu, flags, at.x, at.y, owner, nullptr);
}
