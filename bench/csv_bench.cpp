// The CSV table on a generated text of 1,000,000 rows by 6 columns: FromText
// and ToText throughput against a memcpy of the same bytes into a new block,
// FromText against
// libcsv filling an equivalent table (one block of NUL-terminated fields per
// row, from the same allocator), Sort on a text column against std::sort
// of the same row pointers with the same comparison, and the table's own
// memory against the text.
#include <string.h>
#include <algorithm>
#include "bench_support.h"
#include "counting_allocator.h"
#include "csv.h"
#include "csv/csv_table.h"
#include "runtime/host_alloc.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kRuns = 4;
constexpr int kSortColumn = 1;
constexpr double kMegabyte = 1 << 20;

// libcsv filling rows like CsvTable's: fields with their NULs in a scratch
// buffer, one host-allocated block per row.
struct LibcsvTable {
    std::vector<char*> rows;
    std::string row;
    ~LibcsvTable() {
        for (char* r : rows) HostFree(r);
    }
    static void OnField(void* field, size_t length, void* data) {
        auto* table = static_cast<LibcsvTable*>(data);
        table->row.append(static_cast<const char*>(field), length);
        table->row += '\0';
    }
    static void OnRowEnd(int, void* data) {
        auto* table = static_cast<LibcsvTable*>(data);
        char* block = static_cast<char*>(HostAllocOrRaise(table->row.size()));
        memcpy(block, table->row.data(), table->row.size());
        table->rows.push_back(block);
        table->row.clear();
    }
};

double ParseWithLibcsv(const std::string& text) {
    LibcsvTable table;
    csv_parser parser;
    csv_init(&parser, 0);
    const double start = bench::Seconds();
    csv_parse(&parser, text.data(), text.size(), LibcsvTable::OnField, LibcsvTable::OnRowEnd, &table);
    csv_fini(&parser, LibcsvTable::OnField, LibcsvTable::OnRowEnd, &table);
    const double seconds = bench::Seconds() - start;
    csv_free(&parser);
    if (table.rows.size() != size_t(kRows)) fprintf(stderr, "csv_bench: libcsv read %zu rows\n", table.rows.size());
    return seconds;
}

// Parsing and writing fill memory that is new to the process, so the floor
// copies into a new block from the same allocator, as they do.
double Memcpy(const char* source, size_t size) {
    const double start = bench::Seconds();
    HostBlock target(HostAllocOrRaise(size));
    memcpy(target.block, source, size);
    return bench::Seconds() - start;
}

// The host table points at the counting allocator while it lives, so that
// what is allocated meanwhile is counted; the timed runs keep the plain one.
class CountedHeap {
public:
    CountedHeap() : saved_(g_hostTable) { g_hostTable = jxhost::Allocator().Table(); }
    ~CountedHeap() { g_hostTable = saved_; }
    CountedHeap(const CountedHeap&) = delete;
    CountedHeap& operator=(const CountedHeap&) = delete;
    static size_t LiveBytes() { return jxhost::Allocator().Stats().liveBytes; }

private:
    HostAllocTable saved_;
};

// The bytes a table of the text holds: its row blocks and its row vector.
size_t TableBytes(const std::string& text) {
    const CountedHeap counted;
    const size_t before = CountedHeap::LiveBytes();
    CsvTable table;
    table.FromText(text.c_str());
    return CountedHeap::LiveBytes() - before;
}

}  // namespace

int main() {
    const std::string text = bench::MakeCsvText(kRows);
    const double megabytes = double(text.size()) / kMegabyte;

    // The two parsers take turns, so that both meet the heap in the same state.
    double parse = 0, libcsv = 0;
    for (int run = 0; run < kRuns; ++run) {
        CsvTable table;
        const double start = bench::Seconds();
        const HRESULT hr = table.FromText(text.c_str());
        const double seconds = bench::Seconds() - start;
        if (hr != S_OK || table.RowCount() != kRows) fprintf(stderr, "csv_bench: FromText failed\n");
        parse = run == 0 ? seconds : std::min(parse, seconds);
        const double baseline = ParseWithLibcsv(text);
        libcsv = run == 0 ? baseline : std::min(libcsv, baseline);
    }
    const double copyText = bench::Fastest(kRuns, [&] { return Memcpy(text.data(), text.size()); });

    CsvTable table;
    table.FromText(text.c_str());
    str written;
    const double write = bench::Fastest(kRuns, [&] {
        str out;
        const double start = bench::Seconds();
        table.ToText(out);
        const double seconds = bench::Seconds() - start;
        written.Swap(out);
        return seconds;
    });
    const double copyWritten = bench::Fastest(kRuns, [&] { return Memcpy(written.buf, size_t(written.len)); });

    const double sort = bench::Fastest(kRuns, [&] {
        CsvTable unsorted;
        unsorted.FromText(text.c_str());
        const double start = bench::Seconds();
        unsorted.Sort(0, kSortColumn);
        return bench::Seconds() - start;
    });
    const double stdSort = bench::Fastest(kRuns, [&] {
        std::vector<char*> rows;
        for (int r = 0; r < table.RowCount(); ++r) rows.push_back(table.Row(r));
        const CsvFieldOrder order(0);
        const int header = table.RowHeaderSize();
        const double start = bench::Seconds();
        std::sort(rows.begin(), rows.end(), [&](const char* a, const char* b) {
            return order.Less(order.Key(FieldAt(a + header, kSortColumn)), order.Key(FieldAt(b + header, kSortColumn)));
        });
        return bench::Seconds() - start;
    });

    bench::PrintFigure("csv-text-size", megabytes, "MB");
    bench::PrintFigure("csv-parse", megabytes / parse, "MB/s");
    bench::PrintFigure("csv-parse-libcsv", megabytes / libcsv, "MB/s");
    bench::PrintFigure("csv-write", double(written.len) / kMegabyte / write, "MB/s");
    bench::PrintFigure("csv-sort", kRows / sort, "rows/s");
    bench::PrintFigure("csv-sort-stdsort", kRows / stdSort, "rows/s");
    bench::PrintFigure("csv-table-bytes-vs-text", double(TableBytes(text)) / double(text.size()), "x");
    bench::PrintRatio("csv-parse-vs-libcsv", libcsv, parse);
    bench::PrintRatio("csv-write-vs-memcpy", copyWritten, write);
    bench::PrintRatio("csv-parse-vs-memcpy", copyText, parse);
    bench::PrintRatio("csv-sort-vs-stdsort", stdSort, sort);
    return 0;
}
