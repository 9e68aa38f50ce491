// The entry point and global allocation operators of each library. The
// library's static objects (start-up first) are built before DllMain sees
// the attach call and destroyed after the detach call.
#include <windows.h>
#include <new>
#include "runtime/host_alloc.h"
#include "runtime/module_state.h"
#include "runtime/thread_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH && g_module.startupFailed) return FALSE;
    // Teardown runs after this call; a non-null `reserved` says the process ends.
    if (reason == DLL_PROCESS_DETACH) g_module.processEnding = reserved != nullptr;
    const BOOL result = Hooks().OnDllMain(reason);
    if (reason == DLL_THREAD_DETACH) DetachCurrentThreadState();
    return result;
}

// Every object of the library lives in the host allocator.
void* operator new(size_t size) { return HostAllocOrRaise(size ? size : 1); }
void* operator new[](size_t size) { return HostAllocOrRaise(size ? size : 1); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return HostAlloc(size ? size : 1); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return HostAlloc(size ? size : 1); }
void operator delete(void* block) noexcept { HostFree(block); }
void operator delete[](void* block) noexcept { HostFree(block); }
void operator delete(void* block, size_t) noexcept { HostFree(block); }
void operator delete[](void* block, size_t) noexcept { HostFree(block); }
