#include <gtest/gtest.h>
#include "window/clipboard.h"
#include "ui_test_window.h"

namespace {

constexpr char kText[] = "Grüße – 日本語 ✓";
constexpr wchar_t kWideText[] = L"Grüße – 日本語 ✓";

class Clipboard : public ::testing::Test {
protected:
    ui_test::ScopedWindow owner_ = ui_test::MakeWindow(L"Static", WS_POPUP);
};

TEST_F(Clipboard, Utf8TextRoundTrip) {
    ASSERT_TRUE(CopyTextToClipboard(kText, owner_.get()));
    {
        ClipboardGuard clipboard;
        ASSERT_TRUE(clipboard.Open(owner_.get()));
        auto* wide = static_cast<const wchar_t*>(GlobalLock(GetClipboardData(CF_UNICODETEXT)));
        ASSERT_NE(wide, nullptr);
        EXPECT_STREQ(wide, kWideText) << "stored as UTF-16";
        GlobalUnlock(GetClipboardData(CF_UNICODETEXT));
    }
    str pasted("old");
    ASSERT_TRUE(PasteTextFromClipboard(pasted, owner_.get()));
    EXPECT_STREQ(pasted.Text(), kText);
}

TEST_F(Clipboard, NullTextChangesNothing) {
    ASSERT_TRUE(CopyTextToClipboard("kept", owner_.get()));
    {
        ClipboardGuard clipboard;
        ASSERT_TRUE(clipboard.Open(owner_.get()));
        EXPECT_TRUE(SetClipboardText(nullptr));
    }
    EXPECT_TRUE(CopyTextToClipboard(nullptr, owner_.get())) << "emptied, nothing written";
    str pasted("old");
    EXPECT_FALSE(PasteTextFromClipboard(pasted, owner_.get())) << "no text after the empty copy";
    EXPECT_TRUE(pasted.IsEmpty());
}

TEST_F(Clipboard, GuardClosesAtScopeEnd) {
    {
        ClipboardGuard clipboard;
        ASSERT_TRUE(clipboard.OpenAndEmpty(owner_.get()));
        EXPECT_EQ(GetOpenClipboardWindow(), owner_.get());
    }
    EXPECT_EQ(GetOpenClipboardWindow(), nullptr);
}

}  // namespace
