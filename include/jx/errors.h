// Failures that leave jxgrid.dll and jxplus.dll, and the error block the
// libraries send to the host's main window.
#pragma once
#include <windows.h>
#include <stdint.h>

// Thrown by value by library code; never caught inside the libraries.
struct JxException {
    const char* message;  // 8-bit text in the library code page; null for kind 1
    int kind;             // JX_EXCEPTION_SYSTEM or JX_EXCEPTION_LIBRARY
    int code;             // system exception code, or an error code (0: out of memory)
    uintptr_t info0;      // kind 1 only: first exception parameter
    uintptr_t info1;      // kind 1 only: second exception parameter
    void* address;        // kind 1 only: where the exception occurred
};
#ifndef _WIN64
static_assert(sizeof(JxException) == 24, "JxException is 24 bytes on x86");
#endif

enum JxExceptionKind { JX_EXCEPTION_SYSTEM = 1, JX_EXCEPTION_LIBRARY = 2 };

// Error code of the out-of-memory exception ("failed to allocate memory").
#define JX_ERROR_OUT_OF_MEMORY 0

// Thrown when the running macro was asked to end (abort bit of a wait).
struct JxExceptionScriptEnd {};

// The error block: WM_COPYDATA with wParam 0 to the host window, sent
// synchronously after every queued message.
//   dwData = (code page & 0xFFFF) << 16 | JX_COPYDATA_ERROR_BLOCK
//   lpData = JxErrorBlockHeader, then count 32-bit offsets into the text
//            area, then the text area (NUL-terminated texts back to back),
//            then a final NUL byte; cbData counts all of it.
#define JX_COPYDATA_ERROR_BLOCK 3
#define JX_ERROR_BLOCK_DATA(codePage) ((((ULONG_PTR)(codePage) & 0xFFFF) << 16) | JX_COPYDATA_ERROR_BLOCK)

struct JxErrorBlockHeader {
    uint32_t count;       // number of messages
    uint32_t textLength;  // bytes in the text area
};
