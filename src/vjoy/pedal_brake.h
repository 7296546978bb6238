// "Diff. Pedal n Brake": the feet as accelerator and brake, the gamepad's
// right stick as steering.
#pragma once

#include <optional>

#include "base/edges.h"
#include "links/feeder_link.h"
#include "links/remote_link.h"

namespace hub {

// The mode's own state; it lives for the whole process and is never reset
// when the mode changes.
struct PedalState {
    float value = 0.0f;    // pedal strength of this tick, at most 1
    bool isBrake = false;  // the value belongs to the brake, not the throttle
};

// The gap between the two foot tilts as a share of the higher tilt, with a
// dead band: the foot with the lower tilt decides between throttle (right)
// and brake (left). Inside the dead band the side is kept but the value is 0.
// It runs among the foot axes, in every mode.
void updatePedal(PedalState& pedal, float tiltRF, float tiltLF);

// The mode stage: the pedal value becomes the throttle or the brake.
void routePedal(const PedalState& pedal, float& vjoyThrottle, float& vjoyBrake);

// With a gamepad, its Z axis (limited to -1 ... 1) replaces the remote app's
// steering and is shown in control 1049.
void steerWithGamepad(float gamepadAxisZ, RemoteInputs& remote, Window& window);

// The joystick state datagram: steering, three centred axes, the buttons (the
// gamepad's when there is one, else the remote app's), brake, throttle.
// Building it takes over the remote app's buttons and centres its axes.
FeederDatagram pedalDatagram(RemoteInputs& remote, std::optional<std::uint8_t> gamepadButtons, float vjoyThrottle,
                             float vjoyBrake);

}  // namespace hub
