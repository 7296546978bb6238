// The standard extended joystick record that both input devices deliver every
// tick: the exact layout of DirectInput's DIJOYSTATE2 (272 bytes), so the
// Windows edge reads straight into it and the core never sees a platform type.
#pragma once

#include <cstdint>

namespace hub {

struct JoystickRecord {
    std::int32_t lX, lY, lZ;
    std::int32_t lRx, lRy, lRz;
    std::int32_t rglSlider[2];
    std::uint32_t rgdwPOV[4];
    std::uint8_t rgbButtons[128];
    std::int32_t lVX, lVY, lVZ, lVRx, lVRy, lVRz;
    std::int32_t rglVSlider[2];
    std::int32_t lAX, lAY, lAZ, lARx, lARy, lARz;
    std::int32_t rglASlider[2];
    std::int32_t lFX, lFY, lFZ, lFRx, lFRy, lFRz;
    std::int32_t rglFSlider[2];
};
static_assert(sizeof(JoystickRecord) == 272, "must match DIJOYSTATE2");

// A button is pressed while bit 7 of its byte is set.
constexpr bool isPressed(std::uint8_t button) { return (button & 0x80) != 0; }

}  // namespace hub
