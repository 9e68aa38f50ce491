#include <gtest/gtest.h>
#include <shlobj.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>
#include "runtime/module_state.h"
#include "files/paths.h"
#include "files/wide_call.h"

namespace {

std::string Narrow(const wchar_t* wide) {
    str text;
    text.FromWide(wide);
    return text.Text();
}

std::wstring Widen(const std::string& text) {
    str wide;
    wide.ToWide(text.c_str());
    return wide.Wide();
}

std::string Expanded(const char* path, const char* base = nullptr) {
    str out;
    return ExpandPath(out, path, base);
}

std::string SystemFolder(int csidl) {
    wchar_t buffer[MAX_PATH] = {};
    EXPECT_TRUE(SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) << csidl;
    return Narrow(buffer);
}

std::string TempFolder() {
    wchar_t temp[MAX_PATH] = {};
    wchar_t full[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    temp[wcslen(temp) - 1] = 0;
    return Narrow(GetLongPathNameW(temp, full, MAX_PATH) ? full : temp);
}

// Sets one environment variable for the test and removes it afterwards.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name_, nullptr); }

private:
    const wchar_t* name_;
};

// Replaces the process-wide path settings for one test.
class ScopedPathSettings {
public:
    ScopedPathSettings(const std::string& privateFolder, bool portable) {
        g_pathSettings.privateFolder.Assign(privateFolder.c_str());
        g_pathSettings.portable = portable;
    }
    ~ScopedPathSettings() {
        g_pathSettings.privateFolder.Clear();
        g_pathSettings.portable = false;
    }
};

// A fresh folder under the system's temporary folder, removed after the test.
class ScratchFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = TempFolder() + "\\jx-" + info->test_suite_name() + "-" + info->name();
        std::filesystem::remove_all(Widen(folder_));
        ASSERT_TRUE(std::filesystem::create_directories(Widen(folder_)));
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(Widen(folder_), ignored);
    }
    std::string Path(const std::string& name) const { return folder_ + "\\" + name; }
    void MakeFile(const std::string& name) {
        std::filesystem::create_directories(std::filesystem::path(Widen(Path(name))).parent_path());
        std::ofstream(std::filesystem::path(Widen(Path(name)))) << "x";
    }

    std::string folder_;
};

TEST(ExpandPath, ResolvesFolderNamesAndVariables) {
    const ScopedVariable variable(L"JX_TEST_VAR", L"C:\\from-variable");
    const std::string temp = TempFolder();
    const std::string hostFolder(g_module.hostFolder.Text(), size_t(g_module.hostFolder.len - 1));
    const std::string libraryTemp = temp + (ModuleIntegrityLevel() == 1 ? "\\Low\\JX" : "\\JX");
    struct Case {
        const char* path;
        const char* base;
        std::string expected;
    };
    const Case cases[] = {
        {"$Desktop$\\a.txt", nullptr, SystemFolder(CSIDL_DESKTOPDIRECTORY) + "\\a.txt"},
        {"$desktop$\\a.txt", nullptr, SystemFolder(CSIDL_DESKTOPDIRECTORY) + "\\a.txt"},
        {"$PF$", nullptr, SystemFolder(CSIDL_PROGRAM_FILES)},
        {"$Common Video$", nullptr, SystemFolder(CSIDL_COMMON_VIDEO)},
        {"$Windows$x", nullptr, SystemFolder(CSIDL_WINDOWS) + "x"},
        {"$0x24$", nullptr, SystemFolder(CSIDL_WINDOWS)},
        {"$36$\\a", nullptr, SystemFolder(CSIDL_WINDOWS) + "\\a"},
        {"$Media$", nullptr, SystemFolder(CSIDL_WINDOWS) + "\\Media"},
        {"$temp$\\a", nullptr, temp + "\\a"},
        {"$Temp JX$", nullptr, libraryTemp},
        {"$JX$\\a", nullptr, hostFolder + "\\a"},
        {"$Drive$", nullptr, hostFolder.substr(0, 2)},
        {"%JX_TEST_VAR%\\a", nullptr, "C:\\from-variable\\a"},
        {"%JX_TEST_VAR%\\a", "C:\\base", "C:\\from-variable\\a"},
        {"%TEMP%", nullptr, Narrow(_wgetenv(L"TEMP"))},
        // Unknown names stay as written; only the join with a base applies.
        {"$NoSuchFolder$\\a.txt", nullptr, "$NoSuchFolder$\\a.txt"},
        {"$36x$", nullptr, "$36x$"},
        {"$My JX$\\a", nullptr, "$My JX$\\a"},
        {"%JX_NO_SUCH_VAR%\\a", nullptr, "%JX_NO_SUCH_VAR%\\a"},
        {"%JX_NO_SUCH_VAR%\\a", "C:\\base", "C:\\base\\%JX_NO_SUCH_VAR%\\a"},
        {"rel\\a", "C:\\base\\", "C:\\base\\rel\\a"},
        {"rel", "$temp$", temp + "\\rel"},
        {"C:\\full", "C:\\base", "C:\\full"},
        {"\\rooted", "C:\\base", "\\rooted"},
        {"", nullptr, ""},
    };
    for (const Case& c : cases) EXPECT_STRCASEEQ(Expanded(c.path, c.base).c_str(), c.expected.c_str()) << c.path;
}

TEST(ExpandPath, UsesThePrivateFolderAndThePortableFlagWhenSet) {
    const ScopedPathSettings settings("C:\\private\\", true);
    EXPECT_EQ(Expanded("$MyJX$\\a"), "C:\\private\\a");
    EXPECT_STRCASEEQ(Expanded("$Temp JX$").c_str(),
                     (TempFolder() + (ModuleIntegrityLevel() == 1 ? "\\Low\\JX-portable" : "\\JX-portable")).c_str());
}

TEST(ExpandPath, WorksInPlaceAndOnlyWhenNeeded) {
    str path("$temp$\\a");
    EXPECT_STRCASEEQ(ExpandPath(path, nullptr), (TempFolder() + "\\a").c_str());
    str base("C:\\b");
    EXPECT_STREQ(ExpandPath(base, "x", base.Text()), "C:\\b\\x");

    str out("untouched");
    const char* full = "C:\\x";
    EXPECT_EQ(ExpandPathIfNeeded(out, full), full);
    EXPECT_EQ(ExpandPathIfNeeded(out, "relative"), std::string("relative"));
    EXPECT_STREQ(out.Text(), "untouched");
    EXPECT_STREQ(ExpandPathIfNeeded(out, "relative", "C:\\b"), "C:\\b\\relative");
}

TEST(ExpandPath, HostileTextNeverOverruns) {
    // A name of 40 bytes, and the longest that fits the name buffer (31).
    const std::string longName = std::string("$").append(40, 'A').append("$\\x");
    const std::string longestName = std::string("$").append(31, 'B').append("$");
    const std::string longPath(5000, 'p');
    const std::wstring big(20000, L'a');
    const ScopedVariable bigVariable(L"JX_BIG", big);
    const ScopedVariable selfVariable(L"JX_SELF", L"%JX_SELF%%JX_SELF%");
    EXPECT_EQ(Expanded(longName.c_str()), longName);
    EXPECT_EQ(Expanded(longestName.c_str()), longestName);
    EXPECT_EQ(Expanded(longPath.c_str(), "C:\\b"), "C:\\b\\" + longPath);
    EXPECT_EQ(Expanded("%JX_BIG%\\x"), Narrow(big.c_str()) + "\\x") << "a result larger than the first buffer";
    EXPECT_EQ(Expanded("%JX_BIG%%JX_BIG%"), "%JX_BIG%%JX_BIG%") << "beyond the system's limit";
    EXPECT_EQ(Expanded("%JX_SELF%").rfind("%JX_SELF%%JX_SELF%", 0), 0u) << "a self-naming value ends";
    for (const char* odd : {"$", "$$", "%", "%%", "$\\", "%a"}) EXPECT_EQ(Expanded(odd), odd);
}

TEST(IsFullPath, DriveOrLeadingBackslash) {
    for (const char* full : {"C:\\x", "x:", "\\x", "\\\\server\\share"}) EXPECT_TRUE(IsFullPath(full)) << full;
    for (const char* relative : {"x", "x\\y:", "", "/x"}) EXPECT_FALSE(IsFullPath(relative)) << relative;
    EXPECT_FALSE(IsFullPath(nullptr));
}

TEST(ResolveSpecialFolder, UnknownNamesGiveFalseAndAnEmptyResult) {
    str out("old");
    for (const char* name : {"", "No Such", "65536", "0x10000", "12abc", "JX "}) {
        EXPECT_FALSE(ResolveSpecialFolder(out, name)) << name;
        EXPECT_STREQ(out.Text(), "") << name;
    }
    EXPECT_TRUE(ResolveSpecialFolder(out, "windows"));
    EXPECT_STRCASEEQ(out.Text(), SystemFolder(CSIDL_WINDOWS).c_str());
}

TEST(ShellItemIdToText, FileSystemPathOrTheBytesAsText) {
    str out("old");
    EXPECT_FALSE(ShellItemIdToText(out, nullptr));
    EXPECT_STREQ(out.Text(), "");

    const std::string windows = SystemFolder(CSIDL_WINDOWS);
    std::unique_ptr<ITEMIDLIST, decltype(&ILFree)> folder(ILCreateFromPathW(Widen(windows).c_str()), &ILFree);
    ASSERT_NE(folder, nullptr);
    EXPECT_TRUE(ShellItemIdToText(out, folder.get()));
    EXPECT_STRCASEEQ(out.Text(), windows.c_str());

    // A first item of 2 bytes has no path: every item's bytes, items apart by a space.
    alignas(USHORT) const BYTE items[] = {2, 0, 4, 0, 0xAB, 0x0C, 0, 0};
    EXPECT_TRUE(ShellItemIdToText(out, reinterpret_cast<PCIDLIST_ABSOLUTE>(items)));
    EXPECT_STREQ(out.Text(), ":: 0200 0400AB0C");
}

TEST_F(ScratchFolderTest, SearchFileLooksInThePrivateFolderFirstThenTheDefaultFolder) {
    MakeFile("default\\only-default.txt");
    MakeFile("default\\both.txt");
    MakeFile("private\\both.txt");
    const ScopedPathSettings settings(Path("private"), false);
    const std::string folder = Path("default");
    struct Case {
        const char* name;
        const char* defaultFolder;
        unsigned flags;
        std::string expected;  // empty: not found
    };
    const Case cases[] = {
        {"only-default.txt", folder.c_str(), 0, Path("default\\only-default.txt")},
        {"both.txt", folder.c_str(), 0, Path("private\\both.txt")},
        {"both.txt,-2", folder.c_str(), kSearchSplitIconIndex, Path("private\\both.txt")},
        {"both.txt,2", folder.c_str(), 0, ""},
        {"kernel32.dll", folder.c_str(), 0, ""},
        {"kernel32.dll", folder.c_str(), kSearchRetryWithoutFolder, SystemFolder(CSIDL_SYSTEM) + "\\kernel32.dll"},
        {"kernel32.dll", nullptr, 0, SystemFolder(CSIDL_SYSTEM) + "\\kernel32.dll"},
        {"$System$\\kernel32.dll", folder.c_str(), 0, SystemFolder(CSIDL_SYSTEM) + "\\kernel32.dll"},
        {"no-such-file.txt", folder.c_str(), kSearchRetryWithoutFolder, ""},
        {":special", nullptr, kSearchSpecialNames, ""},
    };
    for (const Case& c : cases) {
        str out("untouched");
        EXPECT_EQ(SearchFile(out, c.name, c.defaultFolder, c.flags), !c.expected.empty()) << c.name;
        EXPECT_STRCASEEQ(out.Text(), c.expected.empty() ? "untouched" : c.expected.c_str()) << c.name;
    }
    str out;
    SetLastError(0);
    EXPECT_FALSE(SearchFile(out, ""));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(ScratchFolderTest, SearchFileGrowsItsBufferForLongPaths) {
    const std::string deep = std::string(200, 'a') + "\\" + std::string(200, 'b') + "\\deep.txt";
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(Widen(Path(deep))).parent_path(), error);
    if (error) GTEST_SKIP() << "the file system refuses paths of this length";
    MakeFile(deep);
    str out;
    const bool found = SearchFile(out, "deep.txt", (folder_ + "\\" + deep.substr(0, 401)).c_str());
    // The runtime's removal stops at the usual path limit.
    DeleteFileW(Widen(Path(deep)).c_str());
    RemoveDirectoryW(Widen(Path(deep.substr(0, 401))).c_str());
    RemoveDirectoryW(Widen(Path(deep.substr(0, 200))).c_str());
    EXPECT_TRUE(found);
    EXPECT_STRCASEEQ(out.Text(), Path(deep).c_str());
}

TEST_F(ScratchFolderTest, SearchFileFindsAProgramThroughItsAppPathsRegistration) {
    MakeFile("tool.bin");
    const wchar_t key[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\jx-test-tool.exe";
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) != 0)
        GTEST_SKIP() << "HKEY_LOCAL_MACHINE is not writable";
    const std::wstring value = L"\"" + Widen(Path("tool.bin")) + L"\"";
    RegSetValueExW(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);

    str viaName;
    str viaProgramName;
    str withFolder;
    const bool foundByName = SearchFile(viaName, "jx-test-tool");
    const bool foundByProgramName = SearchFile(viaProgramName, "jx-test-tool.EXE");
    const bool foundWithFolder = SearchFile(withFolder, "jx-test-tool", folder_.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key);

    EXPECT_TRUE(foundByName);
    EXPECT_STRCASEEQ(viaName.Text(), Path("tool.bin").c_str());
    EXPECT_TRUE(foundByProgramName);
    EXPECT_STRCASEEQ(viaProgramName.Text(), Path("tool.bin").c_str());
    EXPECT_FALSE(foundWithFolder) << "a default folder excludes the registration";
}

TEST_F(ScratchFolderTest, GetLongOrShortPathRoundTripsAndQuotesFailures) {
    MakeFile("long file name.txt");
    const std::string path = Path("long file name.txt");
    str shortForm;
    ASSERT_TRUE(GetLongOrShortPath(shortForm, path.c_str(), 0));
    str longForm;
    EXPECT_TRUE(GetLongOrShortPath(longForm, shortForm.Text(), kPathLongForm));
    EXPECT_STRCASEEQ(longForm.Text(), path.c_str());

    str out;
    const char* missing = "C:\\no such folder\\a b.txt";
    EXPECT_FALSE(GetLongOrShortPath(out, missing, kPathShortWithoutSpace));
    EXPECT_EQ(std::string(out.Text()), std::string("\"") + missing + "\"");
    EXPECT_FALSE(GetLongOrShortPath(out, missing, 0));
    EXPECT_STREQ(out.Text(), missing);
    EXPECT_TRUE(GetLongOrShortPath(out, missing, kPathLongForm)) << "without a \"~\" nothing is asked";
    EXPECT_STREQ(out.Text(), missing);
    EXPECT_FALSE(GetLongOrShortPath(out, "C:\\NOSUCH~1\\x", kPathLongForm));
    EXPECT_STREQ(out.Text(), "C:\\NOSUCH~1\\x");
}

TEST(SplitIconIndex, CutsACommaWithDigits) {
    struct Case {
        const char* text;
        bool split;
        const char* rest;
        int index;
    };
    for (const Case& c : {Case{"a.dll,5", true, "a.dll", 5}, Case{"a,b.dll,-12", true, "a,b.dll", -12},
                          Case{"a.dll,", false, "a.dll,", 0}, Case{"a.dll,-", false, "a.dll,-", 0},
                          Case{"a.dll,5x", false, "a.dll,5x", 0}, Case{"a.dll", false, "a.dll", 0}}) {
        str path(c.text);
        int index = 0;
        EXPECT_EQ(SplitIconIndex(path, index), c.split) << c.text;
        EXPECT_STREQ(path.Text(), c.rest);
        EXPECT_EQ(index, c.index) << c.text;
    }
}

TEST(WideCall, ConvertsTextExpandsPathsAndPassesResourceIds) {
    EXPECT_EQ(WideText(MAKEINTRESOURCEA(42)).Get(), reinterpret_cast<const wchar_t*>(42));
    EXPECT_EQ(WideText(nullptr).Get(), nullptr);
    EXPECT_STREQ(WideText("$temp$").Get(), L"$temp$") << "text is not a path";
    EXPECT_STRCASEEQ(Narrow(WidePath("$temp$").Get()).c_str(), TempFolder().c_str());

    EXPECT_EQ(GetModuleHandleU("$System$\\kernel32.dll"), GetModuleHandleW(L"kernel32.dll"));
    EXPECT_NE(GetFileAttributesU("$windows$") & FILE_ATTRIBUTE_DIRECTORY, 0u);

    std::unique_ptr<HWND__, decltype(&DestroyWindow)> window(
        CreateWindowExU(0, "STATIC", "h\xC3\xA9llo", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
        &DestroyWindow);
    ASSERT_NE(window, nullptr);
    wchar_t title[16] = {};
    GetWindowTextW(window.get(), title, 16);
    EXPECT_STREQ(title, L"h\u00E9llo");
}

}  // namespace
