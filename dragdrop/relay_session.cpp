#include "relay_session.h"
#include <vector>
#include "session_pipe.h"

namespace jxdd {
namespace {

// The reply's size field is 32 bits wide; a 32-bit SIZE_T always fits.
template <typename Size>
bool FitsSizeField(Size size) {
    if constexpr (sizeof(Size) > sizeof(uint32_t))
        return size <= UINT32_MAX;
    else
        return true;
}

bool WriteFailure(SessionPipe& pipe, HRESULT error) {
    const JxRelayReply reply{0, static_cast<int32_t>(error)};
    return pipe.Write(&reply, sizeof reply);
}

// Answers one data request; false when the pipe broke.
bool ReplyWithData(SessionPipe& pipe, IDataObject& data, const OfferedFormats& formats,
                   const JxRelayFormat& request) {
    FORMATETC format;
    if (!formats.Resolve(request, format)) return WriteFailure(pipe, DV_E_DVTARGETDEVICE);

    StorageMedium medium;
    const HRESULT result = data.GetData(&format, medium.Receive());
    if (FAILED(result)) return WriteFailure(pipe, result);
    medium.Adopt();
    if (medium.Get().tymed != TYMED_HGLOBAL) return WriteFailure(pipe, DV_E_TYMED);

    HGLOBAL memory = medium.Get().hGlobal;
    const SIZE_T size = GlobalSize(memory);
    if (size == 0 || !FitsSizeField(size)) return WriteFailure(pipe, E_UNEXPECTED);
    GlobalMemoryLock lock(memory);
    if (!lock.Bytes()) return WriteFailure(pipe, E_UNEXPECTED);

    const JxRelayReply reply{static_cast<uint32_t>(size), static_cast<int32_t>(result)};
    return pipe.Write(&reply, sizeof reply) && pipe.Write(lock.Bytes(), static_cast<DWORD>(size));
}

}  // namespace

std::optional<int32_t> SendRelayMessage(HWND host, JxRelayEvent event, DWORD keys, DWORD allowedEffects,
                                        DWORD timeoutMs) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(host, JX_RELAY_MESSAGE, JX_RELAY_WPARAM(event, keys), static_cast<LPARAM>(allowedEffects),
                             SMTO_NORMAL | SMTO_ABORTIFHUNG, timeoutMs, &answer))
        return std::nullopt;
    return static_cast<int32_t>(answer);
}

SessionOutcome RunSession(HWND host, JxRelayEvent event, DWORD keys, DWORD allowedEffects, IDataObject& data,
                          const OfferedFormats& formats, DWORD ioBudgetMs) {
    SessionPipe pipe(ioBudgetMs);
    // The host connects while it handles the message, so the pipe comes first.
    if (!pipe.Created() || SendRelayMessage(host, event, keys, allowedEffects, ioBudgetMs).value_or(0) == 0)
        return {SessionEnd::Refused, 0};

    const std::vector<JxRelayFormat> records = formats.WireRecords();
    const auto listSize = static_cast<uint32_t>(records.size() * sizeof(JxRelayFormat));
    if (!pipe.Write(&listSize, sizeof listSize) || !pipe.Write(records.data(), listSize))
        return {SessionEnd::BrokenOff, 0};

    for (;;) {
        JxRelayFormat request;
        if (!pipe.ReadRequest(request)) return {SessionEnd::BrokenOff, 0};
        if (request.index == JX_RELAY_END_INDEX) return {SessionEnd::Ended, request.tymed};
        if (!ReplyWithData(pipe, data, formats, request)) return {SessionEnd::BrokenOff, 0};
    }
}

}  // namespace jxdd
