#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string.h>
#include <string>
#include <vector>
#include "editor_window.h"
#include "import_patch.h"
#include "runtime/errors.h"
#include "files/files.h"
#include "runtime/host_alloc.h"
#include "files/paths.h"
#include "files/wide_call.h"

namespace {

std::wstring Widen(const std::string& text) {
    str wide;
    wide.ToWide(text.c_str());
    return wide.Wide();
}

// A fresh folder under the system's temporary folder, removed after the test.
class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        notationFolder_ = std::string("$temp$\\jx-") + info->test_suite_name() + "-" + info->name();
        str expanded;
        folder_ = ExpandPath(expanded, notationFolder_.c_str());
        RemoveAll();
        ASSERT_TRUE(std::filesystem::create_directories(Widen(folder_)));
    }
    void TearDown() override { RemoveAll(); }

    std::string Path(const std::string& name) const { return folder_ + "\\" + name; }
    void Put(const std::string& name, const std::string& content) const {
        std::ofstream(std::filesystem::path(Widen(Path(name))), std::ios::binary) << content;
    }
    std::string Content(const std::string& name) const {
        std::ifstream in(std::filesystem::path(Widen(Path(name))), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool Exists(const std::string& name) const {
        return GetFileAttributesW(Widen(Path(name)).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    std::string notationFolder_;  // the same folder written as "$temp$\..."
    std::string folder_;

private:
    void RemoveAll() const {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(Widen(folder_), ignored))
            SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        std::filesystem::remove_all(Widen(folder_), ignored);
    }
};

// The retry pause, counting instead of sleeping; it may release a held file.
int g_pauses = 0;
int g_releaseAtPause = 0;
ScopedHandle g_holder;

void CountingPause(DWORD milliseconds) {
    EXPECT_EQ(milliseconds, 10u);
    if (++g_pauses == g_releaseAtPause) g_holder.Reset();
}

class CountedPauses {
public:
    CountedPauses() : previous_(SetRetryPause(CountingPause)) { g_pauses = g_releaseAtPause = 0; }
    ~CountedPauses() {
        SetRetryPause(previous_);
        g_holder.Reset();
    }

private:
    RetryPause previous_;
};

TEST_F(FilesTest, CreateFolderMakesEveryMissingLevelOnce) {
    const std::string path = Path("a\\b\\c");
    EXPECT_EQ(CreateFolder(path.c_str()), kFolderCreated);
    EXPECT_TRUE(FolderExists(Path("a\\b").c_str()));
    EXPECT_TRUE(FolderExists(path.c_str()));
    EXPECT_FALSE(FileExists(path.c_str()));
    EXPECT_EQ(CreateFolder((path + "\\/").c_str()), kFolderExisted);

    EXPECT_EQ(CreateFolder("x\\y", notationFolder_.c_str()), kFolderCreated);
    EXPECT_TRUE(FolderExists((notationFolder_ + "\\x\\y").c_str()));

    EXPECT_EQ(CreateParentFolder(Path("p\\q\\file.txt").c_str()), kFolderCreated);
    EXPECT_TRUE(FolderExists(Path("p\\q").c_str()));
    EXPECT_FALSE(Exists("p\\q\\file.txt"));
    EXPECT_EQ(CreateParentFolder("file.txt"), kFolderExisted);

    SetLastError(0);
    EXPECT_EQ(CreateFolder(""), kFolderFailed);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(FilesTest, CreateFolderFailureGoesToTheCallerOrToTheUser) {
    Put("blocker", "x");
    const std::string path = Path("blocker\\sub");
    str error;
    EXPECT_EQ(CreateFolder(path.c_str(), nullptr, &error), kFolderFailed);
    const DWORD code = GetLastError();
    EXPECT_NE(code, 0u);
    str expected;
    FormatSystemError(expected, nullptr, nullptr, code);
    EXPECT_STREQ(error.Text(), expected.Text());

    jxhost::EditorWindow window;
    g_hostTable.hostWindow = window.Handle();
    EXPECT_EQ(CreateFolder(path.c_str()), kFolderFailed);
    g_hostTable.hostWindow = nullptr;
    const auto blocks = window.ReceivedBlocks();
    ASSERT_EQ(blocks.size(), 1u);
    ASSERT_EQ(blocks[0].messages.size(), 1u);
    const std::string& message = blocks[0].messages[0];
    EXPECT_EQ(message.rfind("Error: Cannot create folder '" + Path("blocker"), 0), 0u) << message;
    EXPECT_TRUE(message.ends_with(std::string("'. ") + expected.Text())) << message;
}

TEST(CreateFolder, WalksUpThousandsOfLevels) {
    const DWORD drives = GetLogicalDrives();
    char letter = 'Y';
    while (letter > 'D' && (drives & (1u << (letter - 'A')))) --letter;
    const std::string top = std::string(1, letter) + ":\\a";
    std::string path = top;
    for (int i = 0; i < 3000; ++i) path += "\\a";

    jxhost::EditorWindow window;
    g_hostTable.hostWindow = window.Handle();
    EXPECT_EQ(CreateFolder(path.c_str()), kFolderFailed);
    g_hostTable.hostWindow = nullptr;
    const auto blocks = window.ReceivedBlocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].messages[0].rfind("Error: Cannot create folder '" + top + "'.", 0), 0u)
        << "the folder below the missing drive";
}

TEST_F(FilesTest, CreateFileRetryTriesFiveTimesWhileAnotherHandleHoldsTheFile) {
    Put("held.txt", "x");
    const std::string path = Path("held.txt");
    const CountedPauses pauses;
    g_holder.Reset(CreateFileW(Widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(g_holder);

    ScopedHandle handle = CreateFileRetry(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0);
    EXPECT_FALSE(handle);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(g_pauses, 4) << "five attempts";

    g_pauses = 0;
    g_releaseAtPause = 2;
    handle = CreateFileRetry(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0);
    EXPECT_TRUE(handle) << "the third attempt, after the holder let go";
    EXPECT_EQ(g_pauses, 2);
}

TEST_F(FilesTest, OpenCreatesAMissingFolderOnlyWhenItCreatesTheFile) {
    const std::string path = Path("new\\deeper\\f.txt");
    FileHandle file;
    EXPECT_EQ(OpenForWrite(file, path.c_str(), OPEN_EXISTING), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(FolderExists(Path("new").c_str()));
    EXPECT_NE(OpenForWrite(file, path.c_str(), CREATE_ALWAYS), nullptr);
    EXPECT_TRUE(FileExists(path.c_str()));

    EXPECT_EQ(OpenForRead(file, ""), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(FilesTest, FileHandleWritesSeeksAndReadsBack) {
    const std::string path = Path("data.txt");
    FileHandle file;
    ASSERT_NE(OpenForWrite(file, path.c_str(), CREATE_ALWAYS), nullptr);
    EXPECT_TRUE(file.Write("", 0));
    EXPECT_TRUE(file.Write("hello", 5));
    EXPECT_EQ(file.GetSize(), 5);
    EXPECT_EQ(file.Seek(-2, FILE_END), 3);
    EXPECT_TRUE(file.Write("LO", 2));
    file.Close();
    EXPECT_EQ(file.Seek(0), -1);
    EXPECT_EQ(file.GetSize(), -1);
    EXPECT_FALSE(file.Write("x", 1));

    struct Case {
        int64_t offset;
        int length;
        const char* expected;
    };
    for (const Case& c : {Case{0, -1, "helLO"}, Case{1, 3, "elL"}, Case{3, -1, "LO"}, Case{2, 100, "lLO"},
                          Case{9, -1, ""}, Case{0, 0, ""}}) {
        str out("old");
        EXPECT_EQ(ReadFileToString(out, path.c_str(), c.offset, c.length), int(strlen(c.expected))) << c.offset;
        EXPECT_STREQ(out.Text(), c.expected) << c.offset;
    }

    g_pathSettings.privateFolder.Assign(folder_.c_str());
    str found;
    EXPECT_EQ(ReadFileToString(found, "data.txt", 0, -1, kReadSearchFile), 5);
    g_pathSettings.privateFolder.Clear();
    EXPECT_STREQ(found.Text(), "helLO");

    struct Failure {
        const char* path;
        int64_t offset;
        DWORD error;
    };
    const std::string missing = Path("missing.txt");
    for (const Failure& f : {Failure{missing.c_str(), 0, ERROR_FILE_NOT_FOUND}, Failure{"", 0, ERROR_INVALID_PARAMETER},
                             Failure{path.c_str(), -1, ERROR_INVALID_PARAMETER}}) {
        str out("old");
        EXPECT_EQ(ReadFileToString(out, f.path, f.offset), -1) << f.path;
        EXPECT_EQ(GetLastError(), f.error) << f.path;
        EXPECT_STREQ(out.Text(), "");
    }
}

TEST_F(FilesTest, SafeWriterReplacesTheTargetOnlyAtCommit) {
    const std::string target = notationFolder_ + "\\doc.txt";
    FileHandle file;
    ASSERT_NE(OpenSafeWrite(file, target.c_str()), nullptr);
    EXPECT_TRUE(file.Write("one", 3));
    EXPECT_FALSE(Exists("doc.txt"));
    EXPECT_TRUE(CommitSafeWrite(file, true));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(Content("doc.txt"), "one");
    EXPECT_FALSE(Exists("doc.txt-backup")) << "there was nothing to keep";
    EXPECT_FALSE(Exists("doc.txt-newtmp"));

    SetFileAttributesW(Widen(Path("doc.txt")).c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_NE(OpenSafeWrite(file, target.c_str(), true), nullptr) << "a copy of the read-only target to append to";
    EXPECT_TRUE(file.Write("two", 3));
    EXPECT_TRUE(CommitSafeWrite(file, true));
    EXPECT_EQ(Content("doc.txt"), "onetwo");
    EXPECT_EQ(Content("doc.txt-backup"), "one");
    EXPECT_FALSE(Exists("doc.txt-newtmp"));

    ASSERT_NE(OpenSafeWrite(file, target.c_str()), nullptr);
    EXPECT_TRUE(file.Write("abandoned", 9));
    file.Close();
    EXPECT_FALSE(Exists("doc.txt-newtmp"));
    EXPECT_EQ(Content("doc.txt"), "onetwo");

    ASSERT_NE(OpenSafeWrite(file, target.c_str()), nullptr);
    EXPECT_TRUE(file.Write("three", 5));
    EXPECT_TRUE(CommitSafeWrite(file, false));
    EXPECT_EQ(Content("doc.txt"), "three");
    EXPECT_EQ(Content("doc.txt-backup"), "one") << "no new backup was asked for";

    ASSERT_NE(OpenForRead(file, target.c_str()), nullptr);
    EXPECT_FALSE(CommitSafeWrite(file, false)) << "not a safe write";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(FilesTest, SpecialNamesTheHostRefusesAreNoFiles) {
    // The default hooks resolve no special name.
    FileHandle file;
    for (const char* name : {":stream", ":x:$DATA"}) {
        SetLastError(0);
        EXPECT_EQ(OpenForWrite(file, name, CREATE_ALWAYS), nullptr) << name;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND)) << name;
        EXPECT_EQ(OpenForRead(file, name), nullptr) << name;
    }
}

TEST_F(FilesTest, SafeWriterPutsTheOldFileBackWhenTheFinalMoveFails) {
    Put("doc.txt", "old");
    FileHandle file;
    ASSERT_NE(OpenSafeWrite(file, Path("doc.txt").c_str()), nullptr);
    EXPECT_TRUE(file.Write("new", 3));
    // A reader without delete sharing keeps the new file from being renamed.
    ScopedHandle reader(CreateFileW(Widen(Path("doc.txt-newtmp")).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader);
    EXPECT_FALSE(CommitSafeWrite(file, true));
    EXPECT_NE(GetLastError(), 0u);
    reader.Reset();
    EXPECT_EQ(Content("doc.txt"), "old");
    EXPECT_EQ(Content("doc.txt-newtmp"), "new") << "kept for inspection";
}

// The current folder for the object's life.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::string& folder) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(Widen(folder));
    }
    ~CurrentFolder() { std::filesystem::current_path(previous_); }
    void Change(const std::string& folder) const { std::filesystem::current_path(Widen(folder)); }

private:
    std::filesystem::path previous_;
};

TEST_F(FilesTest, SafeWriterOfARelativePathStaysInItsFolder) {
    ASSERT_EQ(CreateFolder(Path("elsewhere").c_str()), kFolderCreated);
    struct Case {
        bool commit;
        const char* expected;  // doc.txt afterwards
    };
    for (const Case& c : {Case{true, "new"}, Case{false, "old"}}) {
        SCOPED_TRACE(c.commit ? "commit" : "abandon");
        Put("doc.txt", "old");
        Put("elsewhere\\doc.txt", "other");
        FileHandle file;
        {
            const CurrentFolder current(folder_);
            ASSERT_NE(OpenSafeWrite(file, "doc.txt"), nullptr);
            EXPECT_TRUE(file.Write("new", 3));
            current.Change(Path("elsewhere"));  // as a file dialog does
            if (c.commit)
                EXPECT_TRUE(CommitSafeWrite(file, true));
            else
                file.Close();
        }
        EXPECT_EQ(Content("doc.txt"), c.expected);
        EXPECT_EQ(Exists("doc.txt-backup"), c.commit);
        EXPECT_FALSE(Exists("doc.txt-newtmp"));
        EXPECT_EQ(Content("elsewhere\\doc.txt"), "other");
        EXPECT_FALSE(Exists("elsewhere\\doc.txt-backup"));
        std::filesystem::remove(Widen(Path("doc.txt-backup")));
    }
}

// Runs a clean-up when the scope ends, also after a failed assertion.
class ScopeExit {
public:
    explicit ScopeExit(std::function<void()> action) : action_(std::move(action)) {}
    ~ScopeExit() { action_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    std::function<void()> action_;
};

// Windows refuses paths past MAX_PATH, and folders past 248 units, unless
// they carry the long-path mark; Wine takes them. The test program's calls
// are held to Windows' limits.
template <class F>
F* SystemFunction(const char* name) {
    return reinterpret_cast<F*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name));
}

bool PassesWindowsLimit(const wchar_t* path, size_t limit) {
    if (path && wcsncmp(path, L"\\\\?\\", 4) != 0 && wcslen(path) >= limit) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return true;
    }
    return false;
}

HANDLE WINAPI LimitedCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD attributes, HANDLE templateFile) {
    if (PassesWindowsLimit(path, MAX_PATH)) return INVALID_HANDLE_VALUE;
    return SystemFunction<decltype(CreateFileW)>("CreateFileW")(path, access, share, security, disposition,
                                                                 attributes, templateFile);
}

BOOL WINAPI LimitedCreateDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES security) {
    if (PassesWindowsLimit(path, MAX_PATH - 12)) return FALSE;
    return SystemFunction<decltype(CreateDirectoryW)>("CreateDirectoryW")(path, security);
}

BOOL WINAPI LimitedMoveFile(LPCWSTR from, LPCWSTR to, DWORD flags) {
    if (PassesWindowsLimit(from, MAX_PATH) || PassesWindowsLimit(to, MAX_PATH)) return FALSE;
    return SystemFunction<decltype(MoveFileExW)>("MoveFileExW")(from, to, flags);
}

DWORD WINAPI LimitedGetAttributes(LPCWSTR path) {
    if (PassesWindowsLimit(path, MAX_PATH)) return INVALID_FILE_ATTRIBUTES;
    return SystemFunction<decltype(GetFileAttributesW)>("GetFileAttributesW")(path);
}

class WindowsPathLimits {
public:
    bool Installed() const {
        return createFile_.Installed() && createDirectory_.Installed() && moveFile_.Installed() &&
               getAttributes_.Installed();
    }

private:
    ImportPatch createFile_{"CreateFileW", LimitedCreateFile};
    ImportPatch createDirectory_{"CreateDirectoryW", LimitedCreateDirectory};
    ImportPatch moveFile_{"MoveFileExW", LimitedMoveFile};
    ImportPatch getAttributes_{"GetFileAttributesW", LimitedGetAttributes};
};

TEST_F(FilesTest, PathsPastTheLimitTakeTheLongForm) {
    // A folder well inside the limit, and a target of 255 characters in it:
    // its "-newtmp" and "-backup" names pass MAX_PATH.
    const std::string folder = Path(std::string(150 - folder_.size(), 'f'));
    const std::string target = folder + "\\" + std::string(255 - folder.size() - 1, 't');
    // Three levels of folders that end 300 characters long.
    const std::string deep = Path(std::string(90, 'a') + "\\" + std::string(90, 'b') + "\\") +
                             std::string(300 - folder_.size() - 183, 'c');
    // The fixture's clean-up does not reach past the limit.
    const ScopeExit removeLongPaths([&] {
        auto marked = [](const std::string& path) { return L"\\\\?\\" + Widen(path); };
        DeleteFileW(marked(target).c_str());
        DeleteFileW(marked(target + "-backup").c_str());
        DeleteFileW(marked(target + "-newtmp").c_str());
        for (std::string level = deep; level.size() > folder_.size(); level.resize(level.rfind('\\')))
            RemoveDirectoryW(marked(level).c_str());
        RemoveDirectoryW(marked(folder).c_str());
    });
    ASSERT_EQ(target.size(), 255u);
    ASSERT_EQ(deep.size(), 300u);
    ASSERT_EQ(CreateFolder(folder.c_str()), kFolderCreated);
    Put(target.substr(folder_.size() + 1), "old");
    {
        const WindowsPathLimits limits;
        ASSERT_TRUE(limits.Installed());
        FileHandle file;
        ASSERT_NE(OpenSafeWrite(file, target.c_str()), nullptr);
        EXPECT_TRUE(file.Write("new", 3));
        EXPECT_TRUE(CommitSafeWrite(file, true));
        EXPECT_TRUE(FileExists((target + "-backup").c_str()));
        EXPECT_FALSE(FileExists((target + "-newtmp").c_str()));

        EXPECT_EQ(CreateFolder(deep.c_str()), kFolderCreated);
        EXPECT_TRUE(FolderExists(deep.c_str()));
    }
    EXPECT_EQ(Content(target.substr(folder_.size() + 1)), "new");
    EXPECT_EQ(Content(target.substr(folder_.size() + 1) + "-backup"), "old");
}

TEST(ToLongPathForm, MarksOnlyFullPathsPastTheLimit) {
    const std::wstring name(260, L'n');
    struct Case {
        std::wstring path;
        std::wstring marked;
        std::wstring written;  // as FromLongPathForm gives it back
    };
    const Case cases[] = {
        {L"C:\\short\\name.txt", L"C:\\short\\name.txt", L"C:\\short\\name.txt"},
        {L"C:\\" + name, L"\\\\?\\C:\\" + name, L"C:\\" + name},
        {L"C:\\x\\.\\y\\..\\" + name + L"/z", L"\\\\?\\C:\\x\\" + name + L"\\z", L"C:\\x\\" + name + L"\\z"},
        {L"\\\\server\\share\\" + name, L"\\\\?\\UNC\\server\\share\\" + name, L"\\\\server\\share\\" + name},
        {L"\\\\?\\C:\\" + name, L"\\\\?\\C:\\" + name, L"C:\\" + name},
        {L"\\\\.\\pipe\\" + name, L"\\\\.\\pipe\\" + name, L"\\\\.\\pipe\\" + name},
    };
    for (const Case& c : cases) {
        str wide;
        wide.Build({StrPiece(reinterpret_cast<const char*>(c.path.c_str()), int(c.path.size() * sizeof(wchar_t)))});
        ToLongPathForm(wide);
        EXPECT_EQ(std::wstring(wide.Wide()), c.marked);
        str written;
        FromLongPathForm(written, wide.Wide());
        EXPECT_EQ(Widen(written.Text()), c.written);
    }
}

// Write errors that the system reports only when the data goes to the disk.
constexpr DWORD kDelayedWriteError = ERROR_NETNAME_DELETED;

BOOL WINAPI FailingFlush(HANDLE) {
    SetLastError(kDelayedWriteError);
    return FALSE;
}

BOOL WINAPI FailingClose(HANDLE handle) {
    SystemFunction<decltype(CloseHandle)>("CloseHandle")(handle);
    SetLastError(kDelayedWriteError);
    return FALSE;
}

TEST_F(FilesTest, SafeWriterLeavesTheTargetWhenTheDataDoesNotReachTheDisk) {
    struct Case {
        const char* function;
        BOOL(WINAPI* failing)(HANDLE);
    };
    for (const Case& c : {Case{"FlushFileBuffers", FailingFlush}, Case{"CloseHandle", FailingClose}}) {
        SCOPED_TRACE(c.function);
        Put("doc.txt", "old");
        FileHandle file;
        ASSERT_NE(OpenSafeWrite(file, Path("doc.txt").c_str()), nullptr);
        EXPECT_TRUE(file.Write("new", 3));
        bool committed = true;
        {
            const ImportPatch failure(c.function, c.failing);
            ASSERT_TRUE(failure.Installed());
            committed = CommitSafeWrite(file, true);
        }
        EXPECT_FALSE(committed);
        EXPECT_EQ(GetLastError(), kDelayedWriteError);
        EXPECT_EQ(Content("doc.txt"), "old");
        EXPECT_FALSE(Exists("doc.txt-backup"));
        EXPECT_FALSE(Exists("doc.txt-newtmp")) << "abandoned";
    }
}

TEST(DecodeTextBytes, FollowsTheMarksAndZeroBytes) {
    struct Case {
        std::string bytes;
        int result;
        std::string text;
    };
    const Case cases[] = {
        {std::string("\xFF\xFE\x41\x00", 4), kTextFromUtf16, "A"},
        {std::string("\x41\x00\x42\x00", 4), kTextFromUtf16, "AB"},
        {std::string("\xFE\xFF\x00\x41\x00\xE9", 6), kTextFromUtf16, "A\xC3\xA9"},
        {std::string("\x41\x00\x00\x00\x42\x00", 6), kTextFromUtf16, "A"},
        {std::string("\xFF\xFE", 2), kTextFromUtf16, ""},
        {"\xEF\xBB\xBF" "AB", kTextUtf8Marked, "AB"},
        {"AB", kTextUnchanged, "AB"},
        {"\xEF\xBB" "A", kTextUnchanged, "\xEF\xBB" "A"},
        {std::string("\xFF\xFE\x41", 3), kTextUnchanged, std::string("\xFF\xFE\x41", 3)},
        {std::string("\x00\x41", 2), kTextUnchanged, std::string("\x00\x41", 2)},
        {"A", kTextUnchanged, "A"},
        {"", kTextUnchanged, ""},
    };
    for (const Case& c : cases) {
        str text;
        text.Assign(c.bytes.data(), 0, int(c.bytes.size()));
        EXPECT_EQ(DecodeTextBytes(text), c.result) << testing::PrintToString(c.bytes);
        EXPECT_EQ(std::string(text.Text(), size_t(text.len)), c.text) << testing::PrintToString(c.bytes);
    }
}

TEST_F(FilesTest, DeleteFileForceClearsReadOnly) {
    Put("ro.txt", "x");
    const std::string path = Path("ro.txt");
    SetFileAttributesW(Widen(path).c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(DeleteFileU(path.c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(DeleteFileForce(path.c_str()));
    EXPECT_FALSE(Exists("ro.txt"));

    EXPECT_FALSE(DeleteFileForce(path.c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DeleteFileForce(""));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(FilesTest, CopyOrMoveFileFollowsItsFlags) {
    Put("src.txt", "data");
    Put("other.txt", "other");
    const std::string source = Path("src.txt");
    EXPECT_TRUE(CopyOrMoveFile(source.c_str(), Path("copy.txt").c_str()));
    EXPECT_EQ(Content("copy.txt"), "data");

    EXPECT_FALSE(CopyOrMoveFile(source.c_str(), Path("other.txt").c_str(), kCopyNoReplace));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
    EXPECT_EQ(Content("other.txt"), "other");
    SetFileAttributesW(Widen(Path("other.txt")).c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(CopyOrMoveFile(source.c_str(), Path("other.txt").c_str())) << "over a read-only destination";
    EXPECT_EQ(Content("other.txt"), "data");

    EXPECT_TRUE(CopyOrMoveFile(source.c_str(), Path("into\\folder").c_str(), kCopyIntoFolder | kCopyCreateFolder));
    EXPECT_EQ(Content("into\\folder\\src.txt"), "data");
    EXPECT_TRUE(CopyOrMoveFile(source.c_str(), (notationFolder_ + "\\moved.txt").c_str(), kCopyMove));
    EXPECT_FALSE(Exists("src.txt"));
    EXPECT_EQ(Content("moved.txt"), "data");

    EXPECT_FALSE(CopyOrMoveFile(Path("folder\\").c_str(), folder_.c_str(), kCopyIntoFolder));
    EXPECT_EQ(GetLastError(), DWORD(E_INVALIDARG)) << "a source without a file name";
}

}  // namespace
