// Files over 8-bit paths: opening with retries, the safe writer, reading,
// copying, moving, deleting and creating folders.
#include "files/files.h"
#include <limits.h>
#include <shlobj.h>
#include <string.h>
#include <wchar.h>
#include <utility>
#include <vector>
#include "runtime/errors.h"
#include "runtime/host_alloc.h"
#include "runtime/module_state.h"
#include "files/paths.h"
#include "files/wide_call.h"

namespace {
constexpr int kOpenAttempts = 5;
constexpr int kCreateFolderRetries = 10;
constexpr DWORD kRetryPauseMs = 10;
constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr char kTempSuffix[] = "-newtmp";
constexpr int kTempSuffixBytes = 2 * (sizeof kTempSuffix - 1);  // in the UTF-16 temporary path
constexpr wchar_t kBackupSuffix[] = L"-backup";
constexpr DWORD kProtectiveAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM;
constexpr DWORD kMaxWriteChunk = 1u << 30;  // WriteFile counts in 32 bits
constexpr int64_t kMaxReadBytes = INT_MAX - 16;  // what a str can hold
// The last error of CopyOrMoveFile for a source without a file name.
constexpr DWORD kNoFileNameError = DWORD(E_INVALIDARG);

void SleepPause(DWORD milliseconds) { Sleep(milliseconds); }
RetryPause g_retryPause = SleepPause;

void PauseBeforeRetry() {
    const DWORD error = GetLastError();
    g_retryPause(kRetryPauseMs);
    SetLastError(error);
}

bool IsEmptyPath(const char* path) {
    if (SafeLen(path) > 0) return false;
    SetLastError(ERROR_INVALID_PARAMETER);
    return true;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsFolderW(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

BOOL MoveFileAllowingCopy(const wchar_t* from, const wchar_t* to, DWORD flags) {
    if (!(flags & MOVEFILE_DELAY_UNTIL_REBOOT)) flags |= MOVEFILE_COPY_ALLOWED;
    return MoveFileExW(from, to, flags);
}

// Runs `operation`; when access is denied and `path` is a read-only or system
// file, clears those attributes for one more try (and restores them when that
// fails too).
template <class Operation>
bool RetryUnprotected(const wchar_t* path, Operation operation) {
    if (operation()) return true;
    if (GetLastError() != ERROR_ACCESS_DENIED) return false;
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !(attributes & kProtectiveAttributes) || !SetFileAttributesW(path, attributes & ~kProtectiveAttributes)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (operation()) return true;
    const DWORD error = GetLastError();
    SetFileAttributesW(path, attributes);
    SetLastError(error);
    return false;
}

bool DeleteFileForceW(const wchar_t* path) {
    return RetryUnprotected(path, [path] { return DeleteFileW(path) != FALSE; });
}

// -- Transactions, bound once on the first safe write that keeps a backup

struct TransactionApi {
    HANDLE(WINAPI* create)(LPSECURITY_ATTRIBUTES, LPGUID, DWORD, DWORD, DWORD, DWORD, LPWSTR) = nullptr;
    BOOL(WINAPI* commit)(HANDLE) = nullptr;
    BOOL(WINAPI* move)(LPCWSTR, LPCWSTR, LPPROGRESS_ROUTINE, LPVOID, DWORD, HANDLE) = nullptr;
};

TransactionApi BindTransactions() {
    TransactionApi api;
    if (g_module.windowsVersion < kWindowsVista ||
        !BindProcs(kBindSilent, "kernel32", {{"MoveFileTransactedW", &api.move}}) ||
        !BindProcs(kBindSilent, "KtmW32", {{"CreateTransaction", &api.create}, {"CommitTransaction", &api.commit}}))
        return {};
    return api;
}

const TransactionApi& Transactions() {
    static const TransactionApi api = BindTransactions();
    return api;
}

// target -> backup and temp -> target as one transaction. False when there
// are no transactions or it did not commit; the files are then as they were.
bool ReplaceInTransaction(const wchar_t* target, const wchar_t* backup, const wchar_t* temp) {
    const TransactionApi& api = Transactions();
    if (!api.move) return false;
    {
        ScopedHandle transaction(api.create(nullptr, nullptr, 0, 0, 0, 0, nullptr));
        if (!transaction) return false;
        if (api.move(target, backup, nullptr, nullptr, MOVEFILE_REPLACE_EXISTING, transaction.Get()) &&
            api.move(temp, target, nullptr, nullptr, MOVEFILE_REPLACE_EXISTING, transaction.Get()) &&
            api.commit(transaction.Get()))
            return true;
    }  // closing the uncommitted transaction rolls it back
    // A system that only pretends to have transactions may have done the first move.
    if (GetFileAttributesW(target) == INVALID_FILE_ATTRIBUTES && GetFileAttributesW(backup) != INVALID_FILE_ATTRIBUTES)
        MoveFileAllowingCopy(backup, target, MOVEFILE_REPLACE_EXISTING);
    return false;
}

// -- Folders

// Ends a path at one of its folders for the time of a call.
class PrefixCut {
public:
    PrefixCut(wchar_t* text, int length) : at_(text + length), saved_(*at_) { *at_ = 0; }
    ~PrefixCut() { *at_ = saved_; }
    PrefixCut(const PrefixCut&) = delete;
    PrefixCut& operator=(const PrefixCut&) = delete;

private:
    wchar_t* at_;
    wchar_t saved_;
};

// The length of the folder above the path's first `length` units; 0 when
// there is none to create (no folder part, or a drive).
int ParentLength(const wchar_t* path, int length) {
    int end = length;
    while (end > 0 && !IsSeparator(path[end - 1])) --end;
    while (end > 0 && IsSeparator(path[end - 1])) --end;
    return (end == 0 || path[end - 1] == L':') ? 0 : end;
}

// CreateDirectoryW, retried while access is denied; the error or 0.
DWORD CreateOneFolder(const wchar_t* path) {
    for (int retry = 0;; ++retry) {
        if (CreateDirectoryW(path, nullptr)) return ERROR_SUCCESS;
        const DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED || retry == kCreateFolderRetries) return error;
        PauseBeforeRetry();
    }
}

void NotifyFolderCreatedW(const wchar_t* path) { SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHW, path, nullptr); }

int FailCreateFolder(const wchar_t* folder, DWORD error, str* errorOut) {
    str text;
    FormatSystemError(text, nullptr, nullptr, error);
    if (errorOut) {
        errorOut->Swap(text);
    } else {
        str name;
        FromLongPathForm(name, folder);
        ReportError("Error: Cannot create folder '%s'. %s", name.Text(), text.Text());
    }
    SetLastError(error);
    return kFolderFailed;
}

const char* FileNamePart(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; p = NextLibraryChar(p))
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    return name;
}

bool ReadInto(str& text, const char* path, int64_t offset, int length, unsigned flags) {
    if (IsEmptyPath(path)) return false;
    if (offset < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!(flags & kReadNoHostHook) && offset == 0 && length < 0 && Hooks().ResolveSpecialFileName(path))
        return Hooks().LoadSpecialFile(path, text, flags);
    str found;
    if (flags & kReadSearchFile) {
        if (!SearchFile(found, path)) return false;
        path = found.Text();
    }
    FileHandle file;
    if (!OpenForRead(file, path)) return false;
    int64_t size = file.GetSize();
    if (size < 0) return false;
    if (offset >= size) {
        size = 0;
    } else if (offset > 0) {
        if (file.Seek(offset) < 0) return false;
        size -= offset;
    }
    if (length >= 0 && length < size) size = length;
    if (size > kMaxReadBytes) {
        SetLastError(ERROR_OUTOFMEMORY);
        return false;
    }
    DWORD read = 0;
    if (size > 0 && !ReadFile(file.Get(), text.GetBuffer(int(size)), DWORD(size), &read, nullptr)) return false;
    text.FixLength(int(read));
    return true;
}
}  // namespace

RetryPause SetRetryPause(RetryPause pause) { return std::exchange(g_retryPause, pause ? pause : SleepPause); }

ScopedHandle CreateFileRetry(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                             DWORD disposition, DWORD attributes, HANDLE templateFile) {
    if (IsEmptyPath(path)) return ScopedHandle();
    str expanded;
    const char* full = ExpandPathIfNeeded(expanded, path);
    const WidePath wide(full);
    const int attempts = strncmp(full, kDevicePrefix, sizeof kDevicePrefix - 1) == 0 ? 1 : kOpenAttempts;
    const bool creates = disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    bool lastAttempt = false;
    for (int attempt = 1;; ++attempt) {
        ScopedHandle handle(CreateFileW(wide.Get(), access, share, security, disposition, attributes, templateFile));
        if (handle || lastAttempt) return handle;
        const DWORD error = GetLastError();
        if (error == ERROR_PATH_NOT_FOUND && creates) {
            CreateParentFolder(full);
            lastAttempt = true;
        } else if ((error == ERROR_SHARING_VIOLATION || error == ERROR_USER_MAPPED_FILE) && attempt < attempts) {
            PauseBeforeRetry();
        } else {
            return handle;
        }
    }
}

HANDLE OpenFile(FileHandle& file, const char* path, DWORD access, DWORD disposition, DWORD attributes, DWORD share) {
    file.Close();
    if (IsEmptyPath(path)) return nullptr;
    // The host may prepare its special files; the name is then opened as
    // usual. One it refuses is no file: opened as a relative path, ":x" would
    // be a hidden stream of the current folder on NTFS.
    if (path[0] == ':' && !Hooks().ResolveSpecialFileName(path)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    file.handle_ = CreateFileRetry(path, access, share ? share : FILE_SHARE_READ, nullptr, disposition, attributes);
    return file.IsOpen() ? file.Get() : nullptr;
}

HANDLE OpenForRead(FileHandle& file, const char* path, DWORD share) {
    return OpenFile(file, path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                    share ? share : FILE_SHARE_READ | FILE_SHARE_WRITE);
}

HANDLE OpenForWrite(FileHandle& file, const char* path, DWORD disposition, DWORD attributes, DWORD share) {
    return OpenFile(file, path, GENERIC_WRITE, disposition, attributes, share);
}

HANDLE OpenSafeWrite(FileHandle& file, const char* path, bool keepContent, DWORD access, DWORD attributes) {
    file.Close();
    if (IsEmptyPath(path)) return nullptr;
    // Full once: the current folder may change before the commit or the
    // abandon (a file dialog changes it).
    str target;
    if (!GetFullPath(target, path)) return nullptr;
    str temp;
    temp.Build({StrPiece(target.Text(), target.len), StrPiece(kTempSuffix)});
    const bool copied = keepContent && FileExists(target.Text());
    if (copied) {
        if (!CopyOrMoveFile(target.Text(), temp.Text(), 0)) return nullptr;
        // The copy of a read-only target is read-only too and could not be written.
        const DWORD copyAttributes = GetFileAttributesU(temp.Text());
        if (copyAttributes != INVALID_FILE_ATTRIBUTES && (copyAttributes & FILE_ATTRIBUTE_READONLY))
            SetFileAttributesU(temp.Text(), copyAttributes & ~FILE_ATTRIBUTE_READONLY);
    }
    ScopedHandle handle = CreateFileRetry(temp.Text(), access ? access : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          copied ? OPEN_ALWAYS : CREATE_ALWAYS, attributes);
    if (!handle) {
        if (copied) {
            const DWORD error = GetLastError();
            DeleteFileForce(temp.Text());
            SetLastError(error);
        }
        return nullptr;
    }
    file.handle_ = std::move(handle);
    file.tempPath_.ToWide(temp.Text());
    ToLongPathForm(file.tempPath_);
    if (copied) file.Seek(0, FILE_END);
    return file.Get();
}

bool CommitSafeWrite(FileHandle& file, bool keepBackup) {
    str temp;  // taken out first, so that closing does not delete it
    temp.Swap(file.tempPath_);
    if (temp.len <= kTempSuffixBytes) {
        file.Close();
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    // A write error that shows only now (a share's delayed write, a removed
    // stick) leaves the new file incomplete: it is abandoned.
    bool written = FlushFileBuffers(file.Get()) != FALSE;
    DWORD writeError = written ? ERROR_SUCCESS : GetLastError();
    if (!file.handle_.Close() && written) {
        written = false;
        writeError = GetLastError();
    }
    if (!written) {
        DeleteFileForceW(temp.Wide());
        SetLastError(writeError);
        return false;
    }
    str target;
    target.Assign(temp.buf, 0, temp.len - kTempSuffixBytes);

    const DWORD attributes = GetFileAttributesW(target.Wide());
    const bool targetExists = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (targetExists && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesW(target.Wide(), attributes & ~FILE_ATTRIBUTE_READONLY);
        SetFileAttributesW(temp.Wide(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    str backup;
    if (keepBackup && targetExists) {
        backup.Build({StrPiece(target.buf, target.len),
                      StrPiece(reinterpret_cast<const char*>(kBackupSuffix), int(sizeof kBackupSuffix - sizeof(wchar_t)))});
        if (ReplaceInTransaction(target.Wide(), backup.Wide(), temp.Wide())) return true;
        if (!MoveFileAllowingCopy(target.Wide(), backup.Wide(), MOVEFILE_REPLACE_EXISTING)) return false;
    }
    if (MoveFileAllowingCopy(temp.Wide(), target.Wide(), MOVEFILE_REPLACE_EXISTING)) return true;
    const DWORD error = GetLastError();
    if (!backup.IsEmpty()) MoveFileAllowingCopy(backup.Wide(), target.Wide(), MOVEFILE_REPLACE_EXISTING);
    SetLastError(error);
    return false;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::move(other.handle_);
        tempPath_ = std::move(other.tempPath_);
    }
    return *this;
}

bool FileHandle::Write(const void* data, size_t size) {
    const BYTE* at = static_cast<const BYTE*>(data);
    while (size > 0) {
        const DWORD chunk = size < kMaxWriteChunk ? DWORD(size) : kMaxWriteChunk;
        DWORD written = 0;
        if (!WriteFile(handle_.Get(), at, chunk, &written, nullptr)) return false;
        if (written != chunk) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        at += chunk;
        size -= chunk;
    }
    return true;
}

int64_t FileHandle::Seek(int64_t offset, DWORD origin) {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position;
    return SetFilePointerEx(handle_.Get(), distance, &position, origin) ? position.QuadPart : -1;
}

int64_t FileHandle::GetSize() const {
    LARGE_INTEGER size;
    return GetFileSizeEx(handle_.Get(), &size) ? size.QuadPart : -1;
}

void FileHandle::Close() {
    const DWORD error = GetLastError();
    handle_.Reset();
    if (!tempPath_.IsEmpty()) {
        DeleteFileForceW(tempPath_.Wide());
        tempPath_.Clear();
    }
    SetLastError(error);
}

int ReadFileToString(str& out, const char* path, int64_t offset, int length, unsigned flags) {
    str text;  // `path` may lie inside `out`
    if (!ReadInto(text, path, offset, length, flags)) {
        const DWORD error = GetLastError();
        out.Empty();
        SetLastError(error);
        return -1;
    }
    out.Swap(text);
    return out.len;
}

int DecodeTextBytes(str& text) {
    const int n = text.len;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.Text());
    if (n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        text.Remove(0, 3);
        return kTextUtf8Marked;
    }
    if (n < 2) return kTextUnchanged;
    int start = 0;
    bool bigEndian = false;
    if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
        start = 2;
    } else if (bytes[0] == 0xFE && bytes[1] == 0xFF) {
        start = 2;
        bigEndian = true;
    } else if (bytes[0] == 0 || bytes[1] != 0) {
        return kTextUnchanged;
    }
    if (n % 2) return kTextUnchanged;
    if (bigEndian) {
        for (int i = start; i < n; i += 2) std::swap(text.buf[i], text.buf[i + 1]);
    }
    const wchar_t* units = reinterpret_cast<const wchar_t*>(text.buf + start);
    str decoded;
    decoded.FromWide(units, int(wcsnlen(units, size_t(n - start) / 2)));
    text.Swap(decoded);
    return kTextFromUtf16;
}

bool DeleteFileForce(const char* path) {
    if (IsEmptyPath(path)) return false;
    return DeleteFileForceW(WidePath(path).Get());
}

bool CopyOrMoveFile(const char* source, const char* destination, unsigned flags) {
    if (IsEmptyPath(source) || IsEmptyPath(destination)) return false;
    str from;
    from.Assign(ExpandPathIfNeeded(from, source));
    str to;
    to.Assign(ExpandPathIfNeeded(to, destination));
    if (flags & kCopyIntoFolder) {
        const char* name = FileNamePart(from.Text());
        if (!*name) {
            SetLastError(kNoFileNameError);
            return false;
        }
        str joined;
        joined.PathJoin(to.Text(), name);
        to.Swap(joined);
    }
    if (flags & kCopyCreateFolder) {
        str error;  // reported through the result and the last error only
        if (CreateParentFolder(to.Text(), &error) == kFolderFailed) return false;
    }
    const WidePath wideFrom(from.Text());
    const WidePath wideTo(to.Text());
    const bool noReplace = flags & kCopyNoReplace;
    return RetryUnprotected(wideTo.Get(), [&] {
        if (flags & kCopyMove)
            return MoveFileAllowingCopy(wideFrom.Get(), wideTo.Get(), noReplace ? 0 : MOVEFILE_REPLACE_EXISTING) != FALSE;
        return CopyFileW(wideFrom.Get(), wideTo.Get(), noReplace) != FALSE;
    });
}

int CreateFolder(const char* path, const char* base, str* errorOut) {
    if (IsEmptyPath(path)) return kFolderFailed;
    str full;
    ExpandPath(full, path, base);
    full.TrimRight("\\/");
    str wide;
    wide.ToWide(full.Text());
    ToLongPathForm(wide);
    const int length = wide.WideLength();
    if (length == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return kFolderFailed;
    }
    wchar_t* units = reinterpret_cast<wchar_t*>(wide.buf);
    if (IsFolderW(units)) return kFolderExisted;

    // The folders still to create, innermost first; each is a prefix of the
    // path. A loop rather than recursion: a hostile path may have thousands of levels.
    struct Level {
        int length;
        bool parentTried;
    };
    std::vector<Level, HostAllocator<Level>> levels{{length, false}};
    while (!levels.empty()) {
        Level& level = levels.back();
        const PrefixCut cut(units, level.length);
        const DWORD error = CreateOneFolder(units);
        if (error == ERROR_SUCCESS) {
            NotifyFolderCreatedW(units);
            levels.pop_back();
            continue;
        }
        if (error == ERROR_ALREADY_EXISTS && IsFolderW(units)) {  // made by someone else meanwhile
            if (levels.size() == 1) return kFolderExisted;
            levels.pop_back();
            continue;
        }
        if (error == ERROR_PATH_NOT_FOUND && !level.parentTried) {
            level.parentTried = true;
            const int parent = ParentLength(units, level.length);
            if (parent > 0) {
                const PrefixCut parentCut(units, parent);
                if (!IsFolderW(units)) levels.push_back({parent, false});
                continue;
            }
        }
        return FailCreateFolder(units, error, errorOut);
    }
    return kFolderCreated;
}

int CreateParentFolder(const char* path, str* errorOut) {
    if (IsEmptyPath(path)) return kFolderFailed;
    str expanded;
    str folder;
    folder.GetFolder(ExpandPathIfNeeded(expanded, path), true);
    if (folder.IsEmpty()) return kFolderExisted;
    return CreateFolder(folder.Text(), nullptr, errorOut);
}

bool FileExists(const char* path) {
    if (IsEmptyPath(path)) return false;
    const DWORD attributes = GetFileAttributesU(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const char* path) { return !IsEmptyPath(path) && IsFolderW(WidePath(path).Get()); }

void NotifyFolderCreated(const char* path) { NotifyFolderCreatedW(WidePath(path).Get()); }

// -- The file wrappers of wide_call.h

DWORD GetFileAttributesU(const char* path) { return GetFileAttributesW(WidePath(path).Get()); }

BOOL SetFileAttributesU(const char* path, DWORD attributes) {
    return SetFileAttributesW(WidePath(path).Get(), attributes);
}

BOOL DeleteFileU(const char* path) { return DeleteFileW(WidePath(path).Get()); }

BOOL MoveFileExU(const char* from, const char* to, DWORD flags) {
    return MoveFileAllowingCopy(WidePath(from).Get(), WidePath(to).Get(), flags);
}

BOOL CopyFileU(const char* from, const char* to, BOOL failIfExists) {
    return CopyFileW(WidePath(from).Get(), WidePath(to).Get(), failIfExists);
}

BOOL CreateDirectoryU(const char* path, SECURITY_ATTRIBUTES* security) {
    return CreateDirectoryW(WidePath(path).Get(), security);
}

void ShellChangeNotifyU(LONG event, UINT flags, const char* item1, const char* item2) {
    SHChangeNotify(event, (flags & ~SHCNF_TYPE) | SHCNF_PATHW, WidePath(item1).Get(), WidePath(item2).Get());
}
