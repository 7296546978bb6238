// Ids of the monitor dialog's controls (template 103), shared by the core,
// which writes them, and the Windows resource script, which creates them.
#pragma once

#include <string_view>

namespace hub::control {

inline constexpr int kCancel = 2;

// Stepdeck inputs.
inline constexpr int kStickXValue = 1010;
inline constexpr int kStickYValue = 1011;
inline constexpr int kHeadingRFValue = 1012;
inline constexpr int kStickXLabel = 1013;
inline constexpr int kStickYLabel = 1014;
inline constexpr int kHeadingRFLabel = 1015;
inline constexpr int kTiltRFLabel = 1016;
inline constexpr int kHeadingLFLabel = 1017;
inline constexpr int kTiltLFLabel = 1018;
inline constexpr int kTiltRFValue = 1020;
inline constexpr int kHeadingLFValue = 1021;
inline constexpr int kTiltLFValue = 1022;
inline constexpr int kSlider0Value = 1030;
inline constexpr int kSlider1Value = 1031;
inline constexpr int kPov0Value = 1040;
inline constexpr int kTouchState = 1041;
inline constexpr int kPov1Value = 1042;
inline constexpr int kPov2Value = 1043;
inline constexpr int kPov3Value = 1044;
inline constexpr int kStepdeckStatus = 1061;  // beside the heading: "Stepdeck lost" while it is

// Remote app inputs and status.
inline constexpr int kRemoteSteering = 1019;
inline constexpr int kRemoteButtons = 1023;
inline constexpr int kRemoteStatus = 1024;

// vJoy mode group.
inline constexpr int kThrottleValue = 1025;
inline constexpr int kBrakeValue = 1026;
inline constexpr int kVjoyModeName = 1027;
inline constexpr int kNextVjoyMode = 1029;
inline constexpr int kSteeringValue = 1049;
inline constexpr int kSteeringCaption = 1050;
inline constexpr int kSensitivityButton = 1051;
inline constexpr int kGamepadName = 1060;

// Locomotion group.
inline constexpr int kInitialSpeedButton = 1032;
inline constexpr int kNextLocomotionMode = 1034;
inline constexpr int kSpeedButton = 1038;
inline constexpr int kStartFeeder = 1045;
inline constexpr int kLocomotionModeName = 1046;
inline constexpr int kLocomotionX = 1047;
inline constexpr int kLocomotionY = 1048;

}  // namespace hub::control

namespace hub::caption {

// The two captions of control 1050: the steering value, or Biking's cycle count.
inline constexpr std::string_view kSteering = "Steering:";
inline constexpr std::string_view kCycle = "Cycle:";

}  // namespace hub::caption
