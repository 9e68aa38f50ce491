// Exit codes of jxhost.exe, the same for every subcommand.
#pragma once

namespace jxhost {

constexpr int kExitOk = 0;
constexpr int kExitBlocksLeft = 1;  // a library kept host-allocator blocks after unload
constexpr int kExitUsage = 2;
constexpr int kExitNoWindow = 3;
constexpr int kExitNoLibrary = 4;
constexpr int kExitNoInput = 5;

}  // namespace jxhost
