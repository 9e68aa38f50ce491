// The host for the relay tests: a JX_Editor window of the reference host on
// a thread of its own, with an attachment built on that thread (the
// reference host's RelayHost, or a ScriptedHost) that answers the relay.
#pragma once
#include <windows.h>
#include <future>
#include <stdexcept>
#include <thread>
#include "editor_window.h"

namespace jxdd_test {

template <typename Attachment>
class HostThread {
public:
    // Attachment(EditorWindow&, args...) is built on the new thread.
    template <typename... Args>
    explicit HostThread(Args... args) {
        std::promise<bool> ready;
        std::future<bool> created = ready.get_future();
        thread_ = std::thread([this, &ready, args...] {
            jxhost::EditorWindow editor;
            if (!editor.Handle()) {
                ready.set_value(false);
                return;
            }
            Attachment attachment(editor, args...);
            window_ = editor.Handle();
            attachment_ = &attachment;
            ready.set_value(true);
            jxhost::RunMessageLoop(editor.Handle());
        });
        if (!created.get()) {
            thread_.join();
            throw std::runtime_error("cannot create the host window");
        }
    }
    // Destroys the window and waits for the thread.
    ~HostThread() {
        PostMessageW(window_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    HostThread(const HostThread&) = delete;
    HostThread& operator=(const HostThread&) = delete;

    HWND Handle() const { return window_; }
    Attachment& Attached() const { return *attachment_; }

private:
    HWND window_ = nullptr;
    Attachment* attachment_ = nullptr;
    std::thread thread_;
};

}  // namespace jxdd_test
