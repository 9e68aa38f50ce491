// CsvTable's CSV text: the separator, parsing, writing, and files.
#include <limits.h>
#include <string.h>
#include <algorithm>
#include "csv/csv_table.h"
#include "runtime/errors.h"
#include "files/files.h"

namespace {

// Rows of a file are written through one buffer flushed beyond this size.
constexpr int kFileBufferFlushSize = 100000;

bool IsForbiddenSeparator(char c) { return c == 0 || c == '\r' || c == '\n' || c == '"'; }

// Room for `extra` more bytes after s.len; the block at least doubles, so
// that appending row after row stays linear.
void EnsureRoom(str& s, size_t extra) {
    const int64_t needed = int64_t(s.len) + int64_t(extra);
    if (needed <= s.cap) return;
    constexpr int64_t kLimit = INT_MAX - 4096;
    if (needed > kLimit) RaiseOutOfMemory();
    const int length = s.len;
    s.Alloc(int(std::min(std::max(needed, int64_t(s.cap) * 2), kLimit)), kAllocGrowInPlace | kAllocNoTerminators);
    s.len = length;
}

// The n bytes (sizeof(Word) <= n <= 2 * sizeof(Word)) as two word moves that may overlap.
template <class Word>
void CopyTwoWords(char* to, const char* from, size_t n) {
    Word head, tail;
    memcpy(&head, from, sizeof(Word));
    memcpy(&tail, from + n - sizeof(Word), sizeof(Word));
    memcpy(to, &head, sizeof(Word));
    memcpy(to + n - sizeof(Word), &tail, sizeof(Word));
}

// memcpy for the short fields of most tables without a call, reading and
// writing only the n bytes.
inline void CopyBytes(char* to, const char* from, size_t n) {
    if (n >= 16) {
        memcpy(to, from, n);
    } else if (n >= 8) {
        CopyTwoWords<uint64_t>(to, from, n);
    } else if (n >= 4) {
        CopyTwoWords<uint32_t>(to, from, n);
    } else {
        for (size_t i = 0; i < n; ++i) to[i] = from[i];
    }
}

// Where a field of a row lies in the text: `length` bytes from `start`, of
// which `quotes` are the second quotes of doubled pairs (quoted fields only).
struct FieldSpan {
    const char* start;
    size_t length;
    size_t quotes;
};
using FieldSpans = std::vector<FieldSpan, HostAllocator<FieldSpan>>;

// The field count of each row parsed, kept only once two rows differ, so
// that short rows can be padded when the widest is known.
using FieldCounts = std::vector<int, HostAllocator<int>>;

// The span's bytes with each doubled quote taken once, and a NUL after them.
char* CopyField(char* to, const FieldSpan& field) {
    const char* from = field.start;
    if (field.quotes == 0) {
        CopyBytes(to, from, field.length);
        to += field.length;
    } else {
        for (const char* end = from + field.length; from != end; ++from) {
            *to++ = *from;
            if (*from == '"') ++from;
        }
    }
    *to++ = 0;
    return to;
}

}  // namespace

void AppendCsvRow(str& out, const char* fields, int fieldCount, CsvStopScanner& stops) {
    const char separator = stops.Separator();
    for (int column = 0; column < fieldCount; ++column) {
        // Where the field ends and whether a byte in it asks for quotes, before anything is copied.
        const char* end = stops.Next(fields);
        bool special = false, quotes = false;
        while (*end) {
            special = true;
            quotes = quotes || *end == '"';
            end = stops.Next(end + 1);
        }
        const size_t length = size_t(end - fields);
        // Room for the field quoted with every byte a doubled quote, and CR LF.
        EnsureRoom(out, 2 * length + 4);
        char* to = out.buf + out.len;
        const bool quoted = length && (special || BYTE(fields[0]) <= 0x20 || BYTE(end[-1]) <= 0x20);
        if (quoted) *to++ = '"';
        if (quotes) {
            for (const char* c = fields; c != end; ++c) {
                if (*c == '"') *to++ = '"';
                *to++ = *c;
            }
        } else {
            CopyBytes(to, fields, length);
            to += length;
        }
        if (quoted) *to++ = '"';
        if (column + 1 < fieldCount) {
            *to++ = separator;
        } else {
            *to++ = '\r';
            *to++ = '\n';
        }
        out.len = int(to - out.buf);
        fields = end + 1;
    }
}

char CsvTable::Separator() {
    if (separator_[0] == 0) {
        char answer[8] = {};
        const bool read = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SLIST, answer, int(sizeof(answer))) > 0;
        // A list separator that CSV cannot use falls back to the comma as well,
        // and so does one that is not ASCII in UTF-8 mode (an ANSI byte there
        // would split the characters that contain it).
        const bool usable = read && !IsForbiddenSeparator(answer[0]) && (!IsUtf8Mode() || BYTE(answer[0]) < 0x80);
        separator_[0] = usable ? answer[0] : ',';
    }
    return separator_[0];
}

HRESULT CsvTable::SetSeparator(const char* text) {
    const char c = text ? text[0] : 0;
    if (c && IsForbiddenSeparator(c)) return E_INVALIDARG;
    separator_[0] = c;
    return S_OK;
}

HRESULT CsvTable::GetSeparator(const char** separator) {
    if (!separator) return E_INVALIDARG;
    Separator();
    *separator = separator_;
    return S_OK;
}

// Parses into the (empty) table. The text must be followed by a NUL byte; a
// NUL byte inside `length` makes it malformed. Each row is scanned first and
// then copied once into a block of its exact size.
HRESULT CsvTable::ParseText(const char* text, size_t length) {
    if (length == 0) return S_FALSE;
    const char separator = Separator();
    CsvStopScanner stops(separator);
    // With the space as separator every space separates.
    const bool skipSpaces = separator != ' ';

    const char* p = text;
    const char* const end = p + length;
    const auto malformed = [this] {
        FreeRows();
        return E_INVALIDARG;
    };
    // Memory exhausted on the way leaves the table empty: never rows shorter
    // than its column count.
    struct EmptyUnlessParsed {
        CsvTable* table;
        bool parsed = false;
        ~EmptyUnlessParsed() {
            if (!parsed) table->FreeRows();
        }
    } guard{this};

    FieldSpans fields;
    FieldCounts counts;
    int widest = 0;
    while (p < end) {
        fields.clear();
        size_t size = size_t(headerSize_);
        for (;;) {
            if (skipSpaces)
                while (*p == ' ') ++p;
            FieldSpan field{p, 0, 0};
            if (*p == '"') {
                field.start = ++p;
                for (;;) {
                    p = stops.Next(p);
                    if (*p == '"') {
                        if (p[1] != '"') break;
                        ++field.quotes;
                        p += 2;
                    } else if (*p) {
                        ++p;  // separators and line ends are text inside quotes
                    } else {
                        return malformed();  // the text ends inside quotes
                    }
                }
                field.length = size_t(p - field.start);
                ++p;
                if (skipSpaces)
                    while (*p == ' ') ++p;
                if (*p != separator && *p != '\r' && *p != '\n' && p != end) return malformed();
            } else {
                p = stops.Next(p);
                if (*p == '"' || (*p == 0 && p != end)) return malformed();
                const char* last = p;
                while (last > field.start && last[-1] == ' ') --last;
                field.length = size_t(last - field.start);
            }
            if (fields.size() == size_t(kCsvMaxColumns)) return malformed();
            fields.push_back(field);
            size += field.length - field.quotes + 1;
            if (p == end || *p != separator) break;
            ++p;
        }
        // CR, LF or CR LF ends the row (the NUL after the text stops both tests).
        if (*p == '\r') {
            ++p;
            if (*p == '\n') ++p;
        } else if (*p == '\n') {
            ++p;
        }

        if (rows_.size() == rows_.capacity()) rows_.reserve(rows_.empty() ? 64 : rows_.size() * 2);
        char* block = static_cast<char*>(HostAllocOrRaise(size));
        rows_.push_back(block);
        memset(block, 0, size_t(headerSize_));
        char* to = block + headerSize_;
        for (const FieldSpan& field : fields) to = CopyField(to, field);

        const int count = int(fields.size());
        if (counts.empty() && rows_.size() > 1 && count != widest) counts.assign(rows_.size() - 1, widest);
        if (!counts.empty()) counts.push_back(count);
        widest = std::max(widest, count);
    }
    columns_ = widest;
    for (size_t i = 0; i < counts.size(); ++i) {
        const int missing = widest - counts[i];
        if (missing == 0) continue;
        const size_t size = size_t(headerSize_) + FieldsSize(rows_[i] + headerSize_, counts[i]);
        char* grown = static_cast<char*>(HostReallocOrRaise(rows_[i], size + size_t(missing)));
        memset(grown + size, 0, size_t(missing));
        rows_[i] = grown;
    }
    guard.parsed = true;
    return rows_.empty() ? S_FALSE : S_OK;
}

HRESULT CsvTable::FromText(const char* text) {
    FreeRows();
    return text ? ParseText(text, strlen(text)) : S_FALSE;
}

HRESULT CsvTable::ToText(JxString* text) {
    if (!text) return E_INVALIDARG;
    str& out = AsStr(text);
    out.len = 0;
    // One block for the worst case instead of growing through copies; only
    // the pages written are touched, and the block shrinks to the text after.
    size_t bound = 2;
    for (const char* row : rows_) bound += 2 * (FieldsSize(row + headerSize_, columns_) + size_t(columns_) + 1);
    if (bound < size_t(INT_MAX) / 2) EnsureRoom(out, bound);
    CsvStopScanner stops(Separator());
    for (const char* row : rows_) AppendCsvRow(out, row + headerSize_, columns_, stops);
    out.FixLength(out.len);
    return S_OK;
}

HRESULT CsvTable::FromFile(const char* path) {
    FreeRows();
    str content;
    if (ReadFileToString(content, path) < 0) return HResultFromLastError();
    return ParseText(content.Text(), size_t(content.len));
}

HRESULT CsvTable::ToFile(const char* path, unsigned flags) {
    const bool append = flags & kCsvFileAppend;
    const bool safe = flags & (kCsvFileSafe | kCsvFileBackup);
    FileHandle file;
    const HANDLE opened = safe ? OpenSafeWrite(file, path, append)
                               : OpenForWrite(file, path, append ? OPEN_ALWAYS : CREATE_ALWAYS);
    if (!opened) return HResultFromLastError();
    if (append && !safe && file.Seek(0, FILE_END) < 0) return HResultFromLastError();

    CsvStopScanner stops(Separator());
    str buffer;
    for (const char* row : rows_) {
        AppendCsvRow(buffer, row + headerSize_, columns_, stops);
        if (buffer.len > kFileBufferFlushSize) {
            if (!file.Write(buffer.buf, size_t(buffer.len))) return HResultFromLastError();
            buffer.len = 0;
        }
    }
    if (!file.Write(buffer.buf, size_t(buffer.len))) return HResultFromLastError();
    if (safe && !CommitSafeWrite(file, flags & kCsvFileBackup)) return HResultFromLastError();
    return S_OK;
}
