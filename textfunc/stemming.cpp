// Porter's stemming algorithm as in its author's reference implementation,
// with its three departures from the 1980 paper: step 2 maps "bli" to "ble"
// (not "abli" to "able"), step 2 has "logi" to "log", and words of one or two
// letters are left alone.
#include "stemming.h"
#include <string.h>
#include <algorithm>
#include <array>
#include <span>
#include <string_view>
#include "text/char_tables.h"
#include "jx/text_functions.h"

namespace {

using Table = std::array<bool, 256>;

constexpr Table MakeVowelLetters() {
    Table t{};
    for (char c : std::string_view("aeiou")) t[BYTE(c)] = true;
    return t;
}

// Bytes of a word in the multi-word mode; every other byte separates words.
constexpr Table MakeWordBytes() {
    Table t{};
    for (int c = 'a'; c <= 'z'; ++c) t[c] = t[c - 'a' + 'A'] = true;
    for (int c = '0'; c <= '9'; ++c) t[c] = true;
    t[BYTE('_')] = t[BYTE('#')] = true;
    return t;
}

constexpr Table kVowelLetter = MakeVowelLetters();
constexpr Table kWordByte = MakeWordBytes();

struct Rule {
    std::string_view suffix;
    std::string_view replacement;
};

// Step 2, chosen by the letter before the last.
constexpr Rule kStep2A[] = {{"ational", "ate"}, {"tional", "tion"}};
constexpr Rule kStep2C[] = {{"enci", "ence"}, {"anci", "ance"}};
constexpr Rule kStep2E[] = {{"izer", "ize"}};
constexpr Rule kStep2L[] = {{"bli", "ble"}, {"alli", "al"}, {"entli", "ent"}, {"eli", "e"}, {"ousli", "ous"}};
constexpr Rule kStep2O[] = {{"ization", "ize"}, {"ation", "ate"}, {"ator", "ate"}};
constexpr Rule kStep2S[] = {{"alism", "al"}, {"iveness", "ive"}, {"fulness", "ful"}, {"ousness", "ous"}};
constexpr Rule kStep2T[] = {{"aliti", "al"}, {"iviti", "ive"}, {"biliti", "ble"}};
constexpr Rule kStep2G[] = {{"logi", "log"}};

std::span<const Rule> Step2Rules(char beforeLast) {
    switch (beforeLast) {
        case 'a': return kStep2A;
        case 'c': return kStep2C;
        case 'e': return kStep2E;
        case 'l': return kStep2L;
        case 'o': return kStep2O;
        case 's': return kStep2S;
        case 't': return kStep2T;
        case 'g': return kStep2G;
        default: return {};
    }
}

// Step 3, chosen by the last letter.
constexpr Rule kStep3E[] = {{"icate", "ic"}, {"ative", ""}, {"alize", "al"}};
constexpr Rule kStep3I[] = {{"iciti", "ic"}};
constexpr Rule kStep3L[] = {{"ical", "ic"}, {"ful", ""}};
constexpr Rule kStep3S[] = {{"ness", ""}};

std::span<const Rule> Step3Rules(char last) {
    switch (last) {
        case 'e': return kStep3E;
        case 'i': return kStep3I;
        case 'l': return kStep3L;
        case 's': return kStep3S;
        default: return {};
    }
}

// Step 4, chosen by the letter before the last; "ion" counts only after s or t.
constexpr std::string_view kIon = "ion";
constexpr std::string_view kStep4A[] = {"al"};
constexpr std::string_view kStep4C[] = {"ance", "ence"};
constexpr std::string_view kStep4E[] = {"er"};
constexpr std::string_view kStep4I[] = {"ic"};
constexpr std::string_view kStep4L[] = {"able", "ible"};
constexpr std::string_view kStep4N[] = {"ant", "ement", "ment", "ent"};
constexpr std::string_view kStep4O[] = {kIon, "ou"};
constexpr std::string_view kStep4S[] = {"ism"};
constexpr std::string_view kStep4T[] = {"ate", "iti"};
constexpr std::string_view kStep4U[] = {"ous"};
constexpr std::string_view kStep4V[] = {"ive"};
constexpr std::string_view kStep4Z[] = {"ize"};

std::span<const std::string_view> Step4Suffixes(char beforeLast) {
    switch (beforeLast) {
        case 'a': return kStep4A;
        case 'c': return kStep4C;
        case 'e': return kStep4E;
        case 'i': return kStep4I;
        case 'l': return kStep4L;
        case 'n': return kStep4N;
        case 'o': return kStep4O;
        case 's': return kStep4S;
        case 't': return kStep4T;
        case 'u': return kStep4U;
        case 'v': return kStep4V;
        case 'z': return kStep4Z;
        default: return {};
    }
}

// One word being stemmed: b[0..k] is the word, b[0..j] the stem while a
// suffix is examined. The word never grows past its old length (a longer
// replacement only follows a removed "ed" or "ing"), so its own bytes are
// the buffer.
class PorterWord {
public:
    PorterWord(char* word, int length) : b_(word), k_(length - 1) {}

    // Steps 2 and 4 look at the letter before the last; a word cut to one
    // letter has none (and no suffix of theirs would fit).
    int Stem() {
        Step1ab();
        Step1c();
        ApplyFirstRule(k_ >= 1 ? Step2Rules(b_[k_ - 1]) : std::span<const Rule>());
        ApplyFirstRule(Step3Rules(b_[k_]));
        Step4();
        Step5();
        return k_ + 1;
    }

private:
    bool IsConsonant(int i) const {
        const BYTE c = BYTE(b_[i]);
        if (kVowelLetter[c]) return false;
        if (c != 'y') return true;
        // A y after a consonant is a vowel, so a run of y's alternates from
        // its first one, which is a consonant at the start or after a vowel.
        int runStart = i;
        while (runStart > 0 && b_[runStart - 1] == 'y') --runStart;
        const bool firstIsConsonant = runStart == 0 || kVowelLetter[BYTE(b_[runStart - 1])];
        return firstIsConsonant == ((i - runStart) % 2 == 0);
    }

    // The number of vowel-to-consonant changes in b[0..j]: m in [C](VC)^m[V].
    int Measure() const {
        int changes = 0;
        bool previousIsVowel = false;
        for (int i = 0; i <= j_; ++i) {
            const BYTE c = BYTE(b_[i]);
            const bool vowel = kVowelLetter[c] || (c == 'y' && i > 0 && !previousIsVowel);
            changes += previousIsVowel && !vowel;
            previousIsVowel = vowel;
        }
        return changes;
    }

    // Whether b[0..j] has a vowel: a y counts after a consonant, and every
    // byte before the first vowel is one.
    bool VowelInStem() const {
        for (int i = 0; i <= j_; ++i) {
            const BYTE c = BYTE(b_[i]);
            if (kVowelLetter[c] || (c == 'y' && i > 0)) return true;
        }
        return false;
    }

    bool DoubleConsonant(int i) const { return i >= 1 && b_[i] == b_[i - 1] && IsConsonant(i); }

    // Consonant-vowel-consonant ending at i, the last consonant not w, x or y.
    bool ConsonantVowelConsonant(int i) const {
        if (i < 2 || !IsConsonant(i) || IsConsonant(i - 1) || !IsConsonant(i - 2)) return false;
        const char c = b_[i];
        return c != 'w' && c != 'x' && c != 'y';
    }

    bool Ends(std::string_view suffix) {
        const int n = int(suffix.size());
        if (suffix.back() != b_[k_] || n > k_ + 1) return false;
        if (!std::equal(suffix.begin(), suffix.end(), b_ + k_ - n + 1)) return false;
        j_ = k_ - n;
        return true;
    }

    void SetTo(std::string_view text) {
        std::copy(text.begin(), text.end(), b_ + j_ + 1);
        k_ = j_ + int(text.size());
    }

    void Step1ab() {
        if (b_[k_] == 's') {
            if (Ends("sses"))
                k_ -= 2;
            else if (Ends("ies"))
                SetTo("i");
            else if (b_[k_ - 1] != 's')
                --k_;
        }
        if (Ends("eed")) {
            if (Measure() > 0) --k_;
        } else if ((Ends("ed") || Ends("ing")) && VowelInStem()) {
            k_ = j_;
            if (Ends("at")) {
                SetTo("ate");
            } else if (Ends("bl")) {
                SetTo("ble");
            } else if (Ends("iz")) {
                SetTo("ize");
            } else if (DoubleConsonant(k_)) {
                const char c = b_[k_];
                if (c != 'l' && c != 's' && c != 'z') --k_;
            } else if (Measure() == 1 && ConsonantVowelConsonant(k_)) {
                SetTo("e");
            }
        }
    }

    void Step1c() {
        if (Ends("y") && VowelInStem()) b_[k_] = 'i';
    }

    // Steps 2 and 3: the first rule whose suffix ends the word decides.
    void ApplyFirstRule(std::span<const Rule> rules) {
        for (const Rule& rule : rules) {
            if (!Ends(rule.suffix)) continue;
            if (Measure() > 0) SetTo(rule.replacement);
            return;
        }
    }

    void Step4() {
        if (k_ < 1) return;
        for (std::string_view suffix : Step4Suffixes(b_[k_ - 1])) {
            if (!Ends(suffix)) continue;
            if (suffix == kIon && !(j_ >= 0 && (b_[j_] == 's' || b_[j_] == 't'))) continue;
            if (Measure() > 1) k_ = j_;
            return;
        }
    }

    void Step5() {
        j_ = k_;
        if (b_[k_] == 'e') {
            const int m = Measure();
            if (m > 1 || (m == 1 && !ConsonantVowelConsonant(k_ - 1))) --k_;
        }
        if (b_[k_] == 'l' && DoubleConsonant(k_) && Measure() > 1) --k_;
    }

    char* b_;
    int k_;
    int j_ = 0;
};

// Stems b[from..from + count) as one word and disposes of the freed bytes.
void StemRange(str& s, int from, int count) {
    char* word = s.buf + from;
    for (int i = 0; i < count; ++i) word[i] = char(g_charTables.toLower[BYTE(word[i])]);
    const int stemmed = StemLowerCaseWord(word, count);
    if (stemmed == count) return;
    if (from + count == s.len) {
        s.FixLength(from + stemmed, kFixNoShrink);
        return;
    }
    memset(word + stemmed, word[count] == '\0' ? '\0' : ' ', size_t(count - stemmed));
}

void StemEachWord(str& s, int from, int count, bool separatorsToSpace) {
    int i = from;
    const int end = from + count;
    while (i < end) {
        if (!kWordByte[BYTE(s.buf[i])]) {
            if (separatorsToSpace) s.buf[i] = ' ';
            ++i;
            continue;
        }
        int wordEnd = i + 1;
        while (wordEnd < end && kWordByte[BYTE(s.buf[wordEnd])]) ++wordEnd;
        StemRange(s, i, wordEnd - i);
        i = wordEnd;
    }
}

}  // namespace

int StemLowerCaseWord(char* word, int length) {
    if (length <= 2) return length;
    return PorterWord(word, length).Stem();
}

void StemWords(str& s, unsigned flags, int from, int length) {
    if (!s.buf || from < 0 || from >= s.len) return;
    const int available = s.len - from;
    const int count = (length <= 0 || length > available) ? available : length;
    if (flags & JX_STEM_ALL_WORDS)
        StemEachWord(s, from, count, flags & JX_STEM_SEPARATORS_TO_SPACE);
    else
        StemRange(s, from, count);
}
