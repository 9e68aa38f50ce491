// jxgrid.dll's JX_Edit as a dialog uses it: real fields in a shown parent,
// driven by messages and posted input, with the notifications the parent
// receives and the pixels the buttons paint.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>
#include <algorithm>
#include <memory>
#include <type_traits>
#include <string>
#include <vector>
#include "counting_allocator.h"
#include "handles.h"
#include "host_exports.h"
#include "jx/edit_control.h"
#include "loaded_library.h"

namespace {

constexpr int kEditId = 101;
constexpr int kEditWidth = 200;
constexpr int kEditHeight = 24;
constexpr int kFrame = 2;  // WS_EX_CLIENTEDGE
constexpr int kDropdownWidth = 16;
constexpr int kActionWidth = 19;
constexpr int kIconSize = 16;
// Where the action button's icon starts inside the button.
constexpr int kActionIconOffset = 2;
// A pixel of the icon's middle row that both library glyphs leave clear
// except the dropdown triangle, which covers it.
constexpr POINT kIconSample = {8, 7};

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kHot = 0xFBF1E5;
constexpr COLORREF kPressed = 0xF7E4CC;
constexpr COLORREF kGlyph = RGB(0x40, 0x40, 0x40);  // the library glyphs (controls/icons)
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

constexpr wchar_t kParentClass[] = L"JX_EditTestParent";
constexpr UINT kSafetyMs = 5000;
constexpr UINT kReleaseDelayMs = 50;

using jxhost::UniqueIcon;
using jxhost::UniqueImageList;
using UniqueBitmap = jx::UniqueHandle<HBITMAP, DeleteObject>;

struct Command {
    WORD id;
    WORD code;
    HWND from;
    COLORREF dropdownPixel;  // the dropdown button while the parent is told
};
std::vector<Command> g_commands;

COLORREF WindowPixel(HWND window, POINT screen) {
    RECT rect;
    GetWindowRect(window, &rect);
    const auto release = [window](HDC dc) { ReleaseDC(window, dc); };
    const std::unique_ptr<std::remove_pointer_t<HDC>, decltype(release)> dc(GetWindowDC(window), release);
    return GetPixel(dc.get(), screen.x - rect.left, screen.y - rect.top);
}

// The buttons in screen coordinates, from the client area's right edge; the
// action button as it is beside the dropdown button.
RECT ClientOnScreen(HWND edit) {
    RECT client;
    GetClientRect(edit, &client);
    MapWindowPoints(edit, nullptr, reinterpret_cast<POINT*>(&client), 2);
    return client;
}
RECT DropdownButton(HWND edit) {
    const RECT client = ClientOnScreen(edit);
    return {client.right, client.top, client.right + kDropdownWidth, client.bottom};
}
RECT ActionButton(HWND edit) {
    const RECT client = ClientOnScreen(edit);
    return {client.right + kDropdownWidth, client.top, client.right + kDropdownWidth + kActionWidth, client.bottom};
}
POINT Middle(const RECT& rect) { return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}; }
// A pixel of a button's background, beside its edge and above its icon.
POINT BackgroundSample(const RECT& button) { return {button.left + kIconSize / 2, button.top}; }
POINT ActionIconSample(HWND edit) {
    const RECT button = ActionButton(edit);
    const int iconTop = (button.top + button.bottom + 1) / 2 - kIconSize / 2;
    return {button.left + kActionIconOffset + kIconSample.x, iconTop + kIconSample.y};
}

HWND g_sampledEdit = nullptr;
bool g_destroyWhenTold = false;
int g_defaultButtonCommands = 0;  // IDOK as the dialog manager sends it for Enter

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const WORD code = HIWORD(wParam);
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK && !lParam) ++g_defaultButtonCommands;
    if (message == WM_COMMAND && lParam && (code == JX_EDIT_NOTIFY_DROPDOWN || code == JX_EDIT_NOTIFY_ACTION)) {
        HWND from = reinterpret_cast<HWND>(lParam);
        const COLORREF pixel = from == g_sampledEdit ? WindowPixel(from, BackgroundSample(DropdownButton(from))) : 0;
        g_commands.push_back({LOWORD(wParam), code, from, pixel});
        if (g_destroyWhenTold) DestroyWindow(from);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

int ThreadWindows() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

WNDCLASSEXW EmptyClassInfo() {
    WNDCLASSEXW info = {};
    info.cbSize = sizeof info;
    return info;
}

size_t LiveBlocks() { return jxhost::Allocator().Stats().liveBlocks; }

int ClientWidth(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    return client.right;
}

// The client width a field's buttons leave. Under a visual style its 2-pixel
// right frame is 1 pixel beside the buttons once the layout has been computed
// with the theme.
int ClientWidthBeside(HWND edit, int buttonsWidth) {
    return kEditWidth - 2 * kFrame - buttonsWidth + (buttonsWidth && GetWindowTheme(edit) ? 1 : 0);
}

std::wstring Text(HWND window) {
    std::wstring text(size_t(GetWindowTextLengthW(window)), L'\0');
    GetWindowTextW(window, text.data(), int(text.size() + 1));
    return text;
}

UniqueIcon SolidIcon(COLORREF color) {
    const BYTE opaque[kIconSize * kIconSize / 8] = {};
    const DWORD argb = 0xFF000000 | (DWORD(GetRValue(color)) << 16) | (DWORD(GetGValue(color)) << 8) | GetBValue(color);
    const std::vector<DWORD> pixels(kIconSize * kIconSize, argb);
    return UniqueIcon(CreateIcon(nullptr, kIconSize, kIconSize, 1, 32, opaque, reinterpret_cast<const BYTE*>(pixels.data())));
}

LRESULT SetButton(HWND edit, WPARAM wParam, LPARAM lParam = 0) {
    const LRESULT result = SendMessageW(edit, JX_EDIT_SETBUTTON, wParam, lParam);
    Pump();
    UpdateWindow(edit);
    return result;
}

// A button press as the system delivers it: the hit-test code with the
// screen point.
void PostPress(HWND edit, POINT screen) {
    const LPARAM point = MAKELPARAM(screen.x, screen.y);
    PostMessageW(edit, WM_NCLBUTTONDOWN, WPARAM(SendMessageW(edit, WM_NCHITTEST, 0, point)), point);
}

void PostKey(WPARAM key) {
    PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
    PostMessageW(GetFocus(), WM_KEYUP, key, 0xC0000001);
}

// What the action button's modal press sees: the release the timer posts at
// a client point of the field, and the button's look before it.
struct PressRelease {
    HWND edit = nullptr;
    POINT releaseAt = {};
    COLORREF pressedPixel = 0;
};
PressRelease g_press;

void CALLBACK PostRelease(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    g_press.pressedPixel = WindowPixel(g_press.edit, BackgroundSample(ActionButton(g_press.edit)));
    PostMessageW(g_press.edit, WM_LBUTTONUP, 0, MAKELPARAM(g_press.releaseAt.x, g_press.releaseAt.y));
}

// Ends a press that no release reached, so that no test can hang.
void CALLBACK EndStuckPress(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    ReleaseCapture();
}

class EditControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library_.Loaded()) << library_.LoadError();
        g_commands.clear();
        g_sampledEdit = nullptr;
        g_destroyWhenTold = false;
        liveBlocks_ = LiveBlocks();
        threadWindows_ = ThreadWindows();
        WNDCLASSEXW info = EmptyClassInfo();
        info.lpfnWndProc = ParentProc;
        info.hInstance = GetModuleHandleW(nullptr);
        info.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        info.lpszClassName = kParentClass;
        RegisterClassExW(&info);
        parent_ = CreateWindowExW(WS_EX_TOOLWINDOW, kParentClass, L"", WS_POPUP, 40, 40, 320, 160, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(parent_);
        // Shown without activation: Wine then hides it at once when it is destroyed.
        SetWindowPos(parent_, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        Pump();
    }

    void TearDown() override {
        if (IsSkipped()) return;
        DestroyWindow(parent_);
        Pump();
        EXPECT_EQ(LiveBlocks(), liveBlocks_) << "every field gave its object back";
        EXPECT_EQ(ThreadWindows(), threadWindows_);
        UnregisterClassW(kParentClass, GetModuleHandleW(nullptr));
        EXPECT_EQ(library_.Unload().blocks, 0);
    }

    // A focused field showing "text", as a child of the parent.
    HWND CreateEdit(DWORD style = 0) {
        HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, JX_EDIT_CLASS_W, L"text", WS_CHILD | WS_VISIBLE | style, 10, 10,
                                    kEditWidth, style & ES_MULTILINE ? 3 * kEditHeight : kEditHeight, parent_,
                                    reinterpret_cast<HMENU>(INT_PTR(kEditId)), nullptr, nullptr);
        EXPECT_TRUE(edit);
        SetFocus(edit);
        Pump();
        UpdateWindow(edit);
        return edit;
    }

    jxhost::LoadedLibrary library_{L"jxgrid.dll"};
    HWND parent_ = nullptr;
    size_t liveBlocks_ = 0;
    int threadWindows_ = 0;
};

TEST(EditControlClass, RegisteredAtLoadAnnouncedAndUnregisteredAtUnload) {
    WNDCLASSEXW edit = EmptyClassInfo();
    ASSERT_TRUE(GetClassInfoExW(nullptr, L"Edit", &edit));
    jxhost::ClearWindowClassFlagsCalls();
    HINSTANCE instance = nullptr;
    {
        jxhost::LoadedLibrary library(L"jxgrid.dll");
        ASSERT_TRUE(library.Loaded());
        instance = library.Handle();
        WNDCLASSEXW info = EmptyClassInfo();
        ASSERT_TRUE(GetClassInfoExW(instance, JX_EDIT_CLASS_W, &info));
        EXPECT_TRUE(info.style & CS_GLOBALCLASS);
        EXPECT_EQ(info.cbWndExtra, edit.cbWndExtra + int(sizeof(LONG_PTR))) << "the edit's bytes, then the object";
        const std::vector<jxhost::WindowClassFlags> calls = jxhost::WindowClassFlagsCalls();
        EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [](const jxhost::WindowClassFlags& call) {
            return call.className == JX_EDIT_CLASS && call.flags == JX_EDIT_CLASS_FLAGS;
        }));
        EXPECT_EQ(library.Unload().blocks, 0);
    }
    WNDCLASSEXW info = EmptyClassInfo();
    EXPECT_FALSE(GetClassInfoExW(instance, JX_EDIT_CLASS_W, &info));
}

// The dropdown button and the paging and arrow keys of a single-line field,
// with or without buttons, ask for the list; the button shows pressed while
// the parent is told.
TEST_F(EditControlTest, DropdownButtonAndKeysSendTheDropdownCode) {
    struct Case {
        const char* name;
        WPARAM key;  // 0: the dropdown button
        WPARAM buttons;
        DWORD style = 0;
        UINT keyMessage = WM_KEYDOWN;
    };
    const Case cases[] = {
        {"dropdown button", 0, JX_EDIT_BUTTONS_DROPDOWN},
        {"Down", VK_DOWN, JX_EDIT_BUTTONS_DROPDOWN},
        {"Up", VK_UP, JX_EDIT_BUTTONS_BOTH},
        {"PgUp", VK_PRIOR, JX_EDIT_BUTTONS_ACTION},
        {"PgDn", VK_NEXT, JX_EDIT_BUTTONS_NONE},
        {"Alt+Down in a multi-line field", VK_DOWN, JX_EDIT_BUTTONS_DROPDOWN, ES_MULTILINE, WM_SYSKEYDOWN},
    };
    for (const Case& c : cases) {
        HWND edit = CreateEdit(c.style);
        const LPARAM dropdown = MAKELPARAM(Middle(DropdownButton(edit)).x, Middle(DropdownButton(edit)).y);
        EXPECT_EQ(SendMessageW(edit, WM_NCHITTEST, 0, dropdown), HTMENU) << c.name << ": a new field has the dropdown button";
        if (c.buttons != JX_EDIT_BUTTONS_DROPDOWN) SetButton(edit, c.buttons);
        g_sampledEdit = c.key ? nullptr : edit;
        g_commands.clear();
        if (c.key)
            PostMessageW(GetFocus(), c.keyMessage, c.key, 1);
        else
            PostPress(edit, Middle(DropdownButton(edit)));
        Pump();
        ASSERT_EQ(g_commands.size(), 1u) << c.name;
        EXPECT_EQ(g_commands[0].id, kEditId) << c.name;
        EXPECT_EQ(g_commands[0].code, JX_EDIT_NOTIFY_DROPDOWN) << c.name;
        EXPECT_EQ(g_commands[0].from, edit) << c.name;
        if (!c.key) {
            EXPECT_EQ(g_commands[0].dropdownPixel, kPressed) << "pressed while the parent is told";
            EXPECT_EQ(WindowPixel(edit, BackgroundSample(DropdownButton(edit))), kWhite) << "released after";
        }
        EXPECT_EQ(Text(edit), L"text") << c.name;
        DestroyWindow(edit);
    }
}

// A parent may close the field from its notification handler, as an editor
// does when the list is chosen; the field's state goes with the window.
TEST_F(EditControlTest, ParentMayDestroyTheFieldWhileItIsTold) {
    for (const WPARAM key : {VK_DOWN, VK_RETURN}) {
        HWND edit = CreateEdit();
        g_destroyWhenTold = true;
        g_commands.clear();
        PostKey(key);
        Pump();
        EXPECT_EQ(g_commands.size(), 1u) << key;
        EXPECT_FALSE(IsWindow(edit)) << key;
    }
}

TEST_F(EditControlTest, NoFieldWhenTheHostAllocatorIsExhausted) {
    jxhost::Allocator().FailNext(1);
    HWND edit = CreateWindowExW(0, JX_EDIT_CLASS_W, L"", WS_CHILD, 0, 0, kEditWidth, kEditHeight, parent_, nullptr,
                                nullptr, nullptr);
    jxhost::Allocator().ResetFaults();
    EXPECT_EQ(edit, nullptr);
}

TEST_F(EditControlTest, SetButtonSelectsTheButtonsAndResizesTheClientArea) {
    struct Case {
        WPARAM buttons;
        int buttonsWidth;
    };
    const Case cases[] = {{JX_EDIT_BUTTONS_NONE, 0},
                          {JX_EDIT_BUTTONS_BOTH, kDropdownWidth + kActionWidth},
                          {JX_EDIT_BUTTONS_ACTION, kActionWidth},
                          {JX_EDIT_BUTTONS_DROPDOWN, kDropdownWidth},
                          {JX_EDIT_BUTTONS_NONE, 0}};
    HWND edit = CreateEdit();
    RECT window;
    GetWindowRect(edit, &window);
    const LPARAM nearRightEdge = MAKELPARAM(window.right - 3, (window.top + window.bottom) / 2);
    for (const Case& c : cases) {
        EXPECT_EQ(SetButton(edit, c.buttons | JX_EDIT_ICON_HANDLE), 0);
        EXPECT_EQ(ClientWidth(edit), ClientWidthBeside(edit, c.buttonsWidth)) << c.buttons;
        EXPECT_EQ(SendMessageW(edit, WM_NCHITTEST, 0, nearRightEdge) == HTMENU, c.buttonsWidth > 0) << c.buttons;
    }
}

// Each icon source gives the action button its icon; one that yields none
// leaves the library's icon. The caller keeps its own icon and image list.
TEST_F(EditControlTest, IconSourcesGiveTheActionButtonItsIcon) {
    UniqueIcon red = SolidIcon(kRed), blue = SolidIcon(kBlue);
    ASSERT_TRUE(red && blue);
    UniqueImageList images(ImageList_Create(kIconSize, kIconSize, ILC_COLOR32 | ILC_MASK, 2, 0));
    ASSERT_TRUE(images);
    ImageList_AddIcon(images.get(), blue.get());
    ImageList_AddIcon(images.get(), red.get());
    const std::string glyphFile = JX_CONTROL_ICONS_DIR "/dropdown.ico";
    const std::string missingFile = JX_CONTROL_ICONS_DIR "/missing.ico";
    struct Case {
        const char* name;
        WPARAM source;
        LPARAM lParam;
        COLORREF expected;
    };
    const Case cases[] = {
        {"icon handle", JX_EDIT_ICON_HANDLE, LPARAM(red.get()), kRed},
        {"image list", JX_EDIT_ICON_IMAGELIST | JX_EDIT_IMAGE_INDEX(1), LPARAM(images.get()), kRed},
        {"file", JX_EDIT_ICON_FILE, LPARAM(glyphFile.c_str()), kGlyph},
        {"host resource", JX_EDIT_ICON_RESOURCE, LPARAM("JX_TEST_ICON"), kGlyph},
        {"no icon", JX_EDIT_ICON_HANDLE, 0, kWhite},
        {"missing file", JX_EDIT_ICON_FILE, LPARAM(missingFile.c_str()), kWhite},
        {"missing resource", JX_EDIT_ICON_RESOURCE, LPARAM("JX_NO_SUCH_ICON"), kWhite},
    };
    for (const Case& c : cases) {
        HWND edit = CreateEdit();
        SetButton(edit, JX_EDIT_BUTTONS_BOTH | c.source, c.lParam);
        EXPECT_EQ(ClientWidth(edit), ClientWidthBeside(edit, kDropdownWidth + kActionWidth)) << c.name;
        EXPECT_EQ(WindowPixel(edit, ActionIconSample(edit)), c.expected) << c.name;
        EXPECT_EQ(WindowPixel(edit, BackgroundSample(ActionButton(edit))), kWhite) << c.name;
        DestroyWindow(edit);
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(red.get(), &info)) << c.name << ": the caller's icon is still valid";
        const UniqueBitmap color(info.hbmColor), mask(info.hbmMask);
    }
    EXPECT_EQ(ImageList_GetImageCount(images.get()), 2);
}

// The action button tracks the mouse until the release: over the button it
// is a click, elsewhere nothing.
TEST_F(EditControlTest, ActionButtonClicksOnlyWhenReleasedOverIt) {
    struct Case {
        const char* name;
        bool overButton;
        size_t commands;
    };
    for (const Case& c : {Case{"released over the button", true, 1}, Case{"released outside", false, 0}}) {
        HWND edit = CreateEdit();
        SetButton(edit, JX_EDIT_BUTTONS_BOTH | JX_EDIT_ICON_HANDLE);
        POINT release = c.overButton ? Middle(ActionButton(edit)) : POINT{60, 60};
        ScreenToClient(edit, &release);
        g_press = {edit, release, 0};
        g_commands.clear();
        const UINT_PTR releaseTimer = SetTimer(nullptr, 0, kReleaseDelayMs, PostRelease);
        const UINT_PTR safetyTimer = SetTimer(nullptr, 0, kSafetyMs, EndStuckPress);
        PostPress(edit, Middle(ActionButton(edit)));
        Pump();
        KillTimer(nullptr, releaseTimer);
        KillTimer(nullptr, safetyTimer);
        EXPECT_EQ(g_press.pressedPixel, kPressed) << c.name << ": pressed while tracking";
        EXPECT_EQ(GetCapture(), nullptr) << c.name;
        ASSERT_EQ(g_commands.size(), c.commands) << c.name;
        if (c.commands) {
            EXPECT_EQ(g_commands[0].code, JX_EDIT_NOTIFY_ACTION);
            EXPECT_EQ(g_commands[0].id, kEditId);
            EXPECT_EQ(g_commands[0].from, edit);
        }
        EXPECT_EQ(WindowPixel(edit, BackgroundSample(ActionButton(edit))), kWhite) << c.name;
        DestroyWindow(edit);
    }
}

// Enter is the action in a single-line field; a multi-line field breaks the
// line instead and keeps its arrow keys.
TEST_F(EditControlTest, EnterReportsOnlyInASingleLineField) {
    struct Case {
        const char* name;
        DWORD style;
        WPARAM key;
        WCHAR character;
        std::vector<WORD> codes;
        size_t length;
    };
    const Case cases[] = {
        {"single-line Enter", 0, VK_RETURN, L'\r', {JX_EDIT_NOTIFY_ACTION}, 4},
        {"multi-line Enter", ES_MULTILINE, VK_RETURN, L'\r', {}, 6},
        {"multi-line Down", ES_MULTILINE, VK_DOWN, 0, {}, 4},
    };
    for (const Case& c : cases) {
        HWND edit = CreateEdit(c.style);
        g_commands.clear();
        PostMessageW(GetFocus(), WM_KEYDOWN, c.key, 1);
        if (c.character) PostMessageW(GetFocus(), WM_CHAR, c.character, 1);
        Pump();
        std::vector<WORD> codes;
        for (const Command& command : g_commands) codes.push_back(command.code);
        EXPECT_EQ(codes, c.codes) << c.name;
        const std::wstring text = Text(edit);
        EXPECT_EQ(text.size(), c.length) << c.name;
        EXPECT_EQ(text.find(L"\r\n") != std::wstring::npos, c.length == 6) << c.name;
        DestroyWindow(edit);
    }
}

TEST_F(EditControlTest, InADialogEnterReachesTheField) {
    HWND edit = CreateEdit();
    g_commands.clear();
    g_defaultButtonCommands = 0;
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
    PostMessageW(GetFocus(), WM_CHAR, L'\r', 1);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (!IsDialogMessageW(parent_, &msg)) DispatchMessageW(&msg);
    ASSERT_EQ(g_commands.size(), 1u);
    EXPECT_EQ(g_commands[0].code, JX_EDIT_NOTIFY_ACTION);
    EXPECT_EQ(g_defaultButtonCommands, 0) << "not the dialog's default button";
    EXPECT_EQ(Text(edit), L"text");
    DestroyWindow(edit);
}

TEST_F(EditControlTest, CtrlASelectsAllInAMultiLineField) {
    HWND edit = CreateEdit(ES_MULTILINE);
    SendMessageW(edit, EM_SETSEL, 1, 1);
    BYTE keys[256], withCtrl[256];
    ASSERT_TRUE(GetKeyboardState(keys));
    std::copy(std::begin(keys), std::end(keys), withCtrl);
    withCtrl[VK_CONTROL] = withCtrl[VK_LCONTROL] = 0x80;
    SetKeyboardState(withCtrl);
    PostKey('A');
    Pump();
    SetKeyboardState(keys);
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, WPARAM(&start), LPARAM(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 4u);
    EXPECT_EQ(Text(edit), L"text");
}

TEST_F(EditControlTest, MiddleClickClearsOnlyAWritableFieldAndCanBeUndone) {
    struct Case {
        const char* name;
        DWORD style;
        bool madeReadOnly;  // by EM_SETREADONLY after creation
        const wchar_t* after;
    };
    const Case cases[] = {{"writable", 0, false, L""},
                          {"read-only", ES_READONLY, false, L"text"},
                          {"made read-only", 0, true, L"text"}};
    for (const Case& c : cases) {
        HWND edit = CreateEdit(c.style);
        if (c.madeReadOnly) SendMessageW(edit, EM_SETREADONLY, TRUE, 0);
        SendMessageW(edit, EM_EMPTYUNDOBUFFER, 0, 0);
        PostMessageW(edit, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(5, 5));
        PostMessageW(edit, WM_MBUTTONUP, 0, MAKELPARAM(5, 5));
        Pump();
        EXPECT_EQ(Text(edit), c.after) << c.name;
        if (!*c.after) {
            EXPECT_TRUE(SendMessageW(edit, EM_UNDO, 0, 0)) << c.name;
            EXPECT_EQ(Text(edit), L"text") << c.name;
        }
        DestroyWindow(edit);
    }
}

TEST_F(EditControlTest, HotButtonIsHighlightedUntilTheMouseLeaves) {
    HWND edit = CreateEdit();
    const POINT sample = BackgroundSample(DropdownButton(edit));
    const POINT over = Middle(DropdownButton(edit));
    EXPECT_EQ(SendMessageW(edit, WM_NCMOUSEMOVE, HTMENU, MAKELPARAM(over.x, over.y)), 0);
    EXPECT_EQ(WindowPixel(edit, sample), kHot);
    SendMessageW(edit, WM_NCMOUSELEAVE, 0, 0);
    EXPECT_EQ(WindowPixel(edit, sample), kWhite);
}

TEST_F(EditControlTest, DisabledFieldShowsButtonFaceWithoutIcons) {
    HWND edit = CreateEdit();
    SetButton(edit, JX_EDIT_BUTTONS_BOTH | JX_EDIT_ICON_FILE, LPARAM(JX_CONTROL_ICONS_DIR "/dropdown.ico"));
    ASSERT_EQ(WindowPixel(edit, ActionIconSample(edit)), kGlyph);
    EnableWindow(edit, FALSE);
    Pump();
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(WindowPixel(edit, ActionIconSample(edit)), face);
    EXPECT_EQ(WindowPixel(edit, BackgroundSample(DropdownButton(edit))), face);
    RedrawWindow(edit, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(WindowPixel(edit, ActionIconSample(edit)), face) << "and when the frame is painted again";
    EnableWindow(edit, TRUE);
    Pump();
    EXPECT_EQ(WindowPixel(edit, ActionIconSample(edit)), kGlyph);
}

}  // namespace
