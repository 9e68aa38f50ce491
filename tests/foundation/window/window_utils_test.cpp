#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <atomic>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include "runtime/module_state.h"
#include "runtime/scoped_handle.h"
#include "window/window_utils.h"

namespace {

struct WindowDeleter {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using ScopedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

constexpr LRESULT kTrueLength = std::numeric_limits<LRESULT>::min();

// How a test window answers the text messages.
struct TextAnswers {
    const wchar_t* text = L"";             // what WM_GETTEXT writes
    LRESULT reportedLength = kTrueLength;  // WM_GETTEXT's result
    LRESULT lengthAnswer = kTrueLength;    // WM_GETTEXTLENGTH's result
    bool block = false;                    // never answer (the thread does not pump)
};

LRESULT CALLBACK AnsweringProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* answers = reinterpret_cast<const TextAnswers*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (answers && message == WM_GETTEXTLENGTH)
        return answers->lengthAnswer != kTrueLength ? answers->lengthAnswer : LRESULT(wcslen(answers->text));
    if (answers && message == WM_GETTEXT) {
        const size_t written = wcsnlen(answers->text, wParam ? wParam - 1 : 0);
        if (wParam) {
            wmemcpy(reinterpret_cast<wchar_t*>(lParam), answers->text, written);
            reinterpret_cast<wchar_t*>(lParam)[written] = 0;
        }
        return answers->reportedLength != kTrueLength ? answers->reportedLength : LRESULT(written);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A window with AnsweringProc, on the calling thread.
HWND CreateAnsweringWindow(const TextAnswers* answers, DWORD style, HWND parent) {
    HWND window = CreateUtilityWindow(0, nullptr, style, parent, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(answers));
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AnsweringProc));
    return window;
}

// An answering window on a thread of its own that pumps its messages (or,
// when told to block, waits until the object ends).
class OtherThreadWindow {
public:
    explicit OtherThreadWindow(const TextAnswers& answers) : answers_(answers) {
        thread_ = std::thread([this] {
            window_ = CreateAnsweringWindow(&answers_, 0, nullptr);
            threadId_ = GetCurrentThreadId();
            ready_ = true;
            if (answers_.block) {
                WaitForSingleObject(release_.Get(), INFINITE);
            } else {
                MSG msg;
                while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
            }
            DestroyWindow(window_);
        });
        while (!ready_) Sleep(1);
    }
    ~OtherThreadWindow() {
        SetEvent(release_.Get());
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    HWND Handle() const { return window_; }

private:
    TextAnswers answers_;
    ScopedHandle release_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
    std::atomic<bool> ready_{false};
    std::thread thread_;
};

std::string TextOf(HWND window, unsigned flags) {
    str out;
    const int length = GetWindowTextEx(out, window, flags);
    EXPECT_EQ(length, out.len);
    return out.Text();
}

TEST(ModifyStyle, SetsAddsRemovesAndTogglesBits) {
    ScopedWindow window(CreateUtilityWindow(0, nullptr, 0, nullptr, nullptr));
    ASSERT_TRUE(window);
    struct Case {
        DWORD bits;
        unsigned flags;
        DWORD expected;
    };
    const DWORD popup = WS_POPUP | WS_CLIPSIBLINGS;  // the system keeps WS_CLIPSIBLINGS on popups
    const DWORD base = popup | WS_BORDER;
    for (const Case& c : {Case{WS_CAPTION, kStyleAdd, base | WS_CAPTION}, Case{WS_BORDER, kStyleRemove, popup},
                          Case{WS_BORDER | WS_THICKFRAME, kStyleToggle, popup | WS_THICKFRAME},
                          Case{popup, kStyleSet, popup}}) {
        SetWindowLongW(window.get(), GWL_STYLE, LONG(base));
        EXPECT_EQ(DWORD(ModifyStyle(window.get(), c.bits, c.flags | kStyleFrameChanged)), base) << "previous style";
        EXPECT_EQ(DWORD(GetStyle(window.get())), c.expected) << c.flags;
    }
    ModifyStyle(window.get(), WS_EX_TOOLWINDOW, kStyleAdd | kStyleExtended | kStyleRepaint);
    EXPECT_TRUE(GetExStyle(window.get()) & WS_EX_TOOLWINDOW);
    EXPECT_EQ(DWORD(GetStyle(window.get())), popup) << "the style is left alone";

    ModifyStyle(window.get(), WS_VISIBLE, kStyleToggle);
    EXPECT_TRUE(IsWindowVisible(window.get())) << "visible by the bit alone";
    ModifyStyle(window.get(), WS_VISIBLE, kStyleToggle);
    EXPECT_FALSE(IsWindowVisible(window.get()));
}

TEST(CreateUtilityWindow, DefaultClassAndPopupUnlessChild) {
    ScopedWindow popup(CreateUtilityWindow(WS_EX_TOOLWINDOW, nullptr, 0, nullptr, nullptr));
    ASSERT_TRUE(popup);
    wchar_t className[64] = {};
    GetClassNameW(popup.get(), className, 64);
    EXPECT_STREQ(className, JX_DEFAULT_WINDOW_CLASS);
    EXPECT_EQ(HINSTANCE(GetClassLongPtrW(popup.get(), GCLP_HMODULE)), g_module.moduleInstance);
    EXPECT_TRUE(GetStyle(popup.get()) & WS_POPUP);
    EXPECT_TRUE(GetExStyle(popup.get()) & WS_EX_TOOLWINDOW);

    const HWND child = CreateUtilityWindow(0, L"STATIC", WS_CHILD, popup.get(), nullptr);
    ASSERT_NE(child, nullptr);
    EXPECT_FALSE(GetStyle(child) & WS_POPUP);
    EXPECT_EQ(GetParentIfChild(child), popup.get());
    EXPECT_EQ(GetParentIfChild(popup.get()), nullptr);
    EXPECT_EQ(GetRootWindow(child), popup.get());
}

int g_hookCalls = 0;
LRESULT CALLBACK CountingHook(int code, WPARAM wParam, LPARAM lParam) {
    ++g_hookCalls;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(CallWindowProcDirect, OwnWindowsBypassTheHooks) {
    const TextAnswers answers{L"direct"};
    ScopedWindow window(CreateAnsweringWindow(&answers, 0, nullptr));
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, CountingHook, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    g_hookCalls = 0;
    EXPECT_EQ(CallWindowProcDirect(window.get(), WM_GETTEXTLENGTH, 0, 0), 6);
    EXPECT_EQ(g_hookCalls, 0);
    EXPECT_EQ(SendMessageW(window.get(), WM_GETTEXTLENGTH, 0, 0), 6);
    EXPECT_GT(g_hookCalls, 0) << "the hook itself works";
    UnhookWindowsHookEx(hook);

    const OtherThreadWindow other(TextAnswers{L"sent"});
    EXPECT_EQ(CallWindowProcDirect(other.Handle(), WM_GETTEXTLENGTH, 0, 0), 4);
}

TEST(GetWindowTextEx, StoredTextOfAnyLength) {
    ScopedWindow window(CreateUtilityWindow(0, nullptr, 0, nullptr, nullptr));
    const std::wstring longText = std::wstring(1500, L'x') + L"\u00e9nd";
    SetWindowTextW(window.get(), longText.c_str());
    EXPECT_EQ(TextOf(window.get(), 0), std::string(1500, 'x') + "\xC3\xA9nd");
    EXPECT_EQ(TextOf(window.get(), kWindowTextByMessage), TextOf(window.get(), 0));
}

TEST(GetWindowTextEx, ChildWindowsAreAskedWhenNothingIsStored) {
    ScopedWindow parent(CreateUtilityWindow(0, nullptr, 0, nullptr, nullptr));
    const TextAnswers answers{L"asked"};
    const HWND child = CreateAnsweringWindow(&answers, WS_CHILD, parent.get());
    EXPECT_EQ(TextOf(child, 0), "asked");
    EXPECT_EQ(TextOf(child, kWindowTextStoredOnly), "");
    ScopedWindow popup(CreateAnsweringWindow(&answers, 0, nullptr));
    EXPECT_EQ(TextOf(popup.get(), 0), "") << "the stored text of a popup is final";
    EXPECT_EQ(TextOf(popup.get(), kWindowTextByMessage), "asked");
}

TEST(GetWindowTextEx, OtherThreadsAnswersAreBounded) {
    struct Case {
        TextAnswers answers;
        const char* expected;
    };
    for (const Case& c : {
             Case{{L"other thread"}, "other thread"},
             Case{{L"abc", 100000}, "abc"},           // a result beyond the buffer: up to the first NUL
             Case{{L"abc", kTrueLength, -7}, ""},           // a negative length counts as 0
             Case{{L"truncated", kTrueLength, 4}, "trun"},  // the buffer follows the reported length
             Case{{L"hung", kTrueLength, kTrueLength, true}, ""},  // timed-out messages count as length 0
         }) {
        const OtherThreadWindow window(c.answers);
        EXPECT_EQ(TextOf(window.Handle(), kWindowTextByMessage), c.expected) << c.expected;
    }
}

LRESULT CALLBACK ReadFieldProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        auto* seen = reinterpret_cast<std::wstring*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        *seen = reinterpret_cast<const LVITEMW*>(lParam)->pszText;
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST(TextMessages, ConvertedBothWays) {
    ScopedWindow window(CreateUtilityWindow(0, nullptr, 0, nullptr, nullptr));
    const char* text = "gr\xC3\xBC\xC3\x9F" "e";
    EXPECT_TRUE(SetControlText(window.get(), text));
    str out;
    EXPECT_EQ(SendMessageGetText(window.get(), WM_GETTEXT, 64, out, 64), 5);
    EXPECT_STREQ(out.Text(), text);
    SendMessageGetText(window.get(), WM_GETTEXT, 4, out, 4);
    EXPECT_STREQ(out.Text(), "gr\xC3\xBC") << "what fits the buffer";

    std::wstring seen;
    SetWindowLongPtrW(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&seen));
    SetWindowLongPtrW(window.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ReadFieldProc));
    wchar_t original[] = L"old";
    LVITEMW item = {};
    item.pszText = original;
    EXPECT_EQ(SendMessageTextField(window.get(), WM_APP, 0, reinterpret_cast<LPARAM>(&item), &item.pszText, text), 1);
    EXPECT_EQ(seen, L"gr\u00fc\u00dfe");
    EXPECT_EQ(item.pszText, original) << "the record does not keep the freed copy";
}

TEST(InsertMenuItemText, ConvertsOnlyTextItems) {
    HMENU menu = CreatePopupMenu();
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_TYPE | MIIM_ID;
    info.wID = 7;
    info.dwTypeData = const_cast<char*>("\xC3\x96" "ffnen");
    EXPECT_TRUE(InsertMenuItemText(menu, 0, TRUE, &info));
    info.fType = MFT_SEPARATOR;
    info.dwTypeData = nullptr;
    info.wID = 8;
    EXPECT_TRUE(InsertMenuItemText(menu, 1, TRUE, &info));
    wchar_t label[32] = {};
    GetMenuStringW(menu, 7, label, 32, MF_BYCOMMAND);
    EXPECT_STREQ(label, L"\u00d6ffnen");
    EXPECT_EQ(GetMenuItemCount(menu), 2);
    EXPECT_EQ(GetMenuState(menu, 1, MF_BYPOSITION) & MF_SEPARATOR, UINT(MF_SEPARATOR));
    DestroyMenu(menu);
}

TEST(SmallQueries, ClampLetsLowWinAndParametersAreReadSafely) {
    EXPECT_EQ(Clamp(5, 0, 10), 5);
    EXPECT_EQ(Clamp(-5, 0, 10), 0);
    EXPECT_EQ(Clamp(15, 0, 10), 10);
    EXPECT_EQ(Clamp(5, 10, 0), 10) << "low wins over a lower high";
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(GetSystemParameter(SPI_GETWORKAREA), DWORD(work.left)) << "a record larger than 32 bits fits";
    EXPECT_EQ(GetScreenWidth(), GetSystemMetrics(SM_CXSCREEN));
}

}  // namespace
