// The libraries' growable 8-bit string and its text functions.
//
// Text is 8-bit in the library code page (UTF-8 unless the host says
// otherwise). The block comes from the host allocator, so a buffer may be
// handed to the host and freed there. The text is always followed by two NUL
// bytes, so the same type also holds UTF-16 text (len in bytes) and lists of
// NUL-separated items.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <stdarg.h>
#include <stdint.h>
#include <initializer_list>

// str::flags
enum StrFlag : BYTE {
    kStrKeepCapacity = 1,  // never shrink the block
    kStrBigSlack = 2,      // grow with a slack of 1000 bytes instead of 10
    kStrSecure = 4,        // zero the memory before it is released
};

// Modes of str::Alloc
enum StrAllocMode : unsigned {
    kAllocDetachOld = 1,      // hand a replaced block to the caller instead of freeing it
    kAllocNoTerminators = 2,  // do not write the two NUL bytes
    kAllocGrowInPlace = 4,    // reallocate the old block so its first bytes survive
    kAllocForceNew = 8,       // take a new block even when the old one is large enough
};

// Modes of str::GetBuffer
enum StrBufferMode : unsigned {
    kBufferKeepContent = 1,  // keep the text (and its length when shorter)
    kBufferKeepLength = 2,   // leave len alone
};

// Modes of str::FixLength
enum StrFixMode : unsigned {
    kFixNoShrink = 1,        // never reallocate
    kFixOnlyShorten = 2,     // with n >= len nothing changes
    kFixWholeCharNoCr = 4,   // back to a whole UTF-8 character, then drop one trailing CR
};

// Modes of str::Equals
enum StrEqualsMode : unsigned {
    kEqualsIgnoreCase = 1,
    kEqualsNullAsEmpty = 2,  // a string without a block equals "" and null
};

// Flags of str::Build
enum StrBuildFlag : unsigned {
    kBuildReserveIsEmpty = 0x80000000u,  // reserved pieces count as empty
};

// One piece of str::Build: text, a run of one byte, or reserved room.
struct StrPiece {
    enum Kind : BYTE { kText, kFill, kReserve };
    Kind kind;
    BYTE fill;
    const char* text;
    int length;  // text: < 0 for strlen; fill: < 0 for 1; reserve: bytes

    StrPiece(const char* t, int n = -1) : kind(kText), fill(0), text(t), length(n) {}
    static StrPiece Fill(char c, int n) { return StrPiece(kFill, (BYTE)c, n); }
    static StrPiece Reserve(int n) { return StrPiece(kReserve, 0, n); }

private:
    StrPiece(Kind k, BYTE c, int n) : kind(k), fill(c), text(nullptr), length(n) {}
};

struct str {
    char* buf = nullptr;
    int len = 0;
    int cap = 0;  // allocated block size minus 3
    BYTE flags = 0;

    str() = default;
    explicit str(const char* text) { Assign(text); }
    ~str() { Free(); }
    str(const str&) = delete;
    str& operator=(const str&) = delete;
    str(str&& other) noexcept;
    str& operator=(str&& other) noexcept;

    // The text, or "" when there is no block.
    const char* Text() const { return buf ? buf : ""; }
    // The text read as UTF-16 (after ToWide and the like).
    const wchar_t* Wide() const { return buf ? reinterpret_cast<const wchar_t*>(buf) : L""; }
    int WideLength() const { return len / 2; }
    bool IsEmpty() const { return len == 0; }

    // -- Allocation core
    char* Alloc(int n, unsigned mode = 0);  // returns the detached old block, else null
    char* Realloc(int n) { return Alloc(n, kAllocGrowInPlace); }
    void Empty() { Alloc(0, 0); }
    void FreeOld(char* block) const;
    void Free();
    void Clear();
    void Init(int capacity, BYTE newFlags);
    void Swap(str& other);
    char* Detach(const void* pointer);
    bool Contains(const void* pointer) const;

    // -- Buffers for system calls (n in bytes)
    char* GetBuffer(int n, unsigned mode = 0);
    // Raises "failed to allocate memory" when `chars` units do not fit a str.
    wchar_t* GetWideBuffer(int chars, unsigned mode = 0) {
        return reinterpret_cast<wchar_t*>(GetBuffer(WideBytes(chars), mode));
    }
    static int WideBytes(int chars);
    void FixLength(int n, unsigned mode = 0);

    // -- Concatenation
    void Build(std::initializer_list<StrPiece> pieces, unsigned buildFlags = 0);
    void Append(const char* text, int n = -1);
    void Append(const str& other) { Append(other.buf, other.len); }
    void Append2(const char* a, const char* b);
    int AppendWithNul(const char* text, int n = -1);
    int AppendChar(char c);
    void PathJoin(const char* folder, const char* name);

    // -- Assignment and parts
    void Assign(const char* source, int offset, int n);
    void Assign(const char* text);
    void Assign(const str& other);
    void AssignSub(const str& source, int start, int count);
    void AssignPart(const char* text, int start, int count);
    void AssignConcat(const char* a, const char* b);
    bool Remove(int position, int count);
    void TrimRight(const char* chars = nullptr);
    void TrimLeft(const char* chars = nullptr);
    void Trim(const char* chars = nullptr);
    void Surround(char open, char close = 0);
    void AppendIfMissing(const char* text);
    void RemoveLastIf(char c);
    bool EndsWith(char c) const;
    bool EndsWithText(const char* text, int n = -1) const;
    bool Equals(const char* text, unsigned mode = 0) const;
    void GetFolder(const char* path, bool stripSlash = false);

    // -- Numbers
    void SetInt(int value);
    void SetInt64(int64_t value);
    void SetHex(uint32_t value);

    // -- Conversions (code page 0 is CP_ACP, 65001 is UTF-8)
    void FromMultiByte(const char* text, UINT codePage, int n = -1);
    void ToWide(const char* text);  // current code page -> UTF-16
    static constexpr int kWideNulTerminated = -1;
    static constexpr int kWideBstrLength = -2;
    void FromWide(const wchar_t* wide, UINT codePage, int n);
    void FromWide(const wchar_t* wide, int n = kWideNulTerminated);
    void FromWideUtf8(const wchar_t* wide, int n = kWideNulTerminated);
    void AnsiToUtf8(const char* text);
    void Utf8ToAnsi(const char* text);
    void FromAnsi(const char* text);
    void ToAnsi(const char* text);

    // -- Formatting (printf-like; see str_format.cpp)
    void FormatV(bool append, const char* format, va_list args);
    void Format(const char* format, ...);
    void AppendFormat(const char* format, ...);
};

#ifndef _WIN64
static_assert(sizeof(str) == 16, "str records are 16 bytes on x86");
#endif

// The library code page (65001 unless the host's table says otherwise).
UINT CurrentCodePage();
inline bool IsUtf8Mode() { return CurrentCodePage() != 0; }

// The text as UTF-16 into `buffer` of `units` (at least 1), cut to fit;
// returns the units written without the NUL. Uses `scratch` only when the
// text does not fit whole.
int ToWideCut(const char* text, wchar_t* buffer, int units, str& scratch);

// A copy of `pointer`'s text in a per-thread scratch string when it lies
// inside `s`; otherwise `pointer` itself.
const char* TempCopyIfInside(const str& s, const char* pointer);

// -- Comparison and case (null-safe)
int SafeLen(const char* text);
int Compare(const char* a, const char* b, bool ignoreCase = false);
int CompareN(const char* a, const char* b, int n, bool ignoreCase = false);
void ToUpper(char* text, int n = -1);
void ToLower(char* text, int n = -1);

// CompareEx flags
enum CompareExFlag : unsigned {
    kCompareIgnoreCase = 1,
    kCompareNoCaseW = 2,      // compare as UTF-16 with StrCmpIW / StrCmpW
    kCompareLogical = 4,      // StrCmpLogicalW: digits as numbers
    kCompareDates = 0x80,     // read both as dates
};
int CompareEx(const char* a, const char* b, unsigned flags);

// -- Search and match
const char* FindText(const char* text, const char* pattern, bool ignoreCase = false);
const char* FindTextN(const char* text, const char* pattern, int n, bool ignoreCase = false);
const char* FindWildcard(const char* pattern, bool returnEnd);
bool WildcardMatch(bool ignoreCase, const char* text, const char* pattern);
int SpanIn(const char* text, const char* set);
const char* FindFirstOf(const char* text, const char* set);

// -- UTF-8
int Utf8SequenceLength(BYTE leadByte);
const char* Utf8Next(const char* p);
const char* Utf8CharStart(const char* begin, const char* p);
int Utf8Advance(const char* text, int count);
// The character after the one at `p` in the library code page: a UTF-8
// sequence, a lead and trail byte of a double-byte ANSI page, or one byte.
const char* NextLibraryChar(const char* p);

// -- Character sets: 256-byte tables where 1 marks a member
enum CharSetMode : unsigned {
    kCharSetPredefined = 1,     // chars below 0x10000 or empty: 1 blank-or-quote, 2 blank, else non-word
    kCharSetIsTable = 0x100,    // chars is already a table
    kCharSetAddControls = 0x200,// also mark bytes 0-32
};
enum PredefinedCharSet : uintptr_t { kSetBlankOrQuote = 1, kSetBlank = 2, kSetNonWord = 3 };
// A predefined set is asked for by its PredefinedCharSet number cast to the
// pointer type.
const BYTE* MakeCharSet(BYTE* table, const char* chars, unsigned mode);

// -- BSTR helpers (freeing keeps the thread's last error)
constexpr UINT kBstrShrink = 0x10000;  // ToBstr code-page bit: shrink to the converted length
BSTR ToBstr(const char* text, UINT codePage, int n = -1);
BSTR ToBstr(const char* text);
void FreeBstr(BSTR bstr);
void DestroySafeArray(SAFEARRAY* array);
void AssignBstr(BSTR* target, const char* text, UINT codePage, int n = -1);
void SetBstr(BSTR* target, const wchar_t* wide);
void AllocBstr(BSTR* target, int n);
BSTR TempBstr(const char* text);
BSTR TempBstrW(const wchar_t* wide);
