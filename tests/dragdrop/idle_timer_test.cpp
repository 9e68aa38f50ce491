#include <gtest/gtest.h>
#include "idle_timer.h"

namespace {

using jxdd::IdleTimer;
using jxdd::TickAction;

constexpr bool kHostExists = true;
constexpr bool kHidden = false;
constexpr bool kVisible = true;
constexpr bool kNoButton = false;
constexpr bool kButtonDown = true;

// Ticks with the relay window hidden; true when every one of them let the relay run on.
bool HiddenTicksKeepRunning(IdleTimer& timer, int ticks) {
    for (int i = 0; i < ticks; ++i)
        if (timer.Tick(kHostExists, kHidden, kNoButton) != TickAction::None) return false;
    return true;
}

TEST(IdleTimer, EndsOnTheSixtyFirstHiddenTickInARow) {
    IdleTimer timer;
    EXPECT_TRUE(HiddenTicksKeepRunning(timer, 60));
    EXPECT_EQ(timer.Tick(kHostExists, kHidden, kNoButton), TickAction::EndRelay);
}

TEST(IdleTimer, AShownWindowStartsTheCountAgain) {
    IdleTimer timer;
    EXPECT_TRUE(HiddenTicksKeepRunning(timer, 50));
    EXPECT_EQ(timer.Tick(kHostExists, kVisible, kButtonDown), TickAction::None);
    EXPECT_TRUE(HiddenTicksKeepRunning(timer, 60));
    EXPECT_EQ(timer.Tick(kHostExists, kHidden, kNoButton), TickAction::EndRelay);
}

TEST(IdleTimer, HidesTheShownWindowOnlyWhenNoButtonIsDown) {
    IdleTimer timer;
    EXPECT_EQ(timer.Tick(kHostExists, kVisible, kButtonDown), TickAction::None);
    EXPECT_EQ(timer.Tick(kHostExists, kVisible, kNoButton), TickAction::HideWindow);
}

TEST(IdleTimer, EndsAtOnceWhenTheHostWindowIsGone) {
    for (bool visible : {kHidden, kVisible}) {
        IdleTimer timer;
        EXPECT_EQ(timer.Tick(false, visible, kButtonDown), TickAction::EndRelay);
    }
}

}  // namespace
