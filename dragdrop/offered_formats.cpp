#include "offered_formats.h"
#include <stddef.h>

namespace jxdd {
namespace {

#ifndef _WIN64
// On x86 the wire record is the system's own FORMATETC.
static_assert(sizeof(FORMATETC) == sizeof(JxRelayFormat));
static_assert(offsetof(FORMATETC, ptd) == offsetof(JxRelayFormat, targetDevice));
static_assert(offsetof(FORMATETC, dwAspect) == offsetof(JxRelayFormat, aspect));
static_assert(offsetof(FORMATETC, lindex) == offsetof(JxRelayFormat, index));
static_assert(offsetof(FORMATETC, tymed) == offsetof(JxRelayFormat, tymed));
#endif

// The pointer itself on x86; its low 32 bits on x64, where the field is narrower.
uint32_t TargetDeviceToken(const DVTARGETDEVICE* device) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(device));
}

// What the relay asks for when the data object cannot enumerate its formats.
constexpr FORMATETC kUnicodeTextProbe = {CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};

}  // namespace

OfferedFormats OfferedFormats::Of(IDataObject& data) {
    OfferedFormats formats;
    ComRef<IEnumFORMATETC> enumerator;
    if (FAILED(data.EnumFormatEtc(DATADIR_GET, enumerator.Receive())) || !enumerator) {
        FORMATETC probe = kUnicodeTextProbe;
        if (data.QueryGetData(&probe) == S_OK) formats.offered_.push_back({probe, nullptr});
        return formats;
    }
    enumerator->Reset();
    while (formats.offered_.size() < JX_RELAY_MAX_FORMATS) {
        FORMATETC format{};
        ULONG fetched = 0;
        if (FAILED(enumerator->Next(1, &format, &fetched)) || fetched != 1) break;
        formats.offered_.push_back({format, UniqueTargetDevice(format.ptd)});
    }
    return formats;
}

std::vector<JxRelayFormat> OfferedFormats::WireRecords() const {
    std::vector<JxRelayFormat> records;
    records.reserve(offered_.size());
    for (const Offered& offered : offered_) {
        const FORMATETC& format = offered.format;
        records.push_back({format.cfFormat, 0, TargetDeviceToken(format.ptd), format.dwAspect,
                           static_cast<int32_t>(format.lindex), format.tymed});
    }
    return records;
}

bool OfferedFormats::Resolve(const JxRelayFormat& request, FORMATETC& format) const {
    DVTARGETDEVICE* device = nullptr;
    if (request.targetDevice != 0) {
        const Offered* match = nullptr;
        for (const Offered& offered : offered_) {
            if (offered.format.ptd && TargetDeviceToken(offered.format.ptd) == request.targetDevice) {
                match = &offered;
                break;
            }
        }
        if (!match) return false;
        device = match->format.ptd;
    }
    format = {request.format, device, request.aspect, request.index, request.tymed};
    return true;
}

}  // namespace jxdd
