// Fonts from descriptions, the default dialog font and dialog units.
#include "window/fonts.h"
#include <limits.h>
#include <stddef.h>
#include <wchar.h>
#include "text/wide_text.h"
#include "window/window_utils.h"

namespace {
constexpr char kMeasureLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kMeasureLetterCount = 52;
constexpr LONG kWeightBold = FW_BOLD;
constexpr LONG kWeightNormal = FW_NORMAL;
constexpr int kPointsPerInch = 72;
constexpr int kTenthsPerDegree = 10;
// The size of the metrics record without the Vista field, accepted by
// every system version.
constexpr UINT kNonClientMetricsSize = offsetof(NONCLIENTMETRICSW, iPaddedBorderWidth);

void SetFaceName(LOGFONTW& description, const wchar_t* face) {
    wcsncpy(description.lfFaceName, face, LF_FACESIZE - 1);
    description.lfFaceName[LF_FACESIZE - 1] = 0;
}

HFONT CreateDefaultDialogFont() {
    LOGFONTW description = {};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(description), &description);
    SetFaceName(description, kDialogFontFace);
    return CreateFontIndirectW(&description);
}

// The starting description of CreateFontFromDescription; false when it
// cannot be read.
bool ReadBaseDescription(UINT_PTR base, LOGFONTW& description, unsigned& parts) {
    description = {};
    switch (base) {
        case kFontBaseZero:
            description.lfCharSet = DEFAULT_CHARSET;
            parts = kFontFace | kFontSize | kFontStyle | kFontAngle;
            return true;
        case kFontBaseDialog:
            return GetObjectW(GetDefaultDialogFont(), sizeof(description), &description) != 0;
        case kFontBaseIconTitle:
            return SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(description), &description, 0) != 0;
        case kFontBaseMenu:
        case kFontBaseStatus:
        case kFontBaseMessage:
        case kFontBaseCaption:
        case kFontBaseSmallCaption: {
            NONCLIENTMETRICSW metrics = {};
            metrics.cbSize = kNonClientMetricsSize;
            if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, kNonClientMetricsSize, &metrics, 0)) return false;
            description = base == kFontBaseMenu      ? metrics.lfMenuFont
                          : base == kFontBaseStatus  ? metrics.lfStatusFont
                          : base == kFontBaseMessage ? metrics.lfMessageFont
                          : base == kFontBaseCaption ? metrics.lfCaptionFont
                                                     : metrics.lfSmCaptionFont;
            return true;
        }
        default:
            return GetObjectW(reinterpret_cast<HGDIOBJ>(base), sizeof(description), &description) != 0;
    }
}

int ScreenPixelsPerInch() {
    HDC screen = GetDC(nullptr);
    const int pixels = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return pixels;
}

}  // namespace

MeasuringDC::MeasuringDC(HFONT font) : dc_(CreateCompatibleDC(nullptr)) {
    if (dc_) previous_ = SelectObject(dc_, font);
}

MeasuringDC::~MeasuringDC() {
    if (!dc_) return;
    if (previous_) SelectObject(dc_, previous_);
    DeleteDC(dc_);
}

TextWidthMeter::TextWidthMeter(HFONT font) : dc_(font) {
    TEXTMETRICW metrics = {};
    // Unknown metrics: no text may be skipped as too short.
    mostPerByte_ = dc_.Get() && GetTextMetricsW(dc_.Get(), &metrics)
                       ? std::max(int(metrics.tmMaxCharWidth), int(metrics.tmAveCharWidth)) + int(metrics.tmOverhang)
                       : INT_MAX / 4;
    if (!dc_.Get() || !GetCharWidth32W(dc_.Get(), kTableFirst, kTableFirst + kTableSize - 1, advances_)) return;
    for (const int advance : advances_) mostPerByte_ = std::max(mostPerByte_, advance + int(metrics.tmOverhang));
    // Each run as one text: kerning, overhangs, font linking or a font that
    // places these characters otherwise make the sum differ.
    wchar_t run[kTableSize];
    for (int r = 0; r < kRunCount; ++r) {
        int length = 0, sum = 0;
        for (unsigned c = kRuns[r].first; c <= kRuns[r].last; ++c) {
            run[length++] = wchar_t(c);
            sum += advances_[c - kTableFirst];
        }
        SIZE size;
        runUsable_[r] = GetTextExtentPoint32W(dc_.Get(), run, length, &size) && size.cx == sum;
    }
}

int TextWidthMeter::Width(const char* text) {
    if (!text || !*text) return 0;
    int sum = 0;
    if (runUsable_[0]) {
        // ASCII bytes are the same characters in every code page the library takes.
        const auto* byte = reinterpret_cast<const unsigned char*>(text);
        for (; *byte < 0x80 && InTable(*byte); ++byte) sum += advances_[*byte - kTableFirst];
        if (!*byte) return sum;
    }
    wide_.ToWide(text);
    const wchar_t* wide = wide_.Wide();
    const int units = wide_.WideLength();
    sum = 0;
    int i = 0;
    for (; i < units && InTable(wide[i]); ++i) sum += advances_[wide[i] - kTableFirst];
    if (i == units) return sum;
    SIZE size;
    return dc_.Get() && GetTextExtentPoint32W(dc_.Get(), wide, units, &size) ? int(size.cx) : 0;
}

HFONT GetDefaultDialogFont() {
    static FontHandle font(CreateDefaultDialogFont());
    return font.Get();
}

int GetDialogUnits(HFONT font, int* cx) {
    if (font) {
        MeasuringDC measuring(font);
        TEXTMETRICW metrics;
        SIZE size;
        if (measuring.Get() && GetTextMetricsW(measuring.Get(), &metrics) &&
            GetTextExtentPoint32A(measuring.Get(), kMeasureLetters, kMeasureLetterCount, &size)) {
            // Twice the average width over 26 letters, halved with rounding.
            *cx = (size.cx / (kMeasureLetterCount / 2) + 1) / 2;
            return metrics.tmHeight;
        }
    }
    const LONG units = GetDialogBaseUnits();
    *cx = LOWORD(units);
    return HIWORD(units);
}

HFONT CreateFontFromDescription(FontHandle& font, const char* face, int points, unsigned style, int angle,
                                UINT_PTR base, unsigned parts) {
    LOGFONTW description;
    if (!ReadBaseDescription(base, description, parts)) {
        font.Reset();
        return nullptr;
    }
    if (parts & kFontFace) {
        if (face && *face)
            SetFaceName(description, WideText(face).Get());
        else
            SetFaceName(description, kDialogFontFace);
    }
    if (parts & kFontSize)
        description.lfHeight = points ? -MulDiv(points, ScreenPixelsPerInch(), kPointsPerInch) : 0;
    if (parts & kFontStyle) {
        description.lfWeight = (style & kFontBold) ? kWeightBold : kWeightNormal;
        description.lfItalic = (style & kFontItalic) ? TRUE : FALSE;
        description.lfUnderline = (style & kFontUnderline) ? TRUE : FALSE;
        description.lfStrikeOut = (style & kFontStrikeOut) ? TRUE : FALSE;
    }
    if (parts & kFontAngle) description.lfEscapement = description.lfOrientation = angle * kTenthsPerDegree;
    font.Reset(CreateFontIndirectW(&description));
    return font.Get();
}

void SetFont(HWND window, HFONT font, int redraw) {
    CallWindowProcDirect(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), LPARAM(BYTE(redraw)));
}

void SetDefaultFont(HWND window) { SetFont(window, GetDefaultDialogFont(), FALSE); }
