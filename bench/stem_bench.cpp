// Stemming throughput in words per second: the sample vocabulary repeated to
// about 10 million words, stemmed by jxplus in one call over the whole text
// (as a host stems a text) and by Snowball's libstemmer ("porter") word by
// word over the same words, already split, in the same run.
#include <libstemmer.h>
#include <memory>
#include "bench_support.h"
#include "jx/text_functions.h"
#include "stemming.h"

namespace {

constexpr size_t kTargetWords = 10000000;
constexpr int kRuns = 3;

struct WordSpan {
    int offset;
    int length;
};

struct StemmerCloser {
    void operator()(sb_stemmer* stemmer) const { sb_stemmer_delete(stemmer); }
};

}  // namespace

int main() {
    const std::vector<std::string> vocabulary = bench::ReadLines(bench::TestDataPath("porter/voc.txt"));
    if (vocabulary.empty()) {
        fprintf(stderr, "stem_bench: no vocabulary at %s\n", bench::TestDataPath("porter/voc.txt").c_str());
        return 1;
    }
    // One word per line, the vocabulary over and over.
    std::string corpus;
    std::vector<WordSpan> words;
    while (words.size() < kTargetWords) {
        for (const std::string& word : vocabulary) {
            words.push_back({int(corpus.size()), int(word.size())});
            corpus += word;
            corpus += '\n';
        }
    }
    const double wordCount = double(words.size());

    str text;
    const double ours = bench::Fastest(kRuns, [&] {
        text.Assign(corpus.data(), 0, int(corpus.size()));
        const double start = bench::Seconds();
        StemWords(text, JX_STEM_ALL_WORDS, 0, 0);
        return bench::Seconds() - start;
    });

    std::unique_ptr<sb_stemmer, StemmerCloser> stemmer(sb_stemmer_new("porter", "UTF_8"));
    if (!stemmer) {
        fprintf(stderr, "stem_bench: libstemmer has no porter stemmer\n");
        return 1;
    }
    size_t stemmedBytes = 0;  // used, so that no call is left out
    const double baseline = bench::Fastest(kRuns, [&] {
        const double start = bench::Seconds();
        for (const WordSpan& word : words) {
            sb_stemmer_stem(stemmer.get(), reinterpret_cast<const sb_symbol*>(corpus.data() + word.offset),
                            word.length);
            stemmedBytes += size_t(sb_stemmer_length(stemmer.get()));
        }
        return bench::Seconds() - start;
    });

    bench::PrintFigure("stem-jxplus", wordCount / ours, "words/s");
    bench::PrintFigure("stem-libstemmer", wordCount / baseline, "words/s");
    bench::PrintRatio("stem-vs-libstemmer", baseline, ours);
    return stemmedBytes == 0;
}
