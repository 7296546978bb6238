// Heading and tilt of both feet, from the Stepdeck's second group of axes.
#pragma once

namespace hub {

// They keep their values between ticks, so the stages before the foot-axes
// stage see the previous tick's.
struct FootAxes {
    float headingRF = 0.0f;  // degrees
    float tiltRF = 0.0f;
    float headingLF = 0.0f;  // degrees
    float tiltLF = 0.0f;
};

}  // namespace hub
