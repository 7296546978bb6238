#include "vjoy/pedal_brake.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "engine/controls.h"
#include "engine/hub.h"
#include "engine/text_format.h"
#include "links/feeder_link.h"

namespace hub {

namespace {

constexpr float kDeadBand = 8.0f;  // a tilt gap of exactly 8 already counts
constexpr double kPedalGain = 1.2;
constexpr int kButtonsByte = 5;  // compared exactly by the change rule
constexpr std::uint8_t kCentredAxis = 0x80;

// (gap * 1.2) / higher tilt, in double, rounded once.
float pedalShare(float gap, float higherTilt) {
    return static_cast<float>(static_cast<double>(gap) * kPedalGain / static_cast<double>(higherTilt));
}

}  // namespace

void updatePedal(PedalState& pedal, float tiltRF, float tiltLF) {
    if (std::fabs(tiltLF - tiltRF) < kDeadBand) {
        pedal.value = 0.0f;
        return;
    }
    if (tiltRF > tiltLF) {
        pedal.value = pedalShare(tiltRF - tiltLF, tiltRF);
        pedal.isBrake = true;
    } else {
        pedal.value = pedalShare(tiltLF - tiltRF, tiltLF);
        pedal.isBrake = false;
    }
    pedal.value = std::min(pedal.value, 1.0f);
}

void computePedalValue(Hub& hub) { updatePedal(hub.state.pedal, hub.state.feet.tiltRF, hub.state.feet.tiltLF); }

void routePedal(Hub& hub) {
    const PedalState& pedal = hub.state.pedal;
    VjoyFrameworkState& vjoy = hub.state.vjoy;
    vjoy.throttle = pedal.isBrake ? 0.0f : pedal.value;
    vjoy.brake = pedal.isBrake ? pedal.value : 0.0f;
}

void steerPedalMode(Hub& hub) {
    if (hub.devices.gamepad == nullptr) return;  // the remote app's steering stays
    const float steering = std::clamp(hub.state.tick.gamepadAxisZ, -1.0f, 1.0f);
    hub.state.remote.steering.store(steering);
    showFixed(hub.edges.window, control::kSteeringValue, steering);
}

void sendPedalDatagram(Hub& hub) {
    RemoteState& remote = hub.state.remote;
    const VjoyFrameworkState& vjoy = hub.state.vjoy;
    const std::uint8_t buttons = hub.devices.gamepad != nullptr ? hub.state.tick.gamepadButtons : remote.buttons.load();
    const std::array<std::uint8_t, 8> datagram{22,
                                               centredByte(remote.steering.load()),
                                               kCentredAxis,
                                               kCentredAxis,
                                               kCentredAxis,
                                               buttons,
                                               unitByte(vjoy.brake),
                                               unitByte(vjoy.throttle)};
    // Building the datagram takes over the remote app's buttons and centres its axes.
    remote.buttons.store(buttons);
    remote.axis3.store(kCentredAxis);
    remote.axis4.store(kCentredAxis);
    sendUnderChangeRule(hub, datagram, kButtonsByte);
}

}  // namespace hub
