// The locomotion modes "Normal", "Seated" and "Seated 2", the mode label, and
// the second group of Stepdeck axes: heading and tilt of each foot.
#pragma once

namespace hub {

struct Hub;

inline constexpr int kModeNormal = 1;
inline constexpr int kModeSeated = 2;
inline constexpr int kModeSeated2 = 3;
inline constexpr int kModeAdvanced = 4;

// Heading and tilt of both feet; they keep their values between ticks, so
// the stages before the foot-axes stage see the previous tick's.
struct FootAxes {
    float headingRF = 0.0f;  // degrees
    float tiltRF = 0.0f;
    float headingLF = 0.0f;  // degrees
    float tiltLF = 0.0f;
};

struct LocomotionState {
    int lastShownMode = 0;
};

// The X and Y values of the locomotion datagrams in "Seated" and "Seated 2".
struct SeatedValues {
    float x = 0.0f;
    float y = 0.0f;
};

// "Seated": the foot tilted further drives (by more than 5, the other within
// 10 of level); the left foot drives x, the right foot y.
float seatedTiltCurve(float tilt);
SeatedValues seatedFromTilts(float tiltRF, float tiltLF);

// "Seated 2": a single pressed button of a pair pushes one way at full speed.
SeatedValues seatedFromTouchPairs(int touchPairA, int touchPairB);

// Replaces what the stick pipeline put into the locomotion datagrams and
// controls 1047/1048 with a mode's own values and bytes.
void replaceLocomotionOutput(Hub& hub, float x, float y, int xByte, int yByte);

// Tick stages.
void shapeSeatedModes(Hub& hub);
void updateFootAxes(Hub& hub);
void showLocomotionModeLabel(Hub& hub);

}  // namespace hub
