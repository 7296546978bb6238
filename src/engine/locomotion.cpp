#include "engine/locomotion.h"

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

void shapeSeatedModes(Hub&) {}

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
