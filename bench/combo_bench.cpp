// The combo box of jxgrid.dll with 100,000 and 1,000,000 items: set-data
// and get-data of the whole table against the CSV table parsing the same
// text in the same process, and opening and closing the list of the large
// one (Escape posted as soon as the list is shown).
#include <algorithm>
#include "bench_support.h"
#include <commctrl.h>
#include "counting_allocator.h"
#include "csv/csv_table.h"
#include "host_string.h"
#include "jx/combo_box.h"
#include "loaded_library.h"

namespace {

constexpr int kRuns = 3;
constexpr UINT kCloseCheckMs = 1;

// Items of the CSV bench's rows under a header row that asks for the whole
// table as data, so that get-data writes every item.
std::string ComboText(int items) { return "0,,0x100\r\n" + bench::MakeCsvText(items); }

UINT DataMessage() { return RegisterWindowMessageA(JX_MSG_DIALOGCONTROLDATA); }

double SetData(HWND combo, const std::string& text) {
    jxhost::HostString data(text);
    const double start = bench::Seconds();
    SendMessageW(combo, DataMessage(), JX_DIALOGDATA_SET, reinterpret_cast<LPARAM>(data.Record()));
    return bench::Seconds() - start;
}

double GetData(HWND combo) {
    jxhost::HostString data("");
    const double start = bench::Seconds();
    SendMessageW(combo, DataMessage(), JX_DIALOGDATA_GET, reinterpret_cast<LPARAM>(data.Record()));
    return bench::Seconds() - start;
}

double Parse(const std::string& text) {
    CsvTable table;
    const double start = bench::Seconds();
    table.FromText(text.c_str());
    return bench::Seconds() - start;
}

// Posts Escape to the focused window once the list is up.
void CALLBACK CloseWhenShown(HWND, UINT, UINT_PTR id, DWORD) {
    HWND popup = FindWindowW(JX_DROPDOWN_CLASS_W, nullptr);
    if (!popup || !IsWindowVisible(popup)) return;
    KillTimer(nullptr, id);
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);
}

double OpenAndClose(HWND combo) {
    const UINT_PTR timer = SetTimer(nullptr, 0, kCloseCheckMs, CloseWhenShown);
    const double start = bench::Seconds();
    SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    const double seconds = bench::Seconds() - start;
    KillTimer(nullptr, timer);
    return seconds;
}

}  // namespace

int main() {
    jxhost::LoadedLibrary library(jxhost::ProgramFolder() + L"../bin/jxgrid.dll");
    if (!library.Loaded()) {
        fprintf(stderr, "combo_bench: cannot load jxgrid.dll (error %lu)\n", library.LoadError());
        return 1;
    }
    HWND parent = CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300, nullptr, nullptr,
                                  nullptr, nullptr);
    HWND combo = CreateWindowExW(0, JX_COMBO_CLASS_W, nullptr, WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, 10, 10, 200,
                                 200, parent, reinterpret_cast<HMENU>(INT_PTR(1)), nullptr, nullptr);
    if (!combo) {
        fprintf(stderr, "combo_bench: cannot create the combo box\n");
        return 1;
    }
    SetFocus(combo);

    for (const int items : {100000, 1000000}) {
        const std::string text = ComboText(items);
        const char* const size = items == 100000 ? "100k" : "1m";
        // The combo box and the table take turns, so that both meet the heap in the same state.
        double set = 0, parse = 0;
        for (int run = 0; run < kRuns; ++run) {
            const double setSeconds = SetData(combo, text);
            const double parseSeconds = Parse(text);
            set = run == 0 ? setSeconds : std::min(set, setSeconds);
            parse = run == 0 ? parseSeconds : std::min(parse, parseSeconds);
        }
        const double get = bench::Fastest(kRuns, [&] { return GetData(combo); });
        bench::PrintFigure((std::string("combo-set-") + size).c_str(), set * 1e3, "ms");
        bench::PrintFigure((std::string("combo-get-") + size).c_str(), get * 1e3, "ms");
        if (items == 1000000) {
            const double open = bench::Fastest(kRuns, [&] { return OpenAndClose(combo); });
            bench::PrintFigure("combo-open-1m", open * 1e3, "ms");
            bench::PrintRatio("combo-set-1m-vs-parse", parse, set);
        }
    }
    DestroyWindow(parent);
    return 0;
}
