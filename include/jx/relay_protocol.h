// The contract between jxdd.exe, the drag-and-drop relay, and the host
// application: the relay message sent to the host window and the records of
// the pipe session that follows a drag entering and a drop.
//
// One wire format on both architectures: every integer is 32-bit
// little-endian, the records below have the same size and layout for a
// 32-bit and a 64-bit relay or host, and a 32-bit host understands a 64-bit
// relay and the reverse.
#pragma once
#include <windows.h>
#include <assert.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Class name of the relay's window, which the host shows over the area
// where it wants drops.
#define JX_RELAY_WINDOW_CLASS "JX_VistaDD"

// Sent to the host window, synchronously:
//   wParam = JX_RELAY_WPARAM(event, key state as MK_ flags)
//   lParam = the drag source's allowed effects (DROPEFFECT bits)
// The host answers with the low 32 bits of its return value:
//   JX_RELAY_DRAG_ENTER, JX_RELAY_DROP: nonzero accepts the session that
//     follows (the host has opened the pipe's client end by then), 0 refuses
//   JX_RELAY_DRAG_OVER: the effect to show, or JX_RELAY_KEEP_EFFECT
//   JX_RELAY_DRAG_LEAVE: ignored; key state and effects are 0
#define JX_RELAY_MESSAGE (WM_USER + 65)

enum JxRelayEvent {
    JX_RELAY_DRAG_ENTER = 0,
    JX_RELAY_DRAG_OVER = 1,
    JX_RELAY_DRAG_LEAVE = 2,
    JX_RELAY_DROP = 3,
};

#define JX_RELAY_WPARAM(event, keys) MAKEWPARAM((event), (keys))
#define JX_RELAY_EVENT(wParam) LOWORD(wParam)
#define JX_RELAY_KEYS(wParam) HIWORD(wParam)
#define JX_RELAY_EFFECTS(lParam) ((DWORD)(lParam))

// Drag-over answer: show the effect of the last drag enter or drop.
#define JX_RELAY_KEEP_EFFECT (-1)

// The pipe the relay creates for each session (server end, message mode);
// the host opens the client end while it answers JX_RELAY_DRAG_ENTER or
// JX_RELAY_DROP and closes it when the session ends, since the next session
// cannot start while any end of the previous one is open.
#define JX_RELAY_PIPE_NAME "\\\\.\\pipe\\JX_VistaDD"
#define JX_RELAY_PIPE_BUFFER_SIZE 4096

// The relay gives up a session when it cannot read the host's next request,
// or write its next record, within this time.
#define JX_RELAY_IO_TIMEOUT_MS 10000

// At most this many formats are offered.
#define JX_RELAY_MAX_FORMATS 100

// A session, relay to host unless said:
//   1. uint32_t: byte length of the format list (count * sizeof(JxRelayFormat))
//   2. the format list: count JxRelayFormat records
//   3. repeatedly, host to relay, one JxRelayFormat request:
//      - a data request: one of the offered records (tymed may be narrowed),
//        answered with a JxRelayReply and then `size` bytes of data;
//      - the end request, index JX_RELAY_END_INDEX: its `tymed` field carries
//        the drop effect the relay reports to OLE; the session ends.
//   The session also ends when a record is short or does not arrive in time.

// A FORMATETC on the wire, in the 32-bit Windows layout.
typedef struct JxRelayFormat {
    uint16_t format;        // clipboard format
    uint16_t padding;       // 0
    uint32_t targetDevice;  // 0, or a token for the offered target device: send it back unchanged
    uint32_t aspect;        // DVASPECT_*
    int32_t index;          // lindex; JX_RELAY_END_INDEX in the end request
    uint32_t tymed;         // TYMED_* bits; the drop effect in the end request
} JxRelayFormat;

#define JX_RELAY_END_INDEX (-170)

// Answer to a data request. On success `size` bytes of the format's global
// memory follow; on failure size is 0 and nothing follows.
typedef struct JxRelayReply {
    uint32_t size;
    int32_t result;  // HRESULT: the data object's error, DV_E_TYMED when the
                     // data is not in global memory, DV_E_DVTARGETDEVICE for
                     // an unknown target device, E_UNEXPECTED for empty or
                     // unreadable memory
} JxRelayReply;

static_assert(sizeof(JxRelayFormat) == 20, "JxRelayFormat is 20 bytes");
static_assert(offsetof(JxRelayFormat, targetDevice) == 4, "the target device is at byte 4");
static_assert(offsetof(JxRelayFormat, index) == 12, "the index is at byte 12");
static_assert(offsetof(JxRelayFormat, tymed) == 16, "the medium type is at byte 16");
static_assert(sizeof(JxRelayReply) == 8, "JxRelayReply is 8 bytes");

#ifdef __cplusplus
}
#endif
