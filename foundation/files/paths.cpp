// Path notation, special folders, the search for files, and the wrappers that
// pass 8-bit text to the system's UTF-16 functions.
#include "files/paths.h"
#include <shlobj.h>
#include <shlwapi.h>
#include <string.h>
#include <wchar.h>
#include "runtime/com_reference.h"
#include "runtime/module_state.h"
#include "text/numbers.h"
#include "files/registry.h"
#include "files/wide_call.h"

constinit PathSettings g_pathSettings;

namespace {
// Environment values may name themselves ("%A%" = "%A%%A%"): deeper
// expansions leave the text as it is.
constexpr int kMaxExpansionDepth = 8;
// "$name$" with a name of this many bytes or more is not a folder name.
constexpr int kFolderNameBytes = 32;
constexpr DWORD kExpandSlack = 50;
constexpr DWORD kMaxExpandedUnits = 32768;  // the system's limit, NUL included
constexpr DWORD kPathUnits = MAX_PATH;
constexpr DWORD kSearchUnits = 300;
constexpr DWORD kMaxPathUnits = 32768;
// A size reported for a too small buffer may grow again before the next call.
constexpr int kSizingTries = 3;
constexpr unsigned kMaxCsidl = 0xFFFF;
const wchar_t kLongPathMark[] = L"\\\\?\\";
const wchar_t kLongUncMark[] = L"\\\\?\\UNC\\";
const wchar_t kDeviceMark[] = L"\\\\.\\";
constexpr size_t kMarkUnits = 4;
constexpr size_t kUncMarkUnits = 8;
constexpr DWORD kLowIntegrity = 1;  // GetProcessIntegrityLevel: low or untrusted
// Item ids shorter than this have no file-system path.
constexpr USHORT kMinPathItemBytes = 3;
constexpr const char kAppPathsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
constexpr const char kProgramExtension[] = ".exe";
constexpr const char kHexDigits[] = "0123456789ABCDEF";

struct SpecialFolder {
    const char* name;
    int id;
};
// Searched in this order.
constexpr SpecialFolder kSpecialFolders[] = {
    {"Administrative Tools", CSIDL_ADMINTOOLS},
    {"AppData", CSIDL_APPDATA},
    {"Cache", CSIDL_INTERNET_CACHE},
    {"CD Burning", CSIDL_CDBURN_AREA},
    {"Common Files", CSIDL_PROGRAM_FILES_COMMON},
    {"Cookies", CSIDL_COOKIES},
    {"Desktop", CSIDL_DESKTOPDIRECTORY},
    {"Documents", CSIDL_PERSONAL},
    {"My Documents", CSIDL_PERSONAL},
    {"Personal", CSIDL_PERSONAL},
    {"Favorites", CSIDL_FAVORITES},
    {"Fonts", CSIDL_FONTS},
    {"History", CSIDL_HISTORY},
    {"Local AppData", CSIDL_LOCAL_APPDATA},
    {"My Music", CSIDL_MYMUSIC},
    {"My Pictures", CSIDL_MYPICTURES},
    {"My Video", CSIDL_MYVIDEO},
    {"NetHood", CSIDL_NETHOOD},
    {"PrintHood", CSIDL_PRINTHOOD},
    {"Program Files", CSIDL_PROGRAM_FILES},
    {"PF", CSIDL_PROGRAM_FILES},
    {"Programs", CSIDL_PROGRAMS},
    {"Recent", CSIDL_RECENT},
    {"SendTo", CSIDL_SENDTO},
    {"Start Menu", CSIDL_STARTMENU},
    {"Startup", CSIDL_STARTUP},
    {"System", CSIDL_SYSTEM},
    {"Temp", kFolderTemp},
    {"Templates", CSIDL_TEMPLATES},
    {"User Profile", CSIDL_PROFILE},
    {"Windows", CSIDL_WINDOWS},
    {"Common Administrative Tools", CSIDL_COMMON_ADMINTOOLS},
    {"Common AppData", CSIDL_COMMON_APPDATA},
    {"Common Desktop", CSIDL_COMMON_DESKTOPDIRECTORY},
    {"Common Documents", CSIDL_COMMON_DOCUMENTS},
    {"Common Favorites", CSIDL_COMMON_FAVORITES},
    {"Common Music", CSIDL_COMMON_MUSIC},
    {"CommonMusic", CSIDL_COMMON_MUSIC},
    {"Common Pictures", CSIDL_COMMON_PICTURES},
    {"CommonPictures", CSIDL_COMMON_PICTURES},
    {"Common Programs", CSIDL_COMMON_PROGRAMS},
    {"Common Start Menu", CSIDL_COMMON_STARTMENU},
    {"Common Startup", CSIDL_COMMON_STARTUP},
    {"Common Templates", CSIDL_COMMON_TEMPLATES},
    {"Common Video", CSIDL_COMMON_VIDEO},
    {"CommonVideo", CSIDL_COMMON_VIDEO},
    {"JX", kFolderHostProgram},
    {"My JX", kFolderPrivate},
    {"MyJX", kFolderPrivate},
    {"Temp JX", kFolderLibraryTemp},
    {"Drive", kFolderHostDrive},
    {"Media", kFolderMedia},
};
static_assert(sizeof kSpecialFolders / sizeof kSpecialFolders[0] == 52);

// Owns a block of the COM task allocator (item id lists, shell texts).
template <class T>
class CoTaskMemory {
public:
    CoTaskMemory() = default;
    ~CoTaskMemory() { CoTaskMemFree(pointer_); }
    CoTaskMemory(const CoTaskMemory&) = delete;
    CoTaskMemory& operator=(const CoTaskMemory&) = delete;
    T* Get() const { return pointer_; }
    T** Receive() { return &pointer_; }

private:
    T* pointer_ = nullptr;
};

// A UTF-16 literal as a piece of a wide str, without its NUL.
template <size_t N>
StrPiece WidePiece(const wchar_t (&text)[N]) {
    return StrPiece(reinterpret_cast<const char*>(text), int((N - 1) * sizeof(wchar_t)));
}

bool StartsWithNotation(const char* text) { return text && (text[0] == '$' || text[0] == '%'); }

// For the system functions that return the length written, or the size
// needed (NUL included) when the buffer is too small: grows the buffer
// instead of truncating and converts the UTF-16 result into `out`.
template <class Call>
bool CallForText(str& out, DWORD units, Call call) {
    str wide;
    for (int attempt = 0; attempt < kSizingTries && units <= kMaxPathUnits; ++attempt) {
        const DWORD n = call(wide.GetWideBuffer(int(units)), units);
        if (n == 0) return false;
        if (n < units) {
            out.FromWide(wide.Wide(), int(n));
            return true;
        }
        units = n;
    }
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
}

void ExpandInto(str& result, const char* text, const char* base, int depth);

// A notation that expands to a result of its own (steps that end the
// expansion). False: the text goes on as it is.
bool ExpandNotation(str& result, const char* text, const char* base, int depth) {
    if (depth >= kMaxExpansionDepth) return false;
    if (text[0] == '%') {
        str wide;
        wide.ToWide(text);
        if (!ExpandEnvironmentVariables(result, wide.Wide())) return false;
        if (result.Text()[0] == '%' && strcmp(result.Text(), text) == 0) return false;
        if (StartsWithNotation(result.Text())) {
            str again;
            ExpandInto(again, result.Text(), base, depth + 1);
            result.Swap(again);
        }
        return true;
    }
    if (text[0] == '$') {
        const char* close = strchr(text + 1, '$');
        if (!close || close - text - 1 >= kFolderNameBytes) return false;
        char name[kFolderNameBytes];
        const size_t length = size_t(close - text - 1);
        memcpy(name, text + 1, length);
        name[length] = 0;
        if (!ResolveSpecialFolder(result, name)) return false;
        result.Append(close + 1);
        return true;
    }
    return false;
}

void ExpandInto(str& result, const char* text, const char* base, int depth) {
    if (ExpandNotation(result, text, base, depth)) return;
    if (SafeLen(base) > 0 && !IsFullPath(text)) {
        str joined;
        joined.PathJoin(base, text);
        if (StartsWithNotation(joined.Text()))
            ExpandInto(result, joined.Text(), nullptr, depth + 1);
        else
            result.Swap(joined);
        return;
    }
    result.Assign(text);
}

// `text` expanded into `out`; true when its leading folder name resolved.
bool ExpandFolderText(str& out, const char* text) {
    ExpandPath(out, text);
    return !StartsWithNotation(out.Text());
}

bool CopyFolderSetting(str& folder, const str& setting) {
    folder.Assign(setting);
    folder.RemoveLastIf('\\');
    if (folder.IsEmpty()) SetLastError(ERROR_PATH_NOT_FOUND);
    return !folder.IsEmpty();
}

bool ResolveHostDrive(str& folder) {
    str wide;
    wide.ToWide(g_module.hostFolder.Text());
    const wchar_t* rest = PathSkipRootW(wide.Wide());
    if (!rest) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    folder.FromWide(wide.Wide(), int(rest - wide.Wide()));
    folder.RemoveLastIf('\\');
    return true;
}

bool ResolveFolderId(str& folder, int id) {
    switch (id) {
        case kFolderHostProgram:
            return CopyFolderSetting(folder, g_module.hostFolder);
        case kFolderPrivate:
            return CopyFolderSetting(folder, g_pathSettings.privateFolder);
        case kFolderTemp: {
            str temp;
            if (!CallForText(temp, kPathUnits, [](wchar_t* buffer, DWORD units) { return GetTempPathW(units, buffer); }))
                return false;
            temp.RemoveLastIf('\\');
            GetLongOrShortPath(folder, temp.Text(), kPathLongForm);
            return true;
        }
        case kFolderMedia:
            return ExpandFolderText(folder, "$windows$\\Media");
        case kFolderLibraryTemp: {
            const bool low = ModuleIntegrityLevel() == kLowIntegrity;
            str text;
            text.Build({StrPiece(low ? "$temp$\\Low\\JX" : "$temp$\\JX"),
                        StrPiece(g_pathSettings.portable ? "-portable" : "")});
            return ExpandFolderText(folder, text.Text());
        }
        case kFolderHostDrive:
            return ResolveHostDrive(folder);
        default: {
            str wide;
            if (!SHGetSpecialFolderPathW(nullptr, wide.GetWideBuffer(kPathUnits), id, FALSE)) {
                SetLastError(ERROR_PATH_NOT_FOUND);
                return false;
            }
            folder.FromWide(wide.Wide());
            return true;
        }
    }
}

// A CSIDL written as a number: the whole name, at most 0xFFFF.
bool ResolveFolderNumber(str& folder, const char* name) {
    const char* end = name;
    const unsigned id = unsigned(ParseIntEnd(name, &end));
    if (end == name || *end || id > kMaxCsidl) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    CoTaskMemory<ITEMIDLIST> idList;
    const HRESULT result = SHGetSpecialFolderLocation(nullptr, int(id), idList.Receive());
    if (FAILED(result)) {
        SetLastError(DWORD(result));
        return false;
    }
    return ShellItemIdToText(folder, idList.Get());
}

bool ResolveInto(str& folder, const char* name) {
    if (name[0] >= '0' && name[0] <= '9') return ResolveFolderNumber(folder, name);
    for (const SpecialFolder& entry : kSpecialFolders)
        if (Compare(entry.name, name, true) == 0) return ResolveFolderId(folder, entry.id);
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
}

// Looks for `name` in `folder`, or by the system's search order without one.
bool LookFor(str& found, const char* name, const char* folder) {
    str joined;
    if (folder) {
        joined.PathJoin(folder, name);
        name = joined.Text();
    }
    const WideText wide(name);
    return CallForText(found, kSearchUnits, [&wide](wchar_t* buffer, DWORD units) {
        return SearchPathW(nullptr, wide.Get(), nullptr, units, buffer, nullptr);
    });
}

// A program registered under "App Paths" (name with ".exe").
bool LookForRegisteredProgram(str& found, const str& name) {
    str key;
    key.Build({StrPiece(kAppPathsKey), StrPiece(name.Text(), name.len)});
    if (!key.EndsWithText(kProgramExtension)) key.Append(kProgramExtension);
    str program;
    if (!ReadRegistryString(program, key.Text(), nullptr, "", HKEY_LOCAL_MACHINE)) return false;
    program.Trim("\"");
    if (program.IsEmpty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    return LookFor(found, program.Text(), nullptr);
}
}  // namespace

bool ExpandEnvironmentVariables(str& out, const wchar_t* text) {
    const size_t length = wcslen(text);
    if (length >= kMaxExpandedUnits) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    DWORD units = DWORD(length + length / 2 + kExpandSlack);
    str wide;
    for (int attempt = 0; attempt < kSizingTries && units <= kMaxExpandedUnits; ++attempt) {
        const DWORD n = ExpandEnvironmentStringsW(text, wide.GetWideBuffer(int(units)), units);
        if (n == 0) return false;
        if (n <= units) {
            out.FromWide(wide.Wide());
            return true;
        }
        units = n;
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
}

const char* ExpandPath(str& out, const char* path, const char* base) {
    str result;  // `path` and `base` may lie inside `out`
    ExpandInto(result, path ? path : out.Text(), base, 0);
    out.Swap(result);
    return out.Text();
}

const char* ExpandPathIfNeeded(str& out, const char* path, const char* base) {
    if (!path) path = out.Text();
    if (StartsWithNotation(path) || (SafeLen(base) > 0 && !IsFullPath(path))) return ExpandPath(out, path, base);
    return path;
}

bool IsFullPath(const char* path) { return path && path[0] && (path[1] == ':' || path[0] == '\\'); }

bool GetFullPath(str& out, const char* path) {
    if (SafeLen(path) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    str expanded;
    const WideText wide(ExpandPathIfNeeded(expanded, path));
    return CallForText(out, kPathUnits, [&wide](wchar_t* buffer, DWORD units) {
        return GetFullPathNameW(wide.Get(), units, buffer, nullptr);
    });
}

void ToLongPathForm(str& wide) {
    if (wide.WideLength() < kLongPathFrom) return;
    const wchar_t* path = wide.Wide();
    if (wcsncmp(path, kLongPathMark, kMarkUnits) == 0 || wcsncmp(path, kDeviceMark, kMarkUnits) == 0) return;
    // The marked form is taken literally: ".", ".." and "/" are resolved first.
    const DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
    str full;
    if (needed == 0 || GetFullPathNameW(path, needed, full.GetWideBuffer(int(needed)), nullptr) >= needed) return;
    const wchar_t* f = full.Wide();
    const int bytes = int(wcslen(f) * sizeof(wchar_t));
    str marked;
    if (f[0] == L'\\' && f[1] == L'\\')
        marked.Build({WidePiece(kLongUncMark), StrPiece(reinterpret_cast<const char*>(f + 2), bytes - 4)});
    else if (f[0] && f[1] == L':')
        marked.Build({WidePiece(kLongPathMark), StrPiece(reinterpret_cast<const char*>(f), bytes)});
    else
        return;
    wide.Swap(marked);
}

void FromLongPathForm(str& out, const wchar_t* wide) {
    if (wcsncmp(wide, kLongUncMark, kUncMarkUnits) == 0) {
        str share;
        share.FromWide(wide + kUncMarkUnits);
        out.Build({StrPiece("\\\\"), StrPiece(share.Text(), share.len)});
    } else {
        out.FromWide(wcsncmp(wide, kLongPathMark, kMarkUnits) == 0 ? wide + kMarkUnits : wide);
    }
}

bool ResolveSpecialFolder(str& out, const char* name) {
    str folder;  // `name` may lie inside `out`
    bool found = false;
    if (SafeLen(name) == 0)
        SetLastError(ERROR_PATH_NOT_FOUND);
    else
        found = ResolveInto(folder, name);
    if (found)
        out.Swap(folder);
    else
        out.Empty();
    return found;
}

bool ShellItemIdToText(str& out, PCIDLIST_ABSOLUTE idList) {
    if (!idList) {
        out.Empty();
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (idList->mkid.cb >= kMinPathItemBytes) {
        ComReference<IShellItem> item;
        CoTaskMemory<wchar_t> path;
        if (SUCCEEDED(SHCreateShellItem(nullptr, nullptr, idList, item.Receive())) &&
            SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, path.Receive()))) {
            out.FromWide(path.Get());
            return true;
        }
    }
    str text(":: ");
    const BYTE* at = reinterpret_cast<const BYTE*>(&idList->mkid);
    for (bool first = true;; first = false) {
        USHORT size;
        memcpy(&size, at, sizeof size);
        if (size < sizeof size) break;  // the terminating id (or a malformed one)
        if (!first) text.AppendChar(' ');
        for (USHORT i = 0; i < size; ++i) {
            text.AppendChar(kHexDigits[at[i] >> 4]);
            text.AppendChar(kHexDigits[at[i] & 0xF]);
        }
        at += size;
    }
    out.Swap(text);
    return true;
}

bool GetLongOrShortPath(str& out, const char* path, unsigned flags) {
    str expanded;
    const char* given = ExpandPathIfNeeded(expanded, path);
    str result;
    bool ok;
    if (SafeLen(given) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        ok = false;
    } else if ((flags & kPathLongForm) && !strchr(given, '~')) {
        result.Assign(given);
        ok = true;
    } else {
        const WideText wide(given);
        if (flags & kPathLongForm) {
            ok = CallForText(result, kPathUnits, [&wide](wchar_t* buffer, DWORD units) {
                return GetLongPathNameW(wide.Get(), buffer, units);
            });
        } else {
            ok = CallForText(result, kPathUnits, [&wide](wchar_t* buffer, DWORD units) {
                return GetShortPathNameW(wide.Get(), buffer, units);
            });
            if (ok && (flags & kPathShortWithoutSpace) && strchr(result.Text(), ' ')) {
                SetLastError(ERROR_INVALID_NAME);
                ok = false;
            }
        }
    }
    if (!ok) {
        const DWORD error = GetLastError();
        result.Assign(given);
        if ((flags & (kPathLongForm | kPathShortWithoutSpace)) == kPathShortWithoutSpace && strchr(given, ' '))
            result.Surround('"');
        SetLastError(error);
    }
    out.Swap(result);
    return ok;
}

bool SearchFile(str& out, const char* name, const char* defaultFolder, unsigned flags) {
    if (SafeLen(name) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    str target;
    bool full;
    if (StartsWithNotation(name)) {
        ExpandPath(target, name);
        full = target.Text()[0] != name[0] || IsFullPath(target.Text());
    } else {
        target.Assign(name);
        full = IsFullPath(name);
    }
    if (target.Text()[0] == ':') {
        if ((flags & kSearchSpecialNames) && Hooks().ResolveSpecialFileName(target.Text())) {
            out.Swap(target);
            return true;
        }
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    int iconIndex;
    if (flags & kSearchSplitIconIndex) SplitIconIndex(target, iconIndex);

    const bool useFolder = SafeLen(defaultFolder) > 0 && !full;
    str folder;
    if (useFolder) folder.Assign(ExpandPathIfNeeded(folder, defaultFolder));
    const str& privateFolder = g_pathSettings.privateFolder;
    str found;
    bool ok = (!full && !privateFolder.IsEmpty() && LookFor(found, target.Text(), privateFolder.Text())) ||
              LookFor(found, target.Text(), useFolder ? folder.Text() : nullptr);
    if (!ok && useFolder && (flags & kSearchRetryWithoutFolder)) ok = LookFor(found, target.Text(), nullptr);
    if (!ok && SafeLen(defaultFolder) == 0 && !full) ok = LookForRegisteredProgram(found, target);
    if (ok) out.Swap(found);
    return ok;
}

bool SplitIconIndex(str& path, int& index) {
    const char* text = path.Text();
    const char* comma = strrchr(text, ',');
    if (!comma) return false;
    const char* digits = comma + 1 + (comma[1] == '-' ? 1 : 0);
    if (!*digits || digits[strspn(digits, "0123456789")] != 0) return false;
    index = ParseInt(comma + 1);
    path.FixLength(int(comma - text));
    return true;
}

const char* GetCommandLineArguments() { return g_module.commandLineArgs.Text(); }

// -- The wrappers

WidePath::WidePath(const char* path) {
    if (IS_INTRESOURCE(path)) {
        Convert(path);
        return;
    }
    if (StartsWithNotation(path)) {
        str expanded;
        Convert(ExpandPath(expanded, path));
    } else {
        Convert(path);
    }
    ToLongPathForm(wide_);
    pointer_ = wide_.Wide();
}

int MessageBoxU(HWND owner, const char* text, const char* caption, UINT type) {
    return MessageBoxW(owner, WideText(text).Get(), WideText(caption).Get(), type);
}

HWND CreateWindowExU(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, void* param) {
    return CreateWindowExW(exStyle, WideText(className).Get(), WideText(title).Get(), style, x, y, width, height,
                           parent, menu, instance ? instance : g_module.moduleInstance, param);
}

HMODULE GetModuleHandleU(const char* name) { return GetModuleHandleW(WidePath(name).Get()); }

HMODULE LoadLibraryExU(const char* name, DWORD flags) { return LoadLibraryExW(WidePath(name).Get(), nullptr, flags); }
