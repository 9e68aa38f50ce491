// A std::unique_ptr over any system handle with its own release function,
// for example UniqueHandle<HICON, DestroyIcon>.
#pragma once
#include <memory>
#include <type_traits>

namespace jx {

template <typename Handle, auto Release>
struct HandleDeleter {
    void operator()(Handle handle) const { Release(handle); }
};

template <typename Handle, auto Release>
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<Handle>, HandleDeleter<Handle, Release>>;

}  // namespace jx
