// Skate: pushes and their decay, the set-down time-out, reverse, turns, the
// heading gesture pulses.
#include <gtest/gtest.h>

#include "vjoy/skate.h"

namespace hub {
namespace {

constexpr int kLifted = 0, kButton2 = 1, kButton3 = 2, kFlat = 3;  // pair B values

struct Skater {
    SkateState state;
    SkateInputs in;

    void tick(std::uint64_t now, int pairA, int pairB) {
        in.now = now;
        in.pairA = pairA;
        in.pairB = pairB;
        advanceSkate(state, in);
    }
    // Pair A flat, pair B lifted then pushed down on button 3 at `now`.
    void push(std::uint64_t now) {
        tick(now - 33, kFlat, kLifted);
        tick(now, kFlat, kButton3);
    }
    std::uint8_t byte(int index) const { return skateDatagram(state).bytes[static_cast<std::size_t>(index)]; }
};

TEST(SkatePush, FirstPushStartsAtHalfAndAPushHalfASecondLaterGivesPointSeven) {
    Skater s;
    s.push(1000);
    EXPECT_EQ(s.state.motion, SkateMotion::Pushing);
    EXPECT_EQ(s.state.speed, 0.5f);
    EXPECT_EQ(s.byte(2), 192);
    s.tick(1033, kFlat, kButton3);  // held down: not a new push
    EXPECT_EQ(s.state.speed, 0.5f);
    s.push(1500);
    EXPECT_EQ(s.state.speed, 0.7f);
    EXPECT_EQ(s.byte(2), 217);
}

TEST(SkatePush, PushesFasterThanEveryHalfSecondHoldFullSpeed) {
    // Pins a missing limit: 0.5 + 0.4 * (2 - 0.5) would be 1.1.
    Skater s;
    s.push(1000);
    s.push(1250);
    EXPECT_EQ(s.state.speed, 1.0f);
    EXPECT_EQ(s.state.pushPeriod, 0.5f);
}

TEST(SkatePush, SpeedDecaysOnlyOnceAPushIsOverdueByATenth) {
    Skater s;
    s.push(1000);  // speed 0.5, period 1 s
    s.tick(2099, kFlat, kLifted);
    EXPECT_EQ(s.state.speed, 0.5f);
    s.tick(2100, kFlat, kLifted);  // 1.1f is just above 1.1 in double precision
    const float expected = static_cast<float>(0.5 + 0.4 * (0.5 / static_cast<double>(1.1f) - 0.5));
    EXPECT_EQ(s.state.speed, expected);
    EXPECT_EQ(s.state.pushPeriod, 0.5f / expected);
    s.tick(2166, kFlat, kLifted);
    EXPECT_LT(s.state.speed, expected);
    EXPECT_GT(s.state.speed, 0.0f);
}

TEST(SkatePush, ASetDownFootStopsAfter150MsOnlyWithPairAFlatAndBothButtonsStopAtOnce) {
    Skater s;
    s.push(1000);
    s.tick(1100, kLifted, kButton2);  // pair A not flat: the set-down counts for nothing
    s.tick(1500, kLifted, kButton2);
    EXPECT_EQ(s.state.speed, 0.5f);
    s.tick(1533, kFlat, kButton3);
    s.tick(1566, kFlat, kButton2);  // set down
    s.tick(1716, kFlat, kButton2);  // exactly 150 ms
    EXPECT_EQ(s.state.speed, 0.5f);
    s.tick(1717, kFlat, kButton2);
    EXPECT_EQ(s.state.speed, 0.0f);
    EXPECT_EQ(s.state.motion, SkateMotion::Idle);

    Skater flat;
    flat.push(1000);
    flat.tick(1033, kLifted, kFlat);
    EXPECT_EQ(flat.state.speed, 0.0f);
    EXPECT_EQ(flat.state.motion, SkateMotion::Idle);
}

TEST(SkateReverse, EntersAboveTiltTenAndUsesTheAbsoluteTilt) {
    Skater s;
    s.in.tiltRF = 10.0f;
    s.tick(1000, kFlat, kButton2);
    EXPECT_EQ(s.state.motion, SkateMotion::Idle) << "10 is not above 10";
    s.in.tiltRF = -20.0f;  // pins an entry test on the absolute tilt
    s.tick(1016, kFlat, kButton2);
    EXPECT_EQ(s.state.motion, SkateMotion::Idle) << "a foot tilted back does not reverse";
    EXPECT_EQ(s.state.speed, 0.0f);
    s.in.tiltRF = 20.0f;
    s.tick(1033, kFlat, kButton2);
    EXPECT_EQ(s.state.motion, SkateMotion::Reversing);
    EXPECT_EQ(s.state.speed, 0.0f) << "entering does not move yet";
    s.tick(1066, kFlat, kButton2);
    EXPECT_EQ(s.state.speed, -1.0f);
    EXPECT_EQ(s.byte(2), 0);
    s.in.tiltRF = -8.0f;
    s.tick(1099, kFlat, kButton2);
    EXPECT_FLOAT_EQ(s.state.speed, -0.4f);
    s.in.tiltRF = 40.0f;
    s.tick(1132, kFlat, kButton2);
    EXPECT_EQ(s.state.speed, -1.0f) << "limited to -1";
    s.tick(1165, kFlat, kLifted);
    EXPECT_EQ(s.state.speed, 0.0f);
    EXPECT_EQ(s.state.motion, SkateMotion::Idle);
}

TEST(SkateTurn, EnteredOneTickBeforeItFollowsTheLeftFootWithEachGain) {
    Skater s;
    s.in.tiltLF = -25.0f;
    s.tick(1000, kButton3, kFlat);  // pair A = 2
    EXPECT_EQ(s.state.motion, SkateMotion::TurningByButton1);
    EXPECT_EQ(s.state.turn, 0.0f);
    s.tick(1033, kButton3, kFlat);
    EXPECT_EQ(s.state.turn, 1.0f);
    EXPECT_EQ(s.byte(1), 255);
    s.in.tiltLF = 10.0f;
    s.tick(1066, kButton3, kFlat);
    EXPECT_FLOAT_EQ(s.state.turn, -0.4f);
    s.tick(1099, kButton3, kLifted);  // pair B lifted: the turn holds
    EXPECT_FLOAT_EQ(s.state.turn, -0.4f);
    s.tick(1132, kLifted, kFlat);  // pair A lifted with B flat: the turn ends
    EXPECT_EQ(s.state.turn, 0.0f);
    EXPECT_EQ(s.state.motion, SkateMotion::Idle);

    Skater other;
    other.in.tiltLF = 10.0f;
    other.tick(1000, kButton2, kFlat);  // pair A = 1
    other.tick(1033, kButton2, kFlat);
    EXPECT_EQ(other.state.motion, SkateMotion::TurningByButton0);
    EXPECT_FLOAT_EQ(other.state.turn, -0.5f);
    other.in.tiltLF = -40.0f;
    other.tick(1066, kButton2, kFlat);
    EXPECT_EQ(other.state.turn, 1.0f) << "limited to 1";
}

// Sets the heading reference (pair B from flat to button 3 while idle), then
// lifts both pairs with the right foot's heading at `heading`.
void releaseAt(Skater& s, float reference, float heading, std::uint64_t releaseTime) {
    s.in.headingRF = reference;
    s.tick(releaseTime - 66, kFlat, kFlat);
    s.tick(releaseTime - 33, kFlat, kButton3);
    s.in.headingRF = heading;
    s.tick(releaseTime, kLifted, kLifted);
}

TEST(SkateGesture, TurnedHeadingPlaysANegativePulseOnValue3For200Ms) {
    Skater s;
    s.tick(1000, kFlat, kFlat);  // the start-up pulse (gesture 0 at time 0) ends at once
    ASSERT_EQ(s.state.gesture, kNoGesture);
    releaseAt(s, 0.0f, 20.0f, 2000);
    EXPECT_EQ(s.state.gesture, kGestureTurnedPositive);
    EXPECT_EQ(s.byte(3), 128) << "the release tick only chooses the gesture";
    const std::pair<std::uint64_t, int> expected[] = {
        {2033, 99},  // 128 * (1 - 0.22)
        {2099, 43},  // 128 * (1 - 0.66)
        {2150, 0},   // the top of the pulse
        {2175, 64},  // half way down
        {2199, 125},
        {2200, 128},  // over
    };
    for (const auto& [now, byte3] : expected) {
        s.tick(now, kLifted, kLifted);
        EXPECT_EQ(s.byte(3), byte3) << now;
        EXPECT_EQ(s.byte(4), 128) << now;
    }
    EXPECT_EQ(s.state.gesture, kNoGesture);
    // Still released: chosen again, but its time is not renewed, so it ends at once.
    s.tick(2233, kLifted, kLifted);
    s.tick(2266, kLifted, kLifted);
    EXPECT_EQ(s.state.gesture, kNoGesture);
    EXPECT_EQ(s.state.pulse3, 0.0f);
}

TEST(SkateGesture, TheOtherWayIsPositiveOnValue3AndStraightIsOnValue4) {
    Skater negative;
    negative.tick(1000, kFlat, kFlat);
    releaseAt(negative, 0.0f, -20.0f, 2000);
    negative.tick(2150, kLifted, kLifted);
    EXPECT_EQ(negative.state.pulse3, 1.0f);
    EXPECT_EQ(negative.byte(3), 255);

    Skater straight;
    straight.tick(1000, kFlat, kFlat);
    releaseAt(straight, 170.0f, -175.0f, 2000);  // 15 degrees the short way: not beyond 15
    straight.tick(2075, kLifted, kLifted);
    EXPECT_FLOAT_EQ(straight.state.pulse4, 0.5f);
    EXPECT_EQ(straight.byte(4), 192);
    EXPECT_EQ(straight.byte(3), 128);
}

TEST(SkateGesture, TheFirstTickEndsAStartUpPulseAndANegativeTimeEndsItToo) {
    Skater early;
    early.tick(120, kFlat, kFlat);  // 120 ms after system start: within the pulse
    EXPECT_FLOAT_EQ(early.state.pulse4, 0.8f);
    EXPECT_EQ(early.state.gesture, kGestureStraight);

    Skater late;
    late.tick(5000, kFlat, kFlat);
    EXPECT_EQ(late.state.gesture, kNoGesture);
    EXPECT_EQ(late.state.pulse4, 0.0f);

    // Uptime with bit 31 of its low half set: the signed time is negative.
    Skater wrapped;
    wrapped.state.pulse3 = -0.5f;
    wrapped.state.pulse4 = 0.5f;
    wrapped.tick((std::uint64_t{1} << 31) + 100, kFlat, kFlat);
    EXPECT_EQ(wrapped.state.gesture, kNoGesture);
    EXPECT_EQ(wrapped.state.pulse3, 0.0f);
    EXPECT_EQ(wrapped.state.pulse4, 0.0f);
}

}  // namespace
}  // namespace hub
