#include <gtest/gtest.h>
#include <string.h>
#include <vector>
#include "counting_allocator.h"
#include "host_exports.h"

namespace {

using jxhost::Allocator;
using jxhost::AllocStats;

// The libraries reach the allocator only through the exported table.
const HostAllocTable& Table() { return *InterfaceForDll(); }

class AllocatorTest : public ::testing::Test {
protected:
    void TearDown() override { Allocator().ResetFaults(); }
    AllocStats before_ = Allocator().Stats();

    long long LiveBlocks() const { return static_cast<long long>(Allocator().Stats().liveBlocks - before_.liveBlocks); }
    long long LiveBytes() const { return static_cast<long long>(Allocator().Stats().liveBytes - before_.liveBytes); }
};

TEST_F(AllocatorTest, CountsEveryLiveBlockAndByte) {
    void* a = Table().alloc(10);
    auto* b = static_cast<unsigned char*>(Table().calloc(4, 8));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(LiveBlocks(), 2);
    EXPECT_EQ(LiveBytes(), 42);
    EXPECT_EQ(Table().msize(b), 32u);
    EXPECT_EQ(std::vector<unsigned char>(b, b + 32), std::vector<unsigned char>(32, 0));

    memcpy(a, "0123456789", 10);
    void* grown = Table().realloc(a, 4000);
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(memcmp(grown, "0123456789", 10), 0);
    EXPECT_EQ(LiveBlocks(), 2);
    EXPECT_EQ(LiveBytes(), 4032);

    Table().free(grown);
    Table().free(b);
    EXPECT_EQ(LiveBlocks(), 0);
    EXPECT_EQ(LiveBytes(), 0);
    EXPECT_EQ(Allocator().Stats().totalAllocs - before_.totalAllocs, 3u);
}

TEST_F(AllocatorTest, FailedReallocLeavesTheOldBlockLive) {
    void* block = Table().alloc(16);
    ASSERT_NE(block, nullptr);
    memcpy(block, "still here", 11);
    Allocator().FailNext(1);
    EXPECT_EQ(Table().realloc(block, 64), nullptr);
    EXPECT_EQ(LiveBlocks(), 1);
    EXPECT_EQ(LiveBytes(), 16);
    EXPECT_STREQ(static_cast<char*>(block), "still here");
    Table().free(block);
    EXPECT_EQ(LiveBlocks(), 0);
    EXPECT_EQ(Allocator().Stats().failedAllocs - before_.failedAllocs, 1u);
}

TEST_F(AllocatorTest, CallocThatOverflowsFails) {
    EXPECT_EQ(Table().calloc(SIZE_MAX / 2, 4), nullptr);
    EXPECT_EQ(LiveBlocks(), 0);
    EXPECT_EQ(Allocator().Stats().failedAllocs - before_.failedAllocs, 1u);
}

struct FaultCase {
    const char* name;
    void (*inject)();
    std::vector<size_t> sizes;
    std::vector<bool> fails;
};

class FaultInjectionTest : public AllocatorTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultInjectionTest, FailsExactlyTheChosenRequests) {
    const FaultCase& c = GetParam();
    c.inject();
    std::vector<bool> fails;
    for (size_t size : c.sizes) {
        void* block = Table().alloc(size);
        fails.push_back(block == nullptr);
        if (block) Table().free(block);
    }
    EXPECT_EQ(fails, c.fails);
    EXPECT_EQ(LiveBlocks(), 0);
}

constexpr unsigned kAlways = jxhost::CountingAllocator::kAlways;

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultInjectionTest,
    ::testing::Values(
        FaultCase{"NextTwo", [] { Allocator().FailNext(2); }, {8, 16, 8}, {true, true, false}},
        FaultCase{"SizeOnce", [] { Allocator().FailSize(24, 1); }, {24, 8, 24}, {true, false, false}},
        FaultCase{"SizeAlways", [] { Allocator().FailSize(24, kAlways); }, {24, 8, 24, 24}, {true, false, true, true}},
        FaultCase{"Reset",
                  [] {
                      Allocator().FailNext(3);
                      Allocator().FailSize(8);
                      Allocator().ResetFaults();
                  },
                  {8, 8}, {false, false}}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

}  // namespace
