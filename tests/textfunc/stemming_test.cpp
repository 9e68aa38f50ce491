// Porter stemming: the whole sample vocabulary against the reference
// implementation's own output, and the range and mode rules.
#include <gtest/gtest.h>
#include <fstream>
#include "jx/text_functions.h"
#include "stemming.h"
#include "text_test_support.h"

namespace {

constexpr unsigned kAllWords = JX_STEM_ALL_WORDS;
constexpr unsigned kSeparatorsToSpace = JX_STEM_SEPARATORS_TO_SPACE;
constexpr int kVocabularySize = 23531;

std::string StemmedAlone(const std::string& word) {
    str s = Holding(word);
    StemWords(s, 0, 0, 0);
    return std::string(View(s));
}

TEST(Stemming, EveryWordOfTheVocabularyGivesTheReferenceStem) {
    std::ifstream words(TestDataPath("porter/voc.txt"));
    std::ifstream stems(TestDataPath("porter/output.txt"));
    ASSERT_TRUE(words.is_open()) << TestDataPath("porter/voc.txt");
    ASSERT_TRUE(stems.is_open()) << TestDataPath("porter/output.txt");
    int count = 0;
    int wrong = 0;
    for (std::string word, expected; std::getline(words, word);) {
        ASSERT_TRUE(std::getline(stems, expected)) << "output.txt ends before voc.txt";
        ++count;
        const std::string stem = StemmedAlone(word);
        if (stem != expected && ++wrong <= 20) ADD_FAILURE() << word << " gave " << stem << ", not " << expected;
    }
    EXPECT_EQ(count, kVocabularySize);
    EXPECT_EQ(wrong, 0);
}

struct StemCase {
    std::string_view text;
    unsigned flags;
    int from;
    int length;
    std::string_view expected;
};

TEST(Stemming, WordsModesAndRanges) {
    using namespace std::string_view_literals;
    const StemCase cases[] = {
        // Published examples, one word each
        {"caresses", 0, 0, 0, "caress"},
        {"ponies", 0, 0, 0, "poni"},
        {"cats", 0, 0, 0, "cat"},
        {"feed", 0, 0, 0, "feed"},
        {"agreed", 0, 0, 0, "agre"},
        {"plastered", 0, 0, 0, "plaster"},
        {"motoring", 0, 0, 0, "motor"},
        {"conflated", 0, 0, 0, "conflat"},
        {"hopping", 0, 0, 0, "hop"},
        {"filing", 0, 0, 0, "file"},
        {"happy", 0, 0, 0, "happi"},
        {"relational", 0, 0, 0, "relat"},
        {"generalizations", 0, 0, 0, "gener"},
        {"electricity", 0, 0, 0, "electr"},
        {"hopeful", 0, 0, 0, "hope"},
        {"effective", 0, 0, 0, "effect"},
        {"controll", 0, 0, 0, "control"},
        {"roll", 0, 0, 0, "roll"},
        // Two letters stay; upper case is lowered first
        {"is", 0, 0, 0, "is"},
        {"as", 0, 0, 0, "as"},
        {"Running", 0, 0, 0, "run"},
        {"IS", 0, 0, 0, "is"},
        // Every word: a freed byte inside becomes a space, the last word cuts the string
        {"Cats, dogs", kAllWords, 0, 0, "cat , dog"},
        {"Cats, dogs", kAllWords | kSeparatorsToSpace, 0, 0, "cat   dog"},
        {"IS it so", kAllWords, 0, 0, "is it so"},
        {"hopping_cats #tags", kAllWords, 0, 0, "hopping_cat  #tag"},
        {"cats\0dogs"sv, kAllWords, 0, 0, "cat\0\0dog"sv},
        // Ranges: 0 is to the end, longer ones are clipped, a start at or past the end does nothing
        {"cats", 0, 0, 0, "cat"},
        {"cats dogs", 0, 5, 100, "cats dog"},
        {"the cats sat", 0, 4, 4, "the cat  sat"},
        {"the cats sat", kAllWords, 0, 8, "the cat  sat"},
        {"cats", 0, 4, 0, "cats"},
        {"cats", 0, 99, 1, "cats"},
        // One word: the whole range, spaces included, stemmed from its end
        {"Dogs Cats", 0, 0, 0, "dogs cat"},
    };
    for (const StemCase& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.text << "\" flags " << c.flags << " from " << c.from << " length "
                                        << c.length);
        str s = Holding(c.text);
        StemWords(s, c.flags, c.from, c.length);
        EXPECT_EQ(View(s), c.expected);
    }
}

TEST(Stemming, LowerCasesThroughTheLibraryTable) {
    str utf8 = Holding("CAF\xC3\x89S");
    StemWords(utf8, 0, 0, 0);
    EXPECT_EQ(View(utf8), "caf\xC3\x89") << "UTF-8 mode lowers ASCII only";

    constexpr UINT kWesternAnsi = 1252;
    if (GetACP() != kWesternAnsi) GTEST_SKIP() << "the ANSI case needs code page 1252";
    AnsiMode ansi;
    str western = Holding("CAF\xC9S");
    StemWords(western, 0, 0, 0);
    EXPECT_EQ(View(western), "caf\xE9");
}

}  // namespace
