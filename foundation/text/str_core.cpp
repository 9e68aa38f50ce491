// Allocation, concatenation, assignment and parts of str.
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include "runtime/errors.h"
#include "runtime/host_alloc.h"
#include "text/str.h"
#include "runtime/thread_state.h"

namespace {
constexpr int kSlack = 10;
constexpr int kBigSlack = 1000;
constexpr int kTerminators = 2;
constexpr int kBlockOverhead = 3;  // cap = block size - 3

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }
}  // namespace

str::str(str&& other) noexcept : buf(other.buf), len(other.len), cap(other.cap), flags(other.flags) {
    other.buf = nullptr;
    other.len = other.cap = 0;
}

str& str::operator=(str&& other) noexcept {
    if (this != &other) {
        Free();
        buf = other.buf;
        len = other.len;
        cap = other.cap;
        flags = other.flags;
        other.buf = nullptr;
        other.len = other.cap = 0;
    }
    return *this;
}

char* str::Alloc(int n, unsigned mode) {
    if (n < 0) n = 0;
    const int slack = (flags & kStrBigSlack) ? kBigSlack : kSlack;
    bool needBlock = true;
    if (buf && n <= cap && !(mode & kAllocForceNew)) {
        // Keep the block unless it is far larger than needed.
        needBlock = !((flags & kStrKeepCapacity) || cap <= 2 * (n + 2 * slack));
    }
    char* detached = nullptr;
    if (needBlock) {
        const int64_t wanted = buf ? int64_t(n) + n / 8 + slack : int64_t(n);
        const int64_t size = (wanted + 10) & ~int64_t(7);
        if (size > INT_MAX) RaiseOutOfMemory();
        char* block;
        if ((mode & kAllocGrowInPlace) && buf && !(flags & kStrSecure)) {
            block = static_cast<char*>(HostReallocOrRaise(buf, size_t(size)));
        } else if ((mode & kAllocGrowInPlace) && buf) {
            // A secure text must not be left behind in a block realloc moved away from.
            block = static_cast<char*>(HostAllocOrRaise(size_t(size)));
            memcpy(block, buf, size_t(len < n ? len : n));
            FreeOld(buf);
        } else if (mode & kAllocDetachOld) {
            block = static_cast<char*>(HostAllocOrRaise(size_t(size)));
            detached = buf;
        } else {
            FreeOld(buf);
            buf = nullptr;
            len = cap = 0;
            block = static_cast<char*>(HostAllocOrRaise(size_t(size)));
        }
        buf = block;
        cap = int(size) - kBlockOverhead;
    }
    len = n;
    if (!(mode & kAllocNoTerminators)) buf[n] = buf[n + 1] = 0;
    return detached;
}

void str::FreeOld(char* block) const {
    if (!block) return;
    if (flags & kStrSecure) SecureZeroMemory(block, HostMSize(block));
    HostFree(block);
}

void str::Free() {
    if (buf) {
        if (flags & kStrSecure) SecureZeroMemory(buf, size_t(cap) + kBlockOverhead);
        HostFree(buf);
    }
    buf = nullptr;
    len = cap = 0;
}

void str::Clear() { Free(); }

void str::Init(int capacity, BYTE newFlags) {
    Free();
    flags = newFlags;
    if (capacity) {
        Alloc(capacity);
        buf[0] = buf[1] = 0;
    }
}

void str::Swap(str& other) {
    char* b = buf;
    int l = len, c = cap;
    buf = other.buf;
    len = other.len;
    cap = other.cap;
    other.buf = b;
    other.len = l;
    other.cap = c;
    const BYTE secure = (flags | other.flags) & kStrSecure;
    flags |= secure;
    other.flags |= secure;
}

bool str::Contains(const void* pointer) const {
    const char* p = static_cast<const char*>(pointer);
    return buf && p >= buf && p < buf + cap + kBlockOverhead;
}

char* str::Detach(const void* pointer) {
    if (!Contains(pointer)) return nullptr;
    char* block = buf;
    buf = nullptr;
    len = cap = 0;
    return block;
}

int str::WideBytes(int chars) {
    const int64_t bytes = int64_t(chars < 0 ? 0 : chars) * int64_t(sizeof(wchar_t));
    if (bytes > INT_MAX - kBlockOverhead) RaiseOutOfMemory();
    return int(bytes);
}

char* str::GetBuffer(int n, unsigned mode) {
    if (mode & kBufferKeepContent) {
        const int previous = len;
        Realloc(n);
        if (!(mode & kBufferKeepLength) && previous < n) {
            len = previous;
            buf[len] = buf[len + 1] = 0;
        }
    } else {
        Alloc(n);
        buf[0] = buf[1] = 0;
        if (!(mode & kBufferKeepLength)) len = 0;
    }
    return buf;
}

void str::FixLength(int n, unsigned mode) {
    if (cap == 0) return;
    int newLength;
    if (n < 0) {
        const void* nul = memchr(buf, 0, size_t(cap));
        newLength = nul ? int(static_cast<const char*>(nul) - buf) : cap;
    } else {
        if ((mode & kFixOnlyShorten) && n >= len) return;
        newLength = n < cap ? n : cap;
    }
    if (mode & kFixWholeCharNoCr) {
        if (IsUtf8Mode()) newLength = int(Utf8CharStart(buf, buf + newLength) - buf);
        if (newLength > 0 && buf[newLength - 1] == '\r') --newLength;
    }
    if ((flags & kStrKeepCapacity) || (mode & kFixNoShrink) || newLength >= cap) {
        len = newLength;
        buf[len] = buf[len + 1] = 0;
    } else {
        Realloc(newLength);
    }
}

void str::Build(std::initializer_list<StrPiece> pieces, unsigned buildFlags) {
    constexpr size_t kMaxPieces = 32;
    int lengths[kMaxPieces];
    const size_t count = pieces.size() < kMaxPieces ? pieces.size() : kMaxPieces;

    int64_t total = 0;
    bool accepted = false, firstInPlace = false, mustDetach = false;
    size_t i = 0;
    for (const StrPiece& piece : pieces) {
        if (i == count) break;
        int n = 0;
        switch (piece.kind) {
            case StrPiece::kText:
                if (piece.text) {
                    n = piece.length < 0 ? int(strlen(piece.text)) : piece.length;
                    accepted = true;
                    if (Contains(piece.text)) {
                        if (i == 0 && piece.text == buf && n == len)
                            firstInPlace = true;
                        else
                            mustDetach = true;
                    }
                }
                break;
            case StrPiece::kFill:
                n = piece.length < 0 ? 1 : piece.length;
                accepted = true;
                break;
            case StrPiece::kReserve:
                if (piece.length > 0 && !(buildFlags & kBuildReserveIsEmpty)) {
                    n = piece.length;
                    accepted = true;
                }
                break;
        }
        lengths[i++] = n;
        total += n;
    }
    if (!accepted) {
        Clear();
        return;
    }
    if (total > INT_MAX - 16) RaiseOutOfMemory();

    // A piece that lies inside this string must outlive the new block: the old
    // block is detached and freed only after every piece has been copied.
    char* detached = nullptr;
    size_t first = 0;
    int position = 0;
    if (mustDetach) {
        detached = Alloc(int(total), kAllocDetachOld | kAllocForceNew);
    } else if (firstInPlace) {
        Alloc(int(total), kAllocGrowInPlace);
        position = lengths[0];
        first = 1;
    } else {
        Alloc(int(total), 0);
    }

    i = 0;
    for (const StrPiece& piece : pieces) {
        if (i == count) break;
        if (i >= first) {
            const int n = lengths[i];
            if (piece.kind == StrPiece::kText && n > 0)
                memcpy(buf + position, piece.text, size_t(n));
            else if (piece.kind == StrPiece::kFill && n > 0)
                memset(buf + position, piece.fill, size_t(n));
            position += n;
        }
        ++i;
    }
    FreeOld(detached);
}

void str::Append(const char* text, int n) { Build({StrPiece(buf, len), StrPiece(text, n)}); }

void str::Append2(const char* a, const char* b) { Build({StrPiece(buf, len), StrPiece(a), StrPiece(b)}); }

int str::AppendWithNul(const char* text, int n) {
    const int offset = len;
    Build({StrPiece(buf, len), StrPiece(text ? text : "", n), StrPiece::Fill(0, 1)});
    return offset;
}

int str::AppendChar(char c) {
    if (buf && len < cap) {
        ++len;
        buf[len] = buf[len + 1] = 0;
    } else {
        Realloc(len + 1);
    }
    buf[len - 1] = c;
    return len;
}

void str::PathJoin(const char* folder, const char* name) {
    const int n = SafeLen(folder);
    if (n > 0 && folder[n - 1] == '\\')
        Build({StrPiece(folder, n), StrPiece(name)});
    else
        Build({StrPiece(folder ? folder : "", n), StrPiece::Fill('\\', 1), StrPiece(name)});
}

void str::Assign(const char* source, int offset, int n) {
    if (!source) {
        Clear();
        return;
    }
    const char* p = source + offset;
    if (n < 0) n = int(strlen(p));
    if (n == 0) {
        if (buf) {
            len = 0;
            buf[0] = buf[1] = 0;
        } else {
            Alloc(0);
        }
        return;
    }
    if (Contains(p)) {
        if (p == buf)
            Realloc(n);
        else
            Build({StrPiece(p, n)});
        return;
    }
    Alloc(n);
    memcpy(buf, p, size_t(n));
}

void str::Assign(const char* text) {
    if (text == buf && text) return;
    if (!text) {
        Clear();
        return;
    }
    Assign(text, 0, -1);
}

void str::Assign(const str& other) {
    if (&other == this) return;
    if (!other.buf) {
        Clear();
        return;
    }
    Assign(other.buf, 0, other.len);
}

void str::AssignSub(const str& source, int start, int count) {
    if (start < 0) start = 0;
    if (!source.buf || start >= source.len) {
        Assign("", 0, 0);
        return;
    }
    const int rest = source.len - start;
    if (count < 0 || count > rest) count = rest;
    Assign(source.buf, start, count);
}

void str::AssignPart(const char* text, int start, int count) {
    if (start < 0) {
        start = 0;
        count = 0;
    }
    Assign(text, start, count);
}

void str::AssignConcat(const char* a, const char* b) { Build({StrPiece(a), StrPiece(b)}); }

bool str::Remove(int position, int count) {
    if (position < 0 || position >= len) return false;
    if (count == 0) return true;
    if (count < 0 || count >= len - position) {
        len = position;
    } else {
        memmove(buf + position, buf + position + count, size_t(len - position - count));
        len -= count;
    }
    buf[len] = buf[len + 1] = 0;
    return true;
}

namespace {
bool IsTrimmed(char c, const char* chars) {
    return chars ? (c != 0 && strchr(chars, c) != nullptr) : static_cast<BYTE>(c) <= ' ';
}
}  // namespace

void str::TrimRight(const char* chars) {
    if (!buf) return;
    while (len > 0 && IsTrimmed(buf[len - 1], chars)) --len;
    buf[len] = buf[len + 1] = 0;
}

void str::TrimLeft(const char* chars) {
    if (!buf) return;
    int n = 0;
    while (n < len && IsTrimmed(buf[n], chars)) ++n;
    if (n == len)
        Empty();
    else
        Remove(0, n);
}

void str::Trim(const char* chars) {
    TrimRight(chars);
    TrimLeft(chars);
}

void str::Surround(char open, char close) {
    Build({StrPiece::Fill(open, 1), StrPiece(buf ? buf : "", len), StrPiece::Fill(close ? close : open, 1)});
}

void str::AppendIfMissing(const char* text) {
    if (!EndsWithText(text)) Append(text);
}

void str::RemoveLastIf(char c) {
    if (len > 0 && buf[len - 1] == c) buf[--len] = 0;
}

bool str::EndsWith(char c) const { return len > 0 && buf[len - 1] == c; }

bool str::EndsWithText(const char* text, int n) const {
    if (!buf || !text) return false;
    if (n < 0) n = int(strlen(text));
    return len >= n && CompareN(buf + len - n, text, n, true) == 0;
}

bool str::Equals(const char* text, unsigned mode) const {
    const bool nullAsEmpty = mode & kEqualsNullAsEmpty;
    if (!buf) return nullAsEmpty ? SafeLen(text) == 0 : text == nullptr;
    if (!text) return nullAsEmpty && len == 0;
    return Compare(buf, text, mode & kEqualsIgnoreCase) == 0;
}

void str::GetFolder(const char* path, bool stripSlash) {
    const char* source = path ? path : buf;
    int n = SafeLen(source);
    int start = 0;
    if (n > 0 && source[0] == '"') {
        start = 1;
        n = (n > 1 && source[n - 1] == '"') ? n - 2 : n - 1;
    }
    if (n <= 0) {
        Assign("", 0, 0);
        return;
    }
    const char* text = source + start;
    // Forwards by character: on a double-byte page a trail byte may be 0x5C.
    int nameStart = 0;
    for (const char* p = text; p < text + n; p = NextLibraryChar(p)) {
        const int i = int(p - text);
        if (IsPathSeparator(*p) || (i == 1 && *p == ':')) nameStart = i + 1;
    }
    const int nameLength = n - nameStart;
    const char firstOfName = text[nameStart];
    if (nameLength >= 2 && (firstOfName == '$' || firstOfName == '%') && text[n - 1] == firstOfName) {
        Assign(source, start, n);  // a "$name$" or "%name%" stands for a whole folder
        return;
    }
    int folderLength = nameStart;
    if (stripSlash && folderLength > 0 && IsPathSeparator(text[folderLength - 1])) --folderLength;
    Assign(source, start, folderLength);
}

void str::SetInt(int value) {
    char digits[16];
    Assign(digits, 0, snprintf(digits, sizeof digits, "%d", value));
}

void str::SetInt64(int64_t value) {
    char digits[32];
    Assign(digits, 0, snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value)));
}

void str::SetHex(uint32_t value) {
    char digits[16];
    Assign(digits, 0, snprintf(digits, sizeof digits, "0x%X", value));
}

const char* TempCopyIfInside(const str& s, const char* pointer) {
    if (!s.Contains(pointer)) return pointer;
    str& scratch = GetThreadState()->NextScratchString();
    scratch.Assign(pointer);
    return scratch.buf;
}
