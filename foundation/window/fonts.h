// Fonts: the owner of a font handle, the default dialog font, fonts from a
// compact description, dialog units, measuring texts and setting a window's
// font.
#pragma once
#include <windows.h>
#include <algorithm>
#include <cstring>
#include <optional>
#include "text/str.h"

// Owns a font; a new font replaces (and deletes) the old one.
class FontHandle {
public:
    FontHandle() = default;
    explicit FontHandle(HFONT font) : font_(font) {}
    ~FontHandle() { Reset(); }
    FontHandle(const FontHandle&) = delete;
    FontHandle& operator=(const FontHandle&) = delete;

    HFONT Get() const { return font_; }
    void Reset(HFONT font = nullptr) {
        if (font_ && font_ != font) DeleteObject(font_);
        font_ = font;
    }

private:
    HFONT font_ = nullptr;
};

// The face name of the dialog fonts the library makes.
inline constexpr wchar_t kDialogFontFace[] = L"MS Shell Dlg 2";

// The library's default dialog font: the metrics of DEFAULT_GUI_FONT with
// the face "MS Shell Dlg 2". Made on first use, kept until library unload.
HFONT GetDefaultDialogFont();

// Average character width (into `cx`) and height (the result) of `font`;
// the system's dialog base units without a font or when measuring fails.
int GetDialogUnits(HFONT font, int* cx);

// A memory DC with a font selected for measuring; both undone at scope end.
class MeasuringDC {
public:
    explicit MeasuringDC(HFONT font);
    ~MeasuringDC();
    MeasuringDC(const MeasuringDC&) = delete;
    MeasuringDC& operator=(const MeasuringDC&) = delete;

    // Null when the DC or the font could not be had.
    HDC Get() const { return previous_ ? dc_ : nullptr; }

private:
    HDC dc_;
    HGDIOBJ previous_ = nullptr;
};

// Widths of texts in the library code page in one font, as
// GetTextExtentPoint32W gives them, for measuring many texts at once. GDI
// places the characters of the table's range one after the other without
// shaping, so their texts are summed from a table of advances (unless the
// font's own measure of a range disagrees); other texts are measured whole.
class TextWidthMeter {
public:
    explicit TextWidthMeter(HFONT font);
    TextWidthMeter(const TextWidthMeter&) = delete;
    TextWidthMeter& operator=(const TextWidthMeter&) = delete;

    // Pixels; 0 for an empty text or when measuring fails.
    int Width(const char* text);

    // No text of n bytes in the library code page is wider than n times
    // this: every character takes a byte at least, and no glyph of the font
    // is wider (a fallback font's wide glyphs take two bytes or more).
    int MostPerByte() const { return mostPerByte_; }

private:
    // Runs of characters GDI places one after the other: Latin, Greek and
    // Cyrillic, without control characters and combining marks.
    struct Run {
        wchar_t first, last;
    };
    static constexpr Run kRuns[] = {{0x20, 0x2FF}, {0x370, 0x482}, {0x48A, 0x52F}};
    static constexpr int kRunCount = int(sizeof kRuns / sizeof kRuns[0]);
    static constexpr wchar_t kTableFirst = kRuns[0].first;
    static constexpr int kTableSize = kRuns[kRunCount - 1].last - kTableFirst + 1;

    bool InTable(unsigned c) const {
        for (int i = 0; i < kRunCount; ++i)
            if (c >= kRuns[i].first && c <= kRuns[i].last) return runUsable_[i];
        return false;
    }

    MeasuringDC dc_;
    int advances_[kTableSize] = {};
    bool runUsable_[kRunCount] = {};
    int mostPerByte_ = 0;
    str wide_;
};

// One entry of a list measured by WidestItem.
struct MeasuredItem {
    const char* text;
    bool bold;
    LONGLONG beside;  // pixels next to the text (indentation), 0 or more
};

// The widest of `count` items, `base` + beside + text width, starting from
// `base` and at most `limit`. Bold items are measured in `boldFont` when
// there is one. Measuring stops once the limit is reached, and a text that
// cannot be wider than the widest so far by its length is not measured.
template <class ItemAt>
int WidestItem(HFONT font, HFONT boldFont, int count, int base, int limit, ItemAt itemAt) {
    TextWidthMeter normal(font);
    std::optional<TextWidthMeter> bold;
    int widest = base;
    for (int i = 0; i < count && widest < limit; ++i) {
        const MeasuredItem item = itemAt(i);
        TextWidthMeter* meter = &normal;
        if (item.bold && boldFont) {
            if (!bold) bold.emplace(boldFont);
            meter = &*bold;
        }
        const LONGLONG besideText = base + item.beside;
        const size_t length = item.text ? strlen(item.text) : 0;
        if (besideText + LONGLONG(length) * meter->MostPerByte() <= widest) continue;
        const LONGLONG need = besideText + meter->Width(item.text);
        widest = int(std::max<LONGLONG>(widest, std::min<LONGLONG>(need, limit)));
    }
    return widest;
}

// Starting point of CreateFontFromDescription: these values, or a font
// handle whose description is copied.
enum FontBase : UINT_PTR {
    kFontBaseZero = 0,  // everything zero, DEFAULT_CHARSET; every description part applies
    kFontBaseDialog = 1,
    kFontBaseIconTitle = 2,
    kFontBaseMenu = 3,
    kFontBaseStatus = 4,
    kFontBaseMessage = 5,
    kFontBaseCaption = 6,
    kFontBaseSmallCaption = 7,
};

// Parts of the description that CreateFontFromDescription applies
enum FontDescriptionPart : unsigned {
    kFontFace = 1,    // face name; null or "" is "MS Shell Dlg 2"
    kFontSize = 2,    // size in points; 0 is the default height
    kFontStyle = 4,   // FontStyle bits
    kFontAngle = 8,   // escapement and orientation in degrees
};

// Style bits of CreateFontFromDescription
enum FontStyle : unsigned {
    kFontBold = 1,
    kFontItalic = 2,
    kFontUnderline = 4,
    kFontStrikeOut = 8,
};

// Makes a font from `base` with the parts in `parts` replaced, into `font`.
// Returns the new font, null on failure (`font` then holds none).
HFONT CreateFontFromDescription(FontHandle& font, const char* face, int points, unsigned style, int angle,
                                UINT_PTR base, unsigned parts);

// WM_SETFONT; `redraw` is taken from its low byte.
void SetFont(HWND window, HFONT font, int redraw);
// The default dialog font, without redrawing.
void SetDefaultFont(HWND window);
