// The locomotion modes "Normal", "Seated" and "Seated 2", the mode label, and
// the second group of Stepdeck axes: heading and tilt of each foot.
#pragma once

#include <cstdint>

#include "base/edges.h"
#include "base/foot_axes.h"
#include "base/joystick_record.h"
#include "engine/stick_pipeline.h"
#include "links/locomotion_datagrams.h"
#include "links/remote_link.h"

namespace hub {

enum class LocomotionMode : int { Normal = 1, Seated = 2, Seated2 = 3, Advanced = 4 };

struct LocomotionState {
    int lastShownMode = 0;  // no label shown yet
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
void replaceLocomotionOutput(LocomotionPosition& position, float x, float y, int xByte, int yByte, Window& window);

// Tick stage of the seated modes; it reads the previous tick's foot tilts.
void shapeSeatedModes(LocomotionPosition& position, LocomotionMode mode, const FootAxes& previousFeet,
                      const TouchButtons& touch, Window& window);

// The foot values' bytes for the status datagram.
struct FootBytes {
    std::uint8_t headingRF = 128, tiltRF = 128, headingLF = 128, tiltLF = 128;
};

// Tick stages: the right foot's heading and tilt, then the left foot's, each
// with its raw value shown; the raw displays of the sliders and the points of
// view; the remote app's steering and buttons.
void updateRightFoot(FootAxes& feet, FootBytes& bytes, const JoystickRecord& deck, Window& window);
void updateLeftFoot(FootAxes& feet, FootBytes& bytes, const JoystickRecord& deck, Window& window);
void showRawInputs(const JoystickRecord& deck, Window& window);
void showRemoteInputs(const RemoteInputs& remote, Window& window);

// Tick stage: the mode label, written only when the mode changed.
void showLocomotionModeLabel(LocomotionState& state, LocomotionMode mode, Window& window);

}  // namespace hub
