// The functions the host exports by name for jxgrid.dll and jxplus.dll
// (see jx/host_interface.h for the contracts), and what tests can read back.
#pragma once
#include <string>
#include <vector>
#include "jx/host_interface.h"

#define JXHOST_EXPORT extern "C" __declspec(dllexport)

JXHOST_EXPORT const HostAllocTable* __cdecl InterfaceForDll(void);
JXHOST_EXPORT void __cdecl JxSetWindowClassFlags(const char* className, int flags);
// Text: one .ico path, or with JX_IMAGELIST_MULTILINE one path per line
// (CR LF or LF; blank lines skipped). Text is 8-bit in the table's code page.
// Every icon must load, else 0. The caller owns the list.
JXHOST_EXPORT HIMAGELIST __cdecl __ImageListLoad(const char* text, int flags);
// The first small icon inside the file (.ico, .exe, .dll), or 0. The caller
// owns the icon.
JXHOST_EXPORT HICON __cdecl GetFileIcon(const char* file, int reserved1, int reserved2);

namespace jxhost {

struct WindowClassFlags {
    std::string className;
    int flags;
};

// Every JxSetWindowClassFlags call so far, oldest first.
std::vector<WindowClassFlags> WindowClassFlagsCalls();
void ClearWindowClassFlagsCalls();

}  // namespace jxhost
