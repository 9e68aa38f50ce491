// The dropdown list of jxgrid.dll: ShowDropdownListSimple opened and closed
// again with 10, 10,000 and 1,000,000 items, Escape following as soon as the
// list has painted, against the CSV table parsing the same text in the same
// process. The 1,000,000 items once more with a width in the header row,
// which spares measuring every item for the width it needs, and once with
// Cyrillic texts, which are converted before their advances are summed.
// The width step alone: the million items measured as the popup measures
// them, in the dialog font and its bold.
#include <algorithm>
#include <climits>
#include "bench_support.h"
#include "csv/csv_table.h"
#include "jx/dropdown.h"
#include "loaded_library.h"
#include "window/fonts.h"

namespace {

constexpr int kMillion = 1000000;
constexpr UINT kSafetyMs = 120000;
constexpr int kFixedWidth = 300;  // pixels: wide enough that nothing is measured

using ListSimpleFn = decltype(&ShowDropdownListSimple);

// Item rows of a few columns as a host writes them: text, no image, flags
// (every seventh item bold) and an info tip.
std::string ItemsText(int items, bool fixedWidth, bool cyrillic = false) {
    static const char* const kWords[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf",
                                         "hotel", "india", "juliet", "kilo", "lima", "mike", "november"};
    static const char* const kCyrillicWords[] = {"\xD0\xB0\xD0\xB7", "\xD0\xB1\xD1\x83\xD0\xBA\xD0\xB8",
                                                 "\xD0\xB2\xD0\xB5\xD0\xB4\xD0\xB8",
                                                 "\xD0\xB3\xD0\xBB\xD0\xB0\xD0\xB3\xD0\xBE\xD0\xBB\xD1\x8C"};
    std::string text = fixedWidth ? ",,0,,,," + std::to_string(kFixedWidth) + "\r\n" : std::string(",,0\r\n");
    text.reserve(size_t(items) * 40);
    for (int i = 0; i < items; ++i) {
        text.append(cyrillic ? kCyrillicWords[i % std::size(kCyrillicWords)] : kWords[i % std::size(kWords)]);
        text.append(" ").append(std::to_string(i));
        text.append(",,").append(i % 7 ? "0" : "8").append(",tip ").append(std::to_string(i)).append("\r\n");
    }
    return text;
}

// Escape is posted when the list's first paint is fetched, so that it
// follows that paint; a poll timer would add up to its period (10 ms, a
// third of a small list's figure). The safety timer posts it regardless, so
// that a list that never paints cannot hold the run.
bool g_posted = false;

LRESULT CALLBACK OnGetMessage(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && !g_posted && message->message == WM_PAINT) {
        const HWND popup = FindWindowW(JX_DROPDOWN_CLASS_W, nullptr);
        if (popup && IsWindowVisible(popup) && GetParent(message->hwnd) == popup) {
            const HWND focus = GetFocus();
            PostMessageW(focus ? focus : popup, WM_KEYDOWN, VK_ESCAPE, 1);
            g_posted = true;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK SafetyEscape(HWND, UINT, UINT_PTR, DWORD) {
    if (g_posted) return;
    fprintf(stderr, "dropdown_bench: no list painted, Escape posted by the safety timer\n");
    PostThreadMessageW(GetCurrentThreadId(), WM_KEYDOWN, VK_ESCAPE, 1);
    g_posted = true;
}

// Seconds of one whole call; negative when the list was not shown.
double OpenAndClose(ListSimpleFn listSimple, const std::string& text) {
    g_posted = false;
    const HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, OnGetMessage, nullptr, GetCurrentThreadId());
    const UINT_PTR safety = SetTimer(nullptr, 0, kSafetyMs, SafetyEscape);
    int current = -1;
    const double start = bench::Seconds();
    const int result = listSimple(text.c_str(), &current, nullptr, 0, nullptr, nullptr);
    const double seconds = bench::Seconds() - start;
    UnhookWindowsHookEx(hook);
    KillTimer(nullptr, safety);
    // Nothing of this run may reach the next one.
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    return result & JX_DROPDOWN_RESULT_SHOWN ? seconds : -1;
}

double FastestOpen(ListSimpleFn listSimple, const std::string& text, int runs, bool& failed) {
    return bench::Fastest(runs, [&] {
        const double seconds = OpenAndClose(listSimple, text);
        if (seconds < 0) failed = true;
        return seconds < 0 ? 0 : seconds;
    });
}

// Seconds of measuring the items of a parsed list for the widest, bold
// items in bold; nothing is wide enough to stop the measuring early.
double WidthStep(CsvTable& table, HFONT bold, int& widest) {
    const double start = bench::Seconds();
    widest = WidestItem(GetDefaultDialogFont(), bold, table.RowCount() - 1, 0, INT_MAX, [&](int i) {
        const char* text = nullptr;
        const char* flags = nullptr;
        table.GetCell(i + 1, 0, &text);
        table.GetCell(i + 1, 2, &flags);
        return MeasuredItem{text, flags && flags[0] == '8', 0};
    });
    return bench::Seconds() - start;
}

}  // namespace

int main() {
    jxhost::LoadedLibrary library(jxhost::ProgramFolder() + L"../bin/jxgrid.dll");
    if (!library.Loaded()) {
        fprintf(stderr, "dropdown_bench: cannot load jxgrid.dll (error %lu)\n", library.LoadError());
        return 1;
    }
    const auto listSimple =
        reinterpret_cast<ListSimpleFn>(GetProcAddress(library.Handle(), "ShowDropdownListSimple"));
    if (!listSimple) {
        fprintf(stderr, "dropdown_bench: jxgrid.dll has no ShowDropdownListSimple\n");
        return 1;
    }

    bool failed = false;
    const double ten = FastestOpen(listSimple, ItemsText(10, false), 20, failed);
    const double tenThousand = FastestOpen(listSimple, ItemsText(10000, false), 10, failed);
    const std::string million = ItemsText(kMillion, false);
    const std::string millionFixed = ItemsText(kMillion, true);
    const std::string millionCyrillic = ItemsText(kMillion, false, true);
    LOGFONTW description = {};
    GetObjectW(GetDefaultDialogFont(), sizeof description, &description);
    description.lfWeight = FW_BOLD;
    const FontHandle bold(CreateFontIndirectW(&description));
    double open = 0, fixed = 0, cyrillic = 0, parse = 0, width = 0;
    // The calls and the table take turns, so that all meet the heap in the same state.
    for (int run = 0; run < 3; ++run) {
        const double seconds = OpenAndClose(listSimple, million);
        const double fixedSeconds = OpenAndClose(listSimple, millionFixed);
        const double cyrillicSeconds = OpenAndClose(listSimple, millionCyrillic);
        if (seconds < 0 || fixedSeconds < 0 || cyrillicSeconds < 0) failed = true;
        CsvTable table;
        const double start = bench::Seconds();
        table.FromText(million.c_str());
        const double parseSeconds = bench::Seconds() - start;
        int widest = 0;
        const double widthSeconds = WidthStep(table, bold.Get(), widest);
        if (widest <= 0) failed = true;
        open = run == 0 ? seconds : std::min(open, seconds);
        fixed = run == 0 ? fixedSeconds : std::min(fixed, fixedSeconds);
        cyrillic = run == 0 ? cyrillicSeconds : std::min(cyrillic, cyrillicSeconds);
        parse = run == 0 ? parseSeconds : std::min(parse, parseSeconds);
        width = run == 0 ? widthSeconds : std::min(width, widthSeconds);
    }
    if (failed) {
        fprintf(stderr, "dropdown_bench: a list was not shown\n");
        return 1;
    }

    bench::PrintFigure("dropdown-open-10", ten * 1e3, "ms");
    bench::PrintFigure("dropdown-open-10k", tenThousand * 1e3, "ms");
    bench::PrintFigure("dropdown-open-1m", open * 1e3, "ms");
    bench::PrintFigure("dropdown-open-1m-fixed-width", fixed * 1e3, "ms");
    bench::PrintFigure("dropdown-open-1m-cyrillic", cyrillic * 1e3, "ms");
    bench::PrintFigure("dropdown-width-1m", width * 1e3, "ms");
    bench::PrintFigure("dropdown-parse-1m", parse * 1e3, "ms");
    bench::PrintRatio("dropdown-open-1m-vs-parse", parse, open);
    bench::PrintRatio("dropdown-open-1m-fixed-width-vs-parse", parse, fixed);
    return 0;
}
