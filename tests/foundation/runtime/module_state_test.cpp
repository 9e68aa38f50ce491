#include <gtest/gtest.h>
#include <string>
#include "editor_window.h"
#include "runtime/host_alloc.h"
#include "runtime/module_state.h"
#include "runtime/thread_state.h"

namespace {

TEST(ModuleState, StartupRecordsTheHostProgram) {
    EXPECT_EQ(g_module.isLibrary, 0) << "linked into the program itself";
    EXPECT_GE(g_module.windowsVersion, kWindowsVista);
    EXPECT_EQ(g_module.codePage, UINT(JX_DEFAULT_CODE_PAGE));
    EXPECT_TRUE(g_module.hostFolder.EndsWith('\\'));
    EXPECT_TRUE(g_module.hostFileName.EndsWithText("foundation_runtime_tests.exe"));
    EXPECT_EQ(std::string(g_module.hostFolder.Text()) + g_module.hostFileName.Text(), g_module.hostPath.Text());
    EXPECT_NE(GlobalFindAtomA(JX_ATOM_WIN_OBJ), 0);
    EXPECT_NE(GlobalFindAtomA(JX_ATOM_WIN_FLAGS), 0);
    EXPECT_NE(g_api.strerror, nullptr);
    EXPECT_NE(g_api.wcsftime, nullptr);
    EXPECT_NE(PeekThreadState(), nullptr) << "the loading thread is attached";
}

TEST(ModuleState, CommandLineArgumentsFollowTheProgramPath) {
    struct Case {
        const wchar_t* line;
        const wchar_t* arguments;
    };
    for (const Case& c : {Case{L"\"C:\\a b\\x.exe\" -v 2", L"-v 2"}, Case{L"C:\\x.EXE /q", L"/q"},
                          Case{L"prog arg", L"prog arg"}, Case{L"\"C:\\x.exe\"", L""}, Case{L"", L""}})
        EXPECT_STREQ(CommandLineArguments(c.line), c.arguments) << c.line;
}

TEST(BindProcs, FlagsDecideWhatAMissingPieceDoes) {
    FARPROC(WINAPI * getProcAddress)(HMODULE, LPCSTR) = nullptr;
    void (*missing)() = reinterpret_cast<void (*)()>(1);
    EXPECT_EQ(BindProcs(kBindSilent, "kernel32", {{"GetProcAddress", &getProcAddress}, {"NoSuchEntry", &missing}}),
              nullptr);
    EXPECT_EQ(BindProcs(kBindSilent, "no-such-library", {{"GetProcAddress", &getProcAddress}}), nullptr);

    missing = reinterpret_cast<void (*)()>(1);
    HMODULE kernel = BindProcs(kBindSkipMissing, "kernel32",
                               {{"NoSuchEntry", &missing}, {"GetProcAddress", &getProcAddress}, {"Skipped", nullptr}});
    EXPECT_NE(kernel, nullptr);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(getProcAddress, reinterpret_cast<decltype(getProcAddress)>(GetProcAddress(kernel, "GetProcAddress")));
}

TEST(ProcessQueries, ThisProcessByIdOrByWindow) {
    const DWORD byId = GetProcessElevation(0, kTargetIsProcessId | kWithRawElevationType);
    EXPECT_GE(byId & 0xFF, DWORD(kElevationNone));
    EXPECT_LE(byId & 0xFF, DWORD(kElevationLimited));
    EXPECT_GE(byId >> 16, 1u);
    EXPECT_LE(byId >> 16, 3u);
    jxhost::EditorWindow window;
    EXPECT_EQ(GetProcessElevation(reinterpret_cast<ULONG_PTR>(window.Handle()), 0), byId & 0xFF);
    EXPECT_EQ(GetProcessElevation(0, 0), 0u) << "no window";
    const DWORD level = GetProcessIntegrityLevel(0, kTargetIsProcessId);
    EXPECT_LE(level, 4u);
}

TEST(HostWindow, FoundByClassNameAndKept) {
    g_hostTable.hostWindow = nullptr;
    {
        jxhost::EditorWindow window;
        EXPECT_EQ(GetHostWindow(), window.Handle());
        EXPECT_EQ(g_hostTable.hostWindow, window.Handle());
    }
    g_hostTable.hostWindow = nullptr;
    EXPECT_EQ(GetHostWindow(), nullptr) << "searched again while none is found";
}

}  // namespace
