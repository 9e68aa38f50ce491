// Files over 8-bit paths: opening with retries, the safe writer, reading a
// whole file as text, copying, moving, deleting and creating folders.
//
// Paths may use the notation of paths.h. Failures leave the system error as
// the thread's last error; an empty path fails with ERROR_INVALID_PARAMETER.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>
#include "runtime/scoped_handle.h"
#include "text/str.h"

class FileHandle;

// The pause between the retries of file operations. Tests replace it to
// count the retries (not while other threads open files); null restores the
// default (Sleep). Returns the previous one.
using RetryPause = void (*)(DWORD milliseconds);
RetryPause SetRetryPause(RetryPause pause);

// CreateFileW with retries: up to 5 attempts 10 ms apart while the file is
// in use (one for a "\\.\" device); a missing folder is created (errors
// reported to the user) before one last attempt when the disposition creates.
ScopedHandle CreateFileRetry(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                             DWORD disposition, DWORD attributes, HANDLE templateFile = nullptr);

// Opens `path` into `file` (closing what it held) and returns the handle, or
// null. A path beginning with ":" is first offered to the host's
// AppHooks::ResolveSpecialFileName, and fails with ERROR_FILE_NOT_FOUND when
// the host does not resolve it. `share` 0 means FILE_SHARE_READ.
HANDLE OpenFile(FileHandle& file, const char* path, DWORD access, DWORD disposition,
                DWORD attributes = FILE_ATTRIBUTE_NORMAL, DWORD share = 0);
// GENERIC_READ of an existing file; `share` 0 means read and write.
HANDLE OpenForRead(FileHandle& file, const char* path, DWORD share = 0);
HANDLE OpenForWrite(FileHandle& file, const char* path, DWORD disposition, DWORD attributes = FILE_ATTRIBUTE_NORMAL,
                    DWORD share = 0);

// The safe writer: the content goes to `path` + "-newtmp", which replaces
// the target only at CommitSafeWrite. With `keepContent` the temporary file
// starts as a copy of an existing target, positioned at its end.
HANDLE OpenSafeWrite(FileHandle& file, const char* path, bool keepContent = false, DWORD access = GENERIC_WRITE,
                     DWORD attributes = FILE_ATTRIBUTE_NORMAL);
// Closes the file and moves it over the target, keeping the old target as
// target + "-backup" when asked. When the final move fails, the old target is
// put back and the temporary file stays for inspection.
bool CommitSafeWrite(FileHandle& file, bool keepBackup = false);

// One open file. Closing an uncommitted safe write deletes its temporary file.
class FileHandle {
public:
    FileHandle() = default;
    ~FileHandle() { Close(); }
    FileHandle(FileHandle&&) noexcept = default;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    HANDLE Get() const { return handle_.Get(); }
    bool IsOpen() const { return bool(handle_); }
    // True when all bytes were written (0 bytes: true without a call).
    bool Write(const void* data, size_t size);
    // The new position, or -1. `origin`: FILE_BEGIN, FILE_CURRENT or FILE_END.
    int64_t Seek(int64_t offset, DWORD origin = FILE_BEGIN);
    int64_t GetSize() const;  // -1 on failure
    void Close();             // keeps the thread's last error

private:
    friend HANDLE OpenFile(FileHandle&, const char*, DWORD, DWORD, DWORD, DWORD);
    friend HANDLE OpenSafeWrite(FileHandle&, const char*, bool, DWORD, DWORD);
    friend bool CommitSafeWrite(FileHandle&, bool);

    ScopedHandle handle_;
    str tempPath_;  // UTF-16, set while a safe write is open
};

// Flags of ReadFileToString
enum ReadFileFlag : unsigned {
    kReadSearchFile = 1,  // find the file with SearchFile first
    kReadNoHostHook = 2,  // never let the host's hooks supply the content
};
// Reads `length` bytes (-1: to the end) from `offset` into `out`; returns the
// count, or -1 with `out` emptied. A whole-file read is first offered to the
// host (AppHooks slots 9 and 11).
int ReadFileToString(str& out, const char* path, int64_t offset = 0, int length = -1, unsigned flags = 0);

// Results of DecodeTextBytes
enum DecodedText : int {
    kTextUnchanged = 0,   // 8-bit text
    kTextFromUtf16 = 1,   // UTF-16 (by its mark or its zero bytes) converted to 8-bit
    kTextUtf8Marked = 2,  // the UTF-8 mark removed
};
// Turns a file's bytes into the library's 8-bit text where they tell how.
int DecodeTextBytes(str& text);

// DeleteFileW, clearing read-only and system attributes when they deny it.
bool DeleteFileForce(const char* path);

// Flags of CopyOrMoveFile
enum CopyMoveFlag : unsigned {
    kCopyNoReplace = 1,      // fail when the destination exists
    kCopyCreateFolder = 2,   // create the destination's folder first
    kCopyIntoFolder = 4,     // the destination is a folder: the source's name is appended
    kCopyMove = 0x80,        // move instead of copy
};
// A read-only or system destination has those attributes cleared for one more try.
bool CopyOrMoveFile(const char* source, const char* destination, unsigned flags = 0);

// Results of CreateFolder and CreateParentFolder
enum FolderResult : int {
    kFolderFailed = 0,
    kFolderCreated = 1,
    kFolderExisted = -1,
};
// Creates the folder `path` (relative to `base` when given) and the missing
// folders above it. A failure's text goes to `errorOut`, or without one to
// the user ("Error: Cannot create folder ...").
int CreateFolder(const char* path, const char* base = nullptr, str* errorOut = nullptr);
// CreateFolder of the folder part of `path`; kFolderExisted without one.
int CreateParentFolder(const char* path, str* errorOut = nullptr);

bool FileExists(const char* path);    // readable attributes, not a folder
bool FolderExists(const char* path);  // readable attributes of a folder

// Tells the shell that a folder was created.
void NotifyFolderCreated(const char* path);
