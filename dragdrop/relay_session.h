// The relay message to the host window, and the pipe session that follows a
// drag entering or a drop.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <stdint.h>
#include <optional>
#include "jx/relay_protocol.h"
#include "offered_formats.h"

namespace jxdd {

// Sends the relay message and returns the host's answer: the low 32 bits of
// the result, the same whether the host is a 32-bit or a 64-bit program.
// Nothing when the host did not answer within `timeoutMs` or is hung: the
// drag source's own loop waits on this call.
std::optional<int32_t> SendRelayMessage(HWND host, JxRelayEvent event, DWORD keys, DWORD allowedEffects,
                                        DWORD timeoutMs);

enum class SessionEnd {
    Refused,    // no pipe could be made, or the host answered 0
    BrokenOff,  // a record did not arrive or could not be written
    Ended,      // the host sent the end request
};

struct SessionOutcome {
    SessionEnd end;
    DWORD effect;  // the host's drop effect when Ended, else 0
};

// One session for JX_RELAY_DRAG_ENTER or JX_RELAY_DROP over formats that are
// not empty. Every storage medium and the pipe are released on return.
SessionOutcome RunSession(HWND host, JxRelayEvent event, DWORD keys, DWORD allowedEffects, IDataObject& data,
                          const OfferedFormats& formats, DWORD ioBudgetMs);

}  // namespace jxdd
