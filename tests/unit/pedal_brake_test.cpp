// Mode 6: the tilt gap as throttle or brake, the gamepad steering, and the
// datagram with its side effects on the remote app's values.
#include <gtest/gtest.h>

#include "engine/controls.h"
#include "fake_edges.h"

namespace hub {
namespace {

using testing::TestHub;

TEST(PedalValue, DeadBandSideCapAndDoublePrecision) {
    PedalState pedal;
    updatePedal(pedal, 30.0f, 22.01f);
    EXPECT_EQ(pedal.value, 0.0f);
    // A gap of exactly 8 counts; 8 * 1.2 / 30 in double rounds to 0.32f, in
    // single precision it would land one step above.
    updatePedal(pedal, 30.0f, 22.0f);
    EXPECT_EQ(pedal.value, 0.32f);
    EXPECT_TRUE(pedal.isBrake);  // the left foot is lower
    updatePedal(pedal, 12.0f, 10.0f);
    EXPECT_TRUE(pedal.isBrake);  // the dead band keeps the side
    EXPECT_EQ(pedal.value, 0.0f);
    updatePedal(pedal, 0.0f, 30.0f);  // right foot lower: throttle, 1.2 capped
    EXPECT_FALSE(pedal.isBrake);
    EXPECT_EQ(pedal.value, 1.0f);
    updatePedal(pedal, 0.0f, -10.0f);  // a zero divisor: full, not infinity
    EXPECT_EQ(pedal.value, 1.0f);
}

TEST(PedalSteering, GamepadAxisIsLimitedAndShownWithoutAGamepadNothingChanges) {
    TestHub t;
    t.hub.state.remote.steering.store(-0.5f);
    steerPedalMode(t.hub);
    EXPECT_EQ(t.hub.state.remote.steering.load(), -0.5f);
    EXPECT_TRUE(t.window.writes.empty());

    t.attachGamepad();
    t.hub.state.tick.gamepadAxisZ = -1.3f;
    steerPedalMode(t.hub);
    EXPECT_EQ(t.hub.state.remote.steering.load(), -1.0f);
    EXPECT_EQ(t.window.texts[control::kSteeringValue], "-1.000000");
}

struct PedalDatagramTest : ::testing::Test {
    TestHub t;
    PedalDatagramTest() { t.hub.state.tick.now = t.hub.state.feeder.lastSendTime = 10000; }
    std::vector<std::vector<std::uint8_t>> sent() const {
        std::vector<std::vector<std::uint8_t>> bytes;
        for (const auto& datagram : t.socket.to(45042)) bytes.push_back(datagram.bytes);
        return bytes;
    }
};

TEST_F(PedalDatagramTest, BrakeGoesToByteSixThrottleToByteSevenANegativeValueToZero) {
    t.hub.state.remote.steering.store(-1.0f);
    t.hub.state.remote.buttons.store(0x21);
    t.hub.state.vjoy.brake = 0.8f;
    t.hub.state.vjoy.throttle = -10.8f;  // the share with a negative higher tilt
    t.hub.state.feeder.lastSendTime = 0;
    sendPedalDatagram(t.hub);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], (std::vector<std::uint8_t>{22, 1, 0x80, 0x80, 0x80, 0x21, 204, 0}));
}

TEST_F(PedalDatagramTest, GamepadButtonsAreComparedExactlyAndTakeOverTheRemoteValues) {
    t.attachGamepad();
    t.hub.state.feeder.lastBytes = {128, 0x80, 0x80, 0x80, 0, 0, 0};
    t.hub.state.remote.buttons.store(0x30);
    t.hub.state.remote.axis3.store(7);
    t.hub.state.remote.axis4.store(9);
    sendPedalDatagram(t.hub);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(t.hub.state.remote.buttons.load(), 0);  // built, not sent: the side effects hold
    EXPECT_EQ(t.hub.state.remote.axis3.load(), 0x80);
    EXPECT_EQ(t.hub.state.remote.axis4.load(), 0x80);
    t.hub.state.tick.gamepadButtons = 1;
    sendPedalDatagram(t.hub);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0][5], 1);
}

}  // namespace
}  // namespace hub
