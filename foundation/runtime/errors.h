// Error texts, the exceptions that leave a library, and the queue of
// user-facing messages sent to the host's main window.
#pragma once
#include <windows.h>
#include "jx/errors.h"
#include "text/str.h"

bool SetErrorText(const char* text);               // always false
bool FormatErrorText(const char* format, ...);     // always false
const char* GetErrorText();

[[noreturn]] void RaiseError(int code, const char* message);
[[noreturn]] void RaiseOutOfMemory();
HRESULT HResultFromLastError();

// Queues a formatted message and sends the queue to the host window.
void ReportError(const char* format, ...);
// Sends the queued messages as one WM_COPYDATA block (the default flush),
// outside the queue's lock. While another thread is sending, the block goes
// after that thread's blocks, sent by it, and this call returns at once.
void SendErrorQueue();

// A readable text for a system error (module null or a DLL name) or a C
// runtime error (module "C"), behind an optional prefix.
void FormatSystemError(str& out, const char* prefix, const char* module, DWORD code);

// Owner value of ShowMessageBox: the foreground window when it is the caller's.
inline const HWND kOwnerForeground = reinterpret_cast<HWND>(1);
int ShowMessageBox(HWND owner, UINT type, const char* format, ...);
