// Scope-bound owners of kernel and GDI handles.
#pragma once
#include <windows.h>
#include <utility>
#include "jx/unique_handle.h"

// Owns a kernel handle; null and INVALID_HANDLE_VALUE both mean none.
class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    HANDLE Get() const { return handle_; }
    HANDLE* Receive() {
        Reset();
        return &handle_;
    }
    explicit operator bool() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle = nullptr) {
        if (*this) CloseHandle(handle_);
        handle_ = handle;
    }
    // Closes now; false, with the system's error, when closing failed.
    bool Close() {
        const bool closed = !*this || CloseHandle(handle_);
        handle_ = nullptr;
        return closed;
    }

private:
    HANDLE handle_ = nullptr;
};

// A LocalAlloc block, and a loaded library.
using UniqueLocal = jx::UniqueHandle<HLOCAL, LocalFree>;
using UniqueModule = jx::UniqueHandle<HMODULE, FreeLibrary>;
