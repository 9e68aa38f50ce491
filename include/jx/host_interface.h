// What a host application provides to jxgrid.dll and jxplus.dll.
//
// Every export below is optional and looked up by name in the process's main
// module (GetProcAddress(GetModuleHandleA(NULL), name)) once per process.
// All functions use the C calling convention.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void* (__cdecl* JxAllocFn)(size_t size);
typedef void* (__cdecl* JxReallocFn)(void* block, size_t size);
typedef void* (__cdecl* JxCallocFn)(size_t count, size_t size);
typedef void(__cdecl* JxFreeFn)(void* block);
typedef size_t(__cdecl* JxMSizeFn)(void* block);

// The allocator every heap block of the libraries comes from, the code page
// of all 8-bit text that crosses the libraries' interfaces, and the host's
// main window. A library copies the whole record at load time.
typedef struct HostAllocTable {
    JxAllocFn alloc;      // like malloc; null on failure
    JxReallocFn realloc;  // never called with a null block
    JxCallocFn calloc;    // zero-filled block
    JxFreeFn free;        // never called with null
    JxMSizeFn msize;      // usable size of a block from alloc, realloc or calloc
    UINT codePage;        // 65001 is UTF-8; 0 is the system ANSI code page
    HWND hostWindow;      // the host's main window, or 0
} HostAllocTable;

#ifndef _WIN64
static_assert(sizeof(HostAllocTable) == 28, "HostAllocTable is 28 bytes on x86");
#endif

// "InterfaceForDll": returns the table; the library copies it at once.
typedef const HostAllocTable*(__cdecl* JxInterfaceForDllFn)(void);
// "JxSetWindowClassFlags": told right after a library registers a class.
typedef void(__cdecl* JxSetWindowClassFlagsFn)(const char* className, int flags);
// "__ImageListLoad": an image list from a text description, or 0.
typedef HIMAGELIST(__cdecl* JxImageListLoadFn)(const char* text, int flags);
// "GetFileIcon": an icon for a file path, or 0.
typedef HICON(__cdecl* JxGetFileIconFn)(const char* file, int reserved1, int reserved2);

#define JX_HOST_EXPORT_INTERFACE "InterfaceForDll"
#define JX_HOST_EXPORT_SET_CLASS_FLAGS "JxSetWindowClassFlags"
#define JX_HOST_EXPORT_IMAGE_LIST_LOAD "__ImageListLoad"
#define JX_HOST_EXPORT_GET_FILE_ICON "GetFileIcon"

// Class name of the host's main window; found with FindWindowA when the
// table carries no window.
#define JX_HOST_WINDOW_CLASS "JX_Editor"

// Code page a library uses when the host supplies no table.
#define JX_DEFAULT_CODE_PAGE 65001

// __ImageListLoad flag: the text holds several lines.
#define JX_IMAGELIST_MULTILINE 2

#ifdef __cplusplus
}
#endif
