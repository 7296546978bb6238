// The locomotion stick: the Stepdeck's lX and lY become conditioned values
// and bytes (start-jump smoother, then the speed curve), and its four touch
// buttons become the touch mask and the two touch pairs.
#pragma once

#include <cstdint>

namespace hub {

struct Hub;

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

// Tick stages.
void runStickPipeline(Hub& hub);
void readTouchButtons(Hub& hub);

}  // namespace hub
