// The host's end of a jxdd.exe session (include/jx/relay_protocol.h): what a
// host does after it accepts JX_RELAY_DRAG_ENTER or JX_RELAY_DROP, and the
// readers of the two kinds of data the reference host understands.
#pragma once
#include <windows.h>
#include <optional>
#include <span>
#include <string>
#include <vector>
#include "handles.h"
#include "jx/relay_protocol.h"

namespace jxhost {

struct RelayData {
    HRESULT result;
    std::vector<BYTE> bytes;  // empty when result is a failure
};

// Blocking client end of the pipe, read as a byte stream. Nothing it reads
// is trusted: a malformed record ends the session like a broken pipe.
class RelaySession {
public:
    // Connects to the waiting relay; call it while answering the relay
    // message, before returning nonzero.
    RelaySession();

    bool Connected() const { return pipe_ != nullptr; }
    HANDLE Pipe() const { return pipe_.get(); }

    // The offered formats; nullopt when the list is malformed or the pipe broke.
    std::optional<std::vector<JxRelayFormat>> ReadFormats();
    // Asks for one offered record; nullopt when the pipe broke.
    std::optional<RelayData> Request(const JxRelayFormat& format);
    // Sends the end request with the drop effect and closes the pipe, since
    // the relay's next session needs the name free.
    bool End(DWORD effect);
    void Close() { pipe_.reset(); }

private:
    bool ReadExactly(void* buffer, size_t size);
    bool WriteRecord(const JxRelayFormat& record);

    UniqueKernelHandle pipe_;
};

// CF_UNICODETEXT up to its first NUL.
std::wstring TextFromUnicodeData(std::span<const BYTE> bytes);
// CF_TEXT up to its first NUL, in the system ANSI code page.
std::wstring TextFromAnsiData(std::span<const BYTE> bytes);
// The paths of CF_HDROP data, a DROPFILES block; nullopt when malformed.
std::optional<std::vector<std::wstring>> FilesFromDropData(std::span<const BYTE> bytes);

}  // namespace jxhost
