#include "scripted_host.h"
#include <commctrl.h>

namespace jxdd_test {
namespace {

constexpr UINT_PTR kSubclassId = 1;

}  // namespace

ScriptedHost::ScriptedHost(jxhost::EditorWindow& editor) : window_(editor.Handle()) {
    SetWindowSubclass(window_, Subclass, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

// Ends with the window, which removed the subclass.
ScriptedHost::~ScriptedHost() { WaitForClient(); }

void ScriptedHost::AcceptNextSession(ClientScript script) {
    std::lock_guard<std::mutex> guard(lock_);
    script_ = std::move(script);
}

void ScriptedHost::AnswerDragOver(int32_t answer) {
    std::lock_guard<std::mutex> guard(lock_);
    dragOverAnswer_ = answer;
}

void ScriptedHost::WaitForClient() {
    if (client_.joinable()) client_.join();
}

std::vector<RelayCall> ScriptedHost::Calls() const {
    std::lock_guard<std::mutex> guard(lock_);
    return calls_;
}

LRESULT CALLBACK ScriptedHost::Subclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR self) {
    if (message == JX_RELAY_MESSAGE) return reinterpret_cast<ScriptedHost*>(self)->OnRelayMessage(wParam, lParam);
    if (message == WM_NCDESTROY) RemoveWindowSubclass(window, Subclass, kSubclassId);
    return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT ScriptedHost::OnRelayMessage(WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::mutex> guard(lock_);
    const WORD event = JX_RELAY_EVENT(wParam);
    calls_.push_back({event, JX_RELAY_KEYS(wParam), JX_RELAY_EFFECTS(lParam)});
    if (event == JX_RELAY_DRAG_OVER) return dragOverAnswer_;
    if (event != JX_RELAY_DRAG_ENTER && event != JX_RELAY_DROP) return 0;
    if (!script_) return FALSE;
    jxhost::RelaySession session;
    if (!session.Connected()) return FALSE;
    WaitForClient();
    client_ = std::thread([script = std::move(script_), session = std::move(session)]() mutable { script(session); });
    script_ = nullptr;
    return TRUE;
}

ClientScript ReadFormatsAndEnd(std::vector<JxRelayFormat>& formats, DWORD effect) {
    return [&formats, effect](jxhost::RelaySession& session) {
        formats = session.ReadFormats().value_or(std::vector<JxRelayFormat>{});
        session.End(effect);
    };
}

ClientScript EndWith(DWORD effect) {
    return [effect](jxhost::RelaySession& session) {
        session.ReadFormats();
        session.End(effect);
    };
}

}  // namespace jxdd_test
