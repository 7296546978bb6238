// The optional gamepad: its button byte, its Z axis and the rotation tracker
// of its first stick, which the Flight Sim dials turn like a rotary knob.
#pragma once

#include <cstdint>

#include "engine/joystick_record.h"

namespace hub {

struct Hub;

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

// Bit k set when gamepad button k (0 ... 7) is pressed.
std::uint8_t gamepadButtonByte(const JoystickRecord& record);

// Tick stage: reads the gamepad when there is one.
void readGamepad(Hub& hub);

}  // namespace hub
