// The mouse-capture loop of drags and tracking: a nested message loop on the
// thread of `window` that reports mouse and key events until a button
// release, Escape or the loss of the capture ends it.
#pragma once
#include <windows.h>

// Bits of CaptureLoop::stopButtons and values of endedByButton
enum CaptureStopButton : DWORD {
    kStopOnLeftUp = 1,
    kStopOnRightUp = 2,
};

// Drag cursor numbers for CaptureLoop::cursor and GetDragCursor (the cursors
// of the system's "ole32"); kDragCursorHidden and kDragCursorHiddenToo hide it.
enum DragCursor : int {
    kDragCursorMove = 1,
    kDragCursorCopy = 2,
    kDragCursorNoDrop = 3,
    kDragCursorLink = 4,
    kDragCursorHidden = 5,
    kDragCursorHiddenToo = 6,
};
// The drag cursor of that number, or null (also for the hidden numbers).
HCURSOR GetDragCursor(int number);

// Owned by the caller for one drag; holds the capture from the first Next()
// until a call returns false, and releases it if destroyed before that.
struct CaptureLoop {
    HWND window = nullptr;   // holds the capture
    DWORD stopButtons = 0;   // CaptureStopButton bits whose release ends the loop
    BYTE captured = 0;       // the loop has set the capture
    BYTE endedByButton = 0;  // after the end: the CaptureStopButton bit that ended it, 0 for cancel
    ULONG_PTR cursor = 0;    // set on the next call: 0 none, a DragCursor number, else an HCURSOR
    POINT point = {};        // client coordinates of `window` at the last event
    DWORD keys = 0;          // MK_SHIFT and MK_CONTROL at the last event
    MSG msg = {};            // the last message taken from the queue

    CaptureLoop() = default;
    CaptureLoop(HWND captureWindow, DWORD stopOn) : window(captureWindow), stopButtons(stopOn) {}
    ~CaptureLoop();
    CaptureLoop(const CaptureLoop&) = delete;
    CaptureLoop& operator=(const CaptureLoop&) = delete;

    // True for each mouse or key event; false once the loop has ended.
    bool Next();

private:
    bool End();
};
