// The formats a data object offers, as the relay lists them to the host, and
// the way back from a host's request to the system's FORMATETC.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <vector>
#include "jx/relay_protocol.h"
#include "owners.h"

namespace jxdd {

class OfferedFormats {
public:
    // What EnumFormatEtc yields, at most JX_RELAY_MAX_FORMATS records; when
    // the object cannot enumerate, Unicode text in global memory if it has it.
    static OfferedFormats Of(IDataObject& data);

    bool Empty() const { return offered_.empty(); }
    std::vector<JxRelayFormat> WireRecords() const;

    // The request as a FORMATETC for GetData. A target device is never taken
    // from the wire: its token must name one of the offered records' devices,
    // else this is false.
    bool Resolve(const JxRelayFormat& request, FORMATETC& format) const;

private:
    struct Offered {
        FORMATETC format;                  // ptd is targetDevice's pointer
        UniqueTargetDevice targetDevice;  // the enumerator's copy, ours to free
    };
    std::vector<Offered> offered_;
};

}  // namespace jxdd
