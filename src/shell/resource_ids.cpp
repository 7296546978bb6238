// The resource script's control ids are the ones the core writes.
#include "base/controls.h"
#include "shell/resource.h"

namespace hub::control {

static_assert(IDC_STICK_X_VALUE == kStickXValue);
static_assert(IDC_STICK_Y_VALUE == kStickYValue);
static_assert(IDC_HEADING_RF_VALUE == kHeadingRFValue);
static_assert(IDC_STICK_X_LABEL == kStickXLabel);
static_assert(IDC_STICK_Y_LABEL == kStickYLabel);
static_assert(IDC_HEADING_RF_LABEL == kHeadingRFLabel);
static_assert(IDC_TILT_RF_LABEL == kTiltRFLabel);
static_assert(IDC_HEADING_LF_LABEL == kHeadingLFLabel);
static_assert(IDC_TILT_LF_LABEL == kTiltLFLabel);
static_assert(IDC_REMOTE_STEERING == kRemoteSteering);
static_assert(IDC_TILT_RF_VALUE == kTiltRFValue);
static_assert(IDC_HEADING_LF_VALUE == kHeadingLFValue);
static_assert(IDC_TILT_LF_VALUE == kTiltLFValue);
static_assert(IDC_REMOTE_BUTTONS == kRemoteButtons);
static_assert(IDC_REMOTE_STATUS == kRemoteStatus);
static_assert(IDC_THROTTLE_VALUE == kThrottleValue);
static_assert(IDC_BRAKE_VALUE == kBrakeValue);
static_assert(IDC_VJOY_MODE_NAME == kVjoyModeName);
static_assert(IDC_NEXT_VJOY_MODE == kNextVjoyMode);
static_assert(IDC_SLIDER0_VALUE == kSlider0Value);
static_assert(IDC_SLIDER1_VALUE == kSlider1Value);
static_assert(IDC_INITIAL_SPEED_BUTTON == kInitialSpeedButton);
static_assert(IDC_NEXT_LOCOMOTION_MODE == kNextLocomotionMode);
static_assert(IDC_SPEED_BUTTON == kSpeedButton);
static_assert(IDC_POV0_VALUE == kPov0Value);
static_assert(IDC_TOUCH_STATE == kTouchState);
static_assert(IDC_POV1_VALUE == kPov1Value);
static_assert(IDC_POV2_VALUE == kPov2Value);
static_assert(IDC_POV3_VALUE == kPov3Value);
static_assert(IDC_START_FEEDER == kStartFeeder);
static_assert(IDC_LOCOMOTION_MODE_NAME == kLocomotionModeName);
static_assert(IDC_LOCOMOTION_X == kLocomotionX);
static_assert(IDC_LOCOMOTION_Y == kLocomotionY);
static_assert(IDC_STEERING_VALUE == kSteeringValue);
static_assert(IDC_STEERING_CAPTION == kSteeringCaption);
static_assert(IDC_SENSITIVITY_BUTTON == kSensitivityButton);
static_assert(IDC_GAMEPAD_NAME == kGamepadName);
static_assert(IDC_STEPDECK_STATUS == kStepdeckStatus);

}  // namespace hub::control
