// Calls of the system's UTF-16 functions with the libraries' 8-bit text.
//
// Each text argument is converted for the one call; a path argument that
// begins with "$" or "%" is first expanded (ExpandPath). Values below 0x10000
// (resource ids, atoms) pass unchanged. The copies are owned by the wrapper's
// frame, so they are freed when the call returns or an exception passes.
#pragma once
#include <windows.h>
#include "text/wide_text.h"

// A UTF-16 copy of an 8-bit path with the "$" and "%" notation expanded.
class WidePath : public WideText {
public:
    explicit WidePath(const char* path);
};

// The wrappers: same results as the system functions. "U" marks 8-bit text
// in the library code page.
int MessageBoxU(HWND owner, const char* text, const char* caption, UINT type);
// A null instance becomes this library's.
HWND CreateWindowExU(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);

// With path expansion.
HMODULE GetModuleHandleU(const char* name);
HMODULE LoadLibraryExU(const char* name, DWORD flags);
DWORD GetFileAttributesU(const char* path);
BOOL SetFileAttributesU(const char* path, DWORD attributes);
BOOL DeleteFileU(const char* path);
// Adds MOVEFILE_COPY_ALLOWED unless MOVEFILE_DELAY_UNTIL_REBOOT is given.
BOOL MoveFileExU(const char* from, const char* to, DWORD flags);
BOOL CopyFileU(const char* from, const char* to, BOOL failIfExists);
BOOL CreateDirectoryU(const char* path, SECURITY_ATTRIBUTES* security);
// SHChangeNotify with two path items (SHCNF_PATHW is added to `flags`).
void ShellChangeNotifyU(LONG event, UINT flags, const char* item1, const char* item2);

// Without path expansion (registry key names are not file paths).
LSTATUS RegCreateKeyExU(HKEY key, const char* subkey, const char* keyClass, DWORD options, REGSAM access,
                        SECURITY_ATTRIBUTES* security, HKEY* result, DWORD* disposition);
LSTATUS RegOpenKeyExU(HKEY key, const char* subkey, DWORD options, REGSAM access, HKEY* result);
