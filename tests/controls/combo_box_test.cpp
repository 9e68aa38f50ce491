// jxgrid.dll's JX_ComboBox in a real parent: messages as a dialog sends
// them, keys posted into its open list, its notifications and its data.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <stdlib.h>
#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>
#include "control_test_support.h"
#include "counting_allocator.h"
#include "editor_window.h"
#include "host_string.h"
#include "jx/combo_box.h"
#include "loaded_library.h"

namespace {

using namespace control_test;

constexpr int kComboId = 7;

// WM_COMMAND codes and check notices the parent received, in order.
std::vector<int> g_codes;
// A notification on which the parent destroys the combo box (-1: none).
int g_destroyOnCode = -1;

LRESULT CALLBACK ParentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == kComboId) {
        g_codes.push_back(HIWORD(wParam));
        if (HIWORD(wParam) == g_destroyOnCode) DestroyWindow(reinterpret_cast<HWND>(lParam));
    }
    if (message == WM_NOTIFY) {
        const auto* notify = reinterpret_cast<const ComboCheckNotify*>(lParam);
        if (notify->header.code == JX_COMBO_NOTIFY_CHECK) g_codes.push_back(1000 + notify->index * 10 + notify->checked);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateParent() {
    static const ATOM atom = test_support::RegisterTestClass(L"JX_ComboTestParent", ParentProcedure);
    return CreateWindowExW(0, reinterpret_cast<LPCWSTR>(ULONG_PTR(atom)), L"combo test",
                           WS_POPUP | WS_VISIBLE | WS_CAPTION, 100, 100, 400, 300, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

class ComboBoxTest : public ::testing::Test {
protected:
    void SetUp() override { Load(JX_DEFAULT_CODE_PAGE); }
    void Load(UINT codePage) {
        if (library_) library_->Unload();
        library_.reset();
        jxhost::Allocator().SetCodePage(codePage);
        library_.emplace(L"jxgrid.dll");
        ASSERT_TRUE(library_->Loaded()) << library_->LoadError();
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
        windowsBefore_ = ThreadWindows();
        blocksBefore_ = LiveBlocks();
        parent_ = CreateParent();
        SetForegroundWindow(parent_);
        g_codes.clear();
        g_destroyOnCode = -1;
    }
    void TearDown() override {
        if (parent_ && IsWindow(parent_)) DestroyWindow(parent_);
        Pump();
        EXPECT_EQ(ThreadWindows(), windowsBefore_) << "every window is destroyed";
        EXPECT_EQ(LiveBlocks(), blocksBefore_) << "every block is given back";
        EXPECT_EQ(library_->Unload().blocks, 0);
        jxhost::Allocator().SetCodePage(JX_DEFAULT_CODE_PAGE);
    }

    HWND Create(DWORD style) const {
        return CreateWindowExW(0, JX_COMBO_CLASS_W, nullptr, WS_CHILD | WS_VISIBLE | style, 10, 10, 200, 200,
                               parent_, reinterpret_cast<HMENU>(INT_PTR(kComboId)), nullptr, nullptr);
    }
    static UINT DataMessage() { return RegisterWindowMessageA(JX_MSG_DIALOGCONTROLDATA); }
    static void SetData(HWND combo, const char* csv) {
        jxhost::HostString data(csv);
        EXPECT_EQ(SendMessageW(combo, DataMessage(), JX_DIALOGDATA_SET, LPARAM(data.Record())), 1);
        Pump();
    }
    static std::string Data(HWND combo) {
        jxhost::HostString data("");
        EXPECT_EQ(SendMessageW(combo, DataMessage(), JX_DIALOGDATA_GET, LPARAM(data.Record())), 1);
        return std::string(data.Text());
    }
    static std::wstring Shown(HWND combo) {
        Pump();  // the posted display update
        wchar_t text[256] = {};
        GetWindowTextW(combo, text, 256);
        return text;
    }
    // Runs `steps` into the list that `open` opens.
    static void WithList(const std::function<void()>& open, std::vector<Step> steps) {
        Driver driver(std::move(steps));
        driver.Run([&] {
            open();
            return 0;
        });
        EXPECT_FALSE(driver.TimedOut());
        EXPECT_TRUE(driver.SawPopup());
    }

    std::optional<jxhost::LoadedLibrary> library_;
    HWND parent_ = nullptr;
    int windowsBefore_ = 0;
    size_t blocksBefore_ = 0;
};

constexpr char kColors[] = "-1\r\nred\r\ngreen\r\nblue\r\n";

TEST_F(ComboBoxTest, OnlyStylesWithAListAreMade) {
    EXPECT_FALSE(Create(CBS_SIMPLE));
    HWND dropdown = Create(CBS_DROPDOWN);
    HWND list = Create(CBS_DROPDOWNLIST);
    ASSERT_TRUE(dropdown && list);
    EXPECT_EQ(SendMessageW(dropdown, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(dropdown, CB_GETCURSEL, 0, 0), -1);
    COMBOBOXINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetComboBoxInfo(dropdown, &info));
    EXPECT_TRUE(info.hwndItem && info.hwndItem != dropdown) << "a drop-down combo keeps its edit field";
}

TEST_F(ComboBoxTest, SetDataShowsTheStateOfEachMode) {
    HWND combo = Create(CBS_DROPDOWN);
    struct Case {
        const char* csv;
        const wchar_t* shown;
        const char* data;
        int selection;
    };
    const Case cases[] = {
        {"1\r\nred\r\ngreen\r\n", L"green", "green", 1},
        {"-1 word\r\nred\r\n", L"word", "word", -1},
        {"0,,1\r\na,,1\r\nb\r\nc,,1\r\n", L"a, c", "a, c", -1},
        {"0x105,,0x802\r\na\r\nb\r\nc\r\n", L"1|4|0x100", "1|4|0x100", -1},
        {"0x5,,3\r\na\r\nb\r\nc\r\n", L"a, c", "a, c", -1},
        {"", L"", "", -1},
    };
    for (const Case& test : cases) {
        SetData(combo, test.csv);
        EXPECT_EQ(Shown(combo), test.shown) << test.csv;
        EXPECT_EQ(Data(combo), test.data) << test.csv;
        EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), test.selection) << test.csv;
    }
    // Without an edit field (or with flag 0x100) the data is the state itself.
    HWND list = Create(CBS_DROPDOWNLIST);
    SetData(list, "0,,1\r\na,,1\r\nb\r\nc,,1\r\n");
    EXPECT_EQ(Data(list), "101");
    EXPECT_EQ(Shown(list), L"a, c");
    SetData(list, "0x6,,2\r\na\r\nb\r\nc\r\n");
    EXPECT_EQ(Data(list), "6");
    SetData(list, "2\r\na\r\nb\r\nc\r\n");
    EXPECT_EQ(Data(list), "2");
    EXPECT_EQ(Shown(list), L"c");
    // Flag 0x100: the whole table, with the state in cell (0,0).
    SetData(list, "1,,0x100,Pick one\r\na\r\nb\r\n");
    EXPECT_EQ(Data(list), "1,,0x100,Pick one\r\na,,,\r\nb,,,\r\n");
}

TEST_F(ComboBoxTest, BadDataIsReportedAndLeavesAnEmptyList) {
    jxhost::EditorWindow host;
    jxhost::Allocator().SetHostWindow(host.Handle());
    HWND combo = Create(CBS_DROPDOWNLIST);
    SetData(combo, kColors);
    SetData(combo, "a,\"b\r\n");
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), -1);
    EXPECT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, LPARAM(L"x,\"y")), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 0);
    jxhost::Allocator().SetHostWindow(nullptr);
    const auto blocks = host.ReceivedBlocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].messages, std::vector<std::string>{"Invalid CSV string:\r\na,\"b\r\n"});
    EXPECT_EQ(blocks[1].messages, std::vector<std::string>{"Invalid CSV string:\r\nx,\"y"});
}

TEST_F(ComboBoxTest, ListMessagesWorkOnTheTable) {
    HWND combo = Create(CBS_DROPDOWNLIST);
    SetData(combo, "-1\r\napple\r\nbanana\r\napricot\r\n");
    // CB_FINDSTRING starts after the index and does not turn round.
    EXPECT_EQ(SendMessageW(combo, CB_FINDSTRING, WPARAM(-1), LPARAM(L"AP")), 0);
    EXPECT_EQ(SendMessageW(combo, CB_FINDSTRING, 0, LPARAM(L"ap")), 2);
    EXPECT_EQ(SendMessageW(combo, CB_FINDSTRING, 2, LPARAM(L"ap")), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(L"BANANA")), 1);
    EXPECT_EQ(SendMessageW(combo, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(L"ban")), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_SELECTSTRING, WPARAM(-1), LPARAM(L"ban")), 1);
    EXPECT_EQ(Shown(combo), L"banana");
    // Inserting before the selection moves it; deleting it selects none.
    EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, 0, LPARAM(L"cherry,,,,,,,42")), 0);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(SendMessageW(combo, CB_GETITEMDATA, 0, 0), 42);
    EXPECT_EQ(SendMessageW(combo, CB_SETITEMDATA, 3, LPARAM(-7)), TRUE);
    EXPECT_EQ(SendMessageW(combo, CB_GETITEMDATA, 3, 0), -7);
    EXPECT_EQ(SendMessageW(combo, CB_GETITEMDATA, 9, 0), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_DELETESTRING, 2, 0), 3);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), -1);
    EXPECT_EQ(SendMessageW(combo, CB_DELETESTRING, 3, 0), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 5, 0), -1);
    EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 2, 0), 2);
    EXPECT_EQ(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_RESETCONTENT, 0, 0), CB_OKAY);
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), -1);
}

TEST_F(ComboBoxTest, AnEmptyStringIsAnEmptyItem) {
    jxhost::EditorWindow host;
    jxhost::Allocator().SetHostWindow(host.Handle());
    HWND combo = Create(CBS_DROPDOWNLIST);
    SetData(combo, kColors);
    EXPECT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, LPARAM(L"")), 3);
    EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, 1, 0), 1) << "a null text";
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 5);
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, 1, 0), 0);
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, 4, 0), 0);
    wchar_t text[8] = {};
    SendMessageW(combo, CB_GETLBTEXT, 2, LPARAM(text));
    EXPECT_STREQ(text, L"green");
    jxhost::Allocator().SetHostWindow(nullptr);
    EXPECT_TRUE(host.ReceivedBlocks().empty()) << "nothing is reported";
}

TEST_F(ComboBoxTest, F4AndAltArrowsOpenItsOwnList) {
    struct Case {
        DWORD style;
        bool inEdit;
        UINT message;
        WPARAM key;
    };
    const Case cases[] = {
        {CBS_DROPDOWNLIST, false, WM_KEYDOWN, VK_F4}, {CBS_DROPDOWN, true, WM_KEYDOWN, VK_F4},
        {CBS_DROPDOWNLIST, false, WM_SYSKEYDOWN, VK_DOWN}, {CBS_DROPDOWN, true, WM_SYSKEYDOWN, VK_DOWN},
        {CBS_DROPDOWN, true, WM_SYSKEYDOWN, VK_UP},
    };
    for (const Case& test : cases) {
        HWND combo = Create(test.style);
        SetData(combo, kColors);
        COMBOBOXINFO info = {};
        info.cbSize = sizeof info;
        GetComboBoxInfo(combo, &info);
        const HWND target = test.inEdit ? info.hwndItem : combo;
        SetFocus(target);
        bool systemListShown = true;
        WithList(
            [&] {
                PostMessageW(target, test.message, test.key, test.message == WM_SYSKEYDOWN ? 0x20000001 : 1);
                Pump();
            },
            {[&](HWND) { systemListShown = info.hwndList && IsWindowVisible(info.hwndList); }, Key(VK_ESCAPE)});
        EXPECT_FALSE(systemListShown) << test.style << " " << test.key;
        DestroyWindow(combo);
    }
}

TEST_F(ComboBoxTest, ASortedListClosedWithoutAChoiceKeepsTheSelectedItem) {
    for (const WPARAM closing : {WPARAM(VK_ESCAPE), WPARAM(0)}) {
        HWND combo = Create(CBS_DROPDOWNLIST | CBS_SORT);
        SetData(combo, "1\r\ncherry\r\napple\r\nbanana\r\n");
        ASSERT_EQ(Shown(combo), L"apple");
        // Escape, or a click away from the list.
        WithList([&] { SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0); },
                 {closing ? Key(closing) : Step([&](HWND) { PostMessageW(parent_, WM_LBUTTONDOWN, MK_LBUTTON, 0); })});
        const LRESULT selection = SendMessageW(combo, CB_GETCURSEL, 0, 0);
        wchar_t text[16] = {};
        SendMessageW(combo, CB_GETLBTEXT, WPARAM(selection), LPARAM(text));
        EXPECT_EQ(selection, 0) << closing;
        EXPECT_STREQ(text, L"apple") << closing;
        EXPECT_EQ(Shown(combo), L"apple") << closing;
        EXPECT_EQ(Data(combo), "0") << closing;
        DestroyWindow(combo);
    }
}

// The common controls of version 6 for what is created while it is active.
class CommonControls6 {
public:
    CommonControls6() {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        path_ = std::wstring(folder) + L"jx_combo_test.manifest";
        const char manifest[] =
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
            "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
            "<dependency><dependentAssembly><assemblyIdentity type=\"win32\" "
            "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" processorArchitecture=\"*\" "
            "publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/></dependentAssembly></dependency>\r\n"
            "</assembly>\r\n";
        const HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, manifest, DWORD(sizeof manifest - 1), &written, nullptr);
        CloseHandle(file);
        ACTCTXW context = {};
        context.cbSize = sizeof context;
        context.lpSource = path_.c_str();
        context_ = CreateActCtxW(&context);
        if (context_ != INVALID_HANDLE_VALUE) ActivateActCtx(context_, &cookie_);
    }
    ~CommonControls6() {
        if (context_ == INVALID_HANDLE_VALUE) return;
        DeactivateActCtx(0, cookie_);
        ReleaseActCtx(context_);
        DeleteFileW(path_.c_str());
    }
    bool Active() const { return context_ != INVALID_HANDLE_VALUE; }

private:
    std::wstring path_;
    HANDLE context_ = INVALID_HANDLE_VALUE;
    ULONG_PTR cookie_ = 0;
};

TEST_F(ComboBoxTest, TheEditFieldOfEitherControlsVersionShowsTheChoice) {
    for (const bool version6 : {false, true}) {
        std::optional<CommonControls6> controls;
        if (version6) {
            controls.emplace();
            ASSERT_TRUE(controls->Active());
        }
        HWND combo = Create(CBS_DROPDOWN);
        SetData(combo, "2\r\nred\r\ngreen\r\nblue\r\n");
        EXPECT_EQ(Shown(combo), L"blue") << version6;
        SendMessageW(combo, CB_SETCURSEL, 0, 0);
        EXPECT_EQ(Shown(combo), L"red") << version6;
        DestroyWindow(combo);
    }
}

TEST_F(ComboBoxTest, DestroyedByItsParentWhileItOpens) {
    // Each notification on the way to the list; none may lead to a list.
    for (const int code : {CBN_SETFOCUS, CBN_DROPDOWN, CBN_SELCHANGE}) {
        HWND combo = Create(CBS_DROPDOWN);
        SetData(combo, kColors);
        SetFocus(parent_);
        SetWindowTextW(combo, L"green");  // typed: taken over as the list opens
        g_destroyOnCode = code;
        Driver driver({Key(VK_ESCAPE)});
        EXPECT_EQ(driver.Run([&] { return int(SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0)); }), FALSE) << code;
        g_destroyOnCode = -1;
        EXPECT_FALSE(driver.SawPopup()) << code;
        EXPECT_FALSE(IsWindow(combo)) << code;
        Pump();
    }
}

TEST_F(ComboBoxTest, ChecksFollowInsertsAndLbSetSel) {
    HWND combo = Create(CBS_DROPDOWNLIST);
    // Bit-mask: an item inserted at 1 moves the bits from 1 up, its own from its flags.
    SetData(combo, "0x5,,2\r\na\r\nb\r\nc\r\n");
    EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, 1, LPARAM(L"new,,1")), 1);
    EXPECT_EQ(Data(combo), "11");  // 0b1011
    EXPECT_EQ(SendMessageW(combo, CB_DELETESTRING, 0, 0), 3);
    EXPECT_EQ(Data(combo), "5");
    EXPECT_EQ(SendMessageW(combo, LB_GETSEL, 2, 0), TRUE);
    // Mode 1: LB_SETSEL -1 checks every item, with the list closed and open.
    SetData(combo, "0,,1\r\na\r\nb\r\nc\r\n");
    EXPECT_EQ(SendMessageW(combo, LB_SETSEL, TRUE, -1), 0);
    EXPECT_EQ(Data(combo), "111");
    EXPECT_EQ(Shown(combo), L"a, b, c");
    SendMessageW(combo, LB_SETSEL, FALSE, -1);
    int seenOpen = -1;
    WithList([&] { SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0); },
             {[&](HWND) {
                  SendMessageW(combo, LB_SETSEL, TRUE, -1);
                  seenOpen = int(SendMessageW(combo, LB_GETSEL, 1, 0));
              },
              Key(VK_ESCAPE)});
    EXPECT_EQ(seenOpen, TRUE) << "the open list's checks follow";
    EXPECT_EQ(Data(combo), "111");
    EXPECT_EQ(SendMessageW(combo, LB_SETSEL, TRUE, 3), LB_ERR);
    SetData(combo, kColors);
    EXPECT_EQ(SendMessageW(combo, LB_SETSEL, TRUE, 0), LB_ERR) << "single selection has no checks";
}

TEST_F(ComboBoxTest, AChoiceInTheOpenListNotifiesInOrder) {
    HWND combo = Create(CBS_DROPDOWNLIST);
    SetData(combo, "0\r\nred\r\ngreen\r\nblue\r\n");
    SetFocus(combo);
    g_codes.clear();
    WithList([&] { PostMessageW(combo, WM_KEYDOWN, VK_DOWN, 1); Pump(); },
             {Key(VK_DOWN), Key(VK_RETURN)});
    EXPECT_EQ(g_codes, (std::vector<int>{CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}));
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(Shown(combo), L"green");
    // Escape: nothing chosen.
    g_codes.clear();
    WithList([&] { SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0); }, {Key(VK_DOWN), Key(VK_ESCAPE)});
    EXPECT_EQ(g_codes, (std::vector<int>{CBN_DROPDOWN, CBN_SELENDCANCEL, CBN_CLOSEUP}));
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);
}

TEST_F(ComboBoxTest, UserChecksAreNotifiedAndShown) {
    HWND combo = Create(CBS_DROPDOWNLIST);
    SetData(combo, "0,,1\r\na\r\nb\r\n");
    SetFocus(combo);
    g_codes.clear();
    WithList([&] { SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0); },
             {Key(VK_DOWN), Key(VK_DOWN), Key(VK_SPACE), Key(VK_ESCAPE)});
    EXPECT_EQ(g_codes, (std::vector<int>{CBN_DROPDOWN, 1011, CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}));
    EXPECT_EQ(Data(combo), "01");
    EXPECT_EQ(Shown(combo), L"b");
}

TEST_F(ComboBoxTest, TypedTextIsTakenOver) {
    HWND combo = Create(CBS_DROPDOWN);
    // Flag 0x1000: a new name becomes an item, selected, when the list opens.
    SetData(combo, "-1,,0x1000\r\nred\r\ngreen\r\n");
    SetWindowTextW(combo, L"violet");
    WithList([&] { SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0); }, {Key(VK_ESCAPE)});
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 2);
    wchar_t text[32] = {};
    SendMessageW(combo, CB_GETLBTEXT, 2, LPARAM(text));
    EXPECT_STREQ(text, L"violet");
    // A check list reads the names back, adding the new one checked; get-data
    // with the whole table takes them over.
    SetData(combo, "0,,0x1101\r\nred\r\ngreen,,1\r\nblue\r\n");
    SetWindowTextW(combo, L"blue,  Red, pink");
    EXPECT_EQ(Data(combo), "-1,,0x1101\r\nred,,1\r\ngreen,,0\r\nblue,,1\r\npink,,1\r\n");
    // Without 0x1000 a word matches by its start, then anywhere.
    SetData(combo, "-1\r\nred\r\ngreen\r\n");
    SetWindowTextW(combo, L"ree");
    WithList([&] { SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0); }, {Key(VK_ESCAPE)});
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);
}

TEST_F(ComboBoxTest, AClickOpensTheListOnTheButtonOrWithoutAnEditField) {
    struct Case {
        DWORD style;
        bool onButton;
        bool opens;
    };
    for (const Case& test : {Case{CBS_DROPDOWN, true, true}, Case{CBS_DROPDOWN, false, false},
                             Case{CBS_DROPDOWNLIST, false, true}, Case{CBS_DROPDOWNLIST, true, true}}) {
        HWND combo = Create(test.style);
        SetData(combo, kColors);
        SetFocus(parent_);
        COMBOBOXINFO info = {};
        info.cbSize = sizeof info;
        GetComboBoxInfo(combo, &info);
        const RECT& part = test.onButton ? info.rcButton : info.rcItem;
        const LPARAM at = MAKELPARAM((part.left + part.right) / 2, (part.top + part.bottom) / 2);
        Driver driver({Key(VK_ESCAPE)});
        driver.Run([&] {
            PostMessageW(combo, WM_LBUTTONDOWN, MK_LBUTTON, at);
            PostMessageW(combo, WM_LBUTTONUP, 0, at);
            Pump();
            return 0;
        });
        EXPECT_EQ(driver.SawPopup(), test.opens) << test.style << " " << test.onButton;
        if (!test.opens) EXPECT_EQ(GetFocus(), info.hwndItem) << "the click only focuses the edit field";
        DestroyWindow(combo);
    }
}

TEST_F(ComboBoxTest, TypingIntoTheOpenListMovesItsCurrentItem) {
    HWND combo = Create(CBS_DROPDOWN);
    SetData(combo, kColors);
    COMBOBOXINFO info = {};
    info.cbSize = sizeof info;
    GetComboBoxInfo(combo, &info);
    SetFocus(info.hwndItem);
    // The keys reach the focused field; Enter takes the item the text matches.
    WithList([&] { SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0); },
             {[&](HWND) {
                  PostMessageW(GetFocus(), WM_CHAR, 'b', 1);
                  PostMessageW(GetFocus(), WM_CHAR, 'l', 1);
              },
              Key(VK_RETURN)});
    EXPECT_EQ(GetFocus(), info.hwndItem);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 2) << "blue, matched by its start";
    EXPECT_EQ(Shown(combo), L"blue");
}

TEST_F(ComboBoxTest, FlagsForTheEditField) {
    // 0x200: a click that focuses the field leaves its text unselected.
    {
        HWND combo = Create(CBS_DROPDOWN);
        SetData(combo, "0,,0x200\r\nhello\r\n");
        SetFocus(parent_);
        COMBOBOXINFO info = {};
        info.cbSize = sizeof info;
        GetComboBoxInfo(combo, &info);
        RECT client;
        GetClientRect(info.hwndItem, &client);
        const LPARAM at = MAKELPARAM(client.right - 2, client.bottom / 2);
        PostMessageW(info.hwndItem, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(info.hwndItem, WM_LBUTTONUP, 0, at);
        Pump();
        DWORD start = 0, end = 0;
        SendMessageW(info.hwndItem, EM_GETSEL, WPARAM(&start), LPARAM(&end));
        EXPECT_EQ(GetFocus(), info.hwndItem);
        EXPECT_EQ(start, end) << "nothing selected";
        DestroyWindow(combo);
    }
    // 0x400: an update with nothing to show leaves the typed text.
    for (const bool keepTyped : {false, true}) {
        HWND combo = Create(CBS_DROPDOWN);
        SetData(combo, keepTyped ? "0,,0x400\r\nred\r\n" : "0\r\nred\r\n");
        SetWindowTextW(combo, L"typed");
        SendMessageW(combo, CB_SETCURSEL, WPARAM(-1), 0);
        EXPECT_EQ(Shown(combo), keepTyped ? L"typed" : L"") << keepTyped;
        DestroyWindow(combo);
    }
}

TEST_F(ComboBoxTest, NonAsciiItemsInBothCodePages) {
    for (const UINT codePage : {65001u, 1252u}) {
        Load(codePage);
        HWND combo = Create(CBS_DROPDOWNLIST);
        const char* csv = codePage == 65001 ? "0\r\ncaf\xC3\xA9\r\n" : "0\r\ncaf\xE9\r\n";
        SetData(combo, csv);
        wchar_t wide[16] = {};
        EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, 0, 0), 4);
        EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, 0, LPARAM(wide)), 4);
        EXPECT_STREQ(wide, L"caf\u00E9");
        char ansi[16] = {};
        EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXT, 0, LPARAM(ansi)), 4);
        EXPECT_STREQ(ansi, "caf\xE9") << "the ANSI form in the system code page";
        EXPECT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, LPARAM(L"na\u00EFve")), 1);
        EXPECT_EQ(SendMessageW(combo, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(L"NA\u00CFVE")), 1);
        DestroyWindow(combo);
    }
}

TEST_F(ComboBoxTest, ChangesAreRefusedWhileTheListIsOpen) {
    HWND combo = Create(CBS_DROPDOWNLIST);
    SetData(combo, kColors);
    std::vector<LRESULT> results;
    WithList([&] { SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0); },
             {[&](HWND) {
                  results.push_back(SendMessageW(combo, CB_ADDSTRING, 0, LPARAM(L"x")));
                  results.push_back(SendMessageW(combo, CB_INSERTSTRING, 0, LPARAM(L"x")));
                  results.push_back(SendMessageW(combo, CB_DELETESTRING, 0, 0));
                  results.push_back(SendMessageW(combo, CB_RESETCONTENT, 0, 0));
                  results.push_back(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
                  SetData(combo, "0\r\nother\r\n");
              },
              [&](HWND) { results.push_back(SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0)); }});
    EXPECT_EQ(results, (std::vector<LRESULT>{CB_ERR, CB_ERR, CB_ERR, CB_ERR, TRUE, TRUE}));
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0), FALSE);
}

TEST_F(ComboBoxTest, DestroyedWhileItsListIsOpen) {
    HWND combo = Create(CBS_DROPDOWN);
    SetData(combo, kColors);
    WithList([&] { SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0); }, {[&](HWND) { DestroyWindow(combo); }});
    EXPECT_FALSE(IsWindow(combo));
    // A million items set, then the window goes.
    std::string many = "0\r\n";
    for (int i = 0; i < 1000000; ++i) many += "item\r\n";
    HWND big = Create(CBS_DROPDOWNLIST);
    SetData(big, many.c_str());
    EXPECT_EQ(SendMessageW(big, CB_GETCOUNT, 0, 0), 1000000);
    DestroyWindow(big);
}

// Steps of the random sequences: JX_FUZZ_ITERATIONS / 100 (./jx fuzz runs many more).
int FuzzSteps() {
    const char* setting = getenv("JX_FUZZ_ITERATIONS");
    return setting ? std::max(atoi(setting) / 100, 1) : 2000;
}

// Random message sequences against a count of the items.
TEST_F(ComboBoxTest, RandomMessageSequences) {
    HWND combo = Create(CBS_DROPDOWN);
    std::mt19937 random(20261210);
    struct Sample {
        const char* csv;
        int items;
    };
    const Sample samples[] = {{"", 0},           {"-1\r\na\r\nb\r\n", 2}, {"0,,1\r\na\r\nb,,1\r\n", 2},
                         {"0x3,,2\r\na\r\nb\r\nc\r\n", 3}, {"a,\"b", 0},   {"5 x\r\nonly\r\n", 1}};
    int expected = 0;
    for (int step = 0; step < FuzzSteps(); ++step) {
        const int index = int(random() % 8) - 2;
        switch (random() % 9) {
        case 0: {
            const Sample& chosen = samples[random() % 6];
            SetData(combo, chosen.csv);
            expected = chosen.items;
            break;
        }
        case 1:
            if (SendMessageW(combo, CB_ADDSTRING, 0, LPARAM(L"n,,1")) != CB_ERR) ++expected;
            break;
        case 2:
            if (SendMessageW(combo, CB_INSERTSTRING, WPARAM(index), LPARAM(L"m")) != CB_ERR) ++expected;
            break;
        case 3:
            if (SendMessageW(combo, CB_DELETESTRING, WPARAM(index), 0) != CB_ERR) --expected;
            break;
        case 4:
            SendMessageW(combo, CB_SETCURSEL, WPARAM(index), 0);
            break;
        case 5:
            SendMessageW(combo, LB_SETSEL, random() % 2, LPARAM(index));
            break;
        case 6:
            Data(combo);
            break;
        case 7:
            SetWindowTextW(combo, random() % 2 ? L"a, b" : L"zz");
            break;
        case 8:
            if (random() % 50 == 0) {
                SendMessageW(combo, CB_RESETCONTENT, 0, 0);
                expected = 0;
            }
            break;
        }
        ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), expected) << "step " << step;
        const LRESULT selection = SendMessageW(combo, CB_GETCURSEL, 0, 0);
        ASSERT_TRUE(selection >= -1 && selection < expected) << "step " << step;
    }
    Pump();
}

// Random owner changes while the list is open, on timer ticks: selections,
// checks, typed text, refused structural changes, and the control destroyed
// by the owner, directly or from one of its notifications.
TEST_F(ComboBoxTest, RandomOwnerChangesWhileTheListIsOpen) {
    std::mt19937 random(20261211);
    const char* const samples[] = {"0\r\nred\r\ngreen\r\nblue\r\n", "1,,1\r\na\r\nb,,1\r\nc\r\n",
                                   "0x5,,3\r\na\r\nb\r\nc\r\n", "-1 typed,,0x1400\r\nx\r\ny\r\n"};
    const DWORD styles[] = {CBS_DROPDOWN, CBS_DROPDOWNLIST, CBS_DROPDOWN | CBS_SORT, CBS_DROPDOWNLIST | CBS_SORT};
    const int notifications[] = {-1, -1, -1, CBN_DROPDOWN, CBN_SELCHANGE, CBN_SELENDOK, CBN_SELENDCANCEL, CBN_CLOSEUP};
    const WPARAM keys[] = {VK_DOWN, VK_UP, VK_SPACE, VK_NEXT, VK_HOME};
    const int rounds = std::max(FuzzSteps() / 100, 20);
    for (int round = 0; round < rounds; ++round) {
        HWND combo = Create(styles[random() % 4]);
        SetData(combo, samples[random() % 4]);
        if (random() % 2) SetWindowTextW(combo, L"b");
        g_destroyOnCode = notifications[random() % 8];
        std::vector<Step> steps;
        const int count = int(random() % 5);
        for (int i = 0; i < count; ++i) {
            switch (random() % 6) {
            case 0:
                steps.push_back(Key(keys[random() % 5]));
                break;
            case 1: {
                const int index = int(random() % 5) - 1;
                steps.push_back([combo, index](HWND) { SendMessageW(combo, CB_SETCURSEL, WPARAM(index), 0); });
                break;
            }
            case 2: {
                const int index = int(random() % 5) - 1;
                steps.push_back([combo, index](HWND) { SendMessageW(combo, LB_SETSEL, TRUE, LPARAM(index)); });
                break;
            }
            case 3:
                steps.push_back([combo](HWND) { SetWindowTextW(combo, L"gr"); });
                break;
            case 4:
                steps.push_back([combo](HWND) {
                    EXPECT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, LPARAM(L"new")), CB_ERR);
                    SetData(combo, "0\r\nother\r\n");
                });
                break;
            case 5:
                steps.push_back([combo](HWND) { DestroyWindow(combo); });
                break;
            }
        }
        steps.push_back(Key(random() % 2 ? VK_ESCAPE : VK_RETURN));
        Driver driver(std::move(steps));
        driver.Run([&] { return int(SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0)); });
        g_destroyOnCode = -1;
        ASSERT_FALSE(driver.TimedOut()) << "round " << round;
        Pump();
        ASSERT_FALSE(OpenPopup()) << "round " << round;
        if (IsWindow(combo)) {
            const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
            const LRESULT selection = SendMessageW(combo, CB_GETCURSEL, 0, 0);
            ASSERT_TRUE(selection >= -1 && selection < count) << "round " << round;
            Data(combo);
            DestroyWindow(combo);
        }
    }
    Pump();
}

}  // namespace
