// Word-wrap throughput in MB/s on a 50 MB text at width 80, against a memcpy
// of the same bytes in the same run. Wrapping always gives the string a new
// block, so the compared memcpy copies into a new block of the same size from
// the same allocator and releases the old one, as wrapping does; a memcpy into
// memory that is already mapped is reported beside it.
#include <string.h>
#include "bench_support.h"
#include "word_wrap.h"

namespace {

constexpr size_t kTextBytes = 50u << 20;
constexpr int kWidth = 80;
constexpr int kRuns = 5;
constexpr double kMegabyte = 1 << 20;

// Paragraphs of vocabulary words in a fixed pseudo-random order, some
// followed by a comma or a full stop, each paragraph ending in CR LF.
std::string MakeText(const std::vector<std::string>& vocabulary) {
    std::string text;
    text.reserve(kTextBytes + kTextBytes / 16);
    unsigned state = 12345;
    auto next = [&state](unsigned range) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % range;
    };
    while (text.size() < kTextBytes) {
        const unsigned paragraphWords = 20 + next(180);
        for (unsigned i = 0; i < paragraphWords; ++i) {
            text += vocabulary[next(unsigned(vocabulary.size()))];
            const unsigned mark = next(16);
            text += mark == 0 ? ", " : mark == 1 ? ". " : " ";
        }
        text.back() = '\r';
        text += '\n';
    }
    text.resize(kTextBytes);
    return text;
}

}  // namespace

int main() {
    const std::vector<std::string> vocabulary = bench::ReadLines(bench::TestDataPath("porter/voc.txt"));
    if (vocabulary.empty()) {
        fprintf(stderr, "wrap_bench: no vocabulary at %s\n", bench::TestDataPath("porter/voc.txt").c_str());
        return 1;
    }
    const std::string source = MakeText(vocabulary);
    const double megabytes = double(source.size()) / kMegabyte;

    str text;
    const double ours = bench::Fastest(kRuns, [&] {
        text.Assign(source.data(), 0, int(source.size()));
        const double start = bench::Seconds();
        WrapText(text, kWidth, nullptr, nullptr, 0, 0);
        return bench::Seconds() - start;
    });

    const int wrappedLength = text.len;
    str copy;
    const double baseline = bench::Fastest(kRuns, [&] {
        copy.Assign(source.data(), 0, int(source.size()));
        const double start = bench::Seconds();
        str block;
        block.Alloc(wrappedLength);
        memcpy(block.buf, copy.buf, size_t(copy.len));
        copy.Swap(block);  // the old block goes with `block`
        return bench::Seconds() - start;
    });

    std::string mapped(source.size(), '\0');
    const double mappedCopy = bench::Fastest(kRuns, [&] {
        const double start = bench::Seconds();
        memcpy(mapped.data(), source.data(), source.size());
        return bench::Seconds() - start;
    });

    bench::PrintFigure("wrap-jxplus", megabytes / ours, "MB/s");
    bench::PrintFigure("wrap-memcpy-new-block", megabytes / baseline, "MB/s");
    bench::PrintFigure("wrap-memcpy-mapped", megabytes / mappedCopy, "MB/s");
    bench::PrintRatio("wrap-vs-memcpy", baseline, ours);
    return mapped != source;
}
