// "Diff. Pedal n Brake": the tilt gap as throttle or brake, the gamepad steering, and the
// datagram with its side effects on the remote app's values.
#include <gtest/gtest.h>

#include "base/controls.h"
#include "scripted_edges.h"
#include "vjoy/pedal_brake.h"

namespace hub {
namespace {

using testing::ScriptedHub;

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

TEST(PedalSteering, GamepadAxisIsLimitedAndShown) {
    RemoteInputs remote;
    testing::ScriptedWindow window;
    steerWithGamepad(-1.3f, remote, window);
    EXPECT_EQ(remote.steering.load(), -1.0f);
    EXPECT_EQ(window.texts[control::kSteeringValue], "-1.000000");
}

TEST(PedalSteering, WithoutAGamepadTheRemoteAppSteersAndNothingIsShown) {
    testing::ScriptedHub t;
    t.hub.state.dialog.vjoyMode = VjoyMode::PedalBrake;
    t.hub.state.remote.inputs.steering.store(-0.5f);
    t.tick(1000);
    EXPECT_EQ(t.hub.state.remote.inputs.steering.load(), -0.5f);
    EXPECT_FALSE(t.window.texts.contains(control::kSteeringValue));
}

std::vector<std::uint8_t> bytesOf(const FeederDatagram& datagram) {
    return {datagram.view().begin(), datagram.view().end()};
}

TEST(PedalDatagram, BrakeGoesToByteSixThrottleToByteSevenANegativeValueToZero) {
    RemoteInputs remote;
    remote.steering.store(-1.0f);
    remote.buttons.store(0x21);
    // A throttle from the share with a negative higher tilt.
    const FeederDatagram datagram = pedalDatagram(remote, std::nullopt, -10.8f, 0.8f);
    EXPECT_EQ(bytesOf(datagram), (std::vector<std::uint8_t>{22, 1, 0x80, 0x80, 0x80, 0x21, 204, 0}));
}

TEST(PedalDatagram, GamepadButtonsAreComparedExactlyAndTakeOverTheRemoteValues) {
    FeederState feeder;
    feeder.lastSendTime = 10000;
    feeder.lastBytes = {128, 0x80, 0x80, 0x80, 0, 0, 0};
    RemoteInputs remote;
    remote.buttons.store(0x30);
    remote.axis3.store(7);
    remote.axis4.store(9);
    const FeederDatagram released = pedalDatagram(remote, std::uint8_t{0}, 0.0f, 0.0f);
    EXPECT_FALSE(feederDatagramDue(feeder, released.view(), released.exactByte, 10000));
    EXPECT_EQ(remote.buttons.load(), 0);  // built, not sent: the side effects hold
    EXPECT_EQ(remote.axis3.load(), 0x80);
    EXPECT_EQ(remote.axis4.load(), 0x80);
    const FeederDatagram pressed = pedalDatagram(remote, std::uint8_t{1}, 0.0f, 0.0f);
    EXPECT_TRUE(feederDatagramDue(feeder, pressed.view(), pressed.exactByte, 10000));
    EXPECT_EQ(pressed.bytes[5], 1);
}

}  // namespace
}  // namespace hub
