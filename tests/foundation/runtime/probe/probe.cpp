// Test entry points into a library built over the foundation exactly like
// jxgrid.dll and jxplus.dll, so that tests see start-up, thread attach and
// detach, and teardown as the host does.
#include "text/char_tables.h"
#include "runtime/errors.h"
#include "runtime/host_alloc.h"
#include "runtime/module_state.h"
#include "runtime/thread_state.h"

extern "C" {

UINT __cdecl probe_code_page() { return g_module.codePage; }

HWND __cdecl probe_host_window() { return GetHostWindow(); }

int __cdecl probe_thread_state_count() { return ThreadStateCount(); }

// Attaches the calling thread and returns its status bits.
int __cdecl probe_attach_thread() {
    ThreadState* state = GetThreadState();
    return state ? state->status : -1;
}

BYTE __cdecl probe_to_lower(BYTE c) { return g_charTables.toLower[c]; }

void __cdecl probe_report_error(const char* text) { ReportError("%s", text); }

const char* __cdecl probe_literal_text() { return "probe literal"; }

void __cdecl probe_raise(int code, const char* message) { RaiseError(code, message); }

void __cdecl probe_set_retry_pause(DWORD ms) { AllocationPacer().SetPauseStep(ms); }

// Builds a text of `n` bytes in pieces and returns its length.
int __cdecl probe_build_text(int n) {
    str text;
    for (int i = 0; i < n; ++i) text.AppendChar('x');
    str copy;
    copy.Assign(text);
    return copy.len;
}
}
