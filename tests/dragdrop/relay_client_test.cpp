// The reference host's readers of dropped data, which comes from another
// process and is checked before use.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string.h>
#include <optional>
#include <string>
#include <vector>
#include "relay_client.h"
#include "test_data_object.h"

namespace {

using Files = std::vector<std::wstring>;

std::vector<BYTE> AnsiDropFiles(const std::string& list) {
    DROPFILES header{};
    header.pFiles = sizeof header;
    std::vector<BYTE> bytes(sizeof header + list.size());
    memcpy(bytes.data(), &header, sizeof header);
    memcpy(bytes.data() + sizeof header, list.data(), list.size());
    return bytes;
}

std::vector<BYTE> WithFilesOffset(std::vector<BYTE> bytes, DWORD offset) {
    memcpy(bytes.data() + offsetof(DROPFILES, pFiles), &offset, sizeof offset);
    return bytes;
}

TEST(RelayClient, ReadsFileListsAndRejectsMalformedOnes) {
    const std::vector<BYTE> wide = jxdd_test::DropFilesBytes({L"C:\\one.txt", L"D:\\two"});
    std::vector<BYTE> unterminated = wide;
    unterminated.resize(unterminated.size() - sizeof(wchar_t));
    struct Case {
        const char* name;
        std::vector<BYTE> bytes;
        std::optional<Files> files;
    } cases[] = {
        {"wide", wide, Files{L"C:\\one.txt", L"D:\\two"}},
        {"ANSI", AnsiDropFiles(std::string("C:\\a.txt\0\0", 10)), Files{L"C:\\a.txt"}},
        {"empty list", jxdd_test::DropFilesBytes({}), Files{}},
        {"without the final empty name", unterminated, std::nullopt},
        {"shorter than the header", std::vector<BYTE>(wide.begin(), wide.begin() + 10), std::nullopt},
        {"list offset past the end", WithFilesOffset(wide, static_cast<DWORD>(wide.size() + 1)), std::nullopt},
        {"list offset inside the header", WithFilesOffset(wide, 4), std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(jxhost::FilesFromDropData(c.bytes), c.files) << c.name;
}

TEST(RelayClient, ReadsTextUpToItsFirstNulOrItsEnd) {
    const std::wstring text = L"caf\u00E9";
    std::vector<BYTE> unterminated = jxdd_test::UnicodeTextBytes(text);
    unterminated.resize(unterminated.size() - sizeof(wchar_t));
    EXPECT_EQ(jxhost::TextFromUnicodeData(jxdd_test::UnicodeTextBytes(text)), text);
    EXPECT_EQ(jxhost::TextFromUnicodeData(unterminated), text);
    const char ansi[] = "plain\0rest";
    EXPECT_EQ(jxhost::TextFromAnsiData({reinterpret_cast<const BYTE*>(ansi), sizeof ansi}), L"plain");
}

}  // namespace
