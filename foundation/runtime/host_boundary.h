// Where a call from the host ends: the library's two exceptions leave in the
// exception model of the host's compiler.
//
// Inside a library JxException and JxExceptionScriptEnd are GCC exceptions,
// so every cleanup of the library's own frames runs as they pass. Hosts come
// in two models: GCC-built ones catch exactly those, and hosts built with the
// platform's own compiler catch only the platform's C++ exceptions (code
// 0xE06D7363 with throw information); the platform's unwinder does not run
// the cleanups of GCC frames. Every entry point the host may call (the
// exports, the window procedures and hooks of the controls) runs its body
// through AtHostBoundary. For a host of the platform's model an entry catches
// the exception once the library's frames below it are gone and raises it
// again in that model when the host's code is what called it: always at the
// outermost entry of the thread, and at an inner one (a library call from a
// host callback or notification handler) when the host's frames lie between
// it and the enclosing entry. x64 reads that off the stack: between two
// entries of the library's own (its modal loops dispatching to its own
// windows) the GCC exception goes on, so the outer frames release what they
// hold. x86 cannot read its stack, and a GCC exception cannot pass the
// system's frames there: an inner entry always converts.
#pragma once
#include <windows.h>
#include <exception>
#include "jx/errors.h"

// The C++ exception model of the process's main module, fixed at start-up.
enum class HostExceptionModel : BYTE {
    kPlatform = 0,  // the platform compiler's: the usual host application
    kGnu = 1,       // built with the GNU toolchain (GCC or clang with libgcc/libunwind)
};
HostExceptionModel DetectHostExceptionModel(HMODULE mainModule);
HostExceptionModel GetHostExceptionModel();
// Set once, at start-up, from the main module.
void SetHostExceptionModel(HostExceptionModel model);

namespace host_boundary {

// Links the calling thread's entries for as long as one lasts.
class Entry {
public:
    Entry() = default;
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;
    ~Entry() { Leave(); }
    void Enter() noexcept;
    void Leave() noexcept;
    // Whether the host's code, not the library's, called this entry.
    bool CalledByHost() const;

private:
    ULONG_PTR enclosing_ = 0;  // the stack position of the enclosing entry, 0: none
    bool entered_ = false;
};

// What an entry raises once its catch clauses have ended.
class PendingException {
public:
    void Take(const JxException& error) noexcept;
    void TakeScriptEnd() noexcept { scriptEnd_ = true; }
    // Raises the exception taken in the platform's model.
    [[noreturn]] void Raise() const;

private:
    JxException error_{};
    bool scriptEnd_ = false;
};

// A failure of the library's own (any other exception): reported through the
// error queue, then the process ends.
[[noreturn]] void EndOnUnexpected(const char* what) noexcept;

}  // namespace host_boundary

// Runs `body` as a call from the host (see above) and returns its result.
template <typename Body>
auto AtHostBoundary(Body&& body) -> decltype(body()) {
    if (GetHostExceptionModel() == HostExceptionModel::kGnu) return body();
    host_boundary::Entry entry;
    entry.Enter();
    host_boundary::PendingException pending;
    try {
        return body();
    } catch (const JxException& error) {
        if (!entry.CalledByHost()) throw;
        pending.Take(error);
    } catch (const JxExceptionScriptEnd&) {
        if (!entry.CalledByHost()) throw;
        pending.TakeScriptEnd();
    } catch (const std::exception& error) {
        if (!entry.CalledByHost()) throw;
        host_boundary::EndOnUnexpected(error.what());
    } catch (...) {
        if (!entry.CalledByHost()) throw;
        host_boundary::EndOnUnexpected(nullptr);
    }
    // Raised from here, where this frame holds nothing: the host's runtime
    // unwinds it without running any cleanup of ours.
    entry.Leave();
    pending.Raise();
}
