// Clipboard text in the library code page.
#pragma once
#include <windows.h>
#include "text/str.h"

// Keeps the clipboard open for one scope.
class ClipboardGuard {
public:
    ClipboardGuard() = default;
    ~ClipboardGuard() { Close(); }
    ClipboardGuard(const ClipboardGuard&) = delete;
    ClipboardGuard& operator=(const ClipboardGuard&) = delete;

    // Opens with `owner`, or the host's main window when it is null.
    bool Open(HWND owner);
    // Opens and empties; true only when both succeed.
    bool OpenAndEmpty(HWND owner);
    void Close();
    bool IsOpen() const { return opened_; }

private:
    bool opened_ = false;
};

// These two need the clipboard open (and emptied for writing) by the caller.
// Null text writes nothing and returns true.
bool SetClipboardText(const char* text);
// The clipboard's text into `out` (emptied first); false when there is none.
bool GetClipboardText(str& out);

// Open, write or read, close.
bool CopyTextToClipboard(const char* text, HWND owner);
bool PasteTextFromClipboard(str& out, HWND owner);
