#include <gtest/gtest.h>
#include <vector>
#include "counting_allocator.h"
#include "runtime/host_alloc.h"
#include "jx/errors.h"

namespace {

struct Failure {
    size_t size;
    DWORD ticks;
    long pause;  // -1: give up
};

TEST(AllocationFailurePacer, RepeatsOfOneSizeWithinFiveSecondsGiveUpAfterThirty) {
    AllocationFailurePacer pacer;
    for (int i = 1; i <= AllocationFailurePacer::kLimit; ++i)
        ASSERT_EQ(pacer.OnFailure(64, DWORD(i * 10)), i * 100L) << i;
    EXPECT_EQ(pacer.OnFailure(64, 400), -1) << "the 31st in a row";
    EXPECT_EQ(pacer.OnFailure(64, 410), 100) << "counting starts again";
}

TEST(AllocationFailurePacer, OtherSizesAndLongGapsStartAgain) {
    const std::vector<Failure> sequence = {
        {64, 1000, 100}, {64, 1100, 200}, {32, 1200, 100},   // another size
        {32, 6199, 200},                                       // 4999 ms later: a repeat
        {32, 11199, 100},                                      // 5000 ms later: not
        {64, 11200, 100}, {32, 11300, 100},
    };
    AllocationFailurePacer pacer;
    for (const Failure& f : sequence) EXPECT_EQ(pacer.OnFailure(f.size, f.ticks), f.pause) << f.ticks;
}

class HostAllocOrRaiseTest : public ::testing::Test {
protected:
    void SetUp() override { AllocationPacer().SetPauseStep(0); }
    void TearDown() override {
        jxhost::Allocator().ResetFaults();
        AllocationPacer().SetPauseStep(AllocationFailurePacer::kPauseStepMs);
    }
};

TEST_F(HostAllocOrRaiseTest, RetriesUntilTheHostHasMemoryAgain) {
    jxhost::Allocator().FailNext(5);
    HostBlock block(HostAllocOrRaise(48));
    EXPECT_NE(block.block, nullptr);
}

TEST_F(HostAllocOrRaiseTest, GivesUpWithTheOutOfMemoryException) {
    const size_t live = jxhost::Allocator().Stats().liveBlocks;
    jxhost::Allocator().FailSize(4099);
    for (auto allocate : {+[] { return HostAllocOrRaise(4099); }, +[] { return HostCallocOrRaise(1, 4099); }}) {
        try {
            allocate();
            FAIL() << "no exception";
        } catch (const JxException& e) {
            EXPECT_EQ(e.kind, JX_EXCEPTION_LIBRARY);
            EXPECT_EQ(e.code, JX_ERROR_OUT_OF_MEMORY);
            EXPECT_STREQ(e.message, "failed to allocate memory");
        }
    }
    EXPECT_EQ(jxhost::Allocator().Stats().liveBlocks, live);
}

}  // namespace
