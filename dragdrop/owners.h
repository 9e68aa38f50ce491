// Scope-bound owners for what the relay takes from the system.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <memory>
#include <utility>
#include "jx/unique_handle.h"

namespace jxdd {

using jx::UniqueHandle;

using UniqueKernelHandle = UniqueHandle<HANDLE, CloseHandle>;
using UniqueTargetDevice = UniqueHandle<DVTARGETDEVICE*, CoTaskMemFree>;

// One COM reference.
template <typename Interface>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(Interface* adopted) : pointer_(adopted) {}
    ~ComRef() {
        if (pointer_) pointer_->Release();
    }
    ComRef(ComRef&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComRef& operator=(ComRef other) noexcept {
        std::swap(pointer_, other.pointer_);
        return *this;
    }

    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // For an out-parameter; whatever was held is released first.
    Interface** Receive() {
        *this = ComRef();
        return &pointer_;
    }

private:
    Interface* pointer_ = nullptr;
};

// A storage medium that a successful IDataObject::GetData handed over.
class StorageMedium {
public:
    StorageMedium() = default;
    ~StorageMedium() {
        if (owned_) ReleaseStgMedium(&medium_);
    }
    StorageMedium(const StorageMedium&) = delete;
    StorageMedium& operator=(const StorageMedium&) = delete;

    // Filled by GetData; Adopt() only after it succeeded, since a failed
    // call hands nothing over.
    STGMEDIUM* Receive() { return &medium_; }
    void Adopt() { owned_ = true; }
    const STGMEDIUM& Get() const { return medium_; }

private:
    STGMEDIUM medium_{};
    bool owned_ = false;
};

// A lock on movable global memory; Bytes() is null when locking failed.
class GlobalMemoryLock {
public:
    explicit GlobalMemoryLock(HGLOBAL memory) : memory_(memory), bytes_(GlobalLock(memory)) {}
    ~GlobalMemoryLock() {
        if (bytes_) GlobalUnlock(memory_);
    }
    GlobalMemoryLock(const GlobalMemoryLock&) = delete;
    GlobalMemoryLock& operator=(const GlobalMemoryLock&) = delete;

    const void* Bytes() const { return bytes_; }

private:
    HGLOBAL memory_;
    void* bytes_;
};

// OLE for the calling thread.
class OleSession {
public:
    OleSession() : initialized_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~OleSession() {
        if (initialized_) OleUninitialize();
    }
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;

    bool Initialized() const { return initialized_; }

private:
    bool initialized_;
};

// A window registered as an OLE drop target.
class DropTargetRegistration {
public:
    DropTargetRegistration() = default;
    ~DropTargetRegistration() { Revoke(); }
    DropTargetRegistration(const DropTargetRegistration&) = delete;
    DropTargetRegistration& operator=(const DropTargetRegistration&) = delete;

    // Any earlier registration of the window is revoked first.
    bool Register(HWND window, IDropTarget* target) {
        Revoke();
        RevokeDragDrop(window);
        if (FAILED(RegisterDragDrop(window, target))) return false;
        window_ = window;
        return true;
    }
    void Revoke() {
        if (window_) RevokeDragDrop(std::exchange(window_, nullptr));
    }

private:
    HWND window_ = nullptr;
};

// A registered window class.
class WindowClass {
public:
    explicit WindowClass(const WNDCLASSEXA& info) : name_(info.lpszClassName), instance_(info.hInstance) {
        registered_ = RegisterClassExA(&info) != 0;
    }
    ~WindowClass() {
        if (registered_) UnregisterClassA(name_, instance_);
    }
    WindowClass(const WindowClass&) = delete;
    WindowClass& operator=(const WindowClass&) = delete;

    bool Registered() const { return registered_; }

private:
    const char* name_;
    HINSTANCE instance_;
    bool registered_;
};

// A window timer; it also ends with its window.
class WindowTimer {
public:
    WindowTimer(HWND window, UINT_PTR id, UINT milliseconds)
        : window_(window), id_(id), running_(SetTimer(window, id, milliseconds, nullptr) != 0) {}
    ~WindowTimer() {
        if (running_) KillTimer(window_, id_);
    }
    WindowTimer(const WindowTimer&) = delete;
    WindowTimer& operator=(const WindowTimer&) = delete;

    bool Running() const { return running_; }

private:
    HWND window_;
    UINT_PTR id_;
    bool running_;
};

}  // namespace jxdd
