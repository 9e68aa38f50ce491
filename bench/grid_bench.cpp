// The grid of jxgrid.dll on the CSV bench's text of 1,000,000 rows by 6
// columns: setting and reading the whole grid as CSV against the CSV table
// parsing and writing the same text in the same process, sorting a column,
// the memory a set takes beyond the text, and answering the list view's
// display requests for one screen at the top against one at the bottom.
#include <algorithm>
#include "bench_support.h"
#include <commctrl.h>
#include <psapi.h>  // after windows.h
#include "counting_allocator.h"
#include "csv/csv_table.h"
#include "host_string.h"
#include "jx/grid.h"
#include "loaded_library.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kRuns = 3;
constexpr int kSortColumn = 1;
constexpr int kPaintRepeats = 200;
constexpr double kMegabyte = 1 << 20;
constexpr wchar_t kSixColumns[] = L"\r\nA\r\nB\r\nC\r\nD\r\nE\r\nF\r\n";

size_t WorkingSet(bool peak) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize;
}

// The display requests of `rows` rows from `first` on, every column, as the
// list view sends them to the grid's parent.
double Paint(HWND parent, HWND grid, int first, int rows) {
    wchar_t text[260];
    NMLVDISPINFOW info = {};
    info.hdr.hwndFrom = grid;
    info.hdr.idFrom = 1;
    info.hdr.code = UINT(LVN_GETDISPINFOW);
    const double start = bench::Seconds();
    for (int repeat = 0; repeat < kPaintRepeats; ++repeat) {
        for (int row = first; row < first + rows; ++row) {
            for (int column = 0; column < 6; ++column) {
                info.item.mask = LVIF_TEXT | (column == 0 ? LVIF_IMAGE | LVIF_PARAM | LVIF_STATE | LVIF_INDENT : 0);
                info.item.iItem = row;
                info.item.iSubItem = column;
                info.item.pszText = text;
                info.item.cchTextMax = 260;
                SendMessageW(parent, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&info));
            }
        }
    }
    return bench::Seconds() - start;
}

// The text as the clipboard's Unicode text.
bool PutOnClipboard(HWND owner, const std::string& text) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), int(text.size()) + 1, nullptr, 0);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size_t(units) * sizeof(wchar_t));
    if (!block) return false;
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), int(text.size()) + 1, static_cast<wchar_t*>(GlobalLock(block)), units);
    GlobalUnlock(block);
    if (!OpenClipboard(owner)) {
        GlobalFree(block);
        return false;
    }
    EmptyClipboard();
    const bool put = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    if (!put) GlobalFree(block);
    CloseClipboard();
    return put;
}

}  // namespace

int main() {
    const std::string text = bench::MakeCsvText(kRows);
    const double megabytes = double(text.size()) / kMegabyte;
    jxhost::LoadedLibrary library(jxhost::ProgramFolder() + L"../bin/jxgrid.dll");
    if (!library.Loaded()) {
        fprintf(stderr, "grid_bench: cannot load jxgrid.dll (error %lu)\n", library.LoadError());
        return 1;
    }
    HWND parent = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
    HWND grid = CreateWindowExW(0, L"" JX_GRID_CLASS, kSixColumns, WS_CHILD | WS_VISIBLE, 0, 0, 800, 600, parent,
                                reinterpret_cast<HMENU>(INT_PTR(1)), nullptr, nullptr);
    if (!grid) {
        fprintf(stderr, "grid_bench: cannot create the grid\n");
        return 1;
    }
    auto setGrid = [&] {
        const double start = bench::Seconds();
        if (!SendMessageW(grid, JX_GRID_CSV, JX_GRID_CSV_SET, reinterpret_cast<LPARAM>(text.c_str())))
            fprintf(stderr, "grid_bench: setting the grid failed\n");
        return bench::Seconds() - start;
    };

    // The first set meets a process that has never held the rows: its peak is the set's own.
    const size_t before = WorkingSet(false);
    double set = setGrid();
    const double peak = double(WorkingSet(true) - before) / double(text.size());
    SendMessageW(grid, LVM_DELETEALLITEMS, 0, 0);

    // The grid and the table take turns, so that both meet the heap in the same state.
    double parse = 0;
    for (int run = 0; run < kRuns; ++run) {
        set = std::min(set, setGrid());
        CsvTable table;
        const double start = bench::Seconds();
        table.FromText(text.c_str());
        const double seconds = bench::Seconds() - start;
        parse = run == 0 ? seconds : std::min(parse, seconds);
    }

    const double get = bench::Fastest(kRuns, [&] {
        jxhost::HostString out("");
        const double start = bench::Seconds();
        SendMessageW(grid, JX_GRID_CSV, JX_GRID_CSV_GET, reinterpret_cast<LPARAM>(out.Record()));
        return bench::Seconds() - start;
    });
    CsvTable table;
    table.FromText(text.c_str());
    const double write = bench::Fastest(kRuns, [&] {
        str out;
        const double start = bench::Seconds();
        table.ToText(out);
        return bench::Seconds() - start;
    });

    const double sort = bench::Fastest(kRuns, [&] {
        setGrid();
        const double start = bench::Seconds();
        SendMessageW(grid, JX_GRID_SORT, 0, kSortColumn);
        return bench::Seconds() - start;
    });
    const double tableSort = bench::Fastest(kRuns, [&] {
        CsvTable unsorted;
        unsorted.FromText(text.c_str());
        const double start = bench::Seconds();
        unsorted.Sort(0, kSortColumn);
        return bench::Seconds() - start;
    });

    const int screen = std::max(int(SendMessageW(grid, LVM_GETCOUNTPERPAGE, 0, 0)), 1);
    const double top = bench::Fastest(kRuns, [&] { return Paint(parent, grid, 0, screen); });
    const double bottom = bench::Fastest(kRuns, [&] { return Paint(parent, grid, kRows - screen, screen); });

    // Pasting every row at once: the clipboard holds the text, no row is
    // selected, so the rows go after the last one.
    const double paste = bench::Fastest(kRuns, [&] {
        SendMessageW(grid, LVM_DELETEALLITEMS, 0, 0);
        if (!PutOnClipboard(parent, text)) return 0.0;
        const double start = bench::Seconds();
        SendMessageW(grid, WM_COMMAND, JX_GRID_CMD_PASTE_INSERT, 0);
        return bench::Seconds() - start;
    });
    if (SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0) != kRows) fprintf(stderr, "grid_bench: the paste lost rows\n");

    bench::PrintFigure("grid-text-size", megabytes, "MB");
    bench::PrintFigure("grid-set", megabytes / set, "MB/s");
    bench::PrintFigure("grid-get", megabytes / get, "MB/s");
    bench::PrintFigure("grid-sort", kRows / sort, "rows/s");
    bench::PrintFigure("grid-peak-vs-text", peak, "x");
    bench::PrintFigure("grid-paint-screen", top / kPaintRepeats * 1e6, "us");
    bench::PrintFigure("grid-paste-1m", paste * 1e3, "ms");
    bench::PrintRatio("grid-set-vs-csv-parse", parse, set);
    bench::PrintRatio("grid-get-vs-csv-write", write, get);
    bench::PrintRatio("grid-sort-vs-csv-sort", tableSort, sort);
    bench::PrintRatio("grid-paint-bottom-vs-top", top, bottom);
    DestroyWindow(parent);
    return 0;
}
