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

std::vector<std::string> writesTo(const TestHub& t, int id) {
    std::vector<std::string> texts;
    for (const auto& [control, text] : t.window.writes) {
        if (control == id) texts.push_back(text);
    }
    return texts;
}

TEST(VjoyModeLabel, IsWrittenOnTheFirstTickAndThenOnlyWhenTheModeChanges) {
    TestHub t;
    t.tick(1000);
    t.tick(1033);
    EXPECT_EQ(writesTo(t, control::kVjoyModeName), std::vector<std::string>{"4-way-mov"});
    EXPECT_EQ(writesTo(t, control::kSteeringCaption), std::vector<std::string>{"Steering:"});
    std::uint64_t now = 1033;
    for (const auto& [mode, label] : {std::pair{5, "Skate"}, {6, "Diff. Pedal n Brake"}, {7, "Flight Sim"}}) {
        t.hub.state.dialog.vjoyMode = mode;
        t.tick(now += 33);
        t.tick(now += 33);
        EXPECT_EQ(writesTo(t, control::kVjoyModeName).back(), label);
    }
    EXPECT_EQ(writesTo(t, control::kVjoyModeName).size(), 4u);
}

TEST(VjoyModeLabel, EnteringBikingShowsCycleAndZeroLeavingItLeavesTheValueAlone) {
    TestHub t;
    t.hub.state.dialog.vjoyMode = 9;
    t.tick(1000);
    // The label stage writes before the Biking stage's own writes.
    EXPECT_EQ(writesTo(t, control::kVjoyModeName).front(), "Biking");
    EXPECT_EQ(writesTo(t, control::kSteeringCaption).front(), "Cycle:");
    EXPECT_EQ(writesTo(t, control::kSteeringValue).front(), "0");

    t.hub.state.dialog.vjoyMode = 2;
    t.window.writes.clear();
    t.tick(1033);
    EXPECT_EQ(writesTo(t, control::kSteeringCaption), std::vector<std::string>{"Steering:"});
    EXPECT_TRUE(writesTo(t, control::kSteeringValue).empty());
}

TEST(ThrottleAndBrakeDisplay, ShowsWhatTheModeStageLeftInTheSameTickAndIsLeftToBiking) {
    TestHub t;
    t.hub.state.dialog.vjoyMode = 6;
    t.deck.record.lRz = 250;  // right tilt 32 against a left tilt of 0: full brake at once
    t.tick(1000);
    EXPECT_EQ(t.window.texts[control::kBrakeValue], "1.000000");
    EXPECT_EQ(t.window.texts[control::kThrottleValue], "0.000000");

    t.hub.state.dialog.vjoyMode = 9;
    t.window.writes.clear();
    t.tick(1033);
    for (const auto& text : writesTo(t, control::kBrakeValue)) EXPECT_NE(text, "1.000000");
}

}  // namespace
}  // namespace hub
