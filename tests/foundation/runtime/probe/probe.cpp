// Test entry points into a library built over the foundation exactly like
// jxgrid.dll and jxplus.dll, so that tests see start-up, thread attach and
// detach, and teardown as the host does.
#include "text/char_tables.h"
#include "runtime/errors.h"
#include <stdexcept>
#include "runtime/host_alloc.h"
#include "runtime/host_boundary.h"
#include "runtime/wait_lock.h"
#include "runtime/module_state.h"
#include "runtime/thread_state.h"

extern "C" {

UINT __cdecl probe_code_page() { return g_module.codePage; }

HWND __cdecl probe_host_window() { return GetHostWindow(); }

int __cdecl probe_thread_state_count() { return ThreadStateCount(); }

// Holds the thread list's lock from `held` being set until `release` is.
void __cdecl probe_hold_thread_list(HANDLE held, HANDLE release) {
    AtHostBoundary([&] {
        LockGuard guard(ThreadListLock());
        SetEvent(held);
        WaitForSingleObject(release, INFINITE);
    });
}

// Attaches the calling thread and returns its status bits.
int __cdecl probe_attach_thread() {
    ThreadState* state = GetThreadState();
    return state ? state->status : -1;
}

BYTE __cdecl probe_to_lower(BYTE c) { return g_charTables.toLower[c]; }

void __cdecl probe_report_error(const char* text) {
    AtHostBoundary([&] { ReportError("%s", text); });
}

const char* __cdecl probe_literal_text() { return "probe literal"; }

void __cdecl probe_raise(int code, const char* message) {
    AtHostBoundary([&] { RaiseError(code, message); });
}

// Sets or clears the calling thread's abort request, as a macro host does.
void __cdecl probe_request_abort(int requested) {
    AtHostBoundary([&] {
        if (ThreadState* state = GetThreadState())
            state->status = BYTE(requested ? state->status | kThreadAbortRequested : state->status & ~kThreadAbortRequested);
    });
}

// An abortable wait of `ms` milliseconds; returns its result.
int __cdecl probe_abortable_wait(DWORD ms) {
    return AtHostBoundary([&] { return WaitAbortable(ms, nullptr); });
}

// Holds a block of the host allocator while the host's callback runs.
void __cdecl probe_hold_and_call(void(__cdecl* callback)(void*), void* context) {
    AtHostBoundary([&] {
        str held;
        held.Assign("held while the host's callback runs");
        callback(context);
    });
}

// A failure of the library's own, of a type the host does not know.
void __cdecl probe_fail_unexpectedly() {
    AtHostBoundary([] { throw std::logic_error("probe logic error"); });
}

// The exception model the library took its host for.
int __cdecl probe_host_exception_model() { return int(GetHostExceptionModel()); }

void __cdecl probe_set_retry_pause(DWORD ms) { AllocationPacer().SetPauseStep(ms); }

// Builds a text of `n` bytes in pieces and returns its length.
int __cdecl probe_build_text(int n) {
    return AtHostBoundary([&] {
        str text;
        for (int i = 0; i < n; ++i) text.AppendChar('x');
        str copy;
        copy.Assign(text);
        return copy.len;
    });
}
}
