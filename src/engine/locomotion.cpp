#include "engine/locomotion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "base/controls.h"
#include "base/text_format.h"

namespace hub {

namespace {

constexpr float kDegreesPerUnit = 1.4117647f;  // 127.5 -> 180 degrees

// An axis of -1000 ... 1000 scaled to about -128 ... 128.
float scaleFootAxis(std::int32_t raw) { return static_cast<float>(static_cast<double>(raw) * 0.128); }

std::uint8_t footByte(float scaled) { return static_cast<std::uint8_t>(floorCentredByte(scaled)); }

}  // namespace

void replaceLocomotionOutput(LocomotionPosition& position, float x, float y, int xByte, int yByte, Window& window) {
    position = {x, y, static_cast<std::uint8_t>(xByte), static_cast<std::uint8_t>(yByte)};
    showLong(window, control::kLocomotionX, xByte);
    showLong(window, control::kLocomotionY, yByte);
}

float seatedTiltCurve(float tilt) { return tilt > 0.0f ? (tilt - 3.0f) * 0.030303031f : tilt * 0.04f + 0.12f; }

SeatedValues seatedFromTilts(float tiltRF, float tiltLF) {
    const float r = std::fabs(tiltRF);
    const float l = std::fabs(tiltLF);
    float a = 0.0f;  // driven by the left foot
    float b = 0.0f;  // driven by the right foot
    if (r > l) {
        if (r > 5.0f && l < 10.0f) b = seatedTiltCurve(tiltRF);
    } else if (l > 5.0f && r < 10.0f) {
        a = seatedTiltCurve(tiltLF);
    }
    // Negated after clamping, so a foot that drives nothing sends -0.
    return {-std::clamp(a, -1.0f, 1.0f), -std::clamp(b, -1.0f, 1.0f)};
}

SeatedValues seatedFromTouchPairs(int touchPairA, int touchPairB) {
    constexpr float kFull = 0.9999f;
    if (touchPairB == 2) return {0.0f, kFull};
    if (touchPairB == 1) return {0.0f, -kFull};
    if (touchPairA == 2) return {kFull, 0.0f};
    if (touchPairA == 1) return {-kFull, 0.0f};
    return {0.0f, 0.0f};
}

void shapeSeatedModes(LocomotionPosition& position, LocomotionMode mode, const FootAxes& previousFeet,
                      const TouchButtons& touch, Window& window) {
    SeatedValues values;
    switch (mode) {
        case LocomotionMode::Seated: values = seatedFromTilts(previousFeet.tiltRF, previousFeet.tiltLF); break;
        case LocomotionMode::Seated2: values = seatedFromTouchPairs(touch.pairA, touch.pairB); break;
        default: return;
    }
    replaceLocomotionOutput(position, values.x, values.y, floorCentredByte(values.x * 127.0f),
                            floorCentredByte(values.y * 127.0f), window);
}

void updateRightFoot(FootAxes& feet, FootBytes& bytes, const JoystickRecord& deck, Window& window) {
    showLong(window, control::kHeadingRFValue, deck.lZ);
    const float headingRF = scaleFootAxis(deck.lZ);
    bytes.headingRF = footByte(headingRF);
    feet.headingRF = headingRF * kDegreesPerUnit;

    feet.tiltRF = scaleFootAxis(deck.lRz);
    bytes.tiltRF = footByte(feet.tiltRF);
    showLong(window, control::kTiltRFValue, deck.lRz);
}

void updateLeftFoot(FootAxes& feet, FootBytes& bytes, const JoystickRecord& deck, Window& window) {
    const float headingLF = scaleFootAxis(deck.lRy);
    bytes.headingLF = footByte(headingLF);
    feet.headingLF = headingLF * kDegreesPerUnit;
    showLong(window, control::kHeadingLFValue, deck.lRy);

    feet.tiltLF = scaleFootAxis(deck.lRx);
    bytes.tiltLF = footByte(feet.tiltLF);
    showLong(window, control::kTiltLFValue, deck.lRx);
}

void showRawInputs(const JoystickRecord& deck, Window& window) {
    showLong(window, control::kSlider0Value, deck.rglSlider[0]);
    showLong(window, control::kSlider1Value, deck.rglSlider[1]);
    showUnsigned(window, control::kPov0Value, deck.rgdwPOV[0]);
    showUnsigned(window, control::kPov1Value, deck.rgdwPOV[1]);
    showUnsigned(window, control::kPov2Value, deck.rgdwPOV[2]);
    showUnsigned(window, control::kPov3Value, deck.rgdwPOV[3]);
}

void showRemoteInputs(const RemoteInputs& remote, Window& window) {
    showFixed(window, control::kRemoteSteering, remote.steering.load());
    const std::uint8_t buttons = remote.buttons.load();
    char text[12];
    for (int bit = 0; bit < 6; ++bit) {
        text[2 * bit] = (buttons >> bit) & 1 ? '1' : '0';
        text[2 * bit + 1] = ' ';
    }
    window.setText(control::kRemoteButtons, std::string_view(text, sizeof text));
}

void showLocomotionModeLabel(LocomotionState& state, LocomotionMode mode, Window& window) {
    static constexpr std::string_view kNames[] = {"Normal", "Seated", "Seated 2", "Advanced"};
    const int id = static_cast<int>(mode);
    if (id == state.lastShownMode || id < 1 || id > 4) return;
    state.lastShownMode = id;
    window.setText(control::kLocomotionModeName, kNames[id - 1]);
}

}  // namespace hub
