#include "base/stick_rotation.h"

#include <cmath>

namespace hub {

float angleDelta(float a, float b) {
    const float d = b - a;
    const float plus = std::fabs(d + 360.0f);
    const float minus = std::fabs(d - 360.0f);
    const float direct = std::fabs(d);
    if (plus < direct && plus < minus) return d + 360.0f;
    if (minus < direct && minus < plus) return d - 360.0f;
    return d;
}

namespace {

constexpr double kTrackingRadius = 0.95;

// atan2 of the single-precision stick values, rounded to float as atan2f
// gives it; taken through double so every runtime library agrees.
float stickAngleDegrees(float x, float y) {
    const float radians = static_cast<float>(std::atan2(static_cast<double>(y), static_cast<double>(x)));
    return static_cast<float>(static_cast<double>(radians) * 180.0 / 3.14159265358979323846);
}

// The sector of the direction in which the stick engaged; -135 exactly keeps
// the previous sector.
int startQuadrant(float angle, int previous) {
    if (angle < -135.0f) return 0;
    if (angle == -135.0f) return previous;
    if (angle < -45.0f) return 2;
    if (angle <= 75.0f) return 3;
    if (angle <= 115.0f) return 1;
    return 0;
}

}  // namespace

void trackStick1(Stick1Tracker& tracker, std::int32_t lX, std::int32_t lY) {
    const float x = static_cast<float>(lX) / 1000.0f;
    const float y = static_cast<float>(lY) / 1000.0f;
    const double radius = std::sqrt(x * x + y * y);
    if (tracker.tracking) {
        if (radius >= kTrackingRadius) {
            const float angle = stickAngleDegrees(x, y);
            tracker.totalTurn += angleDelta(tracker.angle, angle);
            tracker.angle = angle;
        } else {
            tracker.tracking = false;
        }
    } else if (radius > kTrackingRadius) {
        const float angle = stickAngleDegrees(x, y);
        tracker.tracking = true;
        tracker.angle = angle;
        tracker.totalTurn = 0.0f;
        tracker.startQuadrant = startQuadrant(angle, tracker.startQuadrant);
    }
}

}  // namespace hub
