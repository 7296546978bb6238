#include "vjoy/pedal_brake.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "base/controls.h"
#include "base/text_format.h"

namespace hub {

namespace {

constexpr float kDeadBand = 8.0f;  // a tilt gap of exactly 8 already counts
constexpr double kPedalGain = 1.2;
constexpr int kButtonsByte = 5;  // compared exactly by the change rule

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

void routePedal(const PedalState& pedal, float& vjoyThrottle, float& vjoyBrake) {
    vjoyThrottle = pedal.isBrake ? 0.0f : pedal.value;
    vjoyBrake = pedal.isBrake ? pedal.value : 0.0f;
}

void steerWithGamepad(float gamepadAxisZ, RemoteInputs& remote, Window& window) {
    const float steering = std::clamp(gamepadAxisZ, -1.0f, 1.0f);
    remote.steering.store(steering);
    showFixed(window, control::kSteeringValue, steering);
}

FeederDatagram pedalDatagram(RemoteInputs& remote, std::optional<std::uint8_t> gamepadButtons, float vjoyThrottle,
                             float vjoyBrake) {
    const std::uint8_t buttons = gamepadButtons.value_or(remote.buttons.load());
    const std::array<std::uint8_t, wire::kJoystickStateLength> datagram{wire::kJoystickStateTag,
                                                                        centredByte(remote.steering.load()),
                                                                        wire::kCentredByte,
                                                                        wire::kCentredByte,
                                                                        wire::kCentredByte,
                                                                        buttons,
                                                                        unitByte(vjoyBrake),
                                                                        unitByte(vjoyThrottle)};
    remote.buttons.store(buttons);
    remote.axis3.store(wire::kCentredByte);
    remote.axis4.store(wire::kCentredByte);
    return underChangeRule(datagram, kButtonsByte);
}

}  // namespace hub
