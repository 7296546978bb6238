// The optional gamepad: its button byte and its Z axis for the later stages
// of the tick, and the rotation tracker of its first stick.
#pragma once

#include <cstdint>

#include "base/edges.h"
#include "base/joystick_record.h"
#include "base/stick_rotation.h"

namespace hub {

// What the gamepad read hands the later stages of the same tick.
struct GamepadReading {
    std::uint8_t buttons = 0;  // bit k: button k (0 ... 7) pressed
    float axisZ = 0.0f;        // lZ / 1000
    bool read = false;         // false: no gamepad, or its poll or read failed
};

// Bit k set when gamepad button k (0 ... 7) is pressed.
std::uint8_t gamepadButtonByte(const JoystickRecord& record);

// Tick stage: reads the gamepad, when there is one, and follows its first
// stick. A gamepad that is missing or fails to read gives no buttons and no
// axis, and leaves the tracker as it was.
GamepadReading readGamepad(InputDevice* pad, Stick1Tracker& stick1);

}  // namespace hub
