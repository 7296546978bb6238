// The rotation tracker of the gamepad's first stick: turned like a rotary
// knob beyond a radius, it adds up the signed angle it sweeps. The gamepad
// read runs it every tick; the Flight Sim dials read it.
#pragma once

#include <cstdint>

namespace hub {

// Signed difference b - a of two angles in degrees, the shortest way round;
// a difference of exactly +-180 is kept as it is.
float angleDelta(float a, float b);

struct Stick1Tracker {
    bool tracking = false;
    float angle = 0.0f;          // direction at the last followed tick, degrees
    float totalTurn = 0.0f;      // signed rotation since the stick engaged
    int startQuadrant = 0;       // sector in which the stick engaged
};

// Follows stick 1 (lX, lY of the gamepad) for one tick.
void trackStick1(Stick1Tracker& tracker, std::int32_t lX, std::int32_t lY);

}  // namespace hub
