// The locomotion stick: the Stepdeck's lX and lY become conditioned values
// and bytes (start-jump smoother, then the speed curve), and its four touch
// buttons become the touch mask and the two touch pairs.
#pragma once

#include <cstdint>

#include "base/edges.h"
#include "base/joystick_record.h"
#include "links/locomotion_datagrams.h"

namespace hub {

// Eases in a jump that starts from exact rest.
struct StartJumpSmoother {
    bool ramping = false;
    float rampValue = 0.0f;
    float previousRaw = 0.0f;

    float apply(float raw);
};

// The speed factor f of an initial speed adjustment index (0 ... 6).
float speedCurveFactor(int initialSpeedAdjust);

// The speed curve: linear with slope f up to the knee at 0.7, then straight
// to 1 at full deflection. Index 0 leaves the value as it is.
float applySpeedCurve(float value, int initialSpeedAdjust);

// floor(v) + 128 (floor in double precision), clamped to 0 ... 255: the byte
// of a stick value scaled by 128, or of a foot value scaled by 0.128.
int floorCentredByte(float scaled);

struct StickPipelineState {
    StartJumpSmoother x;
    StartJumpSmoother y;
};

// Tick stage: the X axis, then the Y axis (inverted), each shown in its value
// control and in the locomotion control. The result is what the locomotion
// datagrams carry unless a locomotion mode replaces it.
LocomotionPosition runStickPipeline(StickPipelineState& state, const JoystickRecord& deck, int initialSpeedAdjust,
                                    Window& window);

// The four touch buttons: bit i of the mask for button i; pair A is buttons 0
// and 1 (the left foot), pair B buttons 2 and 3 (the right foot).
struct TouchButtons {
    std::uint8_t mask = 0;
    int pairA = 0;
    int pairB = 0;
};

// Tick stage: reads the touch buttons and shows them as four letters.
TouchButtons readTouchButtons(const JoystickRecord& deck, Window& window);

}  // namespace hub
