// Test texts that end right before a no-access page.
#pragma once
#include <windows.h>
#include <string.h>
#include <string>
#include <utility>

// A text whose terminating zero is the last byte before a no-access page, so
// that reading or writing past it faults.
class GuardedText {
public:
    explicit GuardedText(std::string text) : text_(std::move(text)) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        const size_t page = info.dwPageSize;
        const size_t size = (text_.size() + page) / page * page;
        base_ = static_cast<char*>(VirtualAlloc(nullptr, size + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        if (base_ && VirtualProtect(base_ + size, page, PAGE_NOACCESS, &old)) start_ = base_ + size - text_.size() - 1;
    }
    ~GuardedText() {
        if (base_) VirtualFree(base_, 0, MEM_RELEASE);
    }
    GuardedText(const GuardedText&) = delete;
    GuardedText& operator=(const GuardedText&) = delete;

    bool IsReady() const { return start_ != nullptr; }
    // A fresh copy for functions that write into the text.
    char* Fresh() {
        memcpy(start_, text_.c_str(), text_.size() + 1);
        return start_;
    }
    bool Holds(const char* p) const { return p >= start_ && p <= start_ + text_.size(); }

private:
    std::string text_;
    char* base_ = nullptr;
    char* start_ = nullptr;
};
