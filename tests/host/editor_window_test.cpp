#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "editor_window.h"
#include "jx/errors.h"
#include "jx/host_interface.h"

namespace {

using Bytes = std::vector<BYTE>;

template <typename T>
void Append(Bytes& block, const T& value) {
    const size_t end = block.size();
    block.resize(end + sizeof value);
    memcpy(&block[end], &value, sizeof value);
}

// An error block laid out as the libraries send it.
Bytes ErrorBlock(const std::vector<std::string>& messages) {
    std::string text;
    std::vector<uint32_t> offsets;
    for (const std::string& message : messages) {
        offsets.push_back(static_cast<uint32_t>(text.size()));
        text += message;
        text += '\0';
    }
    Bytes block;
    Append(block, JxErrorBlockHeader{static_cast<uint32_t>(messages.size()), static_cast<uint32_t>(text.size())});
    for (uint32_t offset : offsets) Append(block, offset);
    block.insert(block.end(), text.begin(), text.end());
    block.push_back('\0');
    return block;
}

constexpr size_t kHeaderSize = sizeof(JxErrorBlockHeader);

LRESULT Send(HWND window, ULONG_PTR dwData, const void* data, size_t size) {
    COPYDATASTRUCT copy{dwData, static_cast<DWORD>(size), const_cast<void*>(data)};
    return SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy));
}

LRESULT Send(HWND window, ULONG_PTR dwData, const Bytes& block) { return Send(window, dwData, block.data(), block.size()); }

std::vector<std::wstring> ListedLines(HWND editor) {
    HWND list = FindWindowExW(editor, nullptr, L"ListBox", nullptr);
    std::vector<std::wstring> lines;
    auto count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
        std::wstring line(static_cast<size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)), L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()));
        lines.push_back(line);
    }
    return lines;
}

// The window runs on its own thread; the test sends to it as a library would.
class EditorWindowTest : public ::testing::Test {
protected:
    jxhost::EditorThread editor_;
};

TEST_F(EditorWindowTest, IsFoundByItsClassName) { EXPECT_EQ(FindWindowA(JX_HOST_WINDOW_CLASS, nullptr), editor_.Handle()); }

TEST_F(EditorWindowTest, AcceptsAWellFormedBlockAndListsItInItsCodePage) {
    struct Case {
        UINT codePage;
        std::vector<std::string> messages;
        std::vector<std::wstring> lines;
    } cases[] = {
        {65001, {"caf\xC3\xA9", "Invalid CSV string:\r\nx"}, {L"caf\u00E9", L"Invalid CSV string:", L"    x"}},
        {1252, {"caf\xE9"}, {L"caf\u00E9"}},
    };
    std::vector<std::wstring> expectedLines;
    for (const Case& c : cases) {
        ULONG_PTR dwData = JX_ERROR_BLOCK_DATA(c.codePage);
        EXPECT_EQ(Send(editor_.Handle(), dwData, ErrorBlock(c.messages)), TRUE);
        jxhost::ErrorBlock received = editor_.ReceivedBlocks().back();
        EXPECT_EQ(received.dwData, dwData);
        EXPECT_EQ(received.messages, c.messages);
        expectedLines.insert(expectedLines.end(), c.lines.begin(), c.lines.end());
    }
    EXPECT_EQ(editor_.ReceivedBlocks().size(), std::size(cases));
    EXPECT_EQ(ListedLines(editor_.Handle()), expectedLines);
}

TEST_F(EditorWindowTest, RejectsMalformedBlocks) {
    const Bytes good = ErrorBlock({"first", "second"});
    const size_t textStart = kHeaderSize + 2 * sizeof(uint32_t);
    const size_t textLength = good.size() - textStart - 1;
    auto withOffset = [&](uint32_t offset) {
        Bytes block = good;
        memcpy(&block[kHeaderSize + sizeof(uint32_t)], &offset, sizeof offset);
        return block;
    };
    auto withHeader = [&](JxErrorBlockHeader header) {
        Bytes block = good;
        memcpy(block.data(), &header, sizeof header);
        return block;
    };
    Bytes unterminated = good;
    unterminated[good.size() - 2] = 'x';  // "second" loses its NUL inside the text area
    Bytes noFinalNul = good;
    noFinalNul.back() = 'x';

    struct Case {
        const char* name;
        ULONG_PTR dwData;
        Bytes block;
        size_t size;
    } cases[] = {
        {"shorter than the header", JX_ERROR_BLOCK_DATA(65001), good, kHeaderSize - 1},
        {"without the final NUL", JX_ERROR_BLOCK_DATA(65001), good, good.size() - 1},
        {"final byte not NUL", JX_ERROR_BLOCK_DATA(65001), noFinalNul, good.size()},
        {"offset past the text", JX_ERROR_BLOCK_DATA(65001), withOffset(static_cast<uint32_t>(textLength)), good.size()},
        {"huge offset", JX_ERROR_BLOCK_DATA(65001), withOffset(UINT32_MAX), good.size()},
        {"text without NUL", JX_ERROR_BLOCK_DATA(65001), unterminated, good.size()},
        {"count past cbData", JX_ERROR_BLOCK_DATA(65001), withHeader({0x40000000, 0}), good.size()},
        {"text length past cbData", JX_ERROR_BLOCK_DATA(65001), withHeader({2, UINT32_MAX}), good.size()},
        {"another kind of data", JX_ERROR_BLOCK_DATA(65001) + 1, good, good.size()},
    };
    for (const Case& c : cases) EXPECT_EQ(Send(editor_.Handle(), c.dwData, c.block.data(), c.size), FALSE) << c.name;
    EXPECT_EQ(Send(editor_.Handle(), JX_ERROR_BLOCK_DATA(65001), nullptr, 0), FALSE);
    EXPECT_TRUE(editor_.ReceivedBlocks().empty());
    EXPECT_TRUE(ListedLines(editor_.Handle()).empty());
}

}  // namespace
