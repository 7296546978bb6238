// The dialog's buttons, activation and feeder launch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/controls.h"
#include "engine/dialog.h"
#include "scripted_edges.h"

namespace hub {
namespace {

using testing::ProcessExit;
using testing::ScriptedHub;

// Presses a button n times and collects the labels it wrote on a control.
std::vector<std::string> press(ScriptedHub& t, int button, int times, int labelControl) {
    std::vector<std::string> labels;
    for (int i = 0; i < times; ++i) {
        t.window.writes.clear();
        onCommand(t.hub, button);
        for (const auto& [id, text] : t.window.writes) {
            if (id == labelControl) labels.push_back(text);
        }
    }
    return labels;
}

using Labels = std::vector<std::string>;

TEST(VjoyModeButton, CyclesThroughTheFiveModesAndResetsTheStickSensitivity) {
    ScriptedHub t;
    std::vector<int> modes;
    for (int i = 0; i < 5; ++i) {
        onCommand(t.hub, control::kNextVjoyMode);
        modes.push_back(static_cast<int>(t.hub.state.dialog.vjoyMode));
    }
    EXPECT_EQ(modes, (std::vector<int>{5, 6, 7, 9, 2}));
    EXPECT_EQ(t.window.texts.at(control::kSensitivityButton), "100%");  // written on entering 9

    onCommand(t.hub, control::kNextVjoyMode);  // 2 -> 5 leaves it
    EXPECT_EQ(t.window.texts.at(control::kSensitivityButton), "100%");
    onCommand(t.hub, control::kNextVjoyMode);  // 5 -> 6
    EXPECT_EQ(t.window.texts.at(control::kSensitivityButton), "RH Stick");

    onCommand(t.hub, control::kNextVjoyMode);  // 6 -> 7
    onCommand(t.hub, control::kSensitivityButton);
    EXPECT_EQ(t.hub.state.dialog.stickSensitivity, 1);
    onCommand(t.hub, control::kNextVjoyMode);  // 7 -> 9 resets it
    EXPECT_EQ(t.hub.state.dialog.stickSensitivity, 0);
}

TEST(SensitivityButton, FlightSimStepsFromOneHundredUpToOneFortyThenEightyAndNinety) {
    ScriptedHub t;
    t.hub.state.dialog.vjoyMode = VjoyMode::FlightSim;
    EXPECT_EQ(press(t, control::kSensitivityButton, 7, control::kSensitivityButton),
              (Labels{"110%", "120%", "130%", "140%", "80%", "90%", "100%"}));
    EXPECT_EQ(t.hub.state.dialog.stickSensitivity, 0);
    EXPECT_EQ(t.hub.state.dialog.bikingScale, 0);
}

TEST(SensitivityButton, BikingScaleStepsWithExactSinglePrecisionFactors) {
    ScriptedHub t;
    t.hub.state.dialog.vjoyMode = VjoyMode::Biking;
    std::vector<float> factors;
    std::vector<std::string> labels;
    for (int i = 0; i < 9; ++i) {
        labels.push_back(press(t, control::kSensitivityButton, 1, control::kSensitivityButton).at(0));
        factors.push_back(t.hub.state.dialog.bikingScaleFactor);
    }
    EXPECT_EQ(labels, (Labels{"110%", "120%", "130%", "140%", "150%", "70%", "80%", "90%", "100%"}));
    EXPECT_EQ(factors, (std::vector<float>{1.1f, 1.2f, 1.3f, 1.4f, 1.5f, 0.7f, 0.8f, 0.9f, 1.0f}));
    EXPECT_EQ(t.hub.state.dialog.bikingScale, 0);
}

TEST(SensitivityButton, ReenteringBikingShowsOneHundredButKeepsTheScale) {
    ScriptedHub t;
    t.hub.state.dialog.vjoyMode = VjoyMode::Biking;
    press(t, control::kSensitivityButton, 2, control::kSensitivityButton);
    for (int i = 0; i < 5; ++i) onCommand(t.hub, control::kNextVjoyMode);  // round to 9 again
    EXPECT_EQ(t.hub.state.dialog.vjoyMode, VjoyMode::Biking);
    EXPECT_EQ(t.window.texts.at(control::kSensitivityButton), "100%");
    EXPECT_EQ(t.hub.state.dialog.bikingScale, 2);
    EXPECT_EQ(t.hub.state.dialog.bikingScaleFactor, 1.2f);
}

TEST(SensitivityButton, DoesNothingOutsideFlightSimAndBiking) {
    for (const VjoyMode mode : {VjoyMode::FourWay, VjoyMode::Skate, VjoyMode::PedalBrake}) {
        ScriptedHub t;
        t.hub.state.dialog.vjoyMode = mode;
        onCommand(t.hub, control::kSensitivityButton);
        EXPECT_TRUE(t.window.writes.empty());
        EXPECT_EQ(t.hub.state.dialog.stickSensitivity, 0);
        EXPECT_EQ(t.hub.state.dialog.bikingScale, 0);
    }
}

TEST(LocomotionModeButton, EnablesTheSpeedButtonsOnlyWhereTheyApply) {
    ScriptedHub t;
    onCommand(t.hub, control::kNextLocomotionMode);  // 1 -> 4
    EXPECT_EQ(t.hub.state.dialog.locomotionMode, LocomotionMode::Advanced);
    EXPECT_EQ(t.window.texts.at(control::kInitialSpeedButton), "85%");
    EXPECT_EQ(t.window.texts.at(control::kSpeedButton), "110%");
    EXPECT_TRUE(t.window.enabled.at(control::kSpeedButton));
    EXPECT_TRUE(t.window.enabled.at(control::kInitialSpeedButton));
    EXPECT_EQ(t.hub.state.dialog.initialSpeedAdjust, 3);
    EXPECT_EQ(t.hub.state.dialog.speedAdjust, 1);

    onCommand(t.hub, control::kSpeedButton);
    onCommand(t.hub, control::kNextLocomotionMode);  // 4 -> 2 keeps the speed and its label
    EXPECT_EQ(t.hub.state.dialog.locomotionMode, LocomotionMode::Seated);
    EXPECT_EQ(t.window.texts.at(control::kInitialSpeedButton), "100%");
    EXPECT_EQ(t.window.texts.at(control::kSpeedButton), "130%");
    EXPECT_EQ(t.hub.state.dialog.speedAdjust, 2);
    EXPECT_FALSE(t.window.enabled.at(control::kSpeedButton));
    EXPECT_FALSE(t.window.enabled.at(control::kInitialSpeedButton));

    onCommand(t.hub, control::kNextLocomotionMode);  // 2 -> 3
    EXPECT_FALSE(t.window.enabled.at(control::kSpeedButton));
    EXPECT_FALSE(t.window.enabled.at(control::kInitialSpeedButton));
    onCommand(t.hub, control::kNextLocomotionMode);  // 3 -> 1
    EXPECT_EQ(t.hub.state.dialog.locomotionMode, LocomotionMode::Normal);
    EXPECT_FALSE(t.window.enabled.at(control::kSpeedButton));
    EXPECT_TRUE(t.window.enabled.at(control::kInitialSpeedButton));

    onCommand(t.hub, control::kNextLocomotionMode);  // back in 4: starts at 1 and 3 again
    EXPECT_EQ(t.hub.state.dialog.speedAdjust, 1);
    EXPECT_EQ(t.hub.state.dialog.initialSpeedAdjust, 3);
}

TEST(InitialSpeedButton, NormalAndAdvancedShareTheOrderButNotTheLabels) {
    ScriptedHub normal;
    EXPECT_EQ(press(normal, control::kInitialSpeedButton, 7, control::kInitialSpeedButton),
              (Labels{"120%", "150%", "35%", "50%", "65%", "80%", "100%"}));
    EXPECT_TRUE(normal.window.enabled.empty());  // only Advanced enables the speed button

    ScriptedHub advanced;
    advanced.hub.state.dialog.locomotionMode = LocomotionMode::Advanced;
    EXPECT_EQ(press(advanced, control::kInitialSpeedButton, 7, control::kInitialSpeedButton),
              (Labels{"60%", "70%", "80%", "85%", "90%", "95%", "100%"}));
    EXPECT_TRUE(advanced.window.enabled.at(control::kSpeedButton));
}

TEST(SpeedButton, StepsThroughSixLabelsAndWraps) {
    ScriptedHub t;
    EXPECT_EQ(press(t, control::kSpeedButton, 6, control::kSpeedButton),
              (Labels{"110%", "130%", "150%", "180%", "200%", "100%"}));
}

TEST(CancelCommand, StandsTheConsumersStillStopsTheFeederThenEndsTheDialogWithZero) {
    ScriptedHub t;
    onCommand(t.hub, control::kCancel);
    ASSERT_EQ(t.socket.sent.size(), 3u);
    EXPECT_EQ(t.socket.sent[0].to, (Endpoint{kLoopback, 45040}));
    EXPECT_EQ(t.socket.sent[0].bytes, (std::vector<std::uint8_t>{0x2A, 0x80, 0x2B, 0x80, 0x00}));
    EXPECT_EQ(t.socket.sent[1].to, (Endpoint{kLoopback, 45045}));
    EXPECT_EQ(t.socket.sent[2].to, (Endpoint{kLoopback, 45042}));
    EXPECT_EQ(t.socket.sent[2].bytes, (std::vector<std::uint8_t>{100, 0}));
    EXPECT_EQ(t.window.endedWith, 0);
}

// Only the stop datagram is tested: the standing-still pair and the feeder's
// release before it are not.
TEST(CancelCommand, AFailedStopDatagramEndsTheProcessWithOne) {
    for (const auto& [failing, ended] : {std::pair{std::vector<std::uint64_t>{0, 1, 2}, true},
                                         std::pair{std::vector<std::uint64_t>{3}, false}}) {
        ScriptedHub t;
        t.hub.state.remote.feederEnabled.store(true);
        t.deck.record.lY = -600;
        t.tick(5000);  // the 4-way datagram leans forward
        t.socket.failingSends.clear();
        for (const std::uint64_t number : failing) t.socket.failingSends.push_back(t.socket.datagrams + number);
        std::optional<int> exited;
        try {
            onCommand(t.hub, control::kCancel);
        } catch (const ProcessExit& exit) {
            exited = exit.status;
        }
        EXPECT_EQ(exited, ended ? std::nullopt : std::optional(1));
        EXPECT_EQ(t.window.endedWith, ended ? std::optional(0) : std::nullopt);  // the process ended before the dialog
    }
}

TEST(UnknownCommand, ChangesNothing) {
    ScriptedHub t;
    for (int id : {1, 1000, 1045 + 1, 0xFFFF}) onCommand(t.hub, id);
    EXPECT_TRUE(t.window.writes.empty());
    EXPECT_TRUE(t.socket.sent.empty());
    EXPECT_TRUE(t.launcher.started.empty());
}

TEST(Activation, ShowsTheGamepadNameUnchangedAndAcquiresBoth) {
    ScriptedHub t;
    t.attachGamepad();
    t.hub.devices.gamepadName = "Pad \xC3\xA9\xE2\x84\xA2";
    onActivate(t.hub, false);
    EXPECT_TRUE(t.window.writes.empty());
    EXPECT_EQ(t.deck.acquireCalls, 0);

    onActivate(t.hub, true);
    EXPECT_EQ(t.window.texts.at(control::kGamepadName), "Pad \xC3\xA9\xE2\x84\xA2");
    EXPECT_EQ(t.deck.acquireCalls, 1);
    EXPECT_EQ(t.pad.acquireCalls, 1);
}

TEST(Activation, WithoutAGamepadShowsNotAvailableAndWithoutAStepdeckNothing) {
    ScriptedHub t;
    onActivate(t.hub, true);
    EXPECT_EQ(t.window.texts.at(control::kGamepadName), "Not available");

    ScriptedHub noDeck;
    noDeck.hub.devices.deck = nullptr;
    noDeck.attachGamepad();
    onActivate(noDeck.hub, true);
    EXPECT_TRUE(noDeck.window.writes.empty());
    EXPECT_EQ(noDeck.pad.acquireCalls, 0);
}

TEST(FeederLaunch, StartsTheFeederBesideTheProgramEvenWithBlanksInThePath) {
    ScriptedHub t;
    t.launcher.path = "C:\\Program Files\\Hub\\hub.exe";
    onCommand(t.hub, control::kStartFeeder);
    EXPECT_EQ(t.launcher.started, (std::vector<std::string>{"C:\\Program Files\\Hub\\feeder\\vJoyFeeder.exe"}));
}

TEST(FeederLaunch, APathOf259UnitsStartsAndOneMoreIsRefused) {
    // A folder of 238 units (with its backslash) plus the 21 of the feeder's name.
    const std::string folder = "C:\\" + std::string(234, 'a') + "\\";
    ASSERT_EQ(folder.size(), 238u);
    EXPECT_EQ(feederPathFor(folder + "hub.exe")->size(), 259u);
    EXPECT_EQ(feederPathFor("C:\\a" + folder.substr(2) + "hub.exe"), std::nullopt);

    ScriptedHub t;
    t.launcher.path = "C:\\a" + folder.substr(2) + "hub.exe";
    onCommand(t.hub, control::kStartFeeder);
    EXPECT_TRUE(t.launcher.started.empty());
}

TEST(FeederLaunch, TheLimitCountsUtf16UnitsNotBytes) {
    // 200 two-byte characters: 425 bytes but 225 units, so it fits.
    std::string accented = "C:\\";
    for (int i = 0; i < 200; ++i) accented += "\xC3\xA9";
    EXPECT_TRUE(feederPathFor(accented + "\\hub.exe").has_value());
    // 118 characters outside the basic plane take two units each: 261 units.
    std::string emoji = "C:\\";
    for (int i = 0; i < 118; ++i) emoji += "\xF0\x9F\x8E\xAE";
    EXPECT_EQ(utf16Length(emoji + "\\"), 240u);
    EXPECT_EQ(feederPathFor(emoji + "\\hub.exe"), std::nullopt);
}

TEST(FeederLaunch, AProgramPathWithoutAFolderIsRefused) {
    EXPECT_EQ(feederPathFor("hub.exe"), std::nullopt);
    EXPECT_EQ(feederPathFor(""), std::nullopt);
    EXPECT_EQ(*feederPathFor("\\\\server\\share\\hub.exe"), "\\\\server\\share\\feeder\\vJoyFeeder.exe");
}

}  // namespace
}  // namespace hub
