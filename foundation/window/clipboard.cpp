// Clipboard text, converted between the library code page and UTF-16.
#include "window/clipboard.h"
#include <string.h>
#include <wchar.h>
#include "runtime/module_state.h"

namespace {
// Owns a global memory block until the clipboard takes it.
class GlobalBlock {
public:
    explicit GlobalBlock(HGLOBAL block) : block_(block) {}
    ~GlobalBlock() {
        if (block_) GlobalFree(block_);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;

    HGLOBAL Get() const { return block_; }
    void Release() { block_ = nullptr; }

private:
    HGLOBAL block_;
};

// Keeps a global memory block locked for one scope.
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL block) : block_(block), data_(block ? GlobalLock(block) : nullptr) {}
    ~GlobalLockGuard() {
        if (data_) GlobalUnlock(block_);
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;

    void* Data() const { return data_; }

private:
    HGLOBAL block_;
    void* data_;
};
}  // namespace

bool ClipboardGuard::Open(HWND owner) {
    Close();
    opened_ = OpenClipboard(owner ? owner : Hooks().GetHostWindow()) != FALSE;
    return opened_;
}

bool ClipboardGuard::OpenAndEmpty(HWND owner) { return Open(owner) && EmptyClipboard(); }

void ClipboardGuard::Close() {
    if (opened_) CloseClipboard();
    opened_ = false;
}

bool SetClipboardText(const char* text) {
    if (!text) return true;
    // A byte never becomes more than one UTF-16 unit.
    const int bytes = int(strlen(text)) + 1;
    GlobalBlock block(GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size_t(bytes) * sizeof(wchar_t)));
    {
        GlobalLockGuard lock(block.Get());
        if (!lock.Data()) return false;
        auto* wide = static_cast<wchar_t*>(lock.Data());
        if (!MultiByteToWideChar(CurrentCodePage(), 0, text, bytes, wide, bytes)) wide[0] = 0;
    }
    if (!SetClipboardData(CF_UNICODETEXT, block.Get())) return false;
    block.Release();  // the clipboard owns it now
    return true;
}

bool GetClipboardText(str& out) {
    out.Empty();
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    GlobalLockGuard lock(data);
    if (!lock.Data()) return false;
    // Another program's block need not be terminated: read no further than it.
    const size_t units = GlobalSize(data) / sizeof(wchar_t);
    const auto* wide = static_cast<const wchar_t*>(lock.Data());
    out.FromWide(wide, int(wcsnlen(wide, units)));
    return true;
}

bool CopyTextToClipboard(const char* text, HWND owner) {
    ClipboardGuard clipboard;
    return clipboard.OpenAndEmpty(owner) && SetClipboardText(text);
}

bool PasteTextFromClipboard(str& out, HWND owner) {
    out.Empty();
    ClipboardGuard clipboard;
    return clipboard.Open(owner) && GetClipboardText(out);
}
