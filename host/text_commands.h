// `jxhost stem` and `jxhost wrap`: the text functions of jxplus.dll on text
// from the command line, a file or standard input, printed to standard output.
#pragma once
#include <span>
#include <string_view>

namespace jxhost {

// `jxhost stem [--all-words] [--spaces] TEXT|FILE|-`
int RunStemCommand(std::span<const std::wstring_view> args);

// `jxhost wrap --width N [--break TEXT] [--chars TEXT] [--join] [--keep-spaces] FILE|-`
int RunWrapCommand(std::span<const std::wstring_view> args);

}  // namespace jxhost
