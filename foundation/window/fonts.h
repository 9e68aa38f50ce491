// Fonts: the owner of a font handle, the default dialog font, fonts from a
// compact description, dialog units, measuring texts and setting a window's
// font.
#pragma once
#include <windows.h>
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
// font's own measure of the range disagrees); other texts are measured whole.
class TextWidthMeter {
public:
    explicit TextWidthMeter(HFONT font);
    TextWidthMeter(const TextWidthMeter&) = delete;
    TextWidthMeter& operator=(const TextWidthMeter&) = delete;

    // Pixels; 0 for an empty text or when measuring fails.
    int Width(const char* text);

private:
    static constexpr wchar_t kTableFirst = 0x20;  // below: control characters
    static constexpr wchar_t kTableLast = 0x2FF;  // above: combining marks and scripts that are shaped
    static constexpr int kTableSize = kTableLast - kTableFirst + 1;

    static bool InTable(unsigned c) { return c >= kTableFirst && c <= kTableLast; }

    MeasuringDC dc_;
    int advances_[kTableSize] = {};
    bool tableUsable_ = false;
    str wide_;
};

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
