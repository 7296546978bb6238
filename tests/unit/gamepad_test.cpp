#include "engine/gamepad.h"

#include <cmath>

#include <gtest/gtest.h>

#include "scripted_edges.h"

namespace hub {
namespace {

using testing::ScriptedHub;

TEST(AngleDelta, TakesTheShortWayRoundAndKeepsTies) {
    EXPECT_FLOAT_EQ(angleDelta(170.0f, -170.0f), 20.0f);
    EXPECT_FLOAT_EQ(angleDelta(-170.0f, 170.0f), -20.0f);
    EXPECT_FLOAT_EQ(angleDelta(0.0f, 180.0f), 180.0f);
    EXPECT_FLOAT_EQ(angleDelta(0.0f, -180.0f), -180.0f);
    EXPECT_FLOAT_EQ(angleDelta(170.0f, -175.0f), 15.0f);
    EXPECT_FLOAT_EQ(angleDelta(10.0f, 30.0f), 20.0f);
}

TEST(Stick1Tracker, EngagesStrictlyBeyondTheRadiusAndSetsTheSector) {
    Stick1Tracker tracker;
    trackStick1(tracker, 0, -1000);  // pushed forward: -90 degrees
    EXPECT_TRUE(tracker.tracking);
    EXPECT_FLOAT_EQ(tracker.angle, -90.0f);
    EXPECT_EQ(tracker.startQuadrant, 2);
    EXPECT_EQ(tracker.totalTurn, 0.0f);

    Stick1Tracker left;
    trackStick1(left, -1000, 0);
    EXPECT_EQ(left.startQuadrant, 0);
    Stick1Tracker right;
    trackStick1(right, 1000, 0);
    EXPECT_EQ(right.startQuadrant, 3);
    Stick1Tracker back;
    trackStick1(back, 0, 1000);
    EXPECT_EQ(back.startQuadrant, 1);
}

TEST(Stick1Tracker, SectorBoundariesBelongToTheSectorBelowThem) {
    // Pins a sector comparison whose bound is moved or made strict: each
    // case is an exact boundary or the stick position nearest beyond it.
    struct Case {
        std::int32_t lX, lY;
        int sector;
    };
    for (const Case c : {Case{700, -700, 3},    // -45.0 exactly
                         Case{999, -1000, 2},   // -45.03
                         Case{1351, 5042, 3},   // 75.0 exactly: only beyond the axis range
                         Case{265, 989, 1},     // 75.0001
                         Case{-429, 920, 1},    // 114.9998; no float angle is exactly 115
                         Case{-436, 935, 0}}) { // 115.0001
        Stick1Tracker tracker;
        trackStick1(tracker, c.lX, c.lY);
        ASSERT_TRUE(tracker.tracking);
        EXPECT_EQ(tracker.startQuadrant, c.sector) << c.lX << ", " << c.lY << ": " << tracker.angle;
    }
}

TEST(Stick1Tracker, ExactlyMinus135KeepsThePreviousSector) {
    Stick1Tracker tracker;
    tracker.startQuadrant = 1;
    trackStick1(tracker, -707, -707);
    ASSERT_TRUE(tracker.tracking);
    EXPECT_EQ(tracker.angle, -135.0f);
    EXPECT_EQ(tracker.startQuadrant, 1);
}

TEST(Stick1Tracker, RadiusOfExactlyPoint95NeitherEngagesNorKeeps) {
    // The radius is a single-precision value: 0.95f lies just below 0.95.
    Stick1Tracker idle;
    trackStick1(idle, 950, 0);
    EXPECT_FALSE(idle.tracking);

    Stick1Tracker engaged;
    trackStick1(engaged, 1000, 0);
    trackStick1(engaged, 950, 0);
    EXPECT_FALSE(engaged.tracking);
}

TEST(Stick1Tracker, AccumulatesAFullTurnWithoutAJumpAtTheSeam) {
    Stick1Tracker tracker;
    for (int step = 0; step <= 36; ++step) {
        const double radians = (-90.0 + 10.0 * step) * 3.14159265358979323846 / 180.0;
        trackStick1(tracker, static_cast<std::int32_t>(1000 * std::cos(radians)),
                    static_cast<std::int32_t>(1000 * std::sin(radians)));
    }
    EXPECT_NEAR(tracker.totalTurn, 360.0f, 0.5f);
    trackStick1(tracker, 0, 0);  // release keeps the turn
    EXPECT_FALSE(tracker.tracking);
    EXPECT_NEAR(tracker.totalTurn, 360.0f, 0.5f);
    trackStick1(tracker, 1000, 0);  // the next engage starts over
    EXPECT_EQ(tracker.totalTurn, 0.0f);
}

TEST(GamepadRead, ButtonsAndAxisAndFailuresReleaseEverything) {
    testing::ScriptedDevice pad;
    Stick1Tracker stick1;
    pad.record.rgbButtons[0] = 0x80;
    pad.record.rgbButtons[7] = 0x80;
    pad.record.rgbButtons[8] = 0x80;  // only buttons 0 ... 7 count
    pad.record.lZ = -500;
    pad.record.lX = 1000;
    GamepadReading reading = readGamepad(&pad, stick1);
    EXPECT_EQ(reading.buttons, 0x81);
    EXPECT_FLOAT_EQ(reading.axisZ, -0.5f);
    EXPECT_TRUE(stick1.tracking);

    pad.pollResult = kInputLost;
    pad.record.lX = 0;
    reading = readGamepad(&pad, stick1);
    EXPECT_EQ(reading.buttons, 0);  // a dropped gamepad holds nothing
    EXPECT_EQ(reading.axisZ, 0.0f);
    EXPECT_EQ(pad.acquireCalls, 1);
    EXPECT_TRUE(stick1.tracking);  // and leaves the tracker as it was

    pad.pollResult = 0;
    pad.readResult = -1;
    EXPECT_EQ(readGamepad(&pad, stick1).buttons, 0);
    EXPECT_EQ(readGamepad(nullptr, stick1).buttons, 0);
}

}  // namespace
}  // namespace hub
