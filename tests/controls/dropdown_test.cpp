// jxgrid.dll's dropdown list as a host uses it: real popups on the calling
// thread, driven by keys and clicks posted once the popup is shown, with a
// safety timer so that no call can hang.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <oleauto.h>
#include <functional>
#include <optional>
#include <string>
#include <vector>
#include "counting_allocator.h"
#include "csv/csv_table.h"
#include "editor_window.h"
#include "jx/dropdown.h"
#include "jx/errors.h"
#include "control_test_support.h"
#include "loaded_library.h"
#include "window/fonts.h"

namespace {

using namespace control_test;

constexpr wchar_t kWindowClass[] = L"JX_DropdownTestWindow";

using ShowDropdownFn = decltype(&ShowDropdown);
using ShowDropdownListFn = decltype(&ShowDropdownList);
using ShowDropdownListSimpleFn = decltype(&ShowDropdownListSimple);
using ShowDropdownMenuItemFlagsFn = decltype(&ShowDropdownMenuItemFlags);

// Messages a test window received, for clicks and keys that must (or must not) reach it.
std::vector<std::pair<HWND, UINT>> g_received;

LRESULT CALLBACK TestWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_LBUTTONDOWN || message == WM_KEYDOWN) g_received.emplace_back(window, message);
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateTestWindow(HWND parent, int x, int y, int width, int height) {
    static const ATOM atom = test_support::RegisterTestClass(kWindowClass, TestWindowProcedure);
    const DWORD style = parent ? WS_CHILD | WS_VISIBLE | WS_BORDER : WS_POPUP | WS_VISIBLE | WS_CAPTION;
    return CreateWindowExW(0, reinterpret_cast<LPCWSTR>(ULONG_PTR(atom)), L"dropdown test", style, x, y, width,
                           height, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

// A CSV table of the test program's own foundation, handed to the library
// through its interface.
class Table {
public:
    explicit Table(const char* csv) { table_->FromText(csv); }
    ~Table() { table_->Release(); }
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;
    ICsvTable* Get() const { return table_; }
    std::string Cell(int row, int column) const {
        const char* text = nullptr;
        return SUCCEEDED(table_->GetCell(row, column, &text)) && text ? text : "<none>";
    }

private:
    CsvTable* table_ = new CsvTable();
};

class DropdownTest : public ::testing::Test {
protected:
    void SetUp() override {
        library_.emplace(L"jxgrid.dll");
        ASSERT_TRUE(library_->Loaded()) << library_->LoadError();
        const HMODULE module = library_->Handle();
        show_ = reinterpret_cast<ShowDropdownFn>(GetProcAddress(module, "ShowDropdown"));
        showList_ = reinterpret_cast<ShowDropdownListFn>(GetProcAddress(module, "ShowDropdownList"));
        showSimple_ = reinterpret_cast<ShowDropdownListSimpleFn>(GetProcAddress(module, "ShowDropdownListSimple"));
        showMenuFlags_ =
            reinterpret_cast<ShowDropdownMenuItemFlagsFn>(GetProcAddress(module, "ShowDropdownMenuItemFlags"));
        ASSERT_TRUE(show_ && showList_ && showSimple_ && showMenuFlags_);
        // The pointer rests away from every window unless a test moves it.
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
        windowsBefore_ = ThreadWindows();
        blocksBefore_ = LiveBlocks();
        frame_ = CreateTestWindow(nullptr, 100, 100, 400, 300);
        anchor_ = CreateTestWindow(frame_, 20, 20, 200, 24);
        other_ = CreateTestWindow(frame_, 20, 150, 200, 24);
        SetForegroundWindow(frame_);
        SetFocus(anchor_);
        Pump();
        g_received.clear();
    }
    void TearDown() override {
        if (frame_ && IsWindow(frame_)) DestroyWindow(frame_);
        Pump();
        EXPECT_FALSE(FindWindowW(JX_DROPDOWN_CLASS_W, nullptr)) << "no popup outlives its call";
        EXPECT_EQ(ThreadWindows(), windowsBefore_) << "every window is destroyed";
        EXPECT_EQ(LiveBlocks(), blocksBefore_) << "every block is given back";
        EXPECT_EQ(library_->Unload().blocks, 0);
    }

    // ShowDropdownListSimple at the anchor, driven by `steps`.
    int Simple(const char* csv, std::vector<Step> steps, int* current = nullptr, unsigned flags = 0,
               SAFEARRAY** checks = nullptr) {
        Driver driver(std::move(steps));
        const int result = driver.Run([&] { return showSimple_(csv, current, checks, flags, anchor_, nullptr); });
        EXPECT_FALSE(driver.TimedOut());
        return result;
    }
    // ShowDropdown over a table at the anchor, driven by `steps`.
    int Show(const Table& table, std::vector<Step> steps, int* current = nullptr, unsigned flags = 0,
             void* checks = nullptr, DropdownCallback callback = nullptr, void* parameter = nullptr,
             IDropdownPopup** popupOut = nullptr, RECT* rect = nullptr) {
        Driver driver(std::move(steps));
        const int result = driver.Run([&] {
            return show_(table.Get(), current, flags, rect ? nullptr : anchor_, rect, callback, parameter, popupOut,
                         checks);
        });
        EXPECT_FALSE(driver.TimedOut());
        return result;
    }

    std::optional<jxhost::LoadedLibrary> library_;
    ShowDropdownFn show_ = nullptr;
    ShowDropdownListFn showList_ = nullptr;
    ShowDropdownListSimpleFn showSimple_ = nullptr;
    ShowDropdownMenuItemFlagsFn showMenuFlags_ = nullptr;
    HWND frame_ = nullptr;
    HWND anchor_ = nullptr;
    HWND other_ = nullptr;
    int windowsBefore_ = 0;
    size_t blocksBefore_ = 0;
};

// Five plain items, the third disabled.
constexpr char kFiveItems[] = "\r\nzero\r\none\r\ntwo,,4\r\nthree\r\nfour\r\n";

// ---- Nothing to show

TEST_F(DropdownTest, NothingToShowReturnsZeroWithoutAWindow) {
    Table headerOnly("0,,0\r\n");
    int current = 7;
    EXPECT_EQ(Show(headerOnly, {}, &current), 0);
    EXPECT_EQ(current, 7) << "nothing is written back";
    EXPECT_EQ(show_(nullptr, nullptr, 0, anchor_, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    Table items(kFiveItems);
    HWND gone = CreateTestWindow(nullptr, 0, 0, 10, 10);
    DestroyWindow(gone);
    EXPECT_EQ(show_(items.Get(), nullptr, 0, gone, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(showSimple_(nullptr, nullptr, nullptr, 0, anchor_, nullptr), 0);
    EXPECT_EQ(showSimple_("", nullptr, nullptr, 0, anchor_, nullptr), 0);
}

TEST_F(DropdownTest, InvalidCsvIsReportedToTheHostOnce) {
    {
        jxhost::EditorWindow host;
        jxhost::Allocator().SetHostWindow(host.Handle());
        EXPECT_EQ(showSimple_("a,\"b\r\n", nullptr, nullptr, 0, anchor_, nullptr), 0);
        EXPECT_EQ(showSimple_("", nullptr, nullptr, 0, anchor_, nullptr), 0);
        jxhost::Allocator().SetHostWindow(nullptr);
        const auto blocks = host.ReceivedBlocks();
        ASSERT_EQ(blocks.size(), 1u) << "the empty text reports nothing";
        EXPECT_EQ(blocks[0].messages, std::vector<std::string>{"Invalid CSV string:\r\na,\"b\r\n"});
    }
    // 10 MB whose last row is malformed: refused as a whole, nothing shown.
    std::string text = "\r\n";
    while (text.size() < 10 * 1024 * 1024) text += "item,1,0\r\n";
    text += "bad,\"unterminated\r\n";
    EXPECT_EQ(showSimple_(text.c_str(), nullptr, nullptr, 0, anchor_, nullptr), 0);
}

// ---- Choosing with the keyboard and the mouse

TEST_F(DropdownTest, KeysChooseAndTheResultSaysWhatChanged) {
    struct Case {
        const char* name;
        std::vector<Step> steps;
        int initial;
        int expectedResult;
        int expectedCurrent;
    };
    const Case cases[] = {
        {"Escape", {Key(VK_DOWN), Key(VK_ESCAPE)}, 1, 0x100, 1},
        {"Enter on the initial item", {Key(VK_RETURN)}, 1, 0x101, 1},
        {"Down skips the disabled item", {Key(VK_DOWN), Key(VK_RETURN)}, 1, 0x105, 3},
        {"Up at the first item stays", {Key(VK_UP), Key(VK_RETURN)}, 0, 0x101, 0},
        {"Down from none goes to the first", {Key(VK_DOWN), Key(VK_RETURN)}, -1, 0x105, 0},
        {"Down at the end stays", {Key(VK_DOWN), Key(VK_RETURN)}, 4, 0x101, 4},
        {"PgDn goes to the last", {Key(VK_NEXT), Key(VK_RETURN)}, 0, 0x105, 4},
        {"a disabled initial item is none", {Key(VK_RETURN)}, 2, 0x101, -1},
    };
    for (const Case& test : cases) {
        int current = test.initial;
        EXPECT_EQ(Simple(kFiveItems, test.steps, &current), test.expectedResult) << test.name;
        EXPECT_EQ(current, test.expectedCurrent) << test.name;
        EXPECT_EQ(GetFocus(), anchor_) << test.name << ": the focus stays in the anchor";
    }
}

TEST_F(DropdownTest, TheSearchTurnsRoundPastDisabledItems) {
    // Items 0 and 4 disabled: Up from 1 turns round to 3.
    int current = 1;
    EXPECT_EQ(Simple("\r\na,,4\r\nb\r\nc\r\nd\r\ne,,4\r\n", {Key(VK_UP), Key(VK_RETURN)}, &current), 0x105);
    EXPECT_EQ(current, 3);
}

TEST_F(DropdownTest, WithoutAVariableTheTableKeepsTheChoice) {
    Table table("1\r\na\r\nb\r\nc\r\n");
    EXPECT_EQ(Show(table, {Key(VK_DOWN), Key(VK_RETURN)}), 0x105);
    EXPECT_EQ(table.Cell(0, 0), "2");
}

TEST_F(DropdownTest, SortingKeepsTheCurrentItemByItsMarker) {
    Table table("0\r\ncherry,pit\r\napple\r\nbanana\r\n");
    EXPECT_EQ(Show(table, {Key(VK_RETURN)}, nullptr, JX_DROPDOWN_SORT), 0x101);
    EXPECT_EQ(table.Cell(1, 0), "apple");
    EXPECT_EQ(table.Cell(3, 0), "cherry");
    EXPECT_EQ(table.Cell(3, 1), "pit") << "the marker is gone again";
    EXPECT_EQ(table.Cell(0, 0), "2");
}

TEST_F(DropdownTest, HotTrackingAndAClickChooseAnItem) {
    int current = 0;
    const int result = Simple(kFiveItems,
                              {[](HWND popup) {
                                   const RECT item = ItemRect(popup, 3);
                                   PostMessageW(ListOf(popup), WM_MOUSEMOVE, 0,
                                                MAKELPARAM(item.left + 5, (item.top + item.bottom) / 2));
                               },
                               [](HWND popup) {
                                   // The mouse made item 3 current.
                                   ClickItem(popup, 3);
                               }},
                              &current);
    EXPECT_EQ(result, 0x105);
    EXPECT_EQ(current, 3);
    current = 0;
    EXPECT_EQ(Simple(kFiveItems, {[](HWND popup) { ClickItem(popup, 2); }, Key(VK_ESCAPE)}, &current), 0x100)
        << "a click on a disabled item does nothing";
}

// ---- Check lists

TEST_F(DropdownTest, CheckStatesAreWrittenBackInTheirForms) {
    // Check mode 1 with a byte array: Space toggles item 1, which was checked in the array.
    {
        JxByteArray checks = {static_cast<BYTE*>(jxhost::Allocator().Table().calloc(3, 1)), 3};
        checks.data[1] = 1;
        Table table("1,,1\r\na\r\nb\r\nc\r\n");
        // Check boxes cannot be chosen: the initial item is none, and Down goes to item 0.
        EXPECT_EQ(Show(table, {Key(VK_DOWN), Key(VK_DOWN), Key(VK_SPACE), Key(VK_ESCAPE)}, nullptr, 0, &checks), 0x102);
        EXPECT_EQ(std::vector<BYTE>(checks.data, checks.data + 3), (std::vector<BYTE>{0, 0x80, 0}));
        jxhost::Allocator().Table().free(checks.data);
    }
    // A shorter SAFEARRAY is replaced by one of the list's length.
    {
        SAFEARRAY* checks = SafeArrayCreateVector(VT_UI1, 0, 1);
        int current = 0;
        EXPECT_EQ(Simple("0,,1\r\na\r\nb\r\n", {Key(VK_DOWN), Key(VK_SPACE), Key(VK_ESCAPE)}, &current, 0, &checks),
                  0x102);
        ASSERT_TRUE(checks);
        ASSERT_EQ(checks->rgsabound[0].cElements, 2u);
        EXPECT_EQ(static_cast<BYTE*>(checks->pvData)[0], 0x81);
        SafeArrayDestroy(checks);
    }
    // Bit-mask mode: the bits go to the variable, or to cell (0,0) in
    // hexadecimal; bits beyond the items stay.
    {
        int bits = 0x104;
        EXPECT_EQ(Simple("0,,3\r\na\r\nb\r\nc\r\n", {Key(VK_DOWN), Key(VK_SPACE), Key(VK_ESCAPE)}, &bits), 0x102);
        EXPECT_EQ(bits, 0x105);
        Table table("0x4,,3\r\na\r\nb\r\nc\r\n");
        EXPECT_EQ(Show(table, {Key(VK_DOWN), Key(VK_SPACE), Key(VK_ESCAPE)}), 0x102);
        EXPECT_EQ(table.Cell(0, 0), "0x5");
    }
    // The bits are the whole state of the items they cover: a check in an
    // item's flags shows and goes back only when its bit says so.
    {
        int bits = 0;
        bool firstShownChecked = true;
        EXPECT_EQ(Simple("0,,3\r\na,,1\r\nb\r\nc,,1\r\n",
                         {[&](HWND popup) {
                              const LRESULT state =
                                  SendMessageW(ListOf(popup), LVM_GETITEMSTATE, 0, LVIS_STATEIMAGEMASK);
                              firstShownChecked = (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
                          },
                          Key(VK_DOWN), Key(VK_DOWN), Key(VK_SPACE), Key(VK_ESCAPE)},
                         &bits),
                  0x102);
        EXPECT_FALSE(firstShownChecked);
        EXPECT_EQ(bits, 0x2);
    }
    // Without an array every item's flags go to column 2.
    {
        Table table("0,,1\r\na,,1\r\nb\r\n");
        EXPECT_EQ(Show(table, {Key(VK_DOWN), Key(VK_SPACE), Key(VK_DOWN), Key(VK_SPACE), Key(VK_ESCAPE)}), 0x102);
        EXPECT_EQ(table.Cell(1, 2), "0x80");
        EXPECT_EQ(table.Cell(2, 2), "0x81");
    }
    {
        Table table("0,,1\r\na,,4\r\nb\r\n");
        // Item 0 is disabled: the keys reach item 1 only.
        EXPECT_EQ(Show(table, {Key(VK_DOWN), Key(VK_SPACE), Key(VK_SPACE), Key(VK_ESCAPE)}), 0x100)
            << "toggled back: nothing changed, nothing written";
        EXPECT_EQ(table.Cell(2, 2), "");
    }
}

TEST_F(DropdownTest, FlagsAreWrittenInHexadecimalFromNineOn) {
    // A disabled item checked through the interface becomes 0x85; an
    // unchanged checked item stays 1.
    Table table("0,,1\r\na,,4\r\nb,,1\r\n");
    IDropdownPopup* popup = nullptr;
    EXPECT_EQ(Show(table, {[&](HWND) { popup->SetCheck(0, JX_DROPDOWN_CHECK_TOGGLE); }, Key(VK_ESCAPE)}, nullptr, 0,
                   nullptr, nullptr, nullptr, &popup),
              0x102);
    EXPECT_EQ(table.Cell(1, 2), "0x85");
    EXPECT_EQ(table.Cell(2, 2), "1");
}

TEST_F(DropdownTest, ClicksToggleChecksAndChooseCommandItems) {
    // An exclusive group (items 0-2, item 1 checked) and a command item.
    Table table("0,,1\r\nx,,0x20\r\ny,,0x21\r\nz,,0x20\r\nrun,,0x10\r\n");
    JxByteArray checks = {};
    const int result = Show(table, {[](HWND popup) { ClickItem(popup, 2); }, [](HWND popup) { ClickItem(popup, 3); }},
                            nullptr, JX_DROPDOWN_FROM_TABLE, &checks);
    EXPECT_EQ(result, 0x107) << "the command item is chosen and closes the list";
    ASSERT_EQ(checks.count, 4);
    EXPECT_EQ(std::vector<BYTE>(checks.data, checks.data + 4), (std::vector<BYTE>{0, 0x80, 0x81, 0}));
    EXPECT_EQ(table.Cell(0, 0), "3");
    jxhost::Allocator().Table().free(checks.data);
}

// ---- The popup interface and the callback

struct CallbackLog {
    std::vector<DropdownEvent> events;
    IDropdownPopup* popup = nullptr;
    bool closeOnCheck = false;
    bool throwOnCheck = false;
};

int __stdcall RecordEvent(void* parameter, const DropdownEvent* event) {
    auto* log = static_cast<CallbackLog*>(parameter);
    log->events.push_back(*event);
    if (event->code == JX_DROPDOWN_EVENT_USER_CHECK) {
        if (log->closeOnCheck) {
            // Re-entrant calls from inside the popup's own notification.
            event->popup->SetCheck(event->index + 1, JX_DROPDOWN_CHECK_ON | JX_DROPDOWN_CHECK_NO_CALLBACK);
            event->popup->Close(JX_DROPDOWN_CLOSE_ACCEPT);
        }
        if (log->throwOnCheck) throw JxException{"thrown by the callback", JX_EXCEPTION_LIBRARY, 1, 0, 0, nullptr};
    }
    return 0;
}

TEST_F(DropdownTest, TheInterfaceWorksDuringTheCallOnly) {
    Table table("0,,1\r\na\r\nb,,6\r\nc\r\n");
    IDropdownPopup* popup = nullptr;
    CallbackLog log;
    HRESULT setOnNoCheckbox = S_OK;
    int currentSeen = -2;
    JxByteArray states = {};
    IUnknown* tableSeen = nullptr;
    const int result = Show(
        table,
        {[&](HWND window) {
             ASSERT_TRUE(popup);
             HWND popupWindow = nullptr, list = nullptr;
             popup->GetPopupWindow(&popupWindow);
             popup->GetListWindow(&list);
             EXPECT_EQ(popupWindow, window);
             EXPECT_EQ(list, ListOf(window));
             setOnNoCheckbox = popup->SetCheck(1, JX_DROPDOWN_CHECK_ON);
             EXPECT_EQ(popup->SetCheck(2, JX_DROPDOWN_CHECK_ON), S_OK);
             int newCurrent = -2;
             popup->SetCurrent(1, 0, &newCurrent);
             currentSeen = newCurrent;
             popup->GetStates(&states);
             popup->GetTable(&tableSeen);
             // The table changes under the list: Update reads item 0's flags again.
             table.Get()->SetCellInt(1, 2, 1);
             popup->Update(0, 0, JX_DROPDOWN_UPDATE_FLAGS);
         },
         Key(VK_ESCAPE)},
        nullptr, 0, nullptr, RecordEvent, &log, &popup);
    EXPECT_EQ(popup, nullptr) << "the out-pointer is cleared";
    EXPECT_EQ(result, 0x102);
    EXPECT_EQ(setOnNoCheckbox, S_FALSE);
    EXPECT_EQ(currentSeen, -1) << "a disabled item does not become current";
    ASSERT_EQ(states.count, 3);
    EXPECT_EQ(std::vector<BYTE>(states.data, states.data + 3), (std::vector<BYTE>{0, 6, 0x81}));
    jxhost::Allocator().Table().free(states.data);
    EXPECT_EQ(tableSeen, static_cast<IUnknown*>(table.Get()));
    if (tableSeen) tableSeen->Release();
    ASSERT_EQ(log.events.size(), 1u);
    EXPECT_EQ(log.events[0].code, JX_DROPDOWN_EVENT_CHECK);
    EXPECT_EQ(log.events[0].index, 2);
    EXPECT_EQ(log.events[0].value, 1);
    EXPECT_EQ(table.Cell(1, 2), "0x81") << "Update took the new flags and marked the change";
}

TEST_F(DropdownTest, AHostMayReleaseItsTableWhileTheListIsOpen) {
    auto* table = new CsvTable();
    table->FromText(kFiveItems);
    unsigned long left = 99;
    int current = -1;
    Driver driver({[&](HWND) { left = table->Release(); }, Key(VK_DOWN), Key(VK_RETURN)});
    // The table is the list's until the call returns; it goes with the call.
    EXPECT_EQ(driver.Run([&] { return show_(table, &current, 0, anchor_, nullptr, nullptr, nullptr, nullptr, nullptr); }),
              0x105);
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_EQ(left, 1u) << "the list holds a reference of its own";
    EXPECT_EQ(current, 0);
}

TEST_F(DropdownTest, ACallbackMayCloseTheListOrThrow) {
    Table table("0,,1\r\na\r\nb\r\nc\r\n");
    CallbackLog closing;
    closing.closeOnCheck = true;
    EXPECT_EQ(Show(table, {Key(VK_DOWN), Key(VK_SPACE)}, nullptr, 0, nullptr, RecordEvent, &closing), 0x102);
    EXPECT_EQ(table.Cell(1, 2), "0x81");
    EXPECT_EQ(table.Cell(2, 2), "0x81");

    CallbackLog throwing;
    throwing.throwOnCheck = true;
    IDropdownPopup* popup = nullptr;
    bool caught = false;
    try {
        Show(table, {Key(VK_DOWN), Key(VK_SPACE)}, nullptr, 0, nullptr, RecordEvent, &throwing, &popup);
    } catch (const JxException&) {
        caught = true;
    }
    EXPECT_TRUE(caught);
    EXPECT_EQ(popup, nullptr) << "the out-pointer is cleared on the way out";
    EXPECT_EQ(OpenPopup(), nullptr);
}

// ---- Placement

TEST_F(DropdownTest, OpensBelowOrAboveWithWholeRows) {
    int below = 0;
    RECT belowRect = {}, rowRect = {};
    EXPECT_EQ(Simple(kFiveItems,
                     {[&](HWND popup) {
                          GetWindowRect(popup, &belowRect);
                          rowRect = ItemRect(popup, 0);
                      },
                      Key(VK_ESCAPE)},
                     &below),
              0x100);
    RECT anchor;
    GetWindowRect(anchor_, &anchor);
    EXPECT_EQ(belowRect.top, anchor.bottom);
    EXPECT_EQ(belowRect.left, anchor.left);
    EXPECT_EQ(belowRect.right - belowRect.left, anchor.right - anchor.left) << "as wide as the anchor";
    const int rowHeight = rowRect.bottom - rowRect.top;
    ASSERT_GT(rowHeight, 0);
    EXPECT_EQ(belowRect.bottom - belowRect.top, 5 * rowHeight + 2);

    // Near the bottom of the work area, a long list opens upwards.
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(frame_, nullptr, 100, work.bottom - 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(anchor_, &anchor);
    std::string many = "\r\n";
    for (int i = 0; i < 200; ++i) many += "item " + std::to_string(i) + "\r\n";
    RECT aboveRect = {};
    EXPECT_EQ(Simple(many.c_str(), {[&](HWND popup) { GetWindowRect(popup, &aboveRect); }, Key(VK_ESCAPE)}), 0x100);
    EXPECT_EQ(aboveRect.bottom, anchor.top - 2);
    EXPECT_EQ((aboveRect.bottom - aboveRect.top - 2) % rowHeight, 0);
    EXPECT_GE(aboveRect.top, work.top);
}

TEST_F(DropdownTest, AnExclusionRectangleIsCollapsedToItsCorner) {
    Table table(kFiveItems);
    RECT rect = {300, 200, 400, 220};
    RECT popupRect = {};
    Driver driver({[&](HWND popup) { GetWindowRect(popup, &popupRect); }, Key(VK_ESCAPE)});
    // The reserved flag bits change nothing.
    EXPECT_EQ(driver.Run([&] {
        return showList_(table.Get(), nullptr, nullptr, JX_DROPDOWN_EXCLUDE_RECT | JX_DROPDOWN_RESERVED_FLAGS, nullptr,
                         &rect, nullptr, nullptr, nullptr);
    }),
              0x100);
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_EQ(rect.left, 400);
    EXPECT_EQ(rect.right, 400);
    EXPECT_EQ(rect.top, 200);
    EXPECT_EQ(rect.bottom, 200);
    EXPECT_EQ(popupRect.left, 400);
    EXPECT_EQ(popupRect.top, 200);
}

// What a computed width is measured against: the popup's width and the
// list's own measure of its items (which knows neither bold nor indent).
struct WidthSeen {
    int popup = 0;
    int listMeasure = 0;
    int boldExtra = 0;  // of the long item: its bold text minus its plain text
};

constexpr char kLongItem[] = "An item clearly wider than its anchor window";

TEST_F(DropdownTest, AComputedWidthShowsEveryItemWhole) {
    using UniqueImageList = jx::UniqueHandle<HIMAGELIST, ImageList_Destroy>;
    const UniqueImageList images(ImageList_Create(16, 16, ILC_COLOR32, 1, 1));
    const std::string imagesCell = std::to_string(reinterpret_cast<uintptr_t>(images.get()));
    // The long item is the second of three; header flag 0x40 asks for the width.
    const auto items = [](const std::string& header, const std::string& longItem) {
        return header + "\r\nshort\r\n" + longItem + "\r\nitem\r\n";
    };
    const auto open = [&](const std::string& csv) {
        WidthSeen seen;
        EXPECT_EQ(Simple(csv.c_str(),
                         {[&](HWND popup) {
                              RECT rect;
                              GetWindowRect(popup, &rect);
                              seen.popup = rect.right - rect.left;
                              const HWND list = ListOf(popup);
                              const auto font = reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
                              LOGFONTW description = {};
                              GetObjectW(font, sizeof description, &description);
                              description.lfWeight = FW_BOLD;
                              const FontHandle bold(CreateFontIndirectW(&description));
                              const std::wstring text(kLongItem, kLongItem + strlen(kLongItem));
                              const auto extent = [&text](HFONT measured) {
                                  SIZE size = {};
                                  GetTextExtentPoint32W(MeasuringDC(measured).Get(), text.c_str(), int(text.size()),
                                                        &size);
                                  return int(size.cx);
                              };
                              seen.boldExtra = extent(bold.Get()) - extent(font);
                              SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE);
                              seen.listMeasure = int(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
                          },
                          Key(VK_ESCAPE)}),
                  0x100)
            << csv;
        return seen;
    };
    constexpr int kMargin = 16;  // beside the column, as the list's own measure had it

    // Plain texts of any script, check boxes and images, the widest item
    // anywhere: as wide as the list measures them.
    const std::string cjk = "\xE6\xBC\xA2\xE5\xAD\x97\xE3\x81\x8B\xE3\x81\xAA\xE6\xB7\xB7\xE3\x81\x98\xE3\x82\x8A "
                            "\xE6\x96\x87\xE5\xAD\x97\xE5\x88\x97\xE3\x81\xAE\xE5\xB9\x85";
    const std::string hebrew = "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D "
                               "\xD7\x96\xD7\x94 \xD7\xA4\xD7\xA8\xD7\x99\xD7\x98 \xD7\x90\xD7\xA8\xD7\x95\xD7\x9A "
                               "\xD7\x9E\xD7\x90\xD7\x95\xD7\x93 \xD7\x91\xD7\xA8\xD7\xA9\xD7\x99\xD7\x9E\xD7\x94";
    std::string combining;
    for (const char* letter : {"a", "e", "o", "u"}) combining += std::string(letter) + "\xCC\x81\xCC\xA3 mark ";
    const std::string plainCases[] = {
        items("0,,64", kLongItem),
        items("0,,64", "\xC3\xA9t\xC3\xA9 \xD0\x96\xD0\xB8\xD0\xB2\xD0\xBE\xD0\xB9 " + std::string(kLongItem)),
        items("0,,64", cjk + cjk + cjk + cjk),
        items("0,,64", hebrew + " " + hebrew),
        items("0,,64", combining + combining),
        items("0,,65", kLongItem),
        items("0," + imagesCell + ",64", kLongItem),
        items("0," + imagesCell + ",65", cjk + " " + kLongItem),
        "0,,64\r\n" + std::string(kLongItem) + "\r\n",                         // one item
        "0,,64\r\nshort\r\nitem\r\n" + std::string(kLongItem) + "\r\n",      // the widest last
        "0,,64\r\nIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIIII\r\nWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW\r\n"
        "mmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmm\r\n",                               // all of one length
    };
    for (const std::string& csv : plainCases) {
        const WidthSeen seen = open(csv);
        EXPECT_GT(seen.listMeasure + kMargin, 200) << csv << ": wider than the anchor";
        EXPECT_EQ(seen.popup, seen.listMeasure + kMargin) << csv;
    }

    // Bold and indented items get the room they take beyond their plain text.
    const int plain = open(items("0,,64", kLongItem)).popup;
    const WidthSeen bold = open(items("0,,64", std::string(kLongItem) + ",,8"));
    ASSERT_GT(bold.boldExtra, 0);
    EXPECT_EQ(bold.popup, plain + bold.boldExtra) << "bold";
    EXPECT_EQ(open(items("0,,64", std::string(kLongItem) + ",,0,,,,2")).popup, plain + 2 * 16) << "two indent steps";
    EXPECT_EQ(open(items("0,,64", std::string(kLongItem) + ",,0,,,,-3")).popup, plain)
        << "a negative indent takes no room";

    // At most half the work area.
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    std::string longest;
    while (longest.size() < 400) longest += kLongItem;
    EXPECT_EQ(open(items("0,,64", longest)).popup, (work.right - work.left) / 2);
}

// The popup's size as shown, with its item height and item width.
struct ShownSize {
    int width = 0, height = 0;
    int itemHeight = 0, itemWidth = 0;
};

TEST_F(DropdownTest, TheWidthAndHeightRules) {
    const auto items = [](int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text += "item " + std::to_string(i) + "\r\n";
        return text;
    };
    const auto show = [&](const std::string& csv, RECT* rect = nullptr) {
        ShownSize seen;
        Table table(csv.c_str());
        EXPECT_EQ(Show(table,
                       {[&](HWND popup) {
                            RECT window;
                            GetWindowRect(popup, &window);
                            seen.width = window.right - window.left;
                            seen.height = window.bottom - window.top;
                            const RECT item = ItemRect(popup, 0);
                            seen.itemHeight = item.bottom - item.top;
                            seen.itemWidth = item.right - item.left;
                        },
                        Key(VK_ESCAPE)},
                       nullptr, 0, nullptr, nullptr, nullptr, nullptr, rect),
                  0x100)
            << csv;
        return seen;
    };
    constexpr int kAnchorWidth = 200;
    const ShownSize plain = show(",,0\r\n" + items(10));
    const int h = plain.itemHeight;
    ASSERT_GT(h, 0);
    EXPECT_EQ(plain.width, kAnchorWidth) << "the anchor's width";
    EXPECT_EQ(plain.height, 10 * h + 2) << "every row";

    struct Case {
        const char* name;
        std::string header;
        int width;   // -1: not checked
        int height;
    };
    const Case cases[] = {
        {"a wider width given", ",,0,,,,300", 301, 10 * h + 2},
        {"a narrower width given", ",,0,,,,100", kAnchorWidth, 10 * h + 2},
        {"a negative width given", ",,0,,,,-50", kAnchorWidth, 10 * h + 2},
        {"at most three rows", ",,0,,,,,3", kAnchorWidth, 3 * h + 2},
        {"a row limit of the item count is none", ",,0,,,,,10", kAnchorWidth, 10 * h + 2},
    };
    for (const Case& test : cases) {
        const ShownSize seen = show(test.header + "\r\n" + items(10));
        EXPECT_EQ(seen.width, test.width) << test.name;
        EXPECT_EQ(seen.height, test.height) << test.name;
    }

    // A computed width (flag 0x40) gains the scroll bar when not every row shows.
    const ShownSize computedAll = show(",,64\r\n" + items(10));
    const ShownSize computedThree = show(",,64,,,,,3\r\n" + items(10));
    EXPECT_EQ(computedThree.width, computedAll.width + GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_EQ(computedThree.height, 3 * h + 2);

    // A rectangle limits the height to whole rows inside it.
    RECT rect = {300, 200, 420, 200 + 3 * h + 2 + h / 2};
    const ShownSize inRect = show(",,0\r\n" + items(10), &rect);
    EXPECT_EQ(inRect.width, 120);
    EXPECT_EQ(inRect.height, 3 * h + 2);

    // Small icons spread over columns rather than one long column.
    const ShownSize icons = show(",,96,,,,,4\r\n" + items(40));
    ASSERT_GT(icons.itemWidth, 0);
    EXPECT_GE(icons.width, 2 * (icons.itemWidth + 1)) << "more than one column";
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(icons.width, (work.right - work.left) / 2 + GetSystemMetrics(SM_CXVSCROLL) + 3);
}

TEST_F(DropdownTest, AGivenWidthStaysOnTheMonitor) {
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int workWidth = work.right - work.left;
    const std::string csv = "0,,0,,,," + std::to_string(2 * workWidth) + "\r\nitem\r\n";
    int width = 0;
    EXPECT_EQ(Simple(csv.c_str(),
                     {[&](HWND popup) {
                          RECT rect;
                          GetWindowRect(popup, &rect);
                          width = rect.right - rect.left;
                      },
                      Key(VK_ESCAPE)}),
              0x100);
    EXPECT_GT(width, workWidth / 2);
    EXPECT_LE(width, workWidth);
}

// ---- Closing

TEST_F(DropdownTest, ClicksOutsideCloseTheList) {
    // On the anchor: the list closes and the click goes nowhere.
    EXPECT_EQ(Simple(kFiveItems, {[this](HWND) { PostMessageW(anchor_, WM_LBUTTONDOWN, MK_LBUTTON, 0); }}), 0x100);
    Pump();
    EXPECT_TRUE(g_received.empty());
    // Elsewhere: the list closes and the click reaches its window.
    EXPECT_EQ(Simple(kFiveItems, {[this](HWND) { PostMessageW(other_, WM_LBUTTONDOWN, MK_LBUTTON, 0); }}), 0x100);
    Pump();
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].first, other_);
}

TEST_F(DropdownTest, TabAcceptsAndGoesOnAltCancels) {
    int current = 0;
    // Tab: the item is taken and the key reaches the focused window after the list.
    EXPECT_EQ(Simple(kFiveItems, {Key(VK_DOWN), Key(VK_TAB)}, &current), 0x105);
    EXPECT_EQ(current, 1);
    Pump();
    EXPECT_EQ(g_received, (std::vector<std::pair<HWND, UINT>>{{anchor_, WM_KEYDOWN}}));
    // Alt: nothing taken.
    g_received.clear();
    EXPECT_EQ(Simple(kFiveItems,
                     {Key(VK_DOWN),
                      [](HWND) {
                          const HWND focus = GetFocus();
                          PostMessageW(focus, WM_SYSKEYDOWN, VK_MENU, 0x20000001);
                          PostMessageW(focus, WM_SYSKEYUP, VK_MENU, 0xC0000001);
                      }},
                     &current),
              0x100);
    EXPECT_EQ(current, 1);
}

TEST_F(DropdownTest, ClicksInTheExclusionRectangleKeepTheListOpen) {
    RECT otherRect;
    GetWindowRect(other_, &otherRect);
    const POINT inside = {(otherRect.left + otherRect.right) / 2, (otherRect.top + otherRect.bottom) / 2};
    const auto clickOther = [this](POINT at) {
        return [this, at](HWND) {
            SetCursorPos(at.x, at.y);
            POINT client = at;
            ScreenToClient(other_, &client);
            PostMessageW(other_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.x, client.y));
        };
    };
    Table table(kFiveItems);
    const auto show = [&](std::vector<Step> steps) {
        RECT rect = otherRect;
        Driver driver(std::move(steps));
        EXPECT_EQ(driver.Run([&] {
            return showList_(table.Get(), nullptr, nullptr, JX_DROPDOWN_EXCLUDE_RECT, nullptr, &rect, nullptr,
                             nullptr, nullptr);
        }),
                  0x100);
        EXPECT_FALSE(driver.TimedOut());
        return driver.StepsDone();
    };
    // Inside: swallowed, the list stays for the next step.
    EXPECT_EQ(show({clickOther(inside), Key(VK_ESCAPE)}), 2u);
    Pump();
    EXPECT_TRUE(g_received.empty());
    // Outside: the list closes and the click reaches its window.
    const POINT outside = {otherRect.left + 2, otherRect.bottom + 30};
    EXPECT_EQ(show({clickOther(outside), Key(VK_ESCAPE)}), 1u);
    Pump();
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].first, other_);
}

TEST_F(DropdownTest, LeavingWithTheMouseClosesUnlessAsked) {
    const auto moveAway = [](HWND popup) {
        RECT rect;
        GetWindowRect(popup, &rect);
        SetCursorPos(rect.right + 150, rect.bottom + 150);
    };
    const auto enter = [](HWND popup) {
        RECT rect;
        GetWindowRect(popup, &rect);
        SetCursorPos((rect.left + rect.right) / 2, rect.top + 3);
    };
    const Step wait = [](HWND) { Sleep(150); };
    // The poll closes the list within a few ticks; Escape would come too late.
    EXPECT_EQ(Simple(kFiveItems, {enter, wait, wait, wait, moveAway, wait, wait, wait, wait, wait, Key(VK_ESCAPE)}),
              0x100);
    int current = 0;
    EXPECT_EQ(Simple("0,,4\r\na\r\nb\r\n", {enter, wait, wait, moveAway, wait, wait, wait, Key(VK_RETURN)}, &current),
              0x101)
        << "header flag 4 keeps the list open";
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
}

TEST_F(DropdownTest, TheAnchorGoingAwayOrQuitEndsTheCall) {
    EXPECT_EQ(Simple(kFiveItems, {[this](HWND) { DestroyWindow(frame_); }}), 0x100);
    frame_ = anchor_ = other_ = nullptr;
    EXPECT_EQ(OpenPopup(), nullptr);

    frame_ = CreateTestWindow(nullptr, 100, 100, 400, 300);
    anchor_ = CreateTestWindow(frame_, 20, 20, 200, 24);
    SetFocus(anchor_);
    int current = 1;
    EXPECT_EQ(Simple(kFiveItems, {Key(VK_DOWN), [](HWND) { PostQuitMessage(3); }}, &current), 0);
    EXPECT_EQ(current, 1) << "nothing accepted";
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit message is posted again";
    EXPECT_EQ(quit.wParam, 3u);
}

TEST_F(DropdownTest, BadCellsAndRefusedImagesShowAPlainList) {
    // Not numbers where numbers are read, and an image text the host cannot load.
    int current = 0;
    EXPECT_EQ(Simple("x,\"no such icon\",flags,,red,blue,wide,many\r\na,img,bold\r\nb\r\n",
                     {Key(VK_DOWN), Key(VK_RETURN)}, &current),
              0x105);
    EXPECT_EQ(current, 1);
}

// ---- The menu variant

struct MenuScenario {
    DropdownTest* test;
    ShowDropdownMenuItemFlagsFn showMenuFlags;
    HMENU menu;
    unsigned flags;
    int result = -1;
    int secondResult = -1;
};
MenuScenario* g_menu = nullptr;

// On the open menu's first tick: the list beside item 10, then the menu closes.
void CALLBACK OpenMenuItemList(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (!g_menu) return;
    g_menu->result =
        g_menu->showMenuFlags(g_menu->menu, 10, "0,,2\r\nfirst\r\nflag 1\r\nflag 4\r\n", &g_menu->flags, 0x5);
    EndMenu();
}

TEST_F(DropdownTest, MenuItemFlagsEditTheMaskedBits) {
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 10, L"Options");
    AppendMenuW(menu, MF_STRING, 11, L"Other");
    MenuScenario scenario{this, showMenuFlags_, menu, 0x4};
    g_menu = &scenario;
    // Once the menu is up, its item opens the list; the list's keys toggle
    // item 1 (flag 0x1) on and item 2 (flag 0x4) off.
    Driver driver({Key(VK_DOWN), Key(VK_DOWN), Key(VK_SPACE), Key(VK_DOWN), Key(VK_SPACE),
                   [](HWND) { g_menu->secondResult = g_menu->showMenuFlags(g_menu->menu, 10, "0,,3\r\nx\r\n", &g_menu->flags, 1); },
                   Key(VK_RETURN)});
    const UINT_PTR opener = SetTimer(nullptr, 0, 100, OpenMenuItemList);
    driver.Run([&] {
        POINT at = {200, 200};
        return TrackPopupMenuEx(menu, TPM_RETURNCMD, at.x, at.y, frame_, nullptr);
    });
    KillTimer(nullptr, opener);
    DestroyMenu(menu);
    g_menu = nullptr;
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_EQ(scenario.secondResult, 0) << "one menu list at a time";
    EXPECT_EQ(scenario.result, 1);
    EXPECT_EQ(scenario.flags, 0x1u);
}

}  // namespace
