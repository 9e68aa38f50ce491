// jxplus.dll as a host uses it: both exports by name, on strings whose blocks
// come from the host's counting allocator, with every block given back.
#include <gtest/gtest.h>
#include <string.h>
#include "counting_allocator.h"
#include "host_string.h"
#include "jx/text_functions.h"
#include "loaded_library.h"

namespace {

// jxplus.dll loaded under the host's current table, with both exports bound.
class TextLibrary {
public:
    TextLibrary() : library_(L"jxplus.dll") {
        if (!library_.Loaded()) return;
        stem = reinterpret_cast<JxStrStemFn>(GetProcAddress(library_.Handle(), JX_EXPORT_STR_STEM));
        wrap = reinterpret_cast<JxStrWrapFn>(GetProcAddress(library_.Handle(), JX_EXPORT_STR_WRAP));
    }
    bool Bound() const { return stem && wrap; }
    jxhost::AllocDelta Unload() { return library_.Unload(); }

    JxStrStemFn stem = nullptr;
    JxStrWrapFn wrap = nullptr;

private:
    jxhost::LoadedLibrary library_;
};

class JxPlusLibrary : public ::testing::Test {
protected:
    void TearDown() override { jxhost::Allocator().SetCodePage(JX_DEFAULT_CODE_PAGE); }
    static size_t LiveBlocks() { return jxhost::Allocator().Stats().liveBlocks; }
};

TEST_F(JxPlusLibrary, WorksOnHostStringsAndGivesEveryBlockBack) {
    TextLibrary library;
    ASSERT_TRUE(library.Bound());
    const size_t liveBefore = LiveBlocks();
    {
        jxhost::HostString words("Cats, dogs");
        EXPECT_EQ(library.stem(words.Record(), JX_STEM_ALL_WORDS, 0, 0), 9);
        EXPECT_EQ(words.Text(), "cat , dog");

        jxhost::HostString text("abcd efgh ijkl");
        const char* hostBlock = text.Record()->buf;
        EXPECT_EQ(library.wrap(text.Record(), 10, nullptr, nullptr, 0, 0), 15);
        EXPECT_EQ(text.Text(), "abcd efgh\r\nijkl");
        EXPECT_NE(text.Record()->buf, hostBlock) << "wrapping gives the string a new block";
        EXPECT_EQ(LiveBlocks(), liveBefore + 2) << "the library released the old block";

        EXPECT_EQ(library.stem(nullptr, 0, 0, 0), 0);
        EXPECT_EQ(library.wrap(nullptr, 10, nullptr, nullptr, 0, 0), 0);
    }
    EXPECT_EQ(LiveBlocks(), liveBefore) << "the host freed the library's block";
    EXPECT_EQ(library.Unload().blocks, 0);
}

// The string record as the library writes it: the length right after the
// block pointer, whatever the architecture.
TEST_F(JxPlusLibrary, WritesTheStringRecordAtItsFixedOffsets) {
    constexpr size_t kPointer = sizeof(void*);
    EXPECT_EQ(sizeof(JxString), kPointer == 4 ? 16u : 24u);
    TextLibrary library;
    ASSERT_TRUE(library.Bound());
    {
        jxhost::HostString text("abcd efgh ijkl");
        ASSERT_EQ(library.wrap(text.Record(), 10, nullptr, nullptr, 0, 0), 15);
        int length = 0;
        memcpy(&length, reinterpret_cast<const BYTE*>(text.Record()) + kPointer, sizeof length);
        EXPECT_EQ(length, 15);
    }
    EXPECT_EQ(library.Unload().blocks, 0);
}

TEST_F(JxPlusLibrary, FollowsTheHostCodePage) {
    constexpr UINT kWesternAnsi = 1252;
    if (GetACP() != kWesternAnsi) GTEST_SKIP() << "needs the ANSI code page 1252";
    jxhost::Allocator().SetCodePage(0);
    TextLibrary library;
    ASSERT_TRUE(library.Bound());
    {
        jxhost::HostString word("CAF\xC9S");
        library.stem(word.Record(), 0, 0, 0);
        EXPECT_EQ(word.Text(), "caf\xE9") << "lower-cased through the ANSI table";

        // Bytes above 127 are characters of their own: the copyright sign breaks.
        jxhost::HostString text("aaaaaaaaa\xC3\xA9" "bbbb");
        library.wrap(text.Record(), 10, nullptr, nullptr, 0, 0);
        EXPECT_EQ(text.Text(), "aaaaaaaaa\xC3\r\n\xA9" "bbbb");
    }
    EXPECT_EQ(library.Unload().blocks, 0);
}

}  // namespace
