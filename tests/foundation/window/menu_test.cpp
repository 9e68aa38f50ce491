#include <gtest/gtest.h>
#include <string>
#include "window/menu.h"
#include "ui_test_window.h"

namespace {

struct ScopedMenu {
    HMENU menu = CreatePopupMenu();
    ~ScopedMenu() { DestroyMenu(menu); }
};

struct Item {
    UINT type;
    UINT state;
    UINT id;
    HMENU submenu;
    std::wstring text;
};

Item ReadItem(HMENU menu, int position) {
    wchar_t text[64] = {};
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 64;
    EXPECT_TRUE(GetMenuItemInfoW(menu, UINT(position), TRUE, &info)) << position;
    return {info.fType, info.fState, info.wID, info.hSubMenu, text};
}

TEST(MenuText, EveryLineKind) {
    ScopedMenu menu;
    BuildMenuFromText(menu.menu,
                      "Open\tCtrl+O\r\n"
                      "-\n"
                      "-Gone\n"
                      ">Recent\n"
                      "\t10 Ten\n"
                      "\tEleven\n"
                      "\t>Deeper\n"
                      "\t\t\n"
                      "\t<\n"
                      "<\n"
                      "|\n"
                      "After\n"
                      "5  Spaced\n"
                      "|\n"
                      ">Column\n"
                      "In column\n"
                      "<\n");
    ASSERT_EQ(GetMenuItemCount(menu.menu), 7);
    struct Expected {
        UINT type;
        UINT state;
        UINT id;
        bool submenu;
        const wchar_t* text;
    };
    const Expected top[] = {
        {MFT_STRING, 0, 1, false, L"Open\tCtrl+O"},
        {MFT_SEPARATOR, 0, 0, false, L""},
        {MFT_STRING, MFS_GRAYED, 2, false, L"Gone"},
        {MFT_STRING, 0, 0, true, L"Recent"},
        {MFT_MENUBARBREAK, 0, 13, false, L"After"},
        {MFT_STRING, 0, 5, false, L" Spaced"},
        {MFT_MENUBARBREAK, 0, 0, true, L"Column"},
    };
    for (int i = 0; i < 7; ++i) {
        const Item item = ReadItem(menu.menu, i);
        EXPECT_EQ(item.type, top[i].type) << i;
        EXPECT_EQ(item.state, top[i].state) << i;
        if (!top[i].submenu) {
            EXPECT_EQ(item.id, top[i].id) << i;
        }
        EXPECT_EQ(item.submenu != nullptr, top[i].submenu) << i;
        EXPECT_EQ(item.text, top[i].text) << i;
    }

    HMENU recent = ReadItem(menu.menu, 3).submenu;
    ASSERT_EQ(GetMenuItemCount(recent), 3);
    EXPECT_EQ(ReadItem(recent, 0).id, 10u);
    EXPECT_EQ(ReadItem(recent, 0).text, L"Ten");
    EXPECT_EQ(ReadItem(recent, 1).id, 11u);
    HMENU deeper = ReadItem(recent, 2).submenu;
    ASSERT_EQ(GetMenuItemCount(deeper), 1);
    EXPECT_EQ(ReadItem(deeper, 0).id, 12u) << "an empty line is an item";
    EXPECT_EQ(ReadItem(deeper, 0).text, L"");
}

TEST(MenuText, LinesFromAnArray) {
    ScopedMenu menu;
    const char* lines[] = {"a", "b", "7 c", nullptr};
    BuildMenuFromLines(menu.menu, lines, -1);
    ASSERT_EQ(GetMenuItemCount(menu.menu), 3);
    EXPECT_EQ(ReadItem(menu.menu, 1).id, 2u);
    EXPECT_EQ(ReadItem(menu.menu, 2).id, 7u);
    BuildMenuFromLines(menu.menu, lines, 1);
    EXPECT_EQ(GetMenuItemCount(menu.menu), 4);
    BuildMenuFromText(menu.menu, "");
    EXPECT_EQ(GetMenuItemCount(menu.menu), 4) << "no line, no item";
}

// The keyboard chooses "&Second" (id 7) as soon as the menu loop runs.
int TrackChoosingSecond(HWND owner) {
    ScopedMenu menu;
    BuildMenuFromText(menu.menu, "First\n7 &Second\nThird");
    PostThreadMessageW(GetCurrentThreadId(), WM_CHAR, L's', 0);
    const POINT at = {10, 10};
    return TrackPopup(menu.menu, owner, TPM_LEFTALIGN, &at);
}

TEST(TrackPopup, ReturnsTheChosenCommand) {
    ui_test::ScopedWindow owner = ui_test::MakeWindow(L"Static", WS_POPUP | WS_VISIBLE);
    SetForegroundWindow(owner.get());
    EXPECT_EQ(TrackChoosingSecond(owner.get()), 7) << "owner in the foreground";
    EXPECT_EQ(TrackChoosingSecond(nullptr), 7) << "a message-only owner of its own";
}

TEST(TrackPopup, WithoutAnyWindowOfThisThreadInFront) {
    EXPECT_EQ(TrackChoosingSecond(nullptr), 7);
}

}  // namespace
