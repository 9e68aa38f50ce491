#include "dropdown_dialog.h"
#include <windows.h>
#include <commctrl.h>
#include <oleauto.h>
#include <stdio.h>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>
#include "counting_allocator.h"
#include "dialog_template.h"
#include "exit_codes.h"
#include "host_string.h"
#include "jx/combo_box.h"
#include "jx/dropdown.h"
#include "jx/edit_control.h"
#include "loaded_library.h"
#include "text.h"

namespace jxhost {
namespace {

using Args = std::span<const std::wstring_view>;

// Controls and menu items
constexpr int kFieldId = 101;
constexpr int kChecksButtonId = 102;
constexpr int kBitsButtonId = 103;
constexpr int kMenuButtonId = 104;
constexpr int kStatusId = 105;
constexpr int kSingleComboId = 106;
constexpr int kCheckComboId = 107;
constexpr int kBitsComboId = 108;
constexpr int kTypedComboId = 109;
constexpr int kReadDataButtonId = 110;
constexpr WORD kNoId = 0xFFFF;
constexpr UINT kViewFlagsItemId = 201;
constexpr UINT kClearFlagsItemId = 202;
// Timers
constexpr UINT_PTR kExitTimer = 1;
constexpr UINT_PTR kDemoTimer = 2;
constexpr UINT_PTR kMenuListTimer = 3;
constexpr UINT_PTR kDemoPointerTimer = 4;
constexpr UINT kDemoDelayMs = 500;
// In the list demo the pointer moves onto this item, which becomes the current one.
constexpr int kDemoPointerItem = 6;
constexpr UINT kDemoExitSeconds = 6;
// A menu item opens its list after the pointer rested on it this long, as a submenu would.
constexpr UINT kMenuListDelayMs = 400;
// Dialog units
constexpr short kDialogWidth = 250;
constexpr short kDialogHeight = 218;
constexpr short kMargin = 7;
constexpr short kRowHeight = 14;
constexpr short kRowGap = 8;
constexpr short kLabelWidth = 30;
constexpr short kButtonWidth = 74;
constexpr short kButtonGap = 6;
constexpr short kComboLabelWidth = 40;
constexpr short kComboRowStep = 18;
constexpr short kComboHeight = 80;  // a system combo's height with its list; the list here is the dropdown's
constexpr short kStatusLines = 7;  // the combo data may take two
constexpr short kStatusLineHeight = 9;

enum class Demo { kNone, kList, kChecks, kMenu, kCombo };

// ---- Table texts

std::string Quoted(const char* text) {
    std::string field = "\"";
    for (const char* c = text; *c; ++c) field += *c == '"' ? std::string("\"\"") : std::string(1, *c);
    return field + '"';
}

std::string Hex(unsigned value) {
    char text[16];
    snprintf(text, sizeof text, "0x%06X", value);
    return text;
}

constexpr int kNoColor = -1;

struct ListItem {
    const char* text;
    int image;  // -1 none
    int flags;  // JX_DROPDOWN_ITEM_*
    const char* tip;
    int textColor = kNoColor;  // COLORREF
    int backColor = kNoColor;
};

// One item row: text, image, flags, info tip, text and background colour.
std::string ItemRow(const ListItem& item) {
    std::string row = Quoted(item.text) + ',';
    if (item.image >= 0) row += std::to_string(item.image);
    row += ',' + std::to_string(item.flags) + ',' + Quoted(item.tip) + ',';
    if (item.textColor != kNoColor) row += Hex(unsigned(item.textColor));
    row += ',';
    if (item.backColor != kNoColor) row += Hex(unsigned(item.backColor));
    return row + "\r\n";
}

// Row 0 (images and header flags) and the item rows.
std::string ListText(const std::string& images, int headerFlags, std::span<const ListItem> items) {
    std::string text = "," + images + ',' + std::to_string(headerFlags) + "\r\n";
    for (const ListItem& item : items) text += ItemRow(item);
    return text;
}

// A combo box's table: row 0 holds the state (selection or check bits), the
// header flags and the cue banner.
std::string ComboText(const char* state, unsigned headerFlags, const char* cueBanner, std::span<const ListItem> items) {
    std::string text = std::string(state) + ",," + std::to_string(headerFlags) + ',' + Quoted(cueBanner) + "\r\n";
    for (const ListItem& item : items) text += ItemRow(item);
    return text;
}

constexpr int kHeading = JX_DROPDOWN_ITEM_HEADING;
constexpr int kHeadingBack = 0xD8ECD8;

const ListItem kFruits[] = {
    {"Apple", 0, 0, "Crisp, red or green"},
    {"Banana", 1, 0, "Yellow background from column 5", kNoColor, 0xC0FFFF},
    {"Cherry", 0, JX_DROPDOWN_ITEM_BOLD, "Bold (item flag 0x08), dark red text", 0x000080},
    {"Durian", 2, JX_DROPDOWN_ITEM_DISABLED, "Disabled (item flag 0x04): out of stock", 0x909090},
    {"Elderberry", 3, 0, "Blue text on lavender", 0x800000, 0xFAE6E6},
    {"Fig", -1, 0, "No image"},
    {"Grape", 3, 0, "Green text from column 4", 0x006000},
    {"Kiwi", 2, 0, "Brown square"},
};

// Check mode 1: the states travel in the host's SAFEARRAY of bytes.
const ListItem kGarden[] = {
    {"Fruit", -1, kHeading, "", kNoColor, kHeadingBack},
    {"Apples", -1, 0, "Checked state from the check array"},
    {"Pears", -1, 0, ""},
    {"Plums", -1, 0, ""},
    {"Vegetables", -1, kHeading, "", kNoColor, kHeadingBack},
    {"Carrots", -1, 0, ""},
    {"Leeks", -1, 0, ""},
    {"Onions", -1, 0, ""},
};
constexpr bool kGardenChecked[] = {false, false, true, false, false, false, true, false};

// Bit-mask mode: item i is bit i of one integer.
const ListItem kStyles[] = {
    {"Bold", -1, 0, ""},
    {"Italic", -1, 0, ""},
    {"Underline", -1, 0, ""},
    {"Strikeout", -1, 0, ""},
};

// The menu item's list edits the bits of kViewMask; item k is its k-th bit,
// so item 0 is a heading.
constexpr unsigned kViewMask = 0xF0;
const ListItem kViewFlags[] = {
    {"Show in the grid", -1, kHeading, "", kNoColor, kHeadingBack},
    {"Grid lines", -1, 0, ""},
    {"Row numbers", -1, 0, ""},
    {"Check boxes", -1, 0, ""},
    {"Wrap text", -1, 0, ""},
};

// ---- The combo boxes, loaded with set-data

struct ComboBoxInfo {
    int id;
    const wchar_t* label;
    DWORD style;
    const char* name;  // in the status text and on stdout
};

const ComboBoxInfo kComboBoxes[] = {
    {kSingleComboId, L"Single:", CBS_DROPDOWNLIST, "single"},
    {kCheckComboId, L"Check list:", CBS_DROPDOWN | CBS_AUTOHSCROLL, "check list"},
    {kBitsComboId, L"Bit mask:", CBS_DROPDOWN | CBS_AUTOHSCROLL, "bit mask"},
    {kTypedComboId, L"Typed:", CBS_DROPDOWN | CBS_AUTOHSCROLL, "typed"},
};

const ListItem kSizes[] = {
    {"Small", -1, 0, ""},
    {"Medium", -1, 0, ""},
    {"Large", -1, 0, ""},
    {"Extra large", -1, JX_DROPDOWN_ITEM_DISABLED, "Disabled: sold out"},
};

// Check mode 1: bit 0 of an item's flags is its check.
const ListItem kBasket[] = {
    {"Fruit", -1, kHeading, "", kNoColor, kHeadingBack},
    {"Apples", -1, JX_DROPDOWN_ITEM_CHECKED, ""},
    {"Pears", -1, 0, ""},
    {"Plums", -1, 0, ""},
    {"Vegetables", -1, kHeading, "", kNoColor, kHeadingBack},
    {"Carrots", -1, 0, ""},
    {"Leeks", -1, JX_DROPDOWN_ITEM_CHECKED, ""},
};

// Item i is bit i: the file attributes from FILE_ATTRIBUTE_READONLY to
// FILE_ATTRIBUTE_TEMPORARY, so that a bit above 0x80 shows in hexadecimal.
const ListItem kAttributes[] = {
    {"Read-only", -1, 0, "0x1"},
    {"Hidden", -1, 0, "0x2"},
    {"System", -1, 0, "0x4"},
    {"Volume label", -1, JX_DROPDOWN_ITEM_DISABLED, "0x8: not a file's"},
    {"Directory", -1, 0, "0x10"},
    {"Archive", -1, 0, "0x20"},
    {"Device", -1, 0, "0x40"},
    {"Normal", -1, 0, "0x80"},
    {"Temporary", -1, 0, "0x100"},
};

const ListItem kCities[] = {
    {"Lisbon", -1, 0, ""},
    {"Oslo", -1, 0, ""},
    {"Vienna", -1, 0, ""},
};

// ---- Icons for the host's __ImageListLoad

enum class Shape { kCircle, kDiamond, kSquare, kTriangle };

bool Inside(Shape shape, int x, int y) {
    const double dx = x - 7.5, dy = y - 7.5;
    switch (shape) {
    case Shape::kCircle: return dx * dx + dy * dy <= 49;
    case Shape::kDiamond: return (dx < 0 ? -dx : dx) + (dy < 0 ? -dy : dy) <= 7.5;
    case Shape::kSquare: return x >= 2 && x <= 13 && y >= 2 && y <= 13;
    case Shape::kTriangle: return y >= 2 && y <= 14 && (dx < 0 ? -dx : dx) <= (y - 1) / 2.0;
    }
    return false;
}

// A 16 by 16 icon with an alpha channel: the shape filled with `color`.
std::string IconFileBytes(Shape shape, COLORREF color) {
    constexpr int kSize = 16;
    constexpr DWORD kMaskRowBytes = 4;  // rows of the AND mask are padded to 32 bits
    std::string bytes;
    auto put = [&bytes](const void* data, size_t size) { bytes.append(static_cast<const char*>(data), size); };
    auto put16 = [&put](WORD value) { put(&value, sizeof value); };
    auto put32 = [&put](DWORD value) { put(&value, sizeof value); };
    const DWORD imageBytes = sizeof(BITMAPINFOHEADER) + kSize * kSize * 4 + kSize * kMaskRowBytes;
    put16(0);  // the icon directory: one image
    put16(1);
    put16(1);
    const BYTE entry[] = {kSize, kSize, 0, 0};
    put(entry, sizeof entry);
    put16(1);   // planes
    put16(32);  // bits per pixel
    put32(imageBytes);
    put32(6 + 16);  // the image follows the directory and its one entry
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = kSize;
    header.biHeight = 2 * kSize;  // the colour image and the mask
    header.biPlanes = 1;
    header.biBitCount = 32;
    put(&header, sizeof header);
    // Rows bottom-up.
    for (int row = kSize - 1; row >= 0; --row)
        for (int x = 0; x < kSize; ++x) {
            const bool in = Inside(shape, x, row);
            const BYTE pixel[] = {in ? GetBValue(color) : BYTE(0), in ? GetGValue(color) : BYTE(0),
                                  in ? GetRValue(color) : BYTE(0), in ? BYTE(255) : BYTE(0)};
            put(pixel, sizeof pixel);
        }
    for (int row = kSize - 1; row >= 0; --row) {
        BYTE mask[kMaskRowBytes] = {};
        for (int x = 0; x < kSize; ++x)
            if (!Inside(shape, x, row)) mask[x / 8] |= BYTE(0x80 >> (x % 8));
        put(mask, sizeof mask);
    }
    return bytes;
}

// The image list of kFruits as icon files in the temporary folder, removed
// when this goes away.
class IconFiles {
public:
    IconFiles() {
        static const struct {
            Shape shape;
            COLORREF color;
        } kIcons[] = {{Shape::kCircle, RGB(210, 30, 40)},
                      {Shape::kDiamond, RGB(240, 200, 20)},
                      {Shape::kSquare, RGB(130, 80, 30)},
                      {Shape::kTriangle, RGB(110, 40, 160)}};
        wchar_t folder[MAX_PATH];
        const DWORD length = GetTempPathW(MAX_PATH, folder);
        if (length == 0 || length >= MAX_PATH) return;
        for (size_t i = 0; i < std::size(kIcons); ++i) {
            std::wstring path = folder + (L"jxhost-dropdown-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                          std::to_wstring(i) + L".ico");
            if (!Write(path, IconFileBytes(kIcons[i].shape, kIcons[i].color))) return;
            paths_.push_back(std::move(path));
        }
    }
    ~IconFiles() {
        for (const std::wstring& path : paths_) DeleteFileW(path.c_str());
    }
    IconFiles(const IconFiles&) = delete;
    IconFiles& operator=(const IconFiles&) = delete;

    // One path per line, the form "__ImageListLoad" reads with flag 2.
    std::wstring Lines() const {
        std::wstring lines;
        for (const std::wstring& path : paths_) lines += path + L"\r\n";
        return lines;
    }

private:
    static bool Write(const std::wstring& path, const std::string& bytes) {
        FILE* file = _wfopen(path.c_str(), L"wb");
        if (!file) return false;
        const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        return fclose(file) == 0 && written;
    }

    std::vector<std::wstring> paths_;
};

// ---- Text in the table's code page

UINT TableCodePage() { return Allocator().Table().codePage; }

std::string FromWide(const std::wstring& text) {
    const UINT codePage = TableCodePage();
    const int bytes = WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(size_t(bytes), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

std::wstring ToWide(const char* text) { return WideFromCodePage(text, TableCodePage()); }

// ---- The dialog

struct DropdownApi {
    decltype(&ShowDropdownListSimple) listSimple = nullptr;
    decltype(&ShowDropdownMenuItemFlags) menuItemFlags = nullptr;
};

struct DialogState {
    DropdownApi api;
    Demo demo = Demo::kNone;
    UINT exitAfterSeconds = 0;
    std::string fruits;
    std::string garden;
    std::string styles;
    std::string viewFlags;
    SAFEARRAY* gardenChecks = nullptr;  // the check list's states, kept between openings
    int styleBits = 0x1;
    unsigned viewFlagBits = 0x150;  // 0x100 lies outside kViewMask and stays
    HMENU menu = nullptr;
    int openLists = 0;
    bool menuOpen = false;
    std::wstring chosen = L"(nothing yet)";
    std::wstring comboData = L"(press Read data)";
};

jxhost::DialogTemplate DropdownDialogTemplate() {
    jxhost::DialogTemplate dialog(L"jxhost dropdown", kDialogWidth, kDialogHeight);
    const short fieldX = kMargin + kLabelWidth;
    dialog.Item(L"Static", L"Fruit:", kNoId, WS_CHILD | WS_VISIBLE, kMargin, kMargin + 2, kLabelWidth, 10);
    dialog.Item(JX_EDIT_CLASS_W, L"Banana", kFieldId, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL,
                fieldX, kMargin, 2 * kButtonWidth + kButtonGap - kLabelWidth, kRowHeight);
    const short buttonsY = kMargin + kRowHeight + 8;
    const wchar_t* const labels[] = {L"Check list", L"Bit mask", L"Menu"};
    const int ids[] = {kChecksButtonId, kBitsButtonId, kMenuButtonId};
    for (int i = 0; i < 3; ++i)
        dialog.Item(L"Button", labels[i], WORD(ids[i]), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                    short(kMargin + i * (kButtonWidth + kButtonGap)), buttonsY, kButtonWidth, kRowHeight);
    const short combosY = buttonsY + kRowHeight + kRowGap;
    const short comboX = kMargin + kComboLabelWidth;
    const short readX = kMargin + 2 * (kButtonWidth + kButtonGap);
    for (size_t i = 0; i < std::size(kComboBoxes); ++i) {
        const short y = short(combosY + i * kComboRowStep);
        dialog.Item(L"Static", kComboBoxes[i].label, kNoId, WS_CHILD | WS_VISIBLE, kMargin, short(y + 2),
                    kComboLabelWidth, 10);
        dialog.Item(JX_COMBO_CLASS_W, L"", WORD(kComboBoxes[i].id),
                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | kComboBoxes[i].style, comboX, y,
                    short(readX - kButtonGap - comboX), kComboHeight);
    }
    dialog.Item(L"Button", L"Read data", kReadDataButtonId, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, readX,
                combosY, kButtonWidth, kRowHeight);
    const short statusY = short(combosY + (std::size(kComboBoxes) - 1) * kComboRowStep + kRowHeight + kRowGap);
    dialog.Item(L"Static", L"", kStatusId, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_SUNKEN, kMargin, statusY,
                kDialogWidth - 2 * kMargin, kStatusLines * kStatusLineHeight);
    dialog.Item(L"Button", L"Close", IDCANCEL, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                kDialogWidth - kMargin - 50, kDialogHeight - kMargin - kRowHeight, 50, kRowHeight);
    return dialog;
}

DialogState& State(HWND dialog) { return *reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER)); }

std::wstring Names(std::span<const ListItem> items, const std::vector<bool>& on) {
    std::wstring names;
    for (size_t i = 0; i < items.size(); ++i)
        if (on[i]) names += (names.empty() ? L"" : L", ") + ToWide(items[i].text);
    return names.empty() ? L"none" : names;
}

std::vector<bool> GardenChecks(SAFEARRAY* array) {
    std::vector<bool> on(std::size(kGarden), false);
    BYTE* bytes = nullptr;
    if (!array || FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&bytes)))) return on;
    if (array->rgsabound[0].cElements >= std::size(kGarden))
        for (size_t i = 0; i < on.size(); ++i) on[i] = bytes[i] & JX_DROPDOWN_ITEM_CHECKED;
    SafeArrayUnaccessData(array);
    return on;
}

std::wstring HexWide(unsigned value) {
    wchar_t text[16];
    swprintf(text, std::size(text), L"0x%X", value);
    return text;
}

void ShowStatus(HWND dialog) {
    const DialogState& state = State(dialog);
    std::vector<bool> styles(std::size(kStyles)), view(std::size(kViewFlags), false);
    for (size_t i = 0; i < styles.size(); ++i) styles[i] = state.styleBits & (1 << i);
    for (size_t i = 1, bit = 0; i < view.size(); ++i) {
        while (bit < 32 && !(kViewMask & (1u << bit))) ++bit;
        view[i] = state.viewFlagBits & (1u << bit++);
    }
    const std::wstring text = L"Chosen in the list: " + state.chosen +
                              L"\nCheck list: " + Names(kGarden, GardenChecks(state.gardenChecks)) +
                              L"\nBit mask: " + HexWide(unsigned(state.styleBits)) + L" (" + Names(kStyles, styles) +
                              L")\nMenu flags: " + HexWide(state.viewFlagBits) + L" (" + Names(kViewFlags, view) +
                              L")\nCombo data: " + state.comboData;
    SetDlgItemTextW(dialog, kStatusId, text.c_str());
}

void Report(const std::wstring& line) {
    fputs((Utf8FromWide(line) + "\n").c_str(), stdout);
    fflush(stdout);
}

// In a demo, keys the list's loop finds waiting when it starts.
void PostKeys(HWND window, std::initializer_list<WORD> keys) {
    for (WORD key : keys) PostMessageW(window, WM_KEYDOWN, key, 1);
}

void DropFruitList(HWND dialog, HWND field) {
    DialogState& state = State(dialog);
    wchar_t text[256] = {};
    GetWindowTextW(field, text, int(std::size(text)));
    int current = -1;
    for (size_t i = 0; i < std::size(kFruits); ++i)
        if (ToWide(kFruits[i].text) == text) current = int(i);
    if (state.demo == Demo::kList) SetTimer(dialog, kDemoPointerTimer, kDemoDelayMs, nullptr);
    ++state.openLists;
    const int result = state.api.listSimple(state.fruits.c_str(), &current, nullptr, 0, field, nullptr);
    --state.openLists;
    if ((result & JX_DROPDOWN_RESULT_ACCEPTED) && current >= 0 && current < int(std::size(kFruits))) {
        state.chosen = ToWide(kFruits[current].text);
        SetWindowTextW(field, state.chosen.c_str());
        SendMessageW(field, EM_SETSEL, 0, -1);
    }
    Report(L"list: result " + HexWide(unsigned(result)) + L", item " + std::to_wstring(current));
    ShowStatus(dialog);
}

void DropGardenList(HWND dialog, HWND button) {
    DialogState& state = State(dialog);
    if (state.demo == Demo::kChecks) PostKeys(dialog, {VK_DOWN, VK_SPACE});
    int current = -1;
    ++state.openLists;
    const int result = state.api.listSimple(state.garden.c_str(), &current, &state.gardenChecks, 0, button, nullptr);
    --state.openLists;
    Report(L"checks: result " + HexWide(unsigned(result)));
    ShowStatus(dialog);
}

void DropStyleList(HWND dialog, HWND button) {
    DialogState& state = State(dialog);
    ++state.openLists;
    const int result = state.api.listSimple(state.styles.c_str(), &state.styleBits, nullptr, 0, button, nullptr);
    --state.openLists;
    Report(L"bits: result " + HexWide(unsigned(result)) + L", bits " + HexWide(unsigned(state.styleBits)));
    ShowStatus(dialog);
}

// Opened by the timer that the item's highlight started, inside the menu's loop.
void DropViewFlagsList(HWND dialog) {
    DialogState& state = State(dialog);
    if (!state.menuOpen) return;
    if (state.demo == Demo::kMenu) PostKeys(dialog, {VK_DOWN, VK_DOWN, VK_SPACE});
    ++state.openLists;
    const int changed = state.api.menuItemFlags(state.menu, int(kViewFlagsItemId), state.viewFlags.c_str(),
                                                &state.viewFlagBits, kViewMask);
    --state.openLists;
    Report(L"menu flags: changed " + std::to_wstring(changed) + L", flags " + HexWide(state.viewFlagBits));
    ShowStatus(dialog);
}

void ShowMenu(HWND dialog, HWND button) {
    DialogState& state = State(dialog);
    RECT rect = {};
    GetWindowRect(button, &rect);
    // The menu's own loop takes the key: its first item lights up.
    if (state.demo == Demo::kMenu) PostKeys(dialog, {VK_DOWN});
    state.menuOpen = true;
    TrackPopupMenu(state.menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, rect.left, rect.bottom, 0, dialog,
                   nullptr);
    state.menuOpen = false;
    KillTimer(dialog, kMenuListTimer);
}

UINT DialogDataMessage() {
    static const UINT message = RegisterWindowMessageA(JX_MSG_DIALOGCONTROLDATA);
    return message;
}

void LoadComboBoxes(HWND dialog) {
    const std::string texts[] = {
        ComboText("1", JX_COMBO_SINGLE, "", kSizes),
        ComboText("", JX_COMBO_CHECKLIST, "", kBasket),
        ComboText("0x105", JX_COMBO_BITS_NUMBER | JX_COMBO_FLAG_NUMBERS, "", kAttributes),
        ComboText("-1", JX_COMBO_SINGLE | JX_COMBO_ADD_TYPED, "A city, or a new one", kCities),
    };
    for (size_t i = 0; i < std::size(kComboBoxes); ++i) {
        HostString data(texts[i]);
        SendDlgItemMessageW(dialog, kComboBoxes[i].id, DialogDataMessage(), JX_DIALOGDATA_SET,
                            reinterpret_cast<LPARAM>(data.Record()));
    }
}

void ReadComboData(HWND dialog) {
    DialogState& state = State(dialog);
    std::wstring values;
    for (const ComboBoxInfo& combo : kComboBoxes) {
        // The library may replace the record's block; the host frees whatever it holds.
        HostString data("");
        SendDlgItemMessageW(dialog, combo.id, DialogDataMessage(), JX_DIALOGDATA_GET,
                            reinterpret_cast<LPARAM>(data.Record()));
        values += (values.empty() ? L"" : L", ") + ToWide(combo.name) + L" \"" +
                  WideFromCodePage(data.Text(), TableCodePage()) + L"\"";
    }
    state.comboData = values;
    Report(L"combo data: " + values);
    ShowStatus(dialog);
}

void RunDemo(HWND dialog) {
    switch (State(dialog).demo) {
    case Demo::kList:
        // The field's own key for its list.
        PostMessageW(GetDlgItem(dialog, kFieldId), WM_KEYDOWN, VK_DOWN, 1);
        break;
    case Demo::kChecks:
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(kChecksButtonId, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, kChecksButtonId)));
        break;
    case Demo::kMenu:
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(kMenuButtonId, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, kMenuButtonId)));
        break;
    case Demo::kCombo:
        // The list's loop takes the keys: Pears becomes the current item and gets its check.
        PostKeys(dialog, {VK_DOWN, VK_DOWN, VK_SPACE});
        SendDlgItemMessageW(dialog, kCheckComboId, CB_SHOWDROPDOWN, TRUE, 0);
        break;
    case Demo::kNone:
        break;
    }
}

// Runs inside the list's loop: the pointer moves onto an item as a user's would.
void MovePointerOntoItem(int item) {
    const HWND popup = FindWindowW(JX_DROPDOWN_CLASS_W, nullptr);
    const HWND list = popup ? GetWindow(popup, GW_CHILD) : nullptr;
    RECT rect = {};
    rect.left = LVIR_BOUNDS;
    if (!list || !SendMessageW(list, LVM_GETITEMRECT, WPARAM(item), reinterpret_cast<LPARAM>(&rect))) return;
    POINT center = {(rect.left + rect.right) / 3, (rect.top + rect.bottom) / 2};
    ClientToScreen(list, &center);
    SetCursorPos(center.x, center.y);
}

void EndEverything(HWND dialog) {
    DialogState& state = State(dialog);
    // The list's loop takes the key first; the menu and the dialog end after it.
    if (state.openLists > 0) PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 1);
    for (const ComboBoxInfo& combo : kComboBoxes) SendDlgItemMessageW(dialog, combo.id, CB_SHOWDROPDOWN, FALSE, 0);
    if (state.menuOpen) EndMenu();
    EndDialog(dialog, IDCANCEL);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        DialogState& state = State(dialog);
        if (state.exitAfterSeconds) SetTimer(dialog, kExitTimer, state.exitAfterSeconds * 1000, nullptr);
        if (state.demo != Demo::kNone) SetTimer(dialog, kDemoTimer, kDemoDelayMs, nullptr);
        LoadComboBoxes(dialog);
        ShowStatus(dialog);
        return TRUE;
    }
    case WM_TIMER:
        if (wParam == kExitTimer) {
            KillTimer(dialog, kExitTimer);
            EndEverything(dialog);
        } else if (wParam == kDemoTimer) {
            KillTimer(dialog, kDemoTimer);
            RunDemo(dialog);
        } else if (wParam == kDemoPointerTimer) {
            KillTimer(dialog, kDemoPointerTimer);
            MovePointerOntoItem(kDemoPointerItem);
        } else if (wParam == kMenuListTimer) {
            KillTimer(dialog, kMenuListTimer);
            DropViewFlagsList(dialog);
        }
        return TRUE;
    case WM_MENUSELECT: {
        // Resting on the item opens its list, moving elsewhere forgets it.
        const bool onItem = LOWORD(wParam) == kViewFlagsItemId && !(HIWORD(wParam) & MF_POPUP) &&
                            HIWORD(wParam) != 0xFFFF;
        if (onItem)
            SetTimer(dialog, kMenuListTimer, kMenuListDelayMs, nullptr);
        else
            KillTimer(dialog, kMenuListTimer);
        return TRUE;
    }
    case WM_COMMAND: {
        const HWND control = reinterpret_cast<HWND>(lParam);
        switch (LOWORD(wParam)) {
        case kFieldId:
            if (HIWORD(wParam) == JX_EDIT_NOTIFY_DROPDOWN) DropFruitList(dialog, control);
            break;
        case kChecksButtonId:
            if (HIWORD(wParam) == BN_CLICKED) DropGardenList(dialog, control);
            break;
        case kBitsButtonId:
            if (HIWORD(wParam) == BN_CLICKED) DropStyleList(dialog, control);
            break;
        case kMenuButtonId:
            if (HIWORD(wParam) == BN_CLICKED) ShowMenu(dialog, control);
            break;
        case kReadDataButtonId:
            if (HIWORD(wParam) == BN_CLICKED) ReadComboData(dialog);
            break;
        case kClearFlagsItemId: {
            DialogState& state = State(dialog);
            state.viewFlagBits &= ~kViewMask;
            ShowStatus(dialog);
            break;
        }
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, LOWORD(wParam));
            break;
        }
        return TRUE;
    }
    }
    return FALSE;
}

std::optional<DialogState> ParseArgs(Args args) {
    DialogState state;
    bool exitGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i + 1 >= args.size()) return std::nullopt;
        const std::wstring_view value = args[++i];
        if (args[i - 1] == L"--exit-after") {
            state.exitAfterSeconds = UINT(_wtoi(std::wstring(value).c_str()));
            exitGiven = true;
        } else if (args[i - 1] == L"--demo") {
            state.demo = value == L"list" ? Demo::kList : value == L"checks" ? Demo::kChecks
                       : value == L"menu" ? Demo::kMenu : value == L"combo" ? Demo::kCombo : Demo::kNone;
            if (state.demo == Demo::kNone) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    // A demo never waits for a user.
    if (state.demo != Demo::kNone && !exitGiven) state.exitAfterSeconds = kDemoExitSeconds;
    return state;
}

SAFEARRAY* InitialGardenChecks() {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, ULONG(std::size(kGarden)));
    BYTE* bytes = nullptr;
    if (!array || FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&bytes)))) return array;
    for (size_t i = 0; i < std::size(kGarden); ++i) bytes[i] = kGardenChecked[i] ? JX_DROPDOWN_ITEM_CHECKED : 0;
    SafeArrayUnaccessData(array);
    return array;
}

}  // namespace

int RunDropdownCommand(Args args) {
    std::optional<DialogState> state = ParseArgs(args);
    if (!state) return kExitUsage;
    LoadedLibrary library(ProgramFolder() + L"jxgrid.dll");
    if (!library.Loaded()) {
        fputs("jxhost: cannot load jxgrid.dll\n", stderr);
        return kExitNoLibrary;
    }
    state->api.listSimple =
        reinterpret_cast<decltype(&ShowDropdownListSimple)>(GetProcAddress(library.Handle(), "ShowDropdownListSimple"));
    state->api.menuItemFlags = reinterpret_cast<decltype(&ShowDropdownMenuItemFlags)>(
        GetProcAddress(library.Handle(), "ShowDropdownMenuItemFlags"));
    if (!state->api.listSimple || !state->api.menuItemFlags) {
        fputs("jxhost: jxgrid.dll has no dropdown functions\n", stderr);
        return kExitNoLibrary;
    }
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);

    {
        const IconFiles icons;
        state->fruits = ListText(Quoted(FromWide(icons.Lines()).c_str()), 0, kFruits);
        state->garden = ListText("", JX_DROPDOWN_HEADER_CHECK_ARRAY, kGarden);
        state->styles = ListText("", JX_DROPDOWN_HEADER_CHECK_ARRAY | JX_DROPDOWN_HEADER_BITMASK, kStyles);
        state->viewFlags = ListText("", JX_DROPDOWN_HEADER_CHECK_ARRAY | JX_DROPDOWN_HEADER_BITMASK, kViewFlags);
        state->gardenChecks = InitialGardenChecks();
        state->menu = CreatePopupMenu();
        AppendMenuW(state->menu, MF_STRING, kViewFlagsItemId, L"View flags\t\u00BB");
        AppendMenuW(state->menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(state->menu, MF_STRING, kClearFlagsItemId, L"Clear the view flags");

        const jxhost::DialogTemplate dialog = DropdownDialogTemplate();
        const INT_PTR ended = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), nullptr, DialogProc,
                                                      reinterpret_cast<LPARAM>(&*state));
        DestroyMenu(state->menu);
        SafeArrayDestroy(state->gardenChecks);
        if (ended == -1) {
            fputs("jxhost: cannot create the dropdown dialog\n", stderr);
            return kExitNoWindow;
        }
    }
    return library.Unload().blocks == 0 ? kExitOk : kExitBlocksLeft;
}

}  // namespace jxhost
