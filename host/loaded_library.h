// A library loaded by the host for as long as this object lives, with what it
// took from the host allocator.
#pragma once
#include <windows.h>
#include <string>
#include "handles.h"

namespace jxhost {

// The running program's folder with its trailing backslash; the host loads
// the libraries from there.
std::wstring ProgramFolder();

// Changes of the host allocator's live counts; negative when more was freed.
struct AllocDelta {
    long long blocks = 0;
    long long bytes = 0;
};

// The counts are process-wide: they tell a library's share only while no one
// else allocates from the host between the load and the reading, and with
// several libraries only when they are unloaded in reverse order.
class LoadedLibrary {
public:
    explicit LoadedLibrary(std::wstring path);
    ~LoadedLibrary() = default;  // unloads
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    const std::wstring& Path() const { return path_; }
    HMODULE Handle() const { return module_.get(); }
    bool Loaded() const { return module_ != nullptr; }
    DWORD LoadError() const { return loadError_; }  // 0 when loaded

    // Live blocks and bytes gained since just before the load.
    AllocDelta Held() const;
    // Unloads now and returns what is still held.
    AllocDelta Unload();

private:
    std::wstring path_;
    size_t blocksBefore_;
    size_t bytesBefore_;
    UniqueModule module_;
    DWORD loadError_ = 0;
};

}  // namespace jxhost
