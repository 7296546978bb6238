// The vJoy framework: labels written once per mode change, the throttle and
// brake display after the mode stage.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine/controls.h"
#include "fake_edges.h"

namespace hub {
namespace {

using testing::TestHub;

int writesTo(const TestHub& t, int id) {
    int count = 0;
    for (const auto& write : t.window.writes) count += write.first == id;
    return count;
}

std::string firstWrite(const TestHub& t, int id) {
    const auto write = std::find_if(t.window.writes.begin(), t.window.writes.end(),
                                    [id](const auto& w) { return w.first == id; });
    return write == t.window.writes.end() ? "(none)" : write->second;
}

TEST(VjoyModeLabel, TheFirstTickShowsTheStartModeAndLaterTicksDoNotRewriteIt) {
    TestHub t;
    t.tick(1000);
    EXPECT_EQ(t.window.texts[control::kVjoyModeName], "4-way-mov");
    EXPECT_EQ(t.window.texts[control::kSteeringCaption], "Steering:");
    t.tick(1033);
    t.tick(1066);
    EXPECT_EQ(writesTo(t, control::kVjoyModeName), 1);
    EXPECT_EQ(writesTo(t, control::kSteeringCaption), 1);
}

TEST(VjoyModeLabel, EnteringBikingShowsCycleAndZeroLeavingItLeavesTheValueAlone) {
    TestHub t;
    t.hub.state.dialog.vjoyMode = 7;
    t.tick(1000);
    EXPECT_EQ(t.window.texts[control::kVjoyModeName], "Flight Sim");

    t.hub.state.dialog.vjoyMode = 9;
    t.window.writes.clear();
    t.tick(1033);
    // The label stage's writes come before the Biking stage's own.
    EXPECT_EQ(firstWrite(t, control::kVjoyModeName), "Biking");
    EXPECT_EQ(firstWrite(t, control::kSteeringCaption), "Cycle:");
    EXPECT_EQ(firstWrite(t, control::kSteeringValue), "0");

    t.hub.state.dialog.vjoyMode = 2;
    t.window.writes.clear();
    t.tick(1066);
    EXPECT_EQ(firstWrite(t, control::kVjoyModeName), "4-way-mov");
    EXPECT_EQ(firstWrite(t, control::kSteeringCaption), "Steering:");
    EXPECT_EQ(writesTo(t, control::kSteeringValue), 0);
}

TEST(VjoyModeLabel, EachModeHasItsOwnLabel) {
    TestHub t;
    const std::pair<int, std::string> labels[] = {
        {5, "Skate"}, {6, "Diff. Pedal n Brake"}, {7, "Flight Sim"}, {9, "Biking"}, {2, "4-way-mov"}};
    std::uint64_t now = 1000;
    for (const auto& [mode, label] : labels) {
        t.hub.state.dialog.vjoyMode = mode;
        t.tick(now += 33);
        EXPECT_EQ(t.window.texts[control::kVjoyModeName], label);
    }
}

TEST(ThrottleAndBrakeDisplay, ShowsTheValuesTheModeStageLeftInTheSameTick) {
    TestHub t;
    t.hub.state.dialog.vjoyMode = 6;
    t.deck.record.lRz = 250;  // right tilt 32 against a left tilt of 0: full brake at once
    t.tick(1000);
    EXPECT_EQ(t.window.texts[control::kBrakeValue], "1.000000");
    EXPECT_EQ(t.window.texts[control::kThrottleValue], "0.000000");
}

TEST(ThrottleAndBrakeDisplay, OtherModesShowTheSharedValuesUnchanged) {
    TestHub t;
    t.hub.state.vjoy.throttle = 0.25f;
    t.hub.state.vjoy.brake = -0.5f;
    t.tick(1000);
    EXPECT_EQ(t.window.texts[control::kThrottleValue], "0.250000");
    EXPECT_EQ(t.window.texts[control::kBrakeValue], "-0.500000");
}

TEST(ThrottleAndBrakeDisplay, IsLeftToTheBikingStageInModeNine) {
    TestHub t;
    t.hub.state.dialog.vjoyMode = 9;
    t.hub.state.vjoy.throttle = 0.25f;
    t.hub.state.vjoy.brake = 0.75f;
    t.tick(1000);
    for (const auto& [id, text] : t.window.writes) {
        EXPECT_FALSE(id == control::kThrottleValue && text == "0.250000");
        EXPECT_FALSE(id == control::kBrakeValue && text == "0.750000");
    }
}

}  // namespace
}  // namespace hub
