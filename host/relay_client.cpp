#include "relay_client.h"
#include <shlobj.h>
#include <string.h>
#include "text.h"

namespace jxhost {
namespace {

// Larger replies are refused rather than allocated.
constexpr uint32_t kLargestAcceptedData = 256u << 20;

HANDLE NullWhenInvalid(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? nullptr : handle; }

// Items of a list of NUL-terminated strings that ends with an empty one;
// nullopt when the bytes end first.
template <typename Char>
std::optional<std::vector<std::basic_string<Char>>> NulSeparatedList(std::span<const BYTE> bytes) {
    std::vector<std::basic_string<Char>> items;
    std::basic_string<Char> item;
    for (size_t at = 0; at + sizeof(Char) <= bytes.size(); at += sizeof(Char)) {
        Char unit;
        memcpy(&unit, &bytes[at], sizeof unit);
        if (unit != 0) {
            item += unit;
            continue;
        }
        if (item.empty()) return items;
        items.push_back(std::move(item));
        item.clear();
    }
    return std::nullopt;
}

template <typename Char>
std::basic_string<Char> TextUpToNul(std::span<const BYTE> bytes) {
    std::basic_string<Char> text(bytes.size() / sizeof(Char), Char{});
    memcpy(text.data(), bytes.data(), text.size() * sizeof(Char));
    return text.substr(0, text.find(Char{}));
}

}  // namespace

RelaySession::RelaySession()
    : pipe_(NullWhenInvalid(
          CreateFileA(JX_RELAY_PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr))) {}

std::optional<std::vector<JxRelayFormat>> RelaySession::ReadFormats() {
    uint32_t listSize = 0;
    if (!ReadExactly(&listSize, sizeof listSize)) return std::nullopt;
    if (listSize % sizeof(JxRelayFormat) != 0 || listSize / sizeof(JxRelayFormat) > JX_RELAY_MAX_FORMATS)
        return std::nullopt;
    std::vector<JxRelayFormat> formats(listSize / sizeof(JxRelayFormat));
    if (!ReadExactly(formats.data(), listSize)) return std::nullopt;
    return formats;
}

std::optional<RelayData> RelaySession::Request(const JxRelayFormat& format) {
    JxRelayReply reply;
    if (!WriteRecord(format) || !ReadExactly(&reply, sizeof reply)) return std::nullopt;
    if (reply.size > kLargestAcceptedData) return std::nullopt;
    RelayData data{reply.result, std::vector<BYTE>(reply.size)};
    if (!ReadExactly(data.bytes.data(), data.bytes.size())) return std::nullopt;
    return data;
}

bool RelaySession::End(DWORD effect) {
    JxRelayFormat end{};
    end.index = JX_RELAY_END_INDEX;
    end.tymed = effect;
    bool sent = WriteRecord(end);
    Close();
    return sent;
}

bool RelaySession::ReadExactly(void* buffer, size_t size) {
    auto* bytes = static_cast<BYTE*>(buffer);
    while (size > 0) {
        DWORD read = 0;
        DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
        if (!ReadFile(pipe_.get(), bytes, wanted, &read, nullptr) || read == 0) return false;
        bytes += read;
        size -= read;
    }
    return true;
}

bool RelaySession::WriteRecord(const JxRelayFormat& record) {
    DWORD written = 0;
    return WriteFile(pipe_.get(), &record, sizeof record, &written, nullptr) && written == sizeof record;
}

std::wstring TextFromUnicodeData(std::span<const BYTE> bytes) { return TextUpToNul<wchar_t>(bytes); }

std::wstring TextFromAnsiData(std::span<const BYTE> bytes) { return WideFromCodePage(TextUpToNul<char>(bytes), CP_ACP); }

std::optional<std::vector<std::wstring>> FilesFromDropData(std::span<const BYTE> bytes) {
    DROPFILES header;
    if (bytes.size() < sizeof header) return std::nullopt;
    memcpy(&header, bytes.data(), sizeof header);
    if (header.pFiles < sizeof header || header.pFiles > bytes.size()) return std::nullopt;
    std::span<const BYTE> list = bytes.subspan(header.pFiles);
    if (header.fWide) return NulSeparatedList<wchar_t>(list);

    std::optional<std::vector<std::string>> narrow = NulSeparatedList<char>(list);
    if (!narrow) return std::nullopt;
    std::vector<std::wstring> files;
    for (const std::string& file : *narrow) files.push_back(WideFromCodePage(file, CP_ACP));
    return files;
}

}  // namespace jxhost
