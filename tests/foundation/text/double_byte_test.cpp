// ANSI mode on a double-byte system code page: run with the system code page
// 932, where a trail byte may be an ASCII letter or the path separator 0x5C.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "ansi_mode.h"
#include "text/str.h"

namespace {

// Two-byte characters of code page 932 whose trail bytes are ASCII.
constexpr char kKatakanaA[] = "\x83\x41";    // trail "A"
constexpr char kKatakanaDa[] = "\x83\x61";   // trail "a": another character
constexpr char kHyou[] = "\x95\x5C";         // trail "\\"

class DoubleByte : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(GetACP(), 932u) << "run with the system code page 932"; }
    AnsiMode ansi_;
};

TEST_F(DoubleByte, CaseNeverMapsATrailByte) {
    std::string text = std::string("ab") + kKatakanaDa + "cd";
    ToUpper(text.data());
    EXPECT_EQ(text, std::string("AB") + kKatakanaDa + "CD");
    ToLower(text.data());
    EXPECT_EQ(text, std::string("ab") + kKatakanaDa + "cd");
    text = kKatakanaA;
    ToLower(text.data());
    EXPECT_EQ(text, kKatakanaA);
}

TEST_F(DoubleByte, ComparingAndFindingTakeWholeCharacters) {
    const std::string a = std::string("x") + kKatakanaA;
    const std::string da = std::string("X") + kKatakanaDa;
    EXPECT_NE(Compare(a.c_str(), da.c_str(), true), 0) << "two characters, not one in two cases";
    EXPECT_NE(CompareN(a.c_str(), da.c_str(), 3, true), 0);
    EXPECT_EQ(CompareN(a.c_str(), da.c_str(), 2, true), 0) << "the first character and a lead byte";
    EXPECT_EQ(Compare((std::string("Ab") + kKatakanaA).c_str(), (std::string("aB") + kKatakanaA).c_str(), true), 0);
    EXPECT_EQ(FindText(kKatakanaA, "a", true), nullptr);
    EXPECT_EQ(FindText(kKatakanaA, "A", false), nullptr);
    EXPECT_EQ(FindText(kHyou, "\\", false), nullptr);
    const std::string both = std::string(kKatakanaA) + "a";
    EXPECT_EQ(FindText(both.c_str(), "A", true), both.c_str() + 2);
    EXPECT_FALSE(WildcardMatch(true, kKatakanaA, "*a"));
    EXPECT_FALSE(WildcardMatch(false, kHyou, "*\\"));
    EXPECT_TRUE(WildcardMatch(false, kHyou, "?")) << "one character";
    EXPECT_FALSE(WildcardMatch(false, kHyou, "??"));
}

TEST_F(DoubleByte, FoldersEndAtSeparatorsOnly) {
    struct Case {
        std::string path;
        std::string folder;
    };
    const Case cases[] = {
        {std::string("C:\\dir\\") + kHyou, "C:\\dir"},
        {std::string("C:\\") + kHyou + "\\name.txt", std::string("C:\\") + kHyou},
        {std::string("C:\\") + kHyou + kHyou, "C:"},
    };
    for (const Case& test : cases) {
        str folder;
        folder.GetFolder(test.path.c_str(), true);
        EXPECT_EQ(std::string(folder.Text()), test.folder) << test.path;
    }
}

}  // namespace
