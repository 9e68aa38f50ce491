// Finding the bytes that end a CSV field, 16 bytes a step with SSE2 (always
// there on x64, asked of the processor once on x86, with a plain loop where
// it is missing). The scans read aligned blocks of 64 bytes on x64 and 32 on
// x86, one bit of a register per byte, and such a block never spans two pages: no scan touches a page that the text's NUL does not
// lie on.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Whether the scans take 16 bytes a step. Setting it on takes effect only
// where the processor has SSE2; tests turn it off to run the plain loop.
bool CsvVectorScan();
void SetCsvVectorScan(bool on);

// The first byte at or after a position that is the separator, the double
// quote, CR, LF or NUL. It keeps the stops of the last block it read, so a
// run of short fields costs one block read per block; the bytes it scans
// must not change while it lives.
class CsvStopScanner {
public:
    explicit CsvStopScanner(char separator);
    char Separator() const { return separator_; }
    CsvStopScanner(const CsvStopScanner&) = delete;
    CsvStopScanner& operator=(const CsvStopScanner&) = delete;

    // `p` lies in NUL-terminated text; the stop is its NUL at the latest.
    const char* Next(const char* p) {
        const uintptr_t offset = uintptr_t(p) - uintptr_t(block_);
        if (offset < kBlock) {
            const Mask rest = stops_ & (~Mask(0) << offset);
            if (rest) return block_ + LowestBit(rest);
        }
        return Load(p);
    }

    // Bit i of a mask stands for byte i of a block.
    using Mask = uintptr_t;
    static constexpr size_t kBlock = 8 * sizeof(Mask);
    static unsigned LowestBit(unsigned long long mask) { return unsigned(__builtin_ctzll(mask)); }
    static unsigned LowestBit(unsigned mask) { return unsigned(__builtin_ctz(mask)); }

private:
    // Reads blocks from the one holding p until one has a stop at or after p.
    const char* Load(const char* p);

    const char* block_ = nullptr;  // the block stops_ describes
    Mask stops_ = 0;               // bit i: block_[i] is a stop
    bool vector_;
    char separator_;
    bool isStop_[256];  // for the plain loop
};

// The position after the `count`-th NUL from `fields`.
const char* SkipFields(const char* fields, int count);
