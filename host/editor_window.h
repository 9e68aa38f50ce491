// The host's main window, class "JX_Editor": the libraries find it by class
// name or through the table and send their error blocks to it. It lists every
// message received and shows what the host bound.
#pragma once
#include <windows.h>
#include <string>
#include <thread>
#include <vector>

namespace jxhost {

// One accepted WM_COPYDATA error block.
struct ErrorBlock {
    ULONG_PTR dwData;
    std::vector<std::string> messages;  // bytes exactly as sent, without their NULs
};

// Lives on the thread that creates it; Handle() is null when creation failed.
// The record of received blocks outlives the window, for tests to read.
class EditorWindow {
public:
    EditorWindow();
    ~EditorWindow();
    EditorWindow(const EditorWindow&) = delete;
    EditorWindow& operator=(const EditorWindow&) = delete;

    HWND Handle() const { return window_; }
    void SetStatusLines(const std::vector<std::wstring>& lines);
    // Posts WM_CLOSE to itself after the given time.
    void CloseAfter(UINT seconds);
    // Safe from any thread.
    std::vector<ErrorBlock> ReceivedBlocks() const;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnCopyData(const COPYDATASTRUCT& data);
    void CreateChildren();
    void Layout();

    HWND window_ = nullptr;  // destroyed with this object unless the system destroyed it first
    HWND status_ = nullptr;  // children go with the window
    HWND errors_ = nullptr;
    int statusLineCount_ = 0;
    mutable SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<ErrorBlock> received_;
};

// Dispatches the calling thread's messages until `window` is destroyed.
void RunMessageLoop(HWND window);

// An EditorWindow on a thread of its own that pumps its messages, as a host's
// UI thread does while a library sends from another thread.
class EditorThread {
public:
    EditorThread();  // throws std::runtime_error when the window cannot be created
    ~EditorThread();
    EditorThread(const EditorThread&) = delete;
    EditorThread& operator=(const EditorThread&) = delete;

    HWND Handle() const;
    std::vector<ErrorBlock> ReceivedBlocks() const;

private:
    EditorWindow* window_ = nullptr;  // owned by the thread, alive until it is joined
    std::thread thread_;
};

}  // namespace jxhost
