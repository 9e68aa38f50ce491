#include "loaded_library.h"
#include "counting_allocator.h"

namespace jxhost {

std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length;
    while ((length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) == path.size())
        path.resize(path.size() * 2);
    path.resize(length);
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

LoadedLibrary::LoadedLibrary(std::wstring path) : path_(std::move(path)) {
    AllocStats before = Allocator().Stats();
    blocksBefore_ = before.liveBlocks;
    bytesBefore_ = before.liveBytes;
    module_.reset(LoadLibraryW(path_.c_str()));
    if (!module_) loadError_ = GetLastError();
}

AllocDelta LoadedLibrary::Held() const {
    AllocStats now = Allocator().Stats();
    return {static_cast<long long>(now.liveBlocks) - static_cast<long long>(blocksBefore_),
            static_cast<long long>(now.liveBytes) - static_cast<long long>(bytesBefore_)};
}

AllocDelta LoadedLibrary::Unload() {
    module_.reset();
    return Held();
}

}  // namespace jxhost
