#include <gtest/gtest.h>
#include <windows.h>
#include <string>
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
        for (const char* text : texts) EXPECT_EQ(meter.Width(text), ExtentOf(font, text)) << text;
    }
    TextWidthMeter meter(GetDefaultDialogFont());
    EXPECT_EQ(meter.Width(nullptr), 0);
}

}  // namespace
