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

void AppendBytes(str& s, const void* bytes, size_t n) {
    EnsureRoom(s, n);
    memcpy(s.buf + s.len, bytes, n);
    s.len += int(n);
}

// The bytes and a NUL after them.
void AppendField(str& s, const void* bytes, size_t n) {
    EnsureRoom(s, n + 1);
    memcpy(s.buf + s.len, bytes, n);
    s.buf[s.len + int(n)] = 0;
    s.len += int(n) + 1;
}

// Fields of the rows as they are parsed: the count of each row, so that
// short rows can be padded once the widest is known.
using FieldCounts = std::vector<int, HostAllocator<int>>;

}  // namespace

const char* FieldAt(const char* fields, int column) {
    for (; column > 0; --column) fields += strlen(fields) + 1;
    return fields;
}

size_t FieldsSize(const char* fields, int count) { return size_t(FieldAt(fields, count) - fields); }

CsvQuoteRule::CsvQuoteRule(char separator) : special_{} {
    special_[BYTE(separator)] = special_[BYTE('"')] = special_[BYTE('\r')] = special_[BYTE('\n')] = true;
}

void AppendCsvRow(str& out, const char* fields, int fieldCount, char separator, const CsvQuoteRule& rule) {
    if (fieldCount <= 0) return;
    // Room for the worst case, every byte a quote written twice inside quotes,
    // so that the fields are copied without further checks.
    EnsureRoom(out, 2 * FieldsSize(fields, fieldCount) + 2 * size_t(fieldCount) + 2);
    char* to = out.buf + out.len;
    const char* from = fields;
    for (int column = 0; column < fieldCount; ++column) {
        // Copied as it is first; quoted over the copy when the copy tells so.
        char* const start = to;
        bool special = false;
        for (char c; (c = *from) != 0; ++from) {
            special |= rule.IsSpecial(c);
            *to++ = c;
        }
        const size_t length = size_t(to - start);
        if (length && (special || BYTE(start[0]) <= 0x20 || BYTE(to[-1]) <= 0x20)) {
            to = start;
            *to++ = '"';
            for (const char* c = from - length; c != from; ++c) {
                if (*c == '"') *to++ = '"';
                *to++ = *c;
            }
            *to++ = '"';
        }
        ++from;
        if (column + 1 < fieldCount) {
            *to++ = separator;
        } else {
            *to++ = '\r';
            *to++ = '\n';
        }
    }
    out.len = int(to - out.buf);
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
// NUL byte inside `length` makes it malformed.
HRESULT CsvTable::ParseText(const char* text, size_t length) {
    if (length == 0) return S_FALSE;
    const char separator = Separator();
    const BYTE sep = BYTE(separator);
    // Where an unquoted field stops.
    bool stops[256] = {};
    stops[0] = stops[BYTE('"')] = stops[BYTE('\r')] = stops[BYTE('\n')] = stops[sep] = true;
    // With the space as separator every space separates.
    const bool skipSpaces = separator != ' ';

    const BYTE* p = reinterpret_cast<const BYTE*>(text);
    const BYTE* const end = p + length;
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

    str row;  // the row being read: the zeroed header, then its fields
    EnsureRoom(row, size_t(headerSize_) + 256);
    memset(row.buf, 0, size_t(headerSize_));
    FieldCounts counts;
    int widest = 0;
    bool padding = false;
    while (p < end) {
        row.len = headerSize_;
        int fields = 0;
        for (;;) {
            if (skipSpaces)
                while (*p == ' ') ++p;
            if (*p == '"') {
                ++p;
                for (;;) {
                    const BYTE* start = p;
                    while (*p != '"' && *p) ++p;
                    if (!*p) return malformed();  // the text ends inside quotes
                    if (p[1] != '"') {
                        AppendField(row, start, size_t(p - start));
                        break;
                    }
                    AppendBytes(row, start, size_t(p + 1 - start));  // up to one of the two quotes
                    p += 2;
                }
                ++p;
                if (skipSpaces)
                    while (*p == ' ') ++p;
                if (*p != sep && *p != '\r' && *p != '\n' && p != end) return malformed();
            } else {
                const BYTE* start = p;
                while (!stops[*p]) ++p;
                if (*p == '"' || (*p == 0 && p != end)) return malformed();
                const BYTE* last = p;
                while (last > start && last[-1] == ' ') --last;
                AppendField(row, start, size_t(last - start));
            }
            if (++fields > kCsvMaxColumns) return malformed();
            if (p == end || *p != sep) break;
            ++p;
        }
        // CR, LF or CR LF ends the row (the NUL after the text stops both tests).
        if (*p == '\r') {
            ++p;
            if (*p == '\n') ++p;
        } else if (*p == '\n') {
            ++p;
        }

        if (rows_.size() == rows_.capacity()) {
            rows_.reserve(rows_.empty() ? 64 : rows_.size() * 2);
            counts.reserve(rows_.capacity());
        }
        char* block = static_cast<char*>(HostAllocOrRaise(size_t(row.len)));
        memcpy(block, row.buf, size_t(row.len));
        rows_.push_back(block);
        counts.push_back(fields);
        if (fields != widest) {
            padding = padding || rows_.size() > 1;
            widest = std::max(widest, fields);
        }
    }
    columns_ = widest;
    if (padding) {
        for (size_t i = 0; i < rows_.size(); ++i) {
            const int missing = widest - counts[i];
            if (missing == 0) continue;
            const size_t size = size_t(headerSize_) + FieldsSize(rows_[i] + headerSize_, counts[i]);
            char* grown = static_cast<char*>(HostReallocOrRaise(rows_[i], size + size_t(missing)));
            memset(grown + size, 0, size_t(missing));
            rows_[i] = grown;
        }
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
    const char separator = Separator();
    const CsvQuoteRule rule(separator);
    for (const char* row : rows_) AppendCsvRow(out, row + headerSize_, columns_, separator, rule);
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

    const char separator = Separator();
    const CsvQuoteRule rule(separator);
    str buffer;
    for (const char* row : rows_) {
        AppendCsvRow(buffer, row + headerSize_, columns_, separator, rule);
        if (buffer.len > kFileBufferFlushSize) {
            if (!file.Write(buffer.buf, size_t(buffer.len))) return HResultFromLastError();
            buffer.len = 0;
        }
    }
    if (!file.Write(buffer.buf, size_t(buffer.len))) return HResultFromLastError();
    if (safe && !CommitSafeWrite(file, flags & kCsvFileBackup)) return HResultFromLastError();
    return S_OK;
}
