// jxhost.exe, the reference host for jxgrid.dll and jxplus.dll.
//
//   jxhost [run] [--exit-after SECONDS] [--code-page N]
//   jxhost dragdrop [--exit-after SECONDS]
//   jxhost grid [--exit-after SECONDS] [--demo text|dropdown|checkbox|date|list|menu] [FILE.csv]
//   jxhost dropdown [--exit-after SECONDS] [--demo list|checks|menu|combo]
//   jxhost stem [--all-words] [--spaces] TEXT|FILE|-
//   jxhost wrap --width N [--break TEXT] [--chars TEXT] [--join] [--keep-spaces] FILE|-
//
// run: shows the JX_Editor window, loads both libraries from the program's own
// folder and reports what each took from the host allocator; at exit it
// unloads them and reports whether every block was given back (exit code 1
// when not). dragdrop: the window as the drag-and-drop relay's host. stem and
// wrap: the text functions of jxplus.dll on real text. Each subcommand is one
// line in kCommands.
#include <limits.h>
#include <stdio.h>
#include <wchar.h>
#include <array>
#include <deque>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>
#include "exit_codes.h"
#include "counting_allocator.h"
#include "dropdown_dialog.h"
#include "editor_window.h"
#include "grid_dialog.h"
#include "loaded_library.h"
#include "relay_host.h"
#include "text.h"
#include "text_commands.h"

namespace {

using jxhost::AllocDelta;
using jxhost::kExitBlocksLeft;
using jxhost::kExitNoWindow;
using jxhost::kExitOk;
using jxhost::kExitUsage;
using jxhost::LoadedLibrary;
using Args = std::span<const std::wstring_view>;


constexpr std::array<std::wstring_view, 2> kLibraryNames = {L"jxgrid.dll", L"jxplus.dll"};

void PrintLine(std::wstring_view line) {
    fputs((jxhost::Utf8FromWide(line) + "\n").c_str(), stdout);
    fflush(stdout);
}

std::optional<UINT> ParseNumber(std::wstring_view text) {
    std::wstring digits(text);
    wchar_t* end = nullptr;
    unsigned long value = wcstoul(digits.c_str(), &end, 10);
    if (digits.empty() || *end != L'\0' || value > UINT_MAX) return std::nullopt;
    return static_cast<UINT>(value);
}

std::wstring HexHandle(const void* handle) {
    std::wostringstream text;
    text << L"0x" << std::hex << std::uppercase << reinterpret_cast<uintptr_t>(handle);
    return text.str();
}

std::wstring Blocks(const AllocDelta& delta) {
    return std::to_wstring(delta.blocks) + L" blocks (" + std::to_wstring(delta.bytes) + L" bytes)";
}

std::wstring LoadOutcome(const LoadedLibrary& library) {
    if (library.Loaded()) return L"loaded, " + Blocks(library.Held()) + L" from the host allocator";
    if (GetFileAttributesW(library.Path().c_str()) == INVALID_FILE_ATTRIBUTES) return L"not found";
    return L"failed to load (error " + std::to_wstring(library.LoadError()) + L")";
}

struct RunOptions {
    UINT exitAfterSeconds = 0;  // 0: stay until closed
    UINT codePage = JX_DEFAULT_CODE_PAGE;
};

std::optional<RunOptions> ParseRunOptions(Args args) {
    RunOptions options;
    for (size_t i = 0; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) return std::nullopt;
        std::optional<UINT> value = ParseNumber(args[i + 1]);
        if (!value) return std::nullopt;
        if (args[i] == L"--exit-after")
            options.exitAfterSeconds = *value;
        else if (args[i] == L"--code-page")
            options.codePage = *value;
        else
            return std::nullopt;
    }
    return options;
}

int Run(Args args) {
    std::optional<RunOptions> options = ParseRunOptions(args);
    if (!options) return kExitUsage;

    jxhost::Allocator().SetCodePage(options->codePage);
    jxhost::EditorWindow editor;
    if (!editor.Handle()) {
        PrintLine(L"jxhost: cannot create the " JX_HOST_WINDOW_CLASS " window");
        return kExitNoWindow;
    }
    // Libraries copy the table when they load, so the window goes in first.
    jxhost::Allocator().SetHostWindow(editor.Handle());
    const HostAllocTable& table = jxhost::Allocator().Table();
    std::vector<std::wstring> status = {L"Host table: code page " + std::to_wstring(table.codePage) +
                                        L", host window " + HexHandle(table.hostWindow)};

    // Loaded in order; unloaded in reverse below, so each one's count stays its own.
    std::wstring folder = jxhost::ProgramFolder();
    std::deque<LoadedLibrary> libraries;
    for (std::wstring_view name : kLibraryNames) {
        const LoadedLibrary& library = libraries.emplace_back(folder + std::wstring(name));
        std::wstring outcome = LoadOutcome(library);
        PrintLine(std::wstring(name) + L": " + outcome);
        status.push_back(library.Path() + L": " + outcome);
    }
    status.push_back(L"");
    status.push_back(L"Errors received from the libraries:");
    editor.SetStatusLines(status);

    ShowWindow(editor.Handle(), SW_SHOWNORMAL);
    UpdateWindow(editor.Handle());
    if (options->exitAfterSeconds > 0) editor.CloseAfter(options->exitAfterSeconds);
    jxhost::RunMessageLoop(editor.Handle());

    int result = kExitOk;
    for (size_t i = libraries.size(); i-- > 0;) {
        if (!libraries[i].Loaded()) continue;
        AllocDelta left = libraries[i].Unload();
        if (left.blocks != 0) result = kExitBlocksLeft;
        PrintLine(std::wstring(kLibraryNames[i]) + L": unloaded, " + (left.blocks == 0 ? L"0 blocks" : Blocks(left)) +
                  L" left");
    }
    return result;
}

struct Command {
    std::wstring_view name;
    int (*run)(Args args);
};

constexpr Command kCommands[] = {
    {L"run", Run},
    {L"dragdrop", jxhost::RunDragDropCommand},
    {L"grid", jxhost::RunGridCommand},
    {L"dropdown", jxhost::RunDropdownCommand},
    {L"stem", jxhost::RunStemCommand},
    {L"wrap", jxhost::RunWrapCommand},
};
constexpr std::wstring_view kDefaultCommand = L"run";
constexpr std::wstring_view kOptionPrefix = L"--";

int Usage() {
    PrintLine(L"usage: jxhost [run] [--exit-after SECONDS] [--code-page N]");
    PrintLine(L"       jxhost dragdrop [--exit-after SECONDS]");
    PrintLine(L"       jxhost grid [--exit-after SECONDS] [--demo text|dropdown|checkbox|date|list|menu] [FILE.csv]");
    PrintLine(L"       jxhost dropdown [--exit-after SECONDS] [--demo list|checks|menu|combo]");
    PrintLine(L"       jxhost stem [--all-words] [--spaces] TEXT|FILE|-");
    PrintLine(L"       jxhost wrap --width N [--break TEXT] [--chars TEXT] [--join] [--keep-spaces] FILE|-");
    return kExitUsage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring_view> args(argv + 1, argv + argc);
    std::wstring_view name = kDefaultCommand;
    if (!args.empty() && !args.front().starts_with(kOptionPrefix)) {
        name = args.front();
        args.erase(args.begin());
    }
    for (const Command& command : kCommands) {
        if (command.name != name) continue;
        int result = command.run(args);
        return result == kExitUsage ? Usage() : result;
    }
    return Usage();
}
