#include "grid_dialog.h"
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <optional>
#include <string>
#include <vector>
#include "counting_allocator.h"
#include "exit_codes.h"
#include "jx/grid.h"
#include "loaded_library.h"

namespace jxhost {
namespace {

using Args = std::span<const std::wstring_view>;

constexpr int kGridId = 100;
constexpr UINT_PTR kExitTimer = 1;
// Dialog units
constexpr short kDialogWidth = 420;
constexpr short kDialogHeight = 240;
constexpr short kMargin = 7;
constexpr short kButtonWidth = 50;
constexpr short kButtonHeight = 14;

// Row numbers in column 0, row properties, check boxes and a tree by indent;
// then one column per cell kind.
constexpr char kSampleColumns[] =
    "0x12C\r\n"
    "#,64\r\n"
    "Task,30%,0\r\n"
    "Done,12%,2\r\n"
    "Due,18%,3\r\n"
    "Owner,16%,1\r\n"
    "Notes,14%,7,1\r\n";
// Column 0's "<...>" prefix: state image (2 checked) and indent.
constexpr char kSampleRows[] =
    "<////2/0>,Plan the release,Yes,2026-12-01,Ana,fixed\r\n"
    "<////1/1>,Write the notes,,2026-12-03,Ben,\r\n"
    "<////2/1>,Review the grid,yes,2026-12-04,Ana,\"one, two\"\r\n"
    "<////1/2>,Check both code pages,,2026-12-05,Chen,\r\n"
    "<////1/0>,Ship it,,2026-12-10,Dora,\r\n";

struct DialogText {
    std::string columns;
    std::string rows;
    UINT exitAfterSeconds = 0;
};

// The in-memory template of the dialog: a caption, the grid and an OK button.
class DialogTemplate {
public:
    DialogTemplate(const wchar_t* title, const std::wstring& gridText) {
        DLGTEMPLATE dialog = {};
        dialog.style = DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
        dialog.cdit = 2;
        dialog.cx = kDialogWidth;
        dialog.cy = kDialogHeight;
        Append(&dialog, sizeof dialog);
        Word(0);  // no menu
        Word(0);  // the default dialog class
        Text(title);
        Word(8);
        Text(L"MS Shell Dlg");
        Item(L"" JX_GRID_CLASS, gridText.c_str(), kGridId, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER, kMargin,
             kMargin, kDialogWidth - 2 * kMargin, kDialogHeight - 3 * kMargin - kButtonHeight);
        Item(L"Button", L"OK", IDOK, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
             kDialogWidth - kMargin - kButtonWidth, kDialogHeight - kMargin - kButtonHeight, kButtonWidth,
             kButtonHeight);
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Append(const void* data, size_t bytes) {
        const auto* from = static_cast<const WORD*>(data);
        words_.insert(words_.end(), from, from + bytes / sizeof(WORD));
    }
    void Word(WORD value) { words_.push_back(value); }
    void Text(const wchar_t* text) { Append(text, (wcslen(text) + 1) * sizeof(wchar_t)); }
    void Item(const wchar_t* className, const wchar_t* text, WORD id, DWORD style, short x, short y, short cx,
              short cy) {
        if (words_.size() % 2) Word(0);  // items start on a DWORD
        DLGITEMTEMPLATE item = {};
        item.style = style;
        item.x = x;
        item.y = y;
        item.cx = cx;
        item.cy = cy;
        item.id = id;
        Append(&item, sizeof item);
        Text(className);
        Text(text);
        Word(0);  // no creation data
    }

    std::vector<WORD> words_;
};

std::wstring Widen(const std::string& text) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), units);
    return wide;
}

// A column definition from the first CSV row of `text`, which is taken off
// `text`. Each field becomes a column of an equal share of the width.
std::string ColumnsFromFirstRow(std::string& text) {
    std::string columns = "0\r\n", field;
    bool quoted = false, wasQuoted = false;
    size_t at = 0;
    auto endField = [&] {
        columns += '"';
        for (char c : field) columns += c == '"' ? std::string("\"\"") : std::string(1, c);
        columns += "\"\r\n";
        field.clear();
        wasQuoted = false;
    };
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (quoted) {
            if (c == '"' && at + 1 < text.size() && text[at + 1] == '"') {
                field += '"';
                ++at;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"' && field.empty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == ',') {
            endField();
        } else if (c == '\r' || c == '\n') {
            break;
        } else {
            field += c;
        }
    }
    endField();
    if (at < text.size() && text[at] == '\r') ++at;
    if (at < text.size() && text[at] == '\n') ++at;
    text.erase(0, at);
    return columns;
}

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return std::nullopt;
    std::string bytes;
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.append(chunk, n);
    const bool failed = ferror(file);
    fclose(file);
    if (failed) return std::nullopt;
    return bytes;
}

std::optional<DialogText> ParseArgs(Args args) {
    DialogText text{kSampleColumns, kSampleRows};
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--exit-after" && i + 1 < args.size()) {
            text.exitAfterSeconds = UINT(_wtoi(std::wstring(args[++i]).c_str()));
            continue;
        }
        if (args[i].starts_with(L"--") || i + 1 != args.size()) return std::nullopt;
        std::optional<std::string> bytes = ReadFileBytes(std::wstring(args[i]));
        if (!bytes) return DialogText{};
        text.rows = std::move(*bytes);
        text.columns = ColumnsFromFirstRow(text.rows);
    }
    return text;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const auto* text = reinterpret_cast<const DialogText*>(lParam);
        SendDlgItemMessageW(dialog, kGridId, JX_GRID_CSV, JX_GRID_CSV_SET, LPARAM(text->rows.c_str()));
        if (text->exitAfterSeconds) SetTimer(dialog, kExitTimer, text->exitAfterSeconds * 1000, nullptr);
        return TRUE;
    }
    case WM_TIMER:
        if (wParam == kExitTimer) EndDialog(dialog, IDOK);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int RunGridCommand(Args args) {
    std::optional<DialogText> text = ParseArgs(args);
    if (!text) return kExitUsage;
    if (text->columns.empty()) {
        fputs("jxhost: cannot read the CSV file\n", stderr);
        return kExitNoInput;
    }
    LoadedLibrary library(ProgramFolder() + L"jxgrid.dll");
    if (!library.Loaded()) {
        fputs("jxhost: cannot load jxgrid.dll\n", stderr);
        return kExitNoLibrary;
    }
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    {
        // The definition travels as the grid's window text.
        const DialogTemplate dialog(L"jxhost grid", Widen(text->columns));
        if (DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), nullptr, DialogProc,
                                    reinterpret_cast<LPARAM>(&*text)) == -1) {
            fputs("jxhost: cannot create the grid dialog\n", stderr);
            return kExitNoWindow;
        }
    }
    return library.Unload().blocks == 0 ? kExitOk : kExitBlocksLeft;
}

}  // namespace jxhost
