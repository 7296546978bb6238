#include "engine/stick_pipeline.h"

#include <algorithm>
#include <cmath>

#include "base/controls.h"
#include "base/text_format.h"

namespace hub {

namespace {
constexpr float kRampThreshold = 0.4f;
constexpr double kRampFactor = 0.15;
constexpr double kRampEnd = 0.2;
constexpr float kKnee = 0.7f;
constexpr float kKneeSlope = 3.3333333f;  // 1 / (1 - knee)
}  // namespace

float StartJumpSmoother::apply(float raw) {
    const float previous = previousRaw;
    previousRaw = raw;
    if (!ramping) {
        if (previous == 0.0f && std::fabs(previous - raw) > kRampThreshold) {
            ramping = true;
            rampValue = (raw - previous) * 0.1f + previous;
            return rampValue;
        }
        return raw;
    }
    const double ramp = static_cast<double>(rampValue);
    rampValue = static_cast<float>((static_cast<double>(raw) - ramp) * kRampFactor + ramp);
    // The distance is a single-precision value; only the comparison is double.
    if (static_cast<double>(std::fabs(raw - rampValue)) < kRampEnd) ramping = false;
    return rampValue;
}

float speedCurveFactor(int initialSpeedAdjust) {
    static constexpr float kFactors[] = {1.0f, 0.8f, 0.65f, 0.5f, 0.35f, 1.2f, 1.5f};
    return kFactors[std::clamp(initialSpeedAdjust, 0, 6)];
}

float applySpeedCurve(float value, int initialSpeedAdjust) {
    if (initialSpeedAdjust == 0) return value;
    const float f = speedCurveFactor(initialSpeedAdjust);
    const float a = std::fabs(value);
    if (a > kKnee) return ((a - kKnee) * (1.0f - kKnee * f) * kKneeSlope + kKnee * f) * value / a;
    return value * f;
}

int floorCentredByte(float scaled) {
    const double floored = std::floor(static_cast<double>(scaled));
    return static_cast<int>(std::clamp(floored + 128.0, 0.0, 255.0));
}

namespace {

struct AxisResult {
    float value;  // the conditioned value, byte value / 128 before rounding
    int byte;
};

AxisResult conditionAxis(StartJumpSmoother& smoother, float raw, int initialSpeedAdjust) {
    const float smoothed = smoother.apply(raw);
    const float scaled = applySpeedCurve(smoothed, initialSpeedAdjust) * 128.0f;
    return {scaled * 0.0078125f, floorCentredByte(scaled)};
}

}  // namespace

LocomotionPosition runStickPipeline(StickPipelineState& state, const JoystickRecord& deck, int initialSpeedAdjust,
                                    Window& window) {
    LocomotionPosition stick;
    const float rawX = static_cast<float>(static_cast<double>(deck.lX) * 0.001);
    const AxisResult x = conditionAxis(state.x, rawX, initialSpeedAdjust);
    stick.x = x.value;
    stick.xByte = static_cast<std::uint8_t>(x.byte);
    showLong(window, control::kStickXValue, x.byte);
    showLong(window, control::kLocomotionX, x.byte);

    // The Y axis is inverted on the integer, so rest stays +0.
    const float rawY = static_cast<float>(static_cast<double>(-static_cast<std::int64_t>(deck.lY)) * 0.001);
    const AxisResult y = conditionAxis(state.y, rawY, initialSpeedAdjust);
    stick.y = y.value;
    stick.yByte = static_cast<std::uint8_t>(y.byte);
    showLong(window, control::kStickYValue, y.byte);
    showLong(window, control::kLocomotionY, y.byte);
    return stick;
}

TouchButtons readTouchButtons(const JoystickRecord& deck, Window& window) {
    char letters[4];
    std::uint8_t mask = 0;
    for (int i = 0; i < 4; ++i) {
        const bool pressed = isPressed(deck.rgbButtons[i]);
        letters[i] = pressed ? 'X' : 'O';
        if (pressed) mask = static_cast<std::uint8_t>(mask | (1u << i));
    }
    window.setText(control::kTouchState, std::string_view(letters, 4));
    return {mask, mask & 3, (mask >> 2) & 3};
}

}  // namespace hub
