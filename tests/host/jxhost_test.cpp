#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>
#include <vector>
#include "handles.h"
#include "loaded_library.h"

namespace {

using jxhost::UniqueKernelHandle;

struct ProgramRun {
    DWORD exitCode;
    std::vector<std::string> lines;
};

// Runs jxhost.exe from this program's folder and collects its standard output.
ProgramRun RunHost(const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return {GetLastError(), {}};
    UniqueKernelHandle reader(readEnd);
    UniqueKernelHandle writer(writeEnd);
    SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer.get();
    startup.hStdError = writer.get();
    std::wstring program = jxhost::ProgramFolder() + L"jxhost.exe";
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return {GetLastError(), {}};
    UniqueKernelHandle processHandle(process.hProcess);
    UniqueKernelHandle threadHandle(process.hThread);
    writer.reset();  // so that reading ends when the program exits

    std::string output;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(reader.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) output.append(buffer, read);
    WaitForSingleObject(processHandle.get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(processHandle.get(), &exitCode);

    ProgramRun run{exitCode, {}};
    std::istringstream stream(output);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        run.lines.push_back(line);
    }
    return run;
}

bool IsLoadedLine(const std::string& line, const std::string& library) {
    return std::regex_match(line, std::regex(library + R"(\.dll: loaded, \d+ blocks \(\d+ bytes\) from the host allocator)"));
}

TEST(JxHost, BindsBothLibrariesAndGetsEveryBlockBack) {
    ProgramRun run = RunHost(L"--exit-after 1");
    ASSERT_EQ(run.lines.size(), 4u) << ::testing::PrintToString(run.lines);
    EXPECT_TRUE(IsLoadedLine(run.lines[0], "jxgrid")) << run.lines[0];
    EXPECT_TRUE(IsLoadedLine(run.lines[1], "jxplus")) << run.lines[1];
    EXPECT_EQ(run.lines[2], "jxplus.dll: unloaded, 0 blocks left");
    EXPECT_EQ(run.lines[3], "jxgrid.dll: unloaded, 0 blocks left");
    EXPECT_EQ(run.exitCode, 0u);
}

TEST(JxHost, GridDialogOpensAndGetsEveryBlockBack) {
    constexpr DWORD kExitNoInput = 5;
    EXPECT_EQ(RunHost(L"grid --exit-after 1").exitCode, 0u);
    EXPECT_EQ(RunHost(L"grid Z:\\no\\such\\file.csv").exitCode, kExitNoInput);
}

TEST(JxHost, RejectsUnknownArguments) {
    constexpr DWORD kExitUsage = 2;
    for (const wchar_t* arguments : {L"--exit-after", L"--exit-after soon", L"--colour red", L"nonsense"}) {
        ProgramRun run = RunHost(arguments);
        EXPECT_EQ(run.exitCode, kExitUsage);
        ASSERT_FALSE(run.lines.empty());
        EXPECT_EQ(run.lines[0].rfind("usage: jxhost", 0), 0u);
    }
}

}  // namespace
