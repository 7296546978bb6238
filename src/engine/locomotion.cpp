#include "engine/locomotion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "engine/controls.h"
#include "engine/hub.h"
#include "engine/stick_pipeline.h"
#include "engine/text_format.h"
#include "vjoy/pedal_brake.h"

namespace hub {

namespace {

constexpr float kDegreesPerUnit = 1.4117647f;  // 127.5 -> 180 degrees

// An axis of -1000 ... 1000 scaled to about -128 ... 128.
float scaleFootAxis(std::int32_t raw) { return static_cast<float>(static_cast<double>(raw) * 0.128); }

void showRemoteButtons(Window& window, std::uint8_t buttons) {
    char text[12];
    for (int bit = 0; bit < 6; ++bit) {
        text[2 * bit] = (buttons >> bit) & 1 ? '1' : '0';
        text[2 * bit + 1] = ' ';
    }
    window.setText(control::kRemoteButtons, std::string_view(text, sizeof text));
}

}  // namespace

void replaceLocomotionOutput(Hub& hub, float x, float y, int xByte, int yByte) {
    hub.state.tick.locomotionX = x;
    hub.state.tick.locomotionY = y;
    hub.state.stickDatagram.setX(static_cast<std::uint8_t>(xByte));
    hub.state.stickDatagram.setY(static_cast<std::uint8_t>(yByte));
    showLong(hub.edges.window, control::kLocomotionX, xByte);
    showLong(hub.edges.window, control::kLocomotionY, yByte);
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

void shapeSeatedModes(Hub& hub) {
    SeatedValues values;
    switch (hub.state.dialog.locomotionMode) {
        case kModeSeated: values = seatedFromTilts(hub.state.feet.tiltRF, hub.state.feet.tiltLF); break;
        case kModeSeated2: values = seatedFromTouchPairs(hub.state.tick.touchPairA, hub.state.tick.touchPairB); break;
        default: return;
    }
    replaceLocomotionOutput(hub, values.x, values.y, floorCentredByte(values.x * 127.0f),
                            floorCentredByte(values.y * 127.0f));
}

void updateFootAxes(Hub& hub) {
    const JoystickRecord& deck = hub.state.deck;
    FootAxes& feet = hub.state.feet;
    TickValues& tick = hub.state.tick;
    Window& window = hub.edges.window;

    showLong(window, control::kHeadingRFValue, deck.lZ);
    const float headingRF = scaleFootAxis(deck.lZ);
    tick.headingRFByte = floorCentredByte(headingRF);
    feet.headingRF = headingRF * kDegreesPerUnit;

    feet.tiltRF = scaleFootAxis(deck.lRz);
    tick.tiltRFByte = floorCentredByte(feet.tiltRF);
    computePedalValue(hub);  // sees this tick's right tilt, the previous tick's left one
    showLong(window, control::kTiltRFValue, deck.lRz);

    const float headingLF = scaleFootAxis(deck.lRy);
    tick.headingLFByte = floorCentredByte(headingLF);
    feet.headingLF = headingLF * kDegreesPerUnit;
    showLong(window, control::kHeadingLFValue, deck.lRy);

    feet.tiltLF = scaleFootAxis(deck.lRx);
    tick.tiltLFByte = floorCentredByte(feet.tiltLF);
    showLong(window, control::kTiltLFValue, deck.lRx);

    showLong(window, control::kSlider0Value, deck.rglSlider[0]);
    showLong(window, control::kSlider1Value, deck.rglSlider[1]);
    showUnsigned(window, control::kPov0Value, deck.rgdwPOV[0]);
    showUnsigned(window, control::kPov1Value, deck.rgdwPOV[1]);
    showUnsigned(window, control::kPov2Value, deck.rgdwPOV[2]);
    showUnsigned(window, control::kPov3Value, deck.rgdwPOV[3]);

    showFixed(window, control::kRemoteSteering, hub.state.remote.steering.load());
    showRemoteButtons(window, hub.state.remote.buttons.load());
}

void showLocomotionModeLabel(Hub& hub) {
    static constexpr std::string_view kNames[] = {"Normal", "Seated", "Seated 2", "Advanced"};
    const int mode = hub.state.dialog.locomotionMode;
    LocomotionState& locomotion = hub.state.locomotion;
    if (mode == locomotion.lastShownMode || mode < kModeNormal || mode > kModeAdvanced) return;
    locomotion.lastShownMode = mode;
    hub.edges.window.setText(control::kLocomotionModeName, kNames[mode - 1]);
}

}  // namespace hub
