// The device set-up: which controller becomes the Stepdeck and which the
// gamepad, how their objects are configured, and every failure path.
#include <gtest/gtest.h>

#include "engine/dialog.h"
#include "scripted_devices.h"

namespace hub {
namespace {

using testing::ScriptedDevicePlatform;
using testing::gamepadController;
using testing::hidProduct;
using testing::stepdeckController;
using testing::ScriptedHub;

struct DeviceSetUp : ::testing::Test {
    ScriptedHub t{ScriptedHub::Attached::Nothing};
    ScriptedDevicePlatform platform{t.deck, t.pad};

    HResult run(bool filter = false) { return setUpDevices(t.hub, platform, filter); }
    std::vector<int> enabledControls() const {
        std::vector<int> ids;
        for (const auto& [id, on] : t.window.enabled) {
            if (on) ids.push_back(id);
        }
        return ids;
    }
};

TEST(StepdeckMatchRule, NeedsTheWholeProductGuidAndAJoystickOrGamePadUsage) {
    ControllerInfo deck{{}, hidProduct(0xFFFF, 0x0000), 4, "x"};
    EXPECT_TRUE(isStepdeck(deck));
    deck.usage = 5;
    EXPECT_TRUE(isStepdeck(deck));
    deck.usage = 6;
    EXPECT_FALSE(isStepdeck(deck));
    deck.usage = 4;

    ControllerInfo swapped = deck;  // vendor and product the other way round
    swapped.product = hidProduct(0x0000, 0xFFFF);
    EXPECT_FALSE(isStepdeck(swapped));
    ControllerInfo secondField = deck;
    secondField.product.data2 = 1;
    EXPECT_FALSE(isStepdeck(secondField));
    ControllerInfo thirdField = deck;
    thirdField.product.data3 = 1;
    EXPECT_FALSE(isStepdeck(thirdField));
    ControllerInfo notHid = deck;
    notHid.product.data4[7] = 0;
    EXPECT_FALSE(isStepdeck(notHid));
}

TEST_F(DeviceSetUp, TheFirstCreatableStepdeckWinsAndTheSecondIsNeverTheGamepad) {
    platform.controllers = {stepdeckController(1), stepdeckController(2), stepdeckController(3, 5)};
    platform.controllers[0].createResult = -5;
    EXPECT_EQ(run(), kOk);
    EXPECT_EQ(platform.createdInstance.at(DeviceRole::Stepdeck), 2u);
    EXPECT_EQ(t.hub.devices.deck, &t.deck);
    EXPECT_EQ(t.hub.devices.gamepad, nullptr);
    EXPECT_FALSE(platform.createdInstance.contains(DeviceRole::Gamepad));
}

TEST_F(DeviceSetUp, AStepdeckIdentityWithAnotherUsageIsNeitherStepdeckNorGamepad) {
    platform.controllers = {stepdeckController(1, 8), stepdeckController(2, 4)};
    EXPECT_EQ(run(), kOk);
    EXPECT_EQ(platform.createdInstance.at(DeviceRole::Stepdeck), 2u);
    EXPECT_EQ(t.hub.devices.gamepad, nullptr);
}

TEST_F(DeviceSetUp, OnlyAnExactCaseVJoyPrefixIsSkippedAsGamepad) {
    platform.controllers = {gamepadController(1, "vJoy Device"), stepdeckController(2),
                            gamepadController(3, "VJOY pad"), gamepadController(4, "Other")};
    EXPECT_EQ(run(), kOk);
    EXPECT_EQ(platform.createdInstance.at(DeviceRole::Gamepad), 3u);
    EXPECT_EQ(t.hub.devices.gamepad, &t.pad);
    EXPECT_EQ(t.hub.devices.gamepadName, "VJOY pad");
}

TEST_F(DeviceSetUp, TheGamepadNameKeepsEveryCharacterNotJustTheLowByte) {
    const std::string name = "Manette \xC3\xA9lite \xE2\x84\xA2 \xF0\x9F\x8E\xAE";  // é, ™, a game controller emoji
    platform.controllers = {stepdeckController(1), gamepadController(2, name)};
    run();
    EXPECT_EQ(t.hub.devices.gamepadName, name);
}

TEST_F(DeviceSetUp, ACreateFailureMovesTheGamepadChoiceOn) {
    platform.controllers = {stepdeckController(1), gamepadController(2, "first"), gamepadController(3, "second")};
    platform.controllers[1].createResult = -1;
    run();
    EXPECT_EQ(t.hub.devices.gamepadName, "second");
}

TEST_F(DeviceSetUp, TheXInputFilterCanHideTheStepdeckItself) {
    platform.controllers = {stepdeckController(1), gamepadController(2, "pad", 0x045E, 0x028E),
                            gamepadController(3, "other", 0x1234, 0xABCD)};
    platform.pnpDeviceIds = {u"HID\\VID_FFFF&PID_0000&IG_00\\1", u"HID\\VID_045E&PID_028E&IG_00\\7"};
    run(true);
    EXPECT_TRUE(platform.pnpListed);
    EXPECT_EQ(t.hub.devices.deck, nullptr);  // the only Stepdeck is listed as an XInput device
    EXPECT_EQ(t.window.endedWith, 0);
}

TEST_F(DeviceSetUp, TheXInputFilterSkipsAListedGamepadAndTakesTheNext) {
    platform.controllers = {stepdeckController(1), gamepadController(2, "pad", 0x045E, 0x028E),
                            gamepadController(3, "other", 0x1234, 0xABCD)};
    platform.pnpDeviceIds = {u"USB\\VID_045E&PID_028E&IG_00\\7"};
    run(true);
    EXPECT_EQ(t.hub.devices.gamepadName, "other");
}

TEST_F(DeviceSetUp, WithoutTheSwitchTheDeviceListIsNeverRead) {
    platform.controllers = {stepdeckController(1), gamepadController(2, "pad", 0x045E, 0x028E)};
    platform.pnpDeviceIds = {u"USB\\VID_045E&PID_028E&IG_00\\7"};
    run(false);
    EXPECT_FALSE(platform.pnpListed);
    EXPECT_EQ(t.hub.devices.gamepadName, "pad");
}

TEST_F(DeviceSetUp, AStepdeckWithOnlyXAndYEnablesOnlyTheirFourControls) {
    platform.controllers = {stepdeckController(1)};
    platform.controllers[0].objects = {{ObjectType::XAxis, true, 1}, {ObjectType::YAxis, true, 2},
                                       {ObjectType::Other, false, 9}};
    run();
    EXPECT_EQ(enabledControls(), (std::vector<int>{1010, 1011, 1013, 1014}));
}

TEST_F(DeviceSetUp, SixAxesEnableTheirValueAndLabelPairs) {
    platform.controllers = {stepdeckController(1)};
    run();
    EXPECT_EQ(enabledControls(),
              (std::vector<int>{1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017, 1018, 1020, 1021, 1022}));
    EXPECT_EQ(platform.rangesSet.size(), 6u);
    EXPECT_EQ(platform.cooperativeLevel.at(DeviceRole::Stepdeck), 9u);
}

TEST_F(DeviceSetUp, SlidersBeyondTheSecondAndPovsBeyondTheFourthEnableNothing) {
    platform.controllers = {stepdeckController(1)};
    std::vector<DeviceObject> objects;
    for (int i = 0; i < 3; ++i) objects.push_back({ObjectType::Slider, true, static_cast<std::uint32_t>(10 + i)});
    for (int i = 0; i < 5; ++i) objects.push_back({ObjectType::Pov, false, static_cast<std::uint32_t>(20 + i)});
    platform.controllers[0].objects = objects;
    run();
    EXPECT_EQ(enabledControls(), (std::vector<int>{1019, 1023, 1024, 1025, 1026, 1027, 1030, 1031, 1040, 1042, 1043, 1044}));
    EXPECT_EQ(platform.rangesSet.size(), 3u);  // sliders are axes; points of view are not
}

TEST_F(DeviceSetUp, AFailedRangeStopsTheObjectsButNotTheSetUp) {
    platform.controllers = {stepdeckController(1), gamepadController(2, "pad")};
    platform.stepdeck.setRange[2] = -7;  // the Y axis
    EXPECT_EQ(run(), kOk);
    EXPECT_EQ(enabledControls(), (std::vector<int>{1010, 1013}));
    EXPECT_NE(t.hub.devices.deck, nullptr);
    EXPECT_NE(t.hub.devices.gamepad, nullptr);
}

TEST_F(DeviceSetUp, WithoutAStepdeckTheFeederIsStoppedTheUserToldAndTheDialogEnded) {
    platform.controllers = {gamepadController(1, "pad")};
    EXPECT_EQ(run(), kOk);
    ASSERT_EQ(t.socket.sent.size(), 1u);
    EXPECT_EQ(t.socket.sent[0].to.port, 45042);
    EXPECT_EQ(t.socket.sent[0].bytes, (std::vector<std::uint8_t>{100, 0}));
    ASSERT_EQ(t.window.messageBoxes.size(), 1u);
    EXPECT_EQ(t.window.messageBoxes[0],
              std::make_pair(std::string("Stepdeck not found. The application will now exit."),
                             std::string("VR Stepdeck monitor")));
    EXPECT_EQ(t.window.endedWith, 0);
    EXPECT_EQ(t.hub.devices.gamepad, nullptr);
    EXPECT_FALSE(platform.createdInstance.contains(DeviceRole::Gamepad));
}

TEST_F(DeviceSetUp, StepdeckFailuresReturnTheirCodeUnchanged) {
    const auto failWith = [](ScriptedDevicePlatform& p, int step, HResult code) {
        HResult* fields[] = {&p.stepdeck.createDirectInput, &p.stepdeck.enumerate, &p.stepdeck.setFormat,
                             &p.stepdeck.setCooperativeLevel, &p.stepdeck.enumerateObjects};
        *fields[step] = code;
    };
    for (int step = 0; step < 5; ++step) {
        ScriptedHub hub{ScriptedHub::Attached::Nothing};
        ScriptedDevicePlatform failing{hub.deck, hub.pad};
        failing.controllers = {stepdeckController(1)};
        failWith(failing, step, -100 - step);
        EXPECT_EQ(setUpDevices(hub.hub, failing, false), -100 - step) << "step " << step;
        EXPECT_EQ(hub.hub.devices.deck, nullptr) << "step " << step;
        EXPECT_TRUE(hub.socket.sent.empty()) << "step " << step;
    }
}

TEST_F(DeviceSetUp, GamepadFailuresLeaveTheHubWithoutAGamepad) {
    for (int step = 0; step < 5; ++step) {
        ScriptedHub hub{ScriptedHub::Attached::Nothing};
        ScriptedDevicePlatform failing{hub.deck, hub.pad};
        failing.controllers = {stepdeckController(1), gamepadController(2, "pad")};
        HResult* fields[] = {&failing.gamepad.createDirectInput, &failing.gamepad.enumerate, &failing.gamepad.setFormat,
                             &failing.gamepad.setCooperativeLevel, &failing.gamepad.enumerateObjects};
        *fields[step] = -1;
        EXPECT_EQ(setUpDevices(hub.hub, failing, false), kOk) << "step " << step;
        EXPECT_NE(hub.hub.devices.deck, nullptr) << "step " << step;
        EXPECT_EQ(hub.hub.devices.gamepad, nullptr) << "step " << step;
        EXPECT_EQ(failing.device(DeviceRole::Gamepad), nullptr) << "step " << step;
    }
}

TEST_F(DeviceSetUp, TheGamepadIsNonExclusiveAndAFailedRangeKeepsIt) {
    platform.controllers = {stepdeckController(1), gamepadController(2, "pad")};
    platform.gamepad.setRange[1] = -1;
    run();
    EXPECT_EQ(platform.cooperativeLevel.at(DeviceRole::Gamepad), 10u);
    EXPECT_NE(t.hub.devices.gamepad, nullptr);
    EXPECT_EQ(enabledControls().size(), 12u);  // the gamepad's objects enable nothing
}

TEST_F(DeviceSetUp, AFailedSetUpIsReportedAndEndsTheDialog) {
    platform.stepdeck.createDirectInput = -3;
    initialiseDialog(t.hub, platform, false);
    ASSERT_EQ(t.window.messageBoxes.size(), 1u);
    EXPECT_EQ(t.window.messageBoxes[0],
              std::make_pair(std::string("Error Initializing DirectInput"), std::string("VR Stepdeck monitor")));
    EXPECT_EQ(t.window.endedWith, 0);
}

}  // namespace
}  // namespace hub
