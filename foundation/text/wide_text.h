// A UTF-16 copy of 8-bit text in the library code page, for one system call.
// Values below 0x10000 (resource ids, atoms) pass unchanged. The copy is owned
// by the object, so it is freed when the call returns or an exception passes.
#pragma once
#include <windows.h>
#include "text/str.h"

// A UTF-16 copy of 8-bit text; null stays null.
class WideText {
public:
    explicit WideText(const char* text) { Convert(text); }
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;

    const wchar_t* Get() const { return pointer_; }

protected:
    WideText() = default;
    void Convert(const char* text);

    str wide_;
    const wchar_t* pointer_ = nullptr;
};
