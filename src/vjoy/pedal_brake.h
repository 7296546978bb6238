// Mode 6, "Diff. Pedal n Brake": the feet as accelerator and brake, the gamepad's right stick as steering.
#pragma once

namespace hub {

struct Hub;

// The mode's own state; it lives for the whole process and is never reset
// when the mode changes.
struct PedalState {
    float value = 0.0f;    // pedal strength of this tick, at most 1
    bool isBrake = false;  // the value belongs to the brake, not the throttle
};

// The gap between the two foot tilts as a share of the higher tilt, with a
// dead band: the foot with the lower tilt decides between throttle (right)
// and brake (left). Inside the dead band the side is kept but the value is 0.
void updatePedal(PedalState& pedal, float tiltRF, float tiltLF);

// Tick stages. computePedalValue runs among the foot axes, after this tick's
// right tilt and before this tick's left tilt.
void computePedalValue(Hub& hub);
void routePedal(Hub& hub);
void steerPedalMode(Hub& hub);
void sendPedalDatagram(Hub& hub);

}  // namespace hub
