// Loads the probe library, leaves a thread holding the library's thread-list
// lock and ends the process with ExitProcess, which stops that thread first:
// the library's teardown must not wait for the lock. Exits with the code
// given as the argument.
#include <windows.h>
#include <stdlib.h>

namespace {
using HoldThreadList = void(__cdecl*)(HANDLE held, HANDLE release);
HoldThreadList g_hold = nullptr;
HANDLE g_held = nullptr;
HANDLE g_never = nullptr;

DWORD WINAPI HoldForever(void*) {
    g_hold(g_held, g_never);
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 1;
    HMODULE library = LoadLibraryW(L"jxprobe.dll");
    if (!library) return 2;
    g_hold = reinterpret_cast<HoldThreadList>(GetProcAddress(library, "probe_hold_thread_list"));
    g_held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!g_hold || !CreateThread(nullptr, 0, HoldForever, nullptr, 0, nullptr)) return 3;
    WaitForSingleObject(g_held, INFINITE);
    ExitProcess(UINT(atoi(argv[1])));
}
