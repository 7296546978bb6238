// The vJoy mode table and the framework around it: the button's cycle, the
// layouts, labels written once per mode change, the throttle and brake
// display after the mode stage.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "base/controls.h"
#include "scripted_edges.h"

namespace hub {
namespace {

using testing::ScriptedHub;

std::vector<std::string> writesTo(const ScriptedHub& t, int id) {
    std::vector<std::string> texts;
    for (const auto& [control, text] : t.window.writes) {
        if (control == id) texts.push_back(text);
    }
    return texts;
}

TEST(VjoyModeLabel, IsWrittenOnTheFirstTickAndThenOnlyWhenTheModeChanges) {
    ScriptedHub t;
    t.tick(1000);
    t.tick(1033);
    EXPECT_EQ(writesTo(t, control::kVjoyModeName), std::vector<std::string>{"4-way-mov"});
    EXPECT_EQ(writesTo(t, control::kSteeringCaption), std::vector<std::string>{"Steering:"});
    std::uint64_t now = 1033;
    for (const auto& [mode, label] : {std::pair{VjoyMode::Skate, "Skate"},
                                      {VjoyMode::PedalBrake, "Diff. Pedal n Brake"},
                                      {VjoyMode::FlightSim, "Flight Sim"}}) {
        t.hub.state.dialog.vjoyMode = mode;
        t.tick(now += 33);
        t.tick(now += 33);
        EXPECT_EQ(writesTo(t, control::kVjoyModeName).back(), label);
    }
    EXPECT_EQ(writesTo(t, control::kVjoyModeName).size(), 4u);
}

TEST(VjoyModeLabel, EnteringBikingShowsCycleAndZeroLeavingItLeavesTheValueAlone) {
    ScriptedHub t;
    t.hub.state.dialog.vjoyMode = VjoyMode::Biking;
    t.tick(1000);
    // The label stage writes before the Biking stage's own writes.
    EXPECT_EQ(writesTo(t, control::kVjoyModeName).front(), "Biking");
    EXPECT_EQ(writesTo(t, control::kSteeringCaption).front(), "Cycle:");
    EXPECT_EQ(writesTo(t, control::kSteeringValue).front(), "0");

    t.hub.state.dialog.vjoyMode = VjoyMode::FourWay;
    t.window.writes.clear();
    t.tick(1033);
    EXPECT_EQ(writesTo(t, control::kSteeringCaption), std::vector<std::string>{"Steering:"});
    EXPECT_TRUE(writesTo(t, control::kSteeringValue).empty());
}

TEST(ThrottleAndBrakeDisplay, ShowsWhatTheModeStageLeftInTheSameTickAndIsLeftToBiking) {
    ScriptedHub t;
    t.hub.state.dialog.vjoyMode = VjoyMode::PedalBrake;
    t.deck.record.lRz = 250;  // right tilt 32 against a left tilt of 0: full brake at once
    t.tick(1000);
    EXPECT_EQ(t.window.texts[control::kBrakeValue], "1.000000");
    EXPECT_EQ(t.window.texts[control::kThrottleValue], "0.000000");

    t.hub.state.dialog.vjoyMode = VjoyMode::Biking;
    t.window.writes.clear();
    t.tick(1033);
    for (const auto& text : writesTo(t, control::kBrakeValue)) EXPECT_NE(text, "1.000000");
}

TEST(VjoyModeTable, TheButtonStepsThroughEveryRowAndBackToTheFirst) {
    VjoyMode mode = kFirstVjoyMode;
    std::vector<int> ids;
    for (std::size_t i = 0; i < vjoyModes().size(); ++i) ids.push_back(static_cast<int>(mode = nextVjoyMode(mode)));
    EXPECT_EQ(ids, (std::vector<int>{5, 6, 7, 9, 2}));
    EXPECT_EQ(vjoyModeWithId(9), VjoyMode::Biking);
    EXPECT_EQ(vjoyModeWithId(3), std::nullopt);  // the ids between the modes name none
}

TEST(VjoyModeTable, LayoutsFollowTheModesFeederBytes) {
    EXPECT_EQ(vjoyModeRow(VjoyMode::FourWay).layout, nullptr);  // 4-way has its own datagram
    const auto& pedal = *vjoyModeRow(VjoyMode::PedalBrake).layout;
    EXPECT_EQ(pedal[4].name, "buttons");
    EXPECT_EQ(pedal[5].name, "brake");  // brake before throttle
    EXPECT_EQ((*vjoyModeRow(VjoyMode::Skate).layout)[1].encoding, wire::ByteEncoding::Offset);
    EXPECT_EQ((*vjoyModeRow(VjoyMode::FlightSim).layout)[3].encoding, wire::ByteEncoding::Unit);
    EXPECT_EQ((*vjoyModeRow(VjoyMode::Biking).layout)[2].encoding, wire::ByteEncoding::Raw);
}

// A loss or an end sends the feeder's last datagram with the bytes the
// Stepdeck sets at rest, as the mode that built it lists them; the others
// (the gamepad's, the remote app's, the dials, the fixed bytes) as sent.
TEST(VjoyModeTable, RestBytesAreTheStepdecksFieldsOfEachMode) {
    const std::vector<std::uint8_t> busy{0x16, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    const std::pair<VjoyMode, std::vector<std::uint8_t>> rows[] = {
        {VjoyMode::FourWay, {0x02, 0x01, 0x80, 0x80, 0x44, 0x55, 0x66}},
        {VjoyMode::Skate, {0x16, 0x80, 0x80, 0x80, 0x80, 0x55, 0x66, 0x77}},
        {VjoyMode::PedalBrake, {0x16, 0x11, 0x22, 0x33, 0x44, 0x55, 0x00, 0x00}},
        {VjoyMode::FlightSim, {0x16, 0x11, 0x22, 0x80, 0x44, 0x55, 0x00, 0x00}},
        {VjoyMode::Biking, {0x16, 0x80, 0x22, 0x33, 0x44, 0x55, 0x00, 0x00}},
    };
    for (const auto& [mode, expected] : rows) {
        FeederDatagram sent;
        sent.length = expected.size();
        std::copy_n(busy.begin(), sent.length, sent.bytes.begin());
        if (mode == VjoyMode::FourWay) sent.bytes[0] = 0x02, sent.bytes[1] = 0x01;
        const auto released = atRest(sent, vjoyModeRow(mode).restBytes);
        ASSERT_TRUE(released.has_value()) << static_cast<int>(mode);
        EXPECT_EQ(std::vector<std::uint8_t>(released->view().begin(), released->view().end()), expected)
            << static_cast<int>(mode);
        EXPECT_EQ(atRest(*released, vjoyModeRow(mode).restBytes), std::nullopt) << "already at rest";
    }
}

}  // namespace
}  // namespace hub
