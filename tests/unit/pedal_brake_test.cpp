// Mode 6: the tilt gap as throttle or brake, the gamepad steering, and the
// datagram with its side effects on the remote app's values.
#include <gtest/gtest.h>

#include "engine/controls.h"
#include "fake_edges.h"

namespace hub {
namespace {

using testing::TestHub;

constexpr std::uint16_t kFeederPort = 45042;

TEST(PedalValue, DeadBandIsStrictlyBelowEightAndTheShareIsTakenInDouble) {
    PedalState pedal;
    updatePedal(pedal, 30.0f, 22.01f);
    EXPECT_EQ(pedal.value, 0.0f);
    // A gap of exactly 8 counts; 8 * 1.2 / 30 in double rounds to 0.32f, in
    // single precision it would land one step above.
    updatePedal(pedal, 30.0f, 22.0f);
    EXPECT_EQ(pedal.value, 0.32f);
    EXPECT_TRUE(pedal.isBrake);
}

TEST(PedalValue, TheLowerFootDecidesTheSideAndTheValueIsCappedAtOne) {
    PedalState pedal;
    updatePedal(pedal, 30.0f, 10.0f);  // left foot lower: brake
    EXPECT_TRUE(pedal.isBrake);
    EXPECT_EQ(pedal.value, 0.8f);
    updatePedal(pedal, 0.0f, 30.0f);  // right foot lower: throttle, 1.2 capped
    EXPECT_FALSE(pedal.isBrake);
    EXPECT_EQ(pedal.value, 1.0f);
}

TEST(PedalValue, InsideTheDeadBandTheSideIsKeptButTheValueIsZero) {
    PedalState pedal;
    updatePedal(pedal, 30.0f, 10.0f);
    updatePedal(pedal, 12.0f, 10.0f);
    EXPECT_TRUE(pedal.isBrake);
    EXPECT_EQ(pedal.value, 0.0f);
}

TEST(PedalValue, AZeroHigherTiltGivesFullPedalNotInfinity) {
    PedalState pedal;
    updatePedal(pedal, 0.0f, -10.0f);
    EXPECT_EQ(pedal.value, 1.0f);
}

TEST(PedalMode, ThePedalSeesThisTicksRightTiltAndThePreviousTicksLeftTilt) {
    TestHub t;
    t.hub.state.dialog.vjoyMode = 6;
    t.deck.record.lRz = 250;  // tilt 32
    t.tick(1000);
    EXPECT_EQ(t.window.texts[control::kBrakeValue], "1.000000");
    t.deck.record.lRx = 250;  // the left foot catches up: the pedal sees it one tick later
    t.tick(1033);
    EXPECT_EQ(t.window.texts[control::kBrakeValue], "1.000000");
    t.tick(1066);
    EXPECT_EQ(t.window.texts[control::kBrakeValue], "0.000000");
    EXPECT_EQ(t.window.texts[control::kThrottleValue], "0.000000");
}

TEST(PedalMode, RoutingPutsThePedalOnOneSideAndZeroesTheOther) {
    TestHub t;
    t.hub.state.vjoy.throttle = 0.5f;
    t.hub.state.pedal = {0.75f, true};
    routePedal(t.hub);
    EXPECT_EQ(t.hub.state.vjoy.throttle, 0.0f);
    EXPECT_EQ(t.hub.state.vjoy.brake, 0.75f);
    t.hub.state.pedal = {0.25f, false};
    routePedal(t.hub);
    EXPECT_EQ(t.hub.state.vjoy.throttle, 0.25f);
    EXPECT_EQ(t.hub.state.vjoy.brake, 0.0f);
}

TEST(PedalSteering, GamepadAxisIsLimitedToPlusMinusOneAndShown) {
    TestHub t;
    t.attachGamepad();
    t.hub.state.tick.gamepadAxisZ = -1.3f;
    steerPedalMode(t.hub);
    EXPECT_EQ(t.hub.state.remote.steering.load(), -1.0f);
    EXPECT_EQ(t.window.texts[control::kSteeringValue], "-1.000000");
    t.hub.state.tick.gamepadAxisZ = 1.0001f;
    steerPedalMode(t.hub);
    EXPECT_EQ(t.hub.state.remote.steering.load(), 1.0f);
}

TEST(PedalSteering, WithoutAGamepadTheRemoteSteeringAndTheDisplayStay) {
    TestHub t;
    t.hub.state.remote.steering.store(-0.5f);
    steerPedalMode(t.hub);
    EXPECT_EQ(t.hub.state.remote.steering.load(), -0.5f);
    EXPECT_TRUE(t.window.writes.empty());
}

struct PedalDatagramTest : ::testing::Test {
    TestHub t;
    PedalDatagramTest() {
        t.hub.state.tick.now = 10000;
        t.hub.state.feeder.lastSendTime = 10000;
    }
    std::vector<std::vector<std::uint8_t>> sent() const {
        std::vector<std::vector<std::uint8_t>> bytes;
        for (const auto& datagram : t.socket.to(kFeederPort)) bytes.push_back(datagram.bytes);
        return bytes;
    }
};

TEST_F(PedalDatagramTest, BrakeGoesToByteSixThrottleToByteSevenSteeringToByteOne) {
    t.hub.state.remote.steering.store(-1.0f);
    t.hub.state.remote.buttons.store(0x21);
    t.hub.state.vjoy.brake = 0.8f;
    t.hub.state.vjoy.throttle = 0.0f;
    t.hub.state.feeder.lastSendTime = 0;
    sendPedalDatagram(t.hub);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], (std::vector<std::uint8_t>{22, 1, 0x80, 0x80, 0x80, 0x21, 204, 0}));
}

TEST_F(PedalDatagramTest, ANegativeThrottleEncodesAsZeroNotAWrappedByte) {
    PedalState pedal;
    updatePedal(pedal, -20.0f, -2.0f);  // higher tilt negative: a negative share
    ASSERT_LT(pedal.value, 0.0f);
    t.hub.state.pedal = pedal;
    routePedal(t.hub);
    t.hub.state.feeder.lastSendTime = 0;
    sendPedalDatagram(t.hub);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0][7], 0);
}

TEST_F(PedalDatagramTest, ButtonsAreComparedExactlyAndTheThrottleAcrossTheSignBoundary) {
    t.attachGamepad();
    t.hub.state.feeder.lastBytes = {128, 0x80, 0x80, 0x80, 0, 0, 127};
    t.hub.state.vjoy.throttle = 127.0f / 255.0f + 0.0001f;  // byte 127: nothing moved
    sendPedalDatagram(t.hub);
    EXPECT_TRUE(sent().empty());
    t.hub.state.tick.gamepadButtons = 1;
    sendPedalDatagram(t.hub);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0][5], 1);
    t.hub.state.vjoy.throttle = 128.0f / 255.0f + 0.0001f;  // 127 -> 128 counts as a big step
    sendPedalDatagram(t.hub);
    EXPECT_EQ(sent().size(), 2u);
}

TEST_F(PedalDatagramTest, BuildingItTakesOverTheRemoteButtonsAndCentresTheRemoteAxes) {
    t.attachGamepad();
    t.hub.state.tick.gamepadButtons = 0x05;
    t.hub.state.remote.buttons.store(0x30);
    t.hub.state.remote.axis3.store(7);
    t.hub.state.remote.axis4.store(9);
    sendPedalDatagram(t.hub);  // not due: the side effects happen all the same
    EXPECT_EQ(t.hub.state.remote.buttons.load(), 0x05);
    EXPECT_EQ(t.hub.state.remote.axis3.load(), 0x80);
    EXPECT_EQ(t.hub.state.remote.axis4.load(), 0x80);
}

TEST(PedalMode, WithTheFeederDisabledTheDisplaysMoveButNothingGoesToTheFeeder) {
    TestHub t;
    t.hub.state.dialog.vjoyMode = 6;
    t.deck.record.lRx = 250;  // left tilt 32: throttle from the second tick on
    t.tick(1000);
    t.tick(1033);
    EXPECT_EQ(t.window.texts[control::kThrottleValue], "1.000000");
    EXPECT_TRUE(t.socket.to(kFeederPort).empty());
    t.hub.state.remote.feederEnabled.store(true);
    t.tick(1066);
    const auto feeder = t.socket.to(kFeederPort);
    ASSERT_EQ(feeder.size(), 2u);  // the acknowledgement, then the datagram
    EXPECT_EQ(feeder[1].bytes[7], 255);
}

}  // namespace
}  // namespace hub
