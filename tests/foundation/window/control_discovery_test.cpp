#include <gtest/gtest.h>
#include <wchar.h>
#include <string>
#include <vector>
#include "window/control_discovery.h"
#include "ui_test_window.h"
#include "window/window_class.h"

namespace {

using ui_test::MakeWindow;
using ui_test::ScopedWindow;

// The programmatic name a test control answers with, and the length it claims.
struct NameAnswer {
    const wchar_t* name;
    LRESULT claimedUnits;  // -1: the name's length
};

LRESULT CALLBACK NamedControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == GetControlNameMessage()) {
        const auto* answer = reinterpret_cast<const NameAnswer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!answer) return 0;
        const size_t units = wcsnlen(answer->name, wParam);
        wmemcpy(reinterpret_cast<wchar_t*>(lParam), answer->name, units);
        return answer->claimedUnits >= 0 ? answer->claimedUnits : LRESULT(units);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A dialog-like window, shared by the tests (showing a window is slow):
//   visible buttons 1 and 2, hidden button 3, edit 4,
//   a visible panel (Static, id 5) holding button 6.
class Controls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        parent_ = MakeWindow(L"Static", WS_POPUP | WS_VISIBLE).release();
        button1_ = Child(L"Button", WS_VISIBLE, parent_, 1);
        button2_ = Child(L"Button", WS_VISIBLE, parent_, 2);
        hidden3_ = Child(L"Button", 0, parent_, 3);
        edit4_ = Child(L"Edit", WS_VISIBLE, parent_, 4);
        panel5_ = Child(L"Static", WS_VISIBLE, parent_, 5);
        nested6_ = Child(L"Button", WS_VISIBLE, panel5_, 6);
    }
    static void TearDownTestSuite() { DestroyWindow(parent_); }
    void SetUp() override { ASSERT_TRUE(IsWindowVisible(nested6_)); }

    static HWND Child(const wchar_t* className, DWORD style, HWND parent, int id) {
        return MakeWindow(className, style, parent, id).release();  // destroyed with the parent
    }
    static int Collect(HWND window, void* list) {
        static_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
    }

    static inline HWND parent_, button1_, button2_, hidden3_, edit4_, panel5_, nested6_;
};

TEST_F(Controls, EachFlag) {
    struct Case {
        unsigned flags;
        const char* className;
        int id;
        std::vector<HWND> offered;
        int count;
    };
    const Case cases[] = {
        {0, "button", 0, {button1_, button2_, hidden3_, nested6_}, 4},
        {kFindVisibleOnly, "Button", 0, {button1_, button2_, nested6_}, 3},
        {kFindVisibleFirst, "Button", 0, {button1_, button2_, nested6_, hidden3_}, 3},
        {kFindDirectChildren, "Button", 0, {button1_, button2_, hidden3_}, 3},
        {kFindById, nullptr, 4, {edit4_}, 1},
        {kFindById | kFindVisibleOnly, nullptr, 3, {}, 0},
        {kFindParentFirst, "Static", 0, {parent_, panel5_}, 2},
        {kFindSelfOnly, "static", 0, {parent_}, 1},
        {kFindSelfOnly, "Button", 0, {}, 0},
        {0, "*t*", 0, {button1_, button2_, hidden3_, edit4_, panel5_, nested6_}, 6},
        {0, "?dit", 0, {edit4_}, 1},
        {kFindRegex, "^(edit|static)$", 0, {edit4_, panel5_}, 2},
        {kFindClassList, "Edit\0Static\0", 0, {edit4_, panel5_}, 2},
        {kFindClassList | kFindWildcard, "E*\0Sta?ic\0", 0, {edit4_, panel5_}, 2},
    };
    for (const Case& c : cases) {
        std::vector<HWND> offered;
        EXPECT_EQ(EnumChildControls(parent_, Collect, &offered, c.flags, c.className, c.id, nullptr), c.count)
            << std::hex << c.flags << " " << (c.className ? c.className : "");
        EXPECT_EQ(offered, c.offered) << std::hex << c.flags << " " << (c.className ? c.className : "");
    }
}

TEST_F(Controls, StoppingOnTheFirstVisibleMatchDropsTheHiddenOnes) {
    std::vector<HWND> offered;
    const auto stopAtOnce = [](HWND window, void* list) {
        static_cast<std::vector<HWND>*>(list)->push_back(window);
        return 0;
    };
    EXPECT_EQ(EnumChildControls(parent_, stopAtOnce, &offered, kFindVisibleFirst, "Button", 0, nullptr), 1);
    EXPECT_EQ(offered, std::vector<HWND>{button1_});
}

TEST_F(Controls, FindCollectsEveryMatch) {
    WindowList list;
    list.push_back(nullptr);
    EXPECT_EQ(FindChildControls(parent_, list, kFindVisibleOnly, "Button", 0), 3);
    EXPECT_EQ((std::vector<HWND>(list.begin(), list.end())), (std::vector<HWND>{button1_, button2_, nested6_}));
    EXPECT_EQ(FindChildControls(parent_, list, kFindRegex, "(unclosed", 0), 0) << "an invalid pattern";
    EXPECT_TRUE(list.empty());
}

class NamedControls : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(namedClass_.Register("JX_TestNamed", NamedControlProc, 0, nullptr, 0, 0), 0);
        parent_ = MakeWindow(L"Static", WS_POPUP);
        for (int i = 0; i < 3; ++i) {
            named_[i] = CreateChildControl(0, "JX_TestNamed", WS_VISIBLE, 0, 0, 10, 10, parent_.get(), i + 1, 0, "");
            SetWindowLongPtrW(named_[i], GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&answers_[i]));
        }
    }
    void TearDown() override { parent_.reset(); }  // before the class goes

    RegisteredWindowClass namedClass_;
    ScopedWindow parent_;
    NameAnswer answers_[3] = {{L"okButton", -1}, {L"cancelButton", -1}, {L"", -1}};
    HWND named_[3] = {};
};

TEST_F(NamedControls, ControlAnswersWithItsName) {
    RemoteBuffer buffer;
    ASSERT_TRUE(buffer.Open(parent_.get()));
    str name;
    EXPECT_TRUE(GetControlName(buffer, named_[0], name));
    EXPECT_STREQ(name.Text(), "okButton");
    EXPECT_FALSE(GetControlName(buffer, named_[2], name)) << "an empty name is none";
    EXPECT_FALSE(GetControlName(buffer, parent_.get(), name)) << "a control that does not answer";
    EXPECT_TRUE(name.IsEmpty());
}

TEST_F(NamedControls, ClaimedLengthBeyondTheBufferIsNotRead) {
    answers_[0] = {L"big", 0x7FFFFFFF};
    RemoteBuffer buffer;
    ASSERT_TRUE(buffer.Open(parent_.get()));
    str name;
    EXPECT_TRUE(GetControlName(buffer, named_[0], name));
    EXPECT_STREQ(name.Text(), "big") << "read up to the buffer's end, text up to its terminator";
}

TEST_F(NamedControls, SearchByNameWildcard) {
    std::vector<HWND> offered;
    const auto collect = [](HWND window, void* list) {
        static_cast<std::vector<HWND>*>(list)->push_back(window);
        return 1;
    };
    EXPECT_EQ(EnumChildControls(parent_.get(), collect, &offered, 0, "jx_testnamed", 0, "*BUTTON"), 3)
        << "every candidate counts, named or not";
    EXPECT_EQ(offered, (std::vector<HWND>{named_[0], named_[1]}));
    offered.clear();
    EXPECT_EQ(EnumChildControls(parent_.get(), collect, &offered, 0, nullptr, 0, "cancel*"), 3);
    EXPECT_EQ(offered, std::vector<HWND>{named_[1]});
}

TEST_F(NamedControls, ControlsOfOtherProcessesAreNotAsked) {
    // A child of another process below the parent, counting the requests it gets.
    std::wstring commandLine =
        L"name_answerer.exe " + std::to_wstring(reinterpret_cast<INT_PTR>(parent_.get()));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    ScopedHandle processHandle(process.hProcess), threadHandle(process.hThread);
    HWND foreign = nullptr;
    for (int i = 0; i < 500 && !foreign; ++i) {
        foreign = FindWindowExW(parent_.get(), nullptr, L"JX_TestNameAnswerer", nullptr);
        if (!foreign) Sleep(20);
    }
    ASSERT_TRUE(foreign);

    std::vector<HWND> offered;
    const auto collect = [](HWND window, void* list) {
        static_cast<std::vector<HWND>*>(list)->push_back(window);
        return 1;
    };
    EXPECT_EQ(EnumChildControls(parent_.get(), collect, &offered, 0, nullptr, 0, "*"), 4) << "it is a candidate";
    EXPECT_EQ(offered, (std::vector<HWND>{named_[0], named_[1]}));
    str name;
    RemoteBuffer buffer;
    ASSERT_TRUE(buffer.Open(parent_.get()));
    EXPECT_FALSE(GetControlName(buffer, foreign, name));
    char asked[16] = {};
    SendMessageA(foreign, WM_GETTEXT, sizeof asked, reinterpret_cast<LPARAM>(asked));
    EXPECT_STREQ(asked, "0");
    // Its window tells ours as it goes: the messages are pumped while it ends.
    PostMessageW(foreign, WM_CLOSE, 0, 0);
    const DWORD deadline = GetTickCount() + 10000;
    while (MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0 &&
           GetTickCount() < deadline) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 0), WAIT_OBJECT_0);
}

}  // namespace
