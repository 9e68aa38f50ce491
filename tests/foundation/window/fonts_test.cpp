#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "text/str.h"
#include "window/fonts.h"

namespace {

// GDI's own measure of a UTF-8 text.
int ExtentOf(HFONT font, const char* text) {
    str wide;
    wide.ToWide(text);
    MeasuringDC dc(font);
    SIZE size = {};
    return GetTextExtentPoint32W(dc.Get(), wide.Wide(), wide.WideLength(), &size) ? int(size.cx) : -1;
}

TEST(TextWidthMeter, MeasuresAsGdiDoesInEveryScript) {
    const char* const texts[] = {
        "",
        "alpha 12345",
        "Wide WWW and narrow iii, punctuation.;:!",
        "caf\xC3\xA9 \xC3\x9F \xC5\x81\xC3\xB3" "d\xC5\xBA",  // Latin-1 and Latin Extended
        "\xD0\x96\xD0\xB8\xD0\xB2\xD0\xBE\xD0\xB9 text",      // Cyrillic
        "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1 \xCF\x89",  // Greek
        "\xD0\xB9\xD2\x83 titlo",                               // a Cyrillic combining mark
        "e\xCC\x81 combining",                                // a combining mark
        "\xE6\xBC\xA2\xE5\xAD\x97 and \xF0\x9F\x98\x80",      // CJK and a pair of surrogates
        "tab\there",
    };
    LOGFONTW description = {};
    GetObjectW(GetDefaultDialogFont(), sizeof description, &description);
    description.lfWeight = FW_BOLD;
    const FontHandle bold(CreateFontIndirectW(&description));
    for (const HFONT font : {GetDefaultDialogFont(), bold.Get()}) {
        TextWidthMeter meter(font);
        for (const char* text : texts) {
            EXPECT_EQ(meter.Width(text), ExtentOf(font, text)) << text;
            // What lets WidestItem skip short texts unmeasured.
            EXPECT_LE(meter.Width(text), LONGLONG(strlen(text)) * meter.MostPerByte()) << text;
        }
    }
    TextWidthMeter meter(GetDefaultDialogFont());
    EXPECT_EQ(meter.Width(nullptr), 0);
}

TEST(WidestItem, FindsTheWidestAndStopsAtTheLimit) {
    LOGFONTW description = {};
    GetObjectW(GetDefaultDialogFont(), sizeof description, &description);
    description.lfWeight = FW_BOLD;
    const FontHandle boldFont(CreateFontIndirectW(&description));
    const HFONT font = GetDefaultDialogFont();
    const std::vector<MeasuredItem> items = {
        {"short", false, 0},
        {"the widest plain text", false, 0},
        {"WWW", false, 0},  // shorter, but each character wide
        {"bold text", true, 0},
        {"\xE6\xBC\xA2\xE5\xAD\x97\xE6\xBC\xA2\xE5\xAD\x97", false, 0},
        {"x", false, 40},  // narrow text, wide indentation
        {"", false, 0},
        {nullptr, false, 0},
    };
    constexpr int kBase = 7;
    // The widest by measuring every item.
    LONGLONG expected = kBase;
    for (const MeasuredItem& item : items) {
        const HFONT itemFont = item.bold ? boldFont.Get() : font;
        const int width = item.text ? ExtentOf(itemFont, item.text) : 0;
        expected = std::max(expected, kBase + item.beside + width);
    }
    // Every order: the short texts skipped unmeasured change nothing.
    std::vector<MeasuredItem> ordered = items;
    for (size_t shift = 0; shift < items.size(); ++shift) {
        std::rotate(ordered.begin(), ordered.begin() + 1, ordered.end());
        EXPECT_EQ(WidestItem(font, boldFont.Get(), int(ordered.size()), kBase, 10000,
                             [&](int i) { return ordered[size_t(i)]; }),
                  expected)
            << shift;
    }
    EXPECT_EQ(WidestItem(font, nullptr, 0, kBase, 10000, [&](int i) { return items[size_t(i)]; }), kBase);

    // A first item that reaches the limit ends the measuring.
    int asked = 0;
    EXPECT_EQ(WidestItem(font, nullptr, 1000000, kBase, 50,
                         [&](int) {
                             ++asked;
                             return MeasuredItem{"a text far wider than fifty pixels", false, 0};
                         }),
              50);
    EXPECT_EQ(asked, 1);
}

}  // namespace
