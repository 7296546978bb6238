// Biking: stillness windows, rest capture, steering and brake dead zones,
// pedal-level crossings, cadence and the datagram's limits.
#include <gtest/gtest.h>

#include "base/controls.h"
#include "scripted_edges.h"
#include "vjoy/biking.h"

namespace hub {
namespace {

// Drives the Biking stage directly with exact tilts.
struct Bike {
    BikingState state;
    testing::ScriptedWindow window;
    float scaleFactor = 1.0f;

    void tick(std::uint64_t now, float tiltLF, float tiltRF) {
        runBikingStage(state, {tiltLF, tiltRF, now, scaleFactor}, window);
    }
    std::string shown(int id) { return window.texts[id]; }

    // One pedal revolution over 8 ticks of 33 ms ending at `end`: the left
    // foot goes down and the right up (phase 1), then back (phase 2).
    void pedal(std::uint64_t end) {
        static constexpr float kLeft[] = {10, 0, -10, -20, -10, 0, 10, 20};
        for (int i = 0; i < 8; ++i) tick(end - 33 * (7 - i), kLeft[i], -kLeft[i]);
    }
};

TEST(BikingStillness, EmptyWindowsAreStillAWindowEndsAfter100MsAndASpanOfTwoMoves) {
    Bike b;
    b.tick(1000, 3.5f, -7.25f);  // three empty windows: both feet still, rest captured
    EXPECT_TRUE(b.state.restCaptured);
    EXPECT_EQ(b.state.restTiltLF, 3.5f);
    EXPECT_EQ(b.state.restTiltRF, -7.25f);
    b.tick(1050, 5.4f, -5.25f);  // spans 1.9 and 2
    b.tick(1100, 3.5f, -7.25f);  // exactly 100 ms: the window is still open
    EXPECT_TRUE(b.state.stillRF);
    b.tick(1101, 3.5f, -7.25f);
    EXPECT_TRUE(b.state.stillLF);
    EXPECT_FALSE(b.state.stillRF);

    Bike left;  // a span of exactly 2 moves the left foot too
    left.tick(1000, 3.5f, -7.25f);
    left.tick(1050, 5.5f, -7.25f);
    left.tick(1101, 3.5f, -7.25f);
    EXPECT_FALSE(left.state.stillLF);
    EXPECT_TRUE(left.state.stillRF);
}

// The left foot rests at 0 and the right at 10; a few ticks within the first
// window then steer or brake without any window ending.
TEST(BikingSteering, DeadZoneBelowFiveAndBothSlopes) {
    struct Case {
        float tiltRF;
        float steering;
        const char* shown;
    };
    const Case cases[] = {
        {14.9f, 0.0f, "0.000000"},   {15.0f, 0.05f, "0.050000"}, {34.0f, 1.0f, "1.000000"},
        {5.1f, 0.0f, "0.000000"},    {5.0f, -0.0333333f, "-0.033333"},
        {-24.0f, -1.0f, "-1.000000"},
    };
    for (const Case& c : cases) {
        Bike b;
        b.tick(1000, 0, 10);
        b.tick(1033, 0, c.tiltRF);
        EXPECT_NEAR(b.state.steering, c.steering, 1e-6f) << c.tiltRF;
        EXPECT_EQ(b.shown(control::kSteeringValue), c.shown) << c.tiltRF;
        EXPECT_EQ(b.shown(control::kSteeringCaption), "Steering:");
    }
}

TEST(BikingBrake, OnlyABackwardTiltOfFiveOrMoreBrakes) {
    struct Case {
        float tiltLF;
        float brake;
        const char* shown;
    };
    const Case cases[] = {{-4.9f, 0.0f, "0.000000"},
                          {-5.0f, 0.04f, "0.040000"},
                          {-29.0f, 1.0f, "1.000000"},
                          {30.0f, 0.0f, "0.000000"}};
    for (const Case& c : cases) {
        Bike b;
        b.tick(1000, 0, 0);
        b.tick(1033, c.tiltLF, 0);
        EXPECT_NEAR(b.state.brake, c.brake, 1e-6f) << c.tiltLF;
        EXPECT_EQ(b.shown(control::kBrakeValue), c.shown) << c.tiltLF;
    }
}

TEST(BikingSteeringAndBrake, WhicheverStartsFirstHoldsUntilItsDeadZone) {
    Bike b;
    b.tick(1000, 0, 0);
    b.tick(1010, 0, 10);  // steering
    b.tick(1020, -20, 10);
    EXPECT_EQ(b.state.brake, 0.0f) << "the brake must wait while the right foot steers";
    EXPECT_FLOAT_EQ(b.state.steering, 0.3f);
    b.tick(1030, -20, 2);  // steering back in its dead zone: the brake acts in the same tick
    EXPECT_EQ(b.state.steering, 0.0f);
    EXPECT_FLOAT_EQ(b.state.brake, 0.64f);
    b.tick(1040, -20, 30);
    EXPECT_EQ(b.state.steering, 0.0f) << "the steering must wait while the left foot brakes";
}

TEST(BikingPedals, ACycleNeedsBothHalvesAndCountsOncePerRevolution) {
    Bike b;
    b.tick(1000, 20, -20);
    b.tick(1033, -20, 20);  // left down, right up: counted
    EXPECT_EQ(b.state.cycleCount, 1);
    EXPECT_EQ(b.state.pedalPhase, 2);
    EXPECT_EQ(b.shown(control::kSteeringValue), "1");
    EXPECT_EQ(b.shown(control::kSteeringCaption), "Cycle:");
    b.tick(1066, 20, 20);   // left up alone: the second half needs the right down too
    b.tick(1099, -20, 20);
    EXPECT_EQ(b.state.cycleCount, 1);
    b.tick(1132, -20, -20);  // right down: the second half is complete, nothing counted
    EXPECT_EQ(b.state.pedalPhase, 1);
    EXPECT_EQ(b.state.cycleCount, 1);
    b.tick(1165, -30, 20);
    EXPECT_EQ(b.state.cycleCount, 2);
}

TEST(BikingPedals, ALevelIsPassedOnlyStrictlyAndNothingBeyondTheTable) {
    Bike b;
    b.tick(1000, 0, 0);
    b.tick(1033, 3.5f, 0);
    b.tick(1066, 0.5f, 0);  // down between the levels 0 and 4
    EXPECT_FALSE(b.state.crossDownLF);
    b.tick(1099, 4.0f, 0);
    b.tick(1132, 0.0f, 0);  // from the level 4 exactly to the level 0 exactly
    EXPECT_FALSE(b.state.crossDownLF);
    b.tick(1165, 100.0f, 0);
    b.tick(1198, 57.0f, 0);  // above the top level 56
    EXPECT_FALSE(b.state.crossDownLF);
    b.tick(1231, 55.0f, 0);
    EXPECT_TRUE(b.state.crossDownLF);
    b.tick(1264, 55.0f, -100.0f);
    b.tick(1297, 55.0f, -61.0f);  // below the bottom level -60
    EXPECT_FALSE(b.state.crossUpRF);
    b.tick(1330, 55.0f, -59.0f);
    EXPECT_EQ(b.state.cycleCount, 1);
}

TEST(BikingCadence, FirstCycleRecordsSecondStartsAtOneAndAHalfThirdSmooths) {
    Bike b;
    b.tick(1000, 20, -20);
    b.pedal(2000);
    EXPECT_EQ(b.state.lastCycleTime, 1769u);  // the first tick of the revolution
    EXPECT_EQ(b.state.cyclePeriod, 0.0f);
    b.pedal(2500);
    EXPECT_EQ(b.state.cyclePeriod, 1.5f) << "the second cycle ignores the measured 0.5 s";
    EXPECT_EQ(b.state.throttle, 0.0f) << "r = 3.33 is below the knee";
    b.pedal(3000);
    EXPECT_FLOAT_EQ(b.state.cyclePeriod, 1.2f);
    EXPECT_FLOAT_EQ(b.state.throttle, (5.0f / 1.2f - 3.5f) * 0.25f);
    EXPECT_EQ(b.shown(control::kThrottleValue), "0.166667");
}

TEST(BikingCadence, ThePeriodIsSmoothedInDoublePrecision) {
    // Pins the smoothing done in single precision: from 1.5 s towards a
    // 330 ms cycle the two differ in the last bit.
    Bike b;
    b.tick(1000, 20, -20);
    b.pedal(2000);
    b.pedal(2500);
    b.pedal(2830);
    const float elapsed = 330 * 0.001f;
    const float expected = static_cast<float>(1.5 + 0.3 * static_cast<double>(elapsed - 1.5f));
    ASSERT_NE(expected, 1.5f + 0.3f * (elapsed - 1.5f));
    EXPECT_EQ(b.state.cyclePeriod, expected);
}

TEST(BikingCadence, APauseOfFiveSecondsRestartsThePeriod) {
    Bike b;
    b.tick(1000, 20, -20);
    b.pedal(2000);
    b.pedal(2500);
    b.pedal(7499);  // 4.999 s after the last cycle: still measured
    EXPECT_FLOAT_EQ(b.state.cyclePeriod, 1.5f + 0.3f * (4.999f - 1.5f));
    b.pedal(12499);  // exactly 5 s
    EXPECT_EQ(b.state.cyclePeriod, 0.0f);
    b.pedal(12999);
    EXPECT_EQ(b.state.cyclePeriod, 1.5f);
}

TEST(BikingCadence, ARestingLeftFootZeroesTheThrottleButNotItsDisplay) {
    Bike b;
    b.tick(1000, 20, -20);
    b.pedal(2000);
    b.pedal(2500);
    b.pedal(3000);
    const std::string shown = b.shown(control::kThrottleValue);
    std::uint64_t now = 3000;
    while (!b.state.stillLF) b.tick(now += 33, 20, -20);
    EXPECT_EQ(b.state.throttle, 0.0f);
    EXPECT_EQ(b.shown(control::kThrottleValue), shown);
}

TEST(BikingDatagram, LimitsAndStoresBackTheOutputsAndClearsTheRemoteButtons) {
    RemoteInputs remote;
    remote.buttons = 0x2A;
    remote.axis3 = 0x11;
    remote.axis4 = 0xF0;
    BikingState bike;
    bike.steering = -1.7f;
    bike.brake = 0.5f;
    bike.throttle = 2.5f;
    const FeederDatagram datagram = bikingDatagram(bike, remote);
    const auto bytes = datagram.view();
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
              (std::vector<std::uint8_t>{0x16, 1, 0x80, 0x11, 0xF0, 0x00, 127, 255}));
    EXPECT_EQ(datagram.exactByte, kNoExactByte);
    EXPECT_FALSE(datagram.sendAtOnce);
    EXPECT_EQ(bike.steering, -1.0f);
    EXPECT_EQ(bike.throttle, 1.0f);
    EXPECT_EQ(bike.brake, 0.5f);
    EXPECT_EQ(remote.buttons.load(), 0);
}

}  // namespace
}  // namespace hub
