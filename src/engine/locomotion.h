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

// Tick stages.
void shapeSeatedModes(Hub& hub);
void updateFootAxes(Hub& hub);
void showLocomotionModeLabel(Hub& hub);

}  // namespace hub
