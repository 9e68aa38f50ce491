// A host whose answers the test decides: it records every relay message,
// answers drag-overs with a set value, and accepts a drag entering or a drop
// only when the test gave it a client script, which then runs on a thread of
// its own with the connected client end of the pipe.
#pragma once
#include <windows.h>
#include <stdint.h>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>
#include "editor_window.h"
#include "jx/relay_protocol.h"
#include "relay_client.h"

namespace jxdd_test {

struct RelayCall {
    WORD event;
    WORD keys;
    DWORD effects;
    bool operator==(const RelayCall&) const = default;
};

using ClientScript = std::function<void(jxhost::RelaySession&)>;

class ScriptedHost {
public:
    explicit ScriptedHost(jxhost::EditorWindow& editor);
    ~ScriptedHost();
    ScriptedHost(const ScriptedHost&) = delete;
    ScriptedHost& operator=(const ScriptedHost&) = delete;

    // For the next drag entering or drop only; without a script the host refuses.
    void AcceptNextSession(ClientScript script);
    void AnswerDragOver(int32_t answer);
    // Waits for the last script; its end of the pipe is closed then.
    void WaitForClient();
    std::vector<RelayCall> Calls() const;

private:
    static LRESULT CALLBACK Subclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self);
    LRESULT OnRelayMessage(WPARAM wParam, LPARAM lParam);

    HWND window_;
    mutable std::mutex lock_;
    std::vector<RelayCall> calls_;
    ClientScript script_;
    int32_t dragOverAnswer_ = JX_RELAY_KEEP_EFFECT;
    std::thread client_;
};

// Client scripts used by several tests.
// Reads the format list into `formats` and ends with `effect`.
ClientScript ReadFormatsAndEnd(std::vector<JxRelayFormat>& formats, DWORD effect);
ClientScript EndWith(DWORD effect);

}  // namespace jxdd_test
