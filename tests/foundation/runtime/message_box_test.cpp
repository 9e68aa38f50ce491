// Message boxes seen as a person sees them: a watcher thread finds the box,
// reads it and presses OK.
#include <gtest/gtest.h>
#include <atomic>
#include <string>
#include <thread>
#include "runtime/errors.h"
#include "runtime/module_state.h"
#include "runtime/scoped_handle.h"

namespace {

constexpr int kMessageTextId = 0xFFFF;  // the static text of a system message box

struct SeenBox {
    std::wstring text;
};

struct BoxSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindBoxOfProcess(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<BoxSearch*>(context);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (processId != search->processId || wcscmp(className, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

// Waits for a message box of `processId`, reads it and closes it with OK.
SeenBox CloseNextBox(DWORD processId) {
    SeenBox seen;
    for (int tries = 0; tries < 1000; ++tries) {
        BoxSearch search{processId, nullptr};
        EnumWindows(FindBoxOfProcess, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            wchar_t text[256] = {};
            GetDlgItemTextW(search.found, kMessageTextId, text, 256);
            seen.text = text;
            PostMessageW(search.found, WM_COMMAND, IDOK, 0);
            return seen;
        }
        Sleep(10);
    }
    return seen;
}

TEST(ShowMessageBox, FormatsTheTextInTheLibraryCodePage) {
    SeenBox seen;
    std::thread watcher([&] { seen = CloseNextBox(GetCurrentProcessId()); });
    const int pressed = ShowMessageBox(nullptr, MB_OK, "Row %d of %s: \xC3\xA4", 3, "grid");
    watcher.join();
    EXPECT_EQ(pressed, IDOK);
    EXPECT_EQ(seen.text, L"Row 3 of grid: \u00E4");
}

TEST(BindProcs, MissingRequiredPiecesEndTheProcess) {
    struct Case {
        const wchar_t* argument;
        const wchar_t* message;
    };
    for (const Case& c : {Case{L"", L"Missing function NoSuchEntry."}, Case{L"dll", L"Missing dll no-such-library."}}) {
        std::wstring commandLine = std::wstring(L"missing_entry.exe ") + c.argument;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &process));
        ScopedHandle processHandle(process.hProcess), threadHandle(process.hThread);
        const SeenBox seen = CloseNextBox(process.dwProcessId);
        EXPECT_EQ(seen.text, c.message);
        ASSERT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
        DWORD exitCode = 0;
        GetExitCodeProcess(process.hProcess, &exitCode);
        EXPECT_EQ(int(exitCode), kExitMissingEntryPoint);
    }
}

}  // namespace
