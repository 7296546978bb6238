#include "engine/gamepad.h"

namespace hub {

std::uint8_t gamepadButtonByte(const JoystickRecord& record) {
    std::uint8_t buttons = 0;
    for (int k = 0; k < 8; ++k) {
        if (isPressed(record.rgbButtons[k])) buttons = static_cast<std::uint8_t>(buttons | (1u << k));
    }
    return buttons;
}

GamepadReading readGamepad(InputDevice* pad, Stick1Tracker& stick1) {
    // A gamepad that drops out must not leave buttons held.
    if (pad == nullptr) return {};
    if (failed(pad->poll())) {
        pad->acquire();
        return {};
    }
    JoystickRecord record{};
    if (failed(pad->getState(record))) return {};
    trackStick1(stick1, record.lX, record.lY);
    return {gamepadButtonByte(record), static_cast<float>(record.lZ) / 1000.0f, true};
}

}  // namespace hub
