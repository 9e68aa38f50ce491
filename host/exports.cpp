#include "host_exports.h"
#include <shellapi.h>
#include "counting_allocator.h"
#include "handles.h"
#include "text.h"

namespace jxhost {
namespace {

struct ClassFlagsRecord {
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<WindowClassFlags> calls;
};

ClassFlagsRecord& ClassFlags() {
    static ClassFlagsRecord record;
    return record;
}

UINT TextCodePage() { return Allocator().Table().codePage; }

std::vector<std::wstring> IconPaths(const char* text, int flags) {
    std::wstring wide = WideFromCodePage(text, TextCodePage());
    if (!(flags & JX_IMAGELIST_MULTILINE)) return {wide};
    std::vector<std::wstring> paths;
    size_t start = 0;
    while (start <= wide.size()) {
        size_t end = wide.find(L'\n', start);
        if (end == std::wstring::npos) end = wide.size();
        std::wstring line = wide.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (!line.empty()) paths.push_back(std::move(line));
        start = end + 1;
    }
    return paths;
}

}  // namespace

std::vector<WindowClassFlags> WindowClassFlagsCalls() {
    ExclusiveLock lock(ClassFlags().lock);
    return ClassFlags().calls;
}

void ClearWindowClassFlagsCalls() {
    ExclusiveLock lock(ClassFlags().lock);
    ClassFlags().calls.clear();
}

}  // namespace jxhost

using namespace jxhost;

const HostAllocTable* __cdecl InterfaceForDll(void) { return &Allocator().Table(); }

void __cdecl JxSetWindowClassFlags(const char* className, int flags) {
    ExclusiveLock lock(ClassFlags().lock);
    ClassFlags().calls.push_back({className ? className : "", flags});
}

HIMAGELIST __cdecl __ImageListLoad(const char* text, int flags) {
    if (!text) return nullptr;
    std::vector<std::wstring> paths = IconPaths(text, flags);
    if (paths.empty() || paths.front().empty()) return nullptr;
    int width = GetSystemMetrics(SM_CXSMICON);
    int height = GetSystemMetrics(SM_CYSMICON);
    UniqueImageList list(ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, static_cast<int>(paths.size()), 0));
    if (!list) return nullptr;
    for (const std::wstring& path : paths) {
        UniqueIcon icon(
            static_cast<HICON>(LoadImageW(nullptr, path.c_str(), IMAGE_ICON, width, height, LR_LOADFROMFILE)));
        if (!icon || ImageList_AddIcon(list.get(), icon.get()) < 0) return nullptr;
    }
    return list.release();
}

HICON __cdecl GetFileIcon(const char* file, int, int) {
    if (!file || !*file) return nullptr;
    std::wstring path = WideFromCodePage(file, TextCodePage());
    HICON smallIcon = nullptr;
    ExtractIconExW(path.c_str(), 0, nullptr, &smallIcon, 1);
    return smallIcon;
}
