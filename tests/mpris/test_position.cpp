// The position between reads: run on at the rate while playing, still otherwise, never
// moved by a read that was overtaken by a seek.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "tools/mpris/position_clock.h"

namespace mpris {
namespace {

using std::chrono::milliseconds;
const Clock::time_point t0 = Clock::time_point{} + std::chrono::hours(1);

TEST(PositionClock, RunsAtTheRateWhilePlaying) {
    struct Case {
        double rate;
        int afterMs;
        std::uint32_t expectMs;
    };
    for (const Case c : {Case{1.0, 1500, 11500}, Case{2.0, 1500, 13000}, Case{0.5, 1000, 10500},
                         Case{-1.0, 4000, 6000}, Case{-1.0, 20000, 0}, Case{NAN, 1000, 11000},
                         Case{INFINITY, 1000, 11000}}) {
        SCOPED_TRACE(c.rate);
        PositionClock clock;
        clock.Jump(10'000'000, t0);
        clock.SetRate(c.rate, t0);
        clock.SetRunning(true, t0);
        EXPECT_EQ(clock.PositionMs(t0 + milliseconds(c.afterMs)), c.expectMs);
    }
}

TEST(PositionClock, StandsStillWhenNotRunningAndKeepsWhatRan) {
    PositionClock clock;
    clock.Jump(0, t0);
    EXPECT_EQ(clock.PositionMs(t0 + milliseconds(5000)), 0u);  // not running yet
    clock.SetRunning(true, t0 + milliseconds(1000));
    clock.SetRunning(false, t0 + milliseconds(3000));  // paused after 2 s
    EXPECT_EQ(clock.PositionMs(t0 + milliseconds(60000)), 2000u);
    clock.SetRunning(true, t0 + milliseconds(60000));
    EXPECT_EQ(clock.PositionMs(t0 + milliseconds(60500)), 2500u);
    // A rate change keeps the position reached so far.
    clock.SetRate(2.0, t0 + milliseconds(61000));
    EXPECT_EQ(clock.PositionMs(t0 + milliseconds(62000)), 5000u);
}

TEST(PositionClock, ReadsOvertakenByAJumpDoNotCount) {
    PositionClock clock;
    clock.SetRunning(true, t0);
    clock.Jump(1'000'000, t0);
    const PositionClock::ReadTicket before = clock.BeginRead();
    clock.Jump(30'000'000, t0 + milliseconds(100));  // a seek arrives before the answer
    EXPECT_FALSE(clock.FinishRead(before, 1'200'000, t0 + milliseconds(150)));
    EXPECT_EQ(clock.PositionMs(t0 + milliseconds(200)), 30100u);
    const PositionClock::ReadTicket after = clock.BeginRead();
    EXPECT_TRUE(clock.FinishRead(after, 30'050'000, t0 + milliseconds(300)));
    EXPECT_EQ(clock.PositionMs(t0 + milliseconds(300)), 30050u);
}

TEST(PositionClock, NeverPastTheLengthNorBelowZero) {
    PositionClock clock;
    clock.SetLength(5'000'000);
    clock.Jump(4'900'000, t0);
    clock.SetRunning(true, t0);
    EXPECT_EQ(clock.PositionMs(t0 + milliseconds(50)), 4950u);
    EXPECT_EQ(clock.PositionMs(t0 + std::chrono::hours(3)), 5000u);
    clock.Jump(-7'000'000, t0);  // a player that says less than nothing
    EXPECT_EQ(clock.PositionMs(t0), 0u);
    clock.SetLength(0);  // unknown again: runs on
    clock.Jump(4'900'000, t0);
    EXPECT_EQ(clock.PositionMs(t0 + milliseconds(1000)), 5900u);
}

TEST(PositionClock, BlockMillisecondsAreClampedTo32Bits) {
    EXPECT_EQ(PositionClock::ToBlockMs(-1), 0u);
    EXPECT_EQ(PositionClock::ToBlockMs(999), 0u);
    EXPECT_EQ(PositionClock::ToBlockMs(12'345'678), 12345u);
    EXPECT_EQ(PositionClock::ToBlockMs(4'294'967'295'000LL), 4294967295u);
    EXPECT_EQ(PositionClock::ToBlockMs(4'294'967'296'000LL), 4294967295u);
    EXPECT_EQ(PositionClock::ToBlockMs(std::numeric_limits<std::int64_t>::max()), 4294967295u);
    PositionClock huge;
    huge.Jump(std::numeric_limits<std::int64_t>::max(), t0);
    huge.SetRate(100.0, t0);
    huge.SetRunning(true, t0);
    EXPECT_EQ(huge.PositionMs(t0 + std::chrono::hours(100000)), 4294967295u);
}

}  // namespace
}  // namespace mpris
