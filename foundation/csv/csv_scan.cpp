// The CSV scans: SSE2 where the processor has it, the plain loop elsewhere.
#include "csv/csv_scan.h"
#include <windows.h>
#include <emmintrin.h>
#include <string.h>

// The x86 build targets processors without SSE2: the vector code is compiled
// for it on its own and runs only after the processor said it has it.
#define JX_SSE2 __attribute__((target("sse2")))
#define JX_SSE2_INLINE __attribute__((target("sse2"), always_inline)) inline

namespace {

constexpr size_t kVector = 16;

template <size_t kSize>
const char* AlignedBlock(const char* p) {
    return reinterpret_cast<const char*>(uintptr_t(p) & ~uintptr_t(kSize - 1));
}
template <size_t kSize>
unsigned OffsetInBlock(const char* p) {
    return unsigned(uintptr_t(p) & (kSize - 1));
}

bool ProcessorHasSse2() {
#if defined(__x86_64__)
    return true;
#else
    return IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE);
#endif
}

bool& VectorScanSetting() {
    static bool on = ProcessorHasSse2();
    return on;
}

JX_SSE2_INLINE __m128i LoadBlock(const char* block) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(block));
}

JX_SSE2_INLINE unsigned EqualMask(__m128i bytes, __m128i value) {
    return unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, value)));
}

using Mask = CsvStopScanner::Mask;
constexpr size_t kBlock = CsvStopScanner::kBlock;

// The stops of 16 bytes as the low 16 bits.
JX_SSE2_INLINE Mask StopsOf16(const char* bytes16, __m128i sep, __m128i quote, __m128i cr, __m128i lf,
                                  __m128i zero) {
    const __m128i bytes = LoadBlock(bytes16);
    const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, sep), _mm_cmpeq_epi8(bytes, quote)),
                                      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)),
                                                   _mm_cmpeq_epi8(bytes, zero)));
    return Mask(unsigned(_mm_movemask_epi8(hits)));
}

// From the block of `block`, its first `skip` bytes left out: the first
// block with a stop, moved to in `block`, and the bits of all its stops.
JX_SSE2 Mask VectorStops(const char*& block, unsigned skip, char separator) {
    const __m128i sep = _mm_set1_epi8(separator), quote = _mm_set1_epi8('"'), cr = _mm_set1_epi8('\r'),
                  lf = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
    for (Mask keep = ~Mask(0) << skip;; keep = ~Mask(0), block += kBlock) {
        Mask stops = 0;
        for (size_t i = 0; i < kBlock; i += kVector) stops |= StopsOf16(block + i, sep, quote, cr, lf, zero) << i;
        if (stops & keep) return stops;
    }
}

Mask PlainStops(const char*& block, unsigned skip, const bool* isStop) {
    for (Mask keep = ~Mask(0) << skip;; keep = ~Mask(0), block += kBlock) {
        Mask stops = 0;
        for (unsigned i = 0; i < kBlock; ++i) stops |= Mask(isStop[BYTE(block[i])]) << i;
        if (stops & keep) return stops;
    }
}

// The NULs of the block of `p` from p on, and of the blocks after it until
// `count` NULs are passed: the position after the last.
JX_SSE2 const char* VectorSkipFields(const char* p, int count) {
    const __m128i zero = _mm_setzero_si128();
    const char* block = AlignedBlock<kVector>(p);
    unsigned nuls = EqualMask(LoadBlock(block), zero) & (~0u << OffsetInBlock<kVector>(p));
    for (;;) {
        const int found = __builtin_popcount(nuls);
        if (found >= count) break;
        count -= found;
        block += kVector;
        nuls = EqualMask(LoadBlock(block), zero);
    }
    for (; count > 1; --count) nuls &= nuls - 1;
    return block + __builtin_ctz(nuls) + 1;
}

}  // namespace

bool CsvVectorScan() { return VectorScanSetting(); }

void SetCsvVectorScan(bool on) { VectorScanSetting() = on && ProcessorHasSse2(); }

CsvStopScanner::CsvStopScanner(char separator) : vector_(CsvVectorScan()), separator_(separator), isStop_{} {
    if (!vector_)
        isStop_[BYTE(separator)] = isStop_[BYTE('"')] = isStop_[BYTE('\r')] = isStop_[BYTE('\n')] = isStop_[0] = true;
}

const char* CsvStopScanner::Load(const char* p) {
    const char* block = AlignedBlock<kBlock>(p);
    const unsigned skip = OffsetInBlock<kBlock>(p);
    const char* const first = block;
    stops_ = vector_ ? VectorStops(block, skip, separator_) : PlainStops(block, skip, isStop_);
    block_ = block;
    // All stops of the block are kept: a later query may lie before p in it
    // (the rows of a table lie anywhere in memory).
    return block_ + LowestBit(block == first ? stops_ & (~Mask(0) << skip) : stops_);
}

const char* SkipFields(const char* fields, int count) {
    if (count <= 0) return fields;
    if (CsvVectorScan()) return VectorSkipFields(fields, count);
    for (; count > 0; --count) fields += strlen(fields) + 1;
    return fields;
}
