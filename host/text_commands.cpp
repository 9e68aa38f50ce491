#include "text_commands.h"
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <limits.h>
#include <stdio.h>
#include <wchar.h>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include "exit_codes.h"
#include "host_string.h"
#include "loaded_library.h"
#include "text.h"

namespace jxhost {
namespace {

using Args = std::span<const std::wstring_view>;


constexpr wchar_t kLibraryName[] = L"jxplus.dll";
constexpr std::wstring_view kStandardInput = L"-";
constexpr std::wstring_view kOptionPrefix = L"--";
constexpr size_t kReadChunk = 64 * 1024;

struct Exports {
    JxStrStemFn stem;
    JxStrWrapFn wrap;
};
using TextCall = std::function<void(const Exports&, JxString*)>;

int Usage(const wchar_t* line) {
    fwprintf(stderr, L"usage: %ls\n", line);
    return kExitUsage;
}

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};

std::optional<std::string> ReadAll(FILE* file) {
    std::string text;
    char chunk[kReadChunk];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
    if (ferror(file)) return std::nullopt;
    return text;
}

// The bytes of the file `name`, or of standard input for "-".
std::optional<std::string> ReadInput(std::wstring_view name) {
    if (name == kStandardInput) {
        _setmode(_fileno(stdin), _O_BINARY);
        return ReadAll(stdin);
    }
    std::unique_ptr<FILE, FileCloser> file(_wfopen(std::wstring(name).c_str(), L"rb"));
    if (!file) return std::nullopt;
    return ReadAll(file.get());
}

bool IsFile(std::wstring_view name) {
    const DWORD attributes = GetFileAttributesW(std::wstring(name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Option text in UTF-8 (the host table's code page), with \r, \n, \t and \\ read as escapes.
std::string Unescape(std::wstring_view text) {
    std::wstring plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\\' || i + 1 == text.size()) {
            plain += text[i];
            continue;
        }
        switch (text[++i]) {
            case L'r': plain += L'\r'; break;
            case L'n': plain += L'\n'; break;
            case L't': plain += L'\t'; break;
            default: plain += text[i]; break;
        }
    }
    return Utf8FromWide(plain);
}

std::optional<int> ParseInt(std::wstring_view text) {
    std::wstring digits(text);
    wchar_t* end = nullptr;
    errno = 0;
    const long value = wcstol(digits.c_str(), &end, 10);
    if (digits.empty() || *end != L'\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX) return std::nullopt;
    return static_cast<int>(value);
}

void WriteResult(std::string_view text) {
    _setmode(_fileno(stdout), _O_BINARY);
    fwrite(text.data(), 1, text.size(), stdout);
    if (text.empty() || text.back() != '\n') fputc('\n', stdout);
    fflush(stdout);
}

// Loads jxplus.dll from the program's folder, runs `call` on a host string
// holding `text`, prints the result and checks that the library gave every
// block back when it unloaded.
int RunOnText(const std::string& text, const TextCall& call) {
    LoadedLibrary library(ProgramFolder() + kLibraryName);
    Exports exports{};
    if (library.Loaded()) {
        exports.stem = reinterpret_cast<JxStrStemFn>(GetProcAddress(library.Handle(), JX_EXPORT_STR_STEM));
        exports.wrap = reinterpret_cast<JxStrWrapFn>(GetProcAddress(library.Handle(), JX_EXPORT_STR_WRAP));
    }
    if (!exports.stem || !exports.wrap) {
        fwprintf(stderr, L"jxhost: cannot use %ls (error %lu)\n", library.Path().c_str(), library.LoadError());
        return kExitNoLibrary;
    }
    {
        HostString s(text);
        call(exports, s.Record());
        WriteResult(s.Text());
    }
    const AllocDelta left = library.Unload();
    if (left.blocks == 0) return kExitOk;
    fwprintf(stderr, L"%ls: unloaded, %lld blocks (%lld bytes) left\n", kLibraryName, left.blocks, left.bytes);
    return kExitBlocksLeft;
}

}  // namespace

int RunStemCommand(Args args) {
    constexpr const wchar_t* kUsage = L"jxhost stem [--all-words] [--spaces] TEXT|FILE|-";
    int flags = 0;
    std::optional<std::wstring_view> source;
    for (std::wstring_view arg : args) {
        if (arg == L"--all-words")
            flags |= JX_STEM_ALL_WORDS;
        else if (arg == L"--spaces")
            flags |= JX_STEM_SEPARATORS_TO_SPACE;
        else if (!source && (arg == kStandardInput || !arg.starts_with(kOptionPrefix)))
            source = arg;
        else
            return Usage(kUsage);
    }
    if (!source) return Usage(kUsage);
    // A file or standard input is read as it is; a text on the command line is converted.
    std::optional<std::string> text =
        (*source == kStandardInput || IsFile(*source)) ? ReadInput(*source) : Utf8FromWide(*source);
    if (!text) {
        fwprintf(stderr, L"jxhost: cannot read %.*ls\n", int(source->size()), source->data());
        return kExitNoInput;
    }
    return RunOnText(*text, [flags](const Exports& f, JxString* s) { f.stem(s, flags, 0, 0); });
}

int RunWrapCommand(Args args) {
    constexpr const wchar_t* kUsage =
        L"jxhost wrap --width N [--break TEXT] [--chars TEXT] [--join] [--keep-spaces] FILE|-";
    std::optional<int> width;
    std::optional<std::string> lineBreak;
    std::optional<std::string> breakChars;
    int flags = 0;
    std::optional<std::wstring_view> source;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring_view arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == L"--width" && hasValue)
            width = ParseInt(args[++i]);
        else if (arg == L"--break" && hasValue)
            lineBreak = Unescape(args[++i]);
        else if (arg == L"--chars" && hasValue)
            breakChars = Unescape(args[++i]);
        else if (arg == L"--join")
            flags |= JX_WRAP_JOIN_LINES;
        else if (arg == L"--keep-spaces")
            flags |= JX_WRAP_KEEP_SPACES;
        else if (!source && (arg == kStandardInput || !arg.starts_with(kOptionPrefix)))
            source = arg;
        else
            return Usage(kUsage);
    }
    if (!width || !source) return Usage(kUsage);
    std::optional<std::string> text = ReadInput(*source);
    if (!text) {
        fwprintf(stderr, L"jxhost: cannot read %.*ls\n", int(source->size()), source->data());
        return kExitNoInput;
    }
    return RunOnText(*text, [&](const Exports& f, JxString* s) {
        f.wrap(s, *width, lineBreak ? lineBreak->c_str() : nullptr, breakChars ? breakChars->c_str() : nullptr,
               flags, 0);
    });
}

}  // namespace jxhost
