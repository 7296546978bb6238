#include "engine/dialog.h"

#include <array>

#include "base/controls.h"
#include "engine/at_rest.h"
#include "engine/hub.h"
#include "engine/locomotion.h"
#include "engine/session_recorder.h"
#include "base/text_format.h"
#include "links/feeder_link.h"
#include "vjoy/vjoy_modes.h"

namespace hub {

namespace {

// Initial speed adjustment: the button steps 0, 5, 6, 4, 3, 2, 1, 0; the
// percentage each index means depends on the locomotion mode.
constexpr std::array<int, 7> kNextInitialSpeed{5, 0, 1, 2, 3, 6, 4};
constexpr std::array<int, 7> kInitialSpeedPercentNormal{100, 80, 65, 50, 35, 120, 150};
constexpr std::array<int, 7> kInitialSpeedPercentAdvanced{100, 95, 90, 85, 80, 60, 70};
constexpr int kAdvancedStartInitialSpeed = 3;

// Speed adjustment of "Advanced": 0 ... 5, then back to 0.
constexpr std::array<int, 6> kSpeedPercent{100, 110, 130, 150, 180, 200};
constexpr int kAdvancedStartSpeed = 1;

// Biking scale: index -3 ... 5 (70 % ... 150 %), after 5 comes -3.
constexpr int kLowestBikingScale = -3;
constexpr int kHighestBikingScale = 5;
constexpr std::array<float, 9> kBikingScaleFactor{0.7f, 0.8f, 0.9f, 1.0f, 1.1f, 1.2f, 1.3f, 1.4f, 1.5f};

// Flight Sim stick sensitivity: index -2 ... 4 (80 % ... 140 %), after 4 comes -2.
constexpr int kLowestStickSensitivity = -2;
constexpr int kHighestStickSensitivity = 4;

// Both index scales step by ten percent around 100 %.
int tenPercentSteps(int index) { return 100 + 10 * index; }

constexpr std::string_view kFeederRelativePath = "feeder\\vJoyFeeder.exe";
constexpr std::size_t kMaxPathUnits = 259;  // MAX_PATH without its terminator

void cancel(Hub& hub) {
    bringToRestAtEnd(hub);
    if (!sendStopDatagram(hub.edges.socket)) hub.edges.process.exitNow(1);
    hub.edges.window.endDialog(0);
}

// Entering a mode whose row has a sensitivity label resets the stick
// sensitivity and relabels the button that sets it.
void nextVjoyMode(Hub& hub) {
    DialogState& dialog = hub.state.dialog;
    dialog.vjoyMode = nextVjoyMode(dialog.vjoyMode);
    const std::string_view label = vjoyModeRow(dialog.vjoyMode).sensitivityLabel;
    if (label.empty()) return;
    dialog.stickSensitivity = 0;
    hub.edges.window.setText(control::kSensitivityButton, label);
}

int initialSpeedPercent(LocomotionMode locomotionMode, int index) {
    const auto& table = locomotionMode == LocomotionMode::Advanced ? kInitialSpeedPercentAdvanced : kInitialSpeedPercentNormal;
    return table[static_cast<std::size_t>(index)];
}

void nextInitialSpeed(Hub& hub) {
    DialogState& dialog = hub.state.dialog;
    if (dialog.locomotionMode == LocomotionMode::Advanced) hub.edges.window.enable(control::kSpeedButton, true);
    dialog.initialSpeedAdjust = kNextInitialSpeed[static_cast<std::size_t>(dialog.initialSpeedAdjust)];
    showPercent(hub.edges.window, control::kInitialSpeedButton,
                initialSpeedPercent(dialog.locomotionMode, dialog.initialSpeedAdjust));
}

LocomotionMode locomotionModeAfter(LocomotionMode mode) {
    switch (mode) {
        case LocomotionMode::Normal: return LocomotionMode::Advanced;
        case LocomotionMode::Advanced: return LocomotionMode::Seated;
        case LocomotionMode::Seated: return LocomotionMode::Seated2;
        default: return LocomotionMode::Normal;
    }
}

// Entering "Advanced" starts it at its own speeds; every other mode starts
// at the initial speed 100 %. Leaving "Advanced" keeps its speed adjustment.
void nextLocomotionMode(Hub& hub) {
    DialogState& dialog = hub.state.dialog;
    Window& window = hub.edges.window;
    dialog.locomotionMode = locomotionModeAfter(dialog.locomotionMode);
    const bool advanced = dialog.locomotionMode == LocomotionMode::Advanced;
    if (advanced) {
        dialog.initialSpeedAdjust = kAdvancedStartInitialSpeed;
        dialog.speedAdjust = kAdvancedStartSpeed;
        showPercent(window, control::kSpeedButton, kSpeedPercent[kAdvancedStartSpeed]);
    } else {
        dialog.initialSpeedAdjust = 0;
    }
    showPercent(window, control::kInitialSpeedButton,
                initialSpeedPercent(dialog.locomotionMode, dialog.initialSpeedAdjust));
    window.enable(control::kSpeedButton, advanced);
    window.enable(control::kInitialSpeedButton, advanced || dialog.locomotionMode == LocomotionMode::Normal);
}

void nextSpeed(Hub& hub) {
    DialogState& dialog = hub.state.dialog;
    dialog.speedAdjust = (dialog.speedAdjust + 1) % static_cast<int>(kSpeedPercent.size());
    showPercent(hub.edges.window, control::kSpeedButton, kSpeedPercent[static_cast<std::size_t>(dialog.speedAdjust)]);
}

void nextSensitivityOrScale(Hub& hub) {
    DialogState& dialog = hub.state.dialog;
    const SensitivityButton button = vjoyModeRow(dialog.vjoyMode).sensitivityButton;
    if (button == SensitivityButton::BikingScale) {
        dialog.bikingScale = dialog.bikingScale == kHighestBikingScale ? kLowestBikingScale : dialog.bikingScale + 1;
        dialog.bikingScaleFactor = kBikingScaleFactor[static_cast<std::size_t>(dialog.bikingScale - kLowestBikingScale)];
        showPercent(hub.edges.window, control::kSensitivityButton, tenPercentSteps(dialog.bikingScale));
    } else if (button == SensitivityButton::StickSensitivity) {
        dialog.stickSensitivity = dialog.stickSensitivity == kHighestStickSensitivity ? kLowestStickSensitivity
                                                                                      : dialog.stickSensitivity + 1;
        showPercent(hub.edges.window, control::kSensitivityButton, tenPercentSteps(dialog.stickSensitivity));
    }
}

// Starts the feeder directly, never through a command processor, so a folder
// with blanks or non-ANSI characters works and nothing else can be started.
void startFeeder(Hub& hub) {
    if (const auto feeder = feederPathFor(hub.edges.launcher.programPath())) hub.edges.launcher.start(*feeder);
}

}  // namespace

void initialiseDialog(Hub& hub, DevicePlatform& platform, bool filterXInputDevices) {
    const HResult setUp = setUpDevices(hub, platform, filterXInputDevices);
    if (hub.recorder != nullptr) hub.recorder->setUpFinished(hub, setUp, filterXInputDevices);
    if (!failed(setUp)) return;
    hub.edges.window.messageBox("Error Initializing DirectInput", "VR Stepdeck monitor");
    hub.edges.window.endDialog(0);
}

void onActivate(Hub& hub, bool active) {
    if (hub.recorder != nullptr) hub.recorder->activated(active);
    if (!active || hub.devices.deck == nullptr) return;
    hub.devices.deck->acquire();
    if (hub.devices.gamepad != nullptr) {
        hub.edges.window.setText(control::kGamepadName, hub.devices.gamepadName);
        hub.devices.gamepad->acquire();
    } else {
        hub.edges.window.setText(control::kGamepadName, "Not available");
    }
}

void onDevicesChanged(Hub& hub) {
    if (hub.recorder != nullptr) hub.recorder->devicesChanged();
    noteDevicesChanged(hub.state.deckLoss);
    noteDevicesChanged(hub.state.gamepadLoss);
}

void onCommand(Hub& hub, int commandId) {
    if (hub.recorder != nullptr) hub.recorder->commanded(commandId);
    switch (commandId) {
        case control::kCancel: cancel(hub); break;
        case control::kNextVjoyMode: nextVjoyMode(hub); break;
        case control::kInitialSpeedButton: nextInitialSpeed(hub); break;
        case control::kNextLocomotionMode: nextLocomotionMode(hub); break;
        case control::kSpeedButton: nextSpeed(hub); break;
        case control::kSensitivityButton: nextSensitivityOrScale(hub); break;
        case control::kStartFeeder: startFeeder(hub); break;
        default: break;
    }
    if (hub.recorder != nullptr) hub.recorder->commandHandled();
}

std::size_t utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) == 0x80) continue;  // continuation byte
        units += (byte & 0xF8) == 0xF0 ? 2 : 1;  // four-byte sequences need a surrogate pair
    }
    return units;
}

std::optional<std::string> feederPathFor(std::string_view programPath) {
    const std::size_t lastBackslash = programPath.rfind('\\');
    if (lastBackslash == std::string_view::npos) return std::nullopt;
    std::string feeder(programPath.substr(0, lastBackslash + 1));
    feeder += kFeederRelativePath;
    if (utf16Length(feeder) > kMaxPathUnits) return std::nullopt;
    return feeder;
}

}  // namespace hub
