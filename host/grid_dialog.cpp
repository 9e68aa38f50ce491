#include "grid_dialog.h"
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <optional>
#include <string>
#include <vector>
#include "counting_allocator.h"
#include "dialog_template.h"
#include "exit_codes.h"
#include "jx/grid.h"
#include "loaded_library.h"
#include "text.h"

namespace jxhost {
namespace {

using Args = std::span<const std::wstring_view>;

constexpr int kGridId = 100;
constexpr int kStatusId = 101;
// Timers
constexpr UINT_PTR kExitTimer = 1;
constexpr UINT_PTR kDemoTimer = 2;
constexpr UINT kDemoDelayMs = 500;
constexpr UINT kDemoExitSeconds = 6;
// Dialog units
constexpr short kDialogWidth = 480;
constexpr short kDialogHeight = 240;
constexpr short kMargin = 7;
constexpr short kButtonWidth = 50;
constexpr short kButtonHeight = 14;

// A label column of row numbers with check boxes and a tree by indent, rows
// that can be dragged by it, then one column per cell kind: text, check box,
// date, dropdown, text with a cell button, multi-line text and read-only.
constexpr char kSampleColumns[] =
    "0x1AD\r\n"
    "#,64\r\n"
    "Task,21%,0\r\n"
    "Done,8%,2\r\n"
    "Due,12%,3\r\n"
    "Owner,11%,1\r\n"
    "File,15%,0x10\r\n"
    "Notes,15%,8\r\n"
    "Ref,8%,7,1\r\n";
// Column 0's "<...>" prefix: state image (2 checked) and indent.
constexpr char kSampleRows[] =
    "<////2/0>,Plan the release,Yes,2026-12-01,Ana,plan.docx,Dates agreed,R-101\r\n"
    "<////1/1>,Write the notes,,2026-12-03,Ben,notes.md,,R-102\r\n"
    "<////2/1>,Review the grid,yes,2026-12-04,Ana,grid.cpp,\"one, two\",R-103\r\n"
    "<////1/2>,Check both code pages,,2026-12-05,Chen,,,R-104\r\n"
    "<////1/0>,Ship it,,2026-12-10,Dora,release.zip,,R-105\r\n";
// The sample's columns that the demos open.
constexpr int kDoneColumn = 2;
constexpr int kDueColumn = 3;
constexpr int kOwnerColumn = 4;
constexpr int kFileColumn = 5;
constexpr int kDemoRow = 2;
// What the owner puts in a dropdown cell's list.
constexpr const wchar_t* kOwners[] = {L"Ana", L"Ben", L"Chen", L"Dora", L"Eve"};

// JX_GRID_CHANGED reasons, by number.
constexpr const wchar_t* kReasons[] = {L"",           L"row added", L"cell stored", L"editor text",  L"rows deleted",
                                       L"rows moved", L"rows cut",  L"rows pasted", L"rows replaced"};

// What `--demo` opens once the dialog is shown.
enum class Demo { kNone, kText, kDropdown, kCheckBox, kDate, kList, kMenu };
struct DemoName {
    std::wstring_view name;
    Demo demo;
};
constexpr DemoName kDemos[] = {{L"text", Demo::kText}, {L"dropdown", Demo::kDropdown}, {L"checkbox", Demo::kCheckBox},
                               {L"date", Demo::kDate}, {L"list", Demo::kList}, {L"menu", Demo::kMenu}};

struct DialogText {
    std::string columns;
    std::string rows;
    UINT exitAfterSeconds = 0;
    Demo demo = Demo::kNone;
};

// The in-memory template of the dialog: a caption, the grid, a status text
// and an OK button.
jxhost::DialogTemplate GridDialogTemplate(const wchar_t* title, const std::wstring& gridText) {
    jxhost::DialogTemplate dialog(title, kDialogWidth, kDialogHeight);
    dialog.Item(L"" JX_GRID_CLASS, gridText.c_str(), kGridId, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER, kMargin,
                kMargin, kDialogWidth - 2 * kMargin, kDialogHeight - 3 * kMargin - kButtonHeight);
    dialog.Item(L"Static", L"", kStatusId, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kMargin,
                kDialogHeight - kMargin - kButtonHeight + 3, kDialogWidth - 3 * kMargin - kButtonWidth,
                kButtonHeight - 3);
    dialog.Item(L"Button", L"OK", IDOK, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                kDialogWidth - kMargin - kButtonWidth, kDialogHeight - kMargin - kButtonHeight, kButtonWidth,
                kButtonHeight);
    return dialog;
}

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
    bool exitGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--exit-after" && i + 1 < args.size()) {
            text.exitAfterSeconds = UINT(_wtoi(std::wstring(args[++i]).c_str()));
            exitGiven = true;
            continue;
        }
        if (args[i] == L"--demo" && i + 1 < args.size()) {
            const std::wstring_view name = args[++i];
            for (const DemoName& demo : kDemos)
                if (demo.name == name) text.demo = demo.demo;
            if (text.demo == Demo::kNone) return std::nullopt;
            continue;
        }
        if (args[i].starts_with(L"--") || i + 1 != args.size()) return std::nullopt;
        std::optional<std::string> bytes = ReadFileBytes(std::wstring(args[i]));
        if (!bytes) return DialogText{};
        text.rows = std::move(*bytes);
        text.columns = ColumnsFromFirstRow(text.rows);
    }
    // A demo never waits for a user.
    if (text.demo != Demo::kNone && !exitGiven) text.exitAfterSeconds = kDemoExitSeconds;
    return text;
}

std::wstring ColumnName(HWND grid, int column) {
    wchar_t name[64] = {};
    LVCOLUMNW info = {};
    info.mask = LVCF_TEXT;
    info.pszText = name;
    info.cchTextMax = int(std::size(name));
    SendMessageW(grid, LVM_GETCOLUMNW, WPARAM(column), reinterpret_cast<LPARAM>(&info));
    return name;
}

std::wstring WindowText(HWND window) {
    std::wstring text(size_t(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(window, text.data(), int(text.size()))));
    return text;
}

std::wstring ListItemText(HWND list, int index) {
    const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (length == CB_ERR) return L"";
    std::wstring text(size_t(length) + 1, L'\0');
    SendMessageW(list, CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(size_t(length));
    return text;
}

// Each notification goes to the status text and to stdout, with the text it
// is about.
void Report(HWND dialog, const GridNotify& notice, const std::wstring& what, const std::wstring& text) {
    std::wstring line;
    if (notice.row >= 0) line = L"Row " + std::to_wstring(notice.row + 1) + L", ";
    if (notice.column >= 0) line += ColumnName(notice.header.hwndFrom, notice.column) + L": ";
    line += what;
    if (notice.column >= 0) line += L" \"" + text + L"\"";
    SetDlgItemTextW(dialog, kStatusId, line.c_str());
    fputs(("grid: " + Utf8FromWide(line) + "\n").c_str(), stdout);
    fflush(stdout);
}

// The answers of an owner: a dropdown cell's list comes from the owner, and
// the cell button's click is the owner's to act on. The grid stores what the
// editors hold by itself.
bool OnGridNotify(HWND dialog, const GridNotify& notice) {
    // The cell's stored text, in the allocator table's code page.
    const std::wstring cell = notice.text ? WideFromCodePage(notice.text, Allocator().Table().codePage) : L"";
    switch (int(notice.header.code)) {
    case JX_GRID_LIST_OPENING:
        for (const wchar_t* owner : kOwners) SendMessageW(notice.list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(owner));
        Report(dialog, notice, L"list opening on", cell);
        return true;
    case JX_GRID_LIST_CHOSEN:
        // Answering 0 lets the grid put the item's text in the editor.
        Report(dialog, notice, L"list item chosen:", ListItemText(notice.list, notice.index));
        return true;
    case JX_GRID_BUTTON_CLICKED:
        Report(dialog, notice, L"cell button clicked on", cell);
        return true;
    case JX_GRID_CHANGED:
        if (notice.reason == JX_GRID_REASON_EDITOR_TEXT && notice.editor)
            Report(dialog, notice, L"editor text", WindowText(notice.editor));
        else if (notice.reason > 0 && notice.reason < int(std::size(kReasons)))
            Report(dialog, notice, kReasons[notice.reason], cell);
        return true;
    }
    return false;
}

HWND EditCell(HWND grid, int row, int column) {
    return reinterpret_cast<HWND>(SendMessageW(grid, LVM_EDITLABELW, WPARAM(row), LPARAM(column)));
}

void RunDemo(HWND dialog, Demo demo) {
    const HWND grid = GetDlgItem(dialog, kGridId);
    switch (demo) {
    case Demo::kText:
        EditCell(grid, kDemoRow, kFileColumn);
        break;
    case Demo::kDropdown:
        EditCell(grid, kDemoRow, kOwnerColumn);
        break;
    case Demo::kCheckBox:
        EditCell(grid, kDemoRow, kDoneColumn);
        break;
    case Demo::kDate:
        EditCell(grid, kDemoRow, kDueColumn);
        break;
    case Demo::kList:
        // The dropdown editor's own key for its list, which the grid asks this dialog to fill.
        EditCell(grid, kDemoRow, kOwnerColumn);
        if (HWND editor = reinterpret_cast<HWND>(SendMessageW(grid, LVM_GETEDITCONTROL, 0, 0)))
            PostMessageW(editor, WM_KEYDOWN, VK_NEXT, 1);
        break;
    case Demo::kMenu: {
        LVITEMW item = {};
        item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(grid, LVM_SETITEMSTATE, WPARAM(kDemoRow), reinterpret_cast<LPARAM>(&item));
        RECT cell = {};
        cell.top = kOwnerColumn;
        cell.left = LVIR_LABEL;
        SendMessageW(grid, LVM_GETSUBITEMRECT, WPARAM(kDemoRow), reinterpret_cast<LPARAM>(&cell));
        POINT at = {(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
        ClientToScreen(grid, &at);
        // A right click's message; the pointer goes there too, as a user's would be.
        SetFocus(grid);
        SetCursorPos(at.x, at.y);
        PostMessageW(grid, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(grid), MAKELPARAM(at.x, at.y));
        break;
    }
    case Demo::kNone:
        break;
    }
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        const auto* text = reinterpret_cast<const DialogText*>(lParam);
        SendDlgItemMessageW(dialog, kGridId, JX_GRID_CSV, JX_GRID_CSV_SET, LPARAM(text->rows.c_str()));
        if (text->exitAfterSeconds) SetTimer(dialog, kExitTimer, text->exitAfterSeconds * 1000, nullptr);
        if (text->demo != Demo::kNone) SetTimer(dialog, kDemoTimer, kDemoDelayMs, nullptr);
        return TRUE;
    }
    case WM_TIMER:
        KillTimer(dialog, wParam);
        if (wParam == kDemoTimer) {
            RunDemo(dialog, reinterpret_cast<const DialogText*>(GetWindowLongPtrW(dialog, DWLP_USER))->demo);
        } else if (wParam == kExitTimer) {
            // The row menu's loop runs inside the grid's message: it ends first.
            EndMenu();
            EndDialog(dialog, IDOK);
        }
        return TRUE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom != kGridId) break;
        const int code = int(header->code);
        if (code >= JX_GRID_BUTTON_CLICKED && code <= JX_GRID_CHANGED)
            return OnGridNotify(dialog, *reinterpret_cast<const GridNotify*>(lParam));
        // A cell button opens blank: the owner gives it its look (FALSE when the cell has none).
        if (header->code == LVN_BEGINLABELEDITA)
            SendMessageW(header->hwndFrom, JX_GRID_SETCELLBUTTON, JX_GRID_ICON_LIBRARY,
                         reinterpret_cast<LPARAM>("Choose a file"));
        break;
    }
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
        const jxhost::DialogTemplate dialog = GridDialogTemplate(L"jxhost grid", Widen(text->columns));
        if (DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), nullptr, DialogProc,
                                    reinterpret_cast<LPARAM>(&*text)) == -1) {
            fputs("jxhost: cannot create the grid dialog\n", stderr);
            return kExitNoWindow;
        }
    }
    return library.Unload().blocks == 0 ? kExitOk : kExitBlocksLeft;
}

}  // namespace jxhost
