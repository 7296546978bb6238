#include "sim_model.h"

#include <gtest/gtest.h>

namespace stepdeck_sim {
namespace {

Simulator parsed(std::string_view text) {
    Simulator sim;
    std::string error;
    EXPECT_TRUE(parseConfig(text, sim, error)) << error;
    return sim;
}

std::string parseError(std::string_view text) {
    Simulator sim;
    std::string error;
    EXPECT_FALSE(parseConfig(text, sim, error));
    return error;
}

JoyState2 stateOf(const Device& device, AxisRange range = {-1000, 1000}) {
    JoyState2 state;
    fillState(device, std::vector<AxisRange>(device.objects.size(), range), state);
    return state;
}

TEST(SimulatorRange, ValuesPassThroughUnchangedInTheHubsRange) {
    for (const int value : {-1000, -999, -600, -1, 0, 1, 333, 999, 1000}) {
        EXPECT_EQ(scaleToRange(value, {-1000, 1000}), value);
    }
}

TEST(SimulatorRange, OtherRangesMapEndsToEndsAndClampBeyondThem) {
    EXPECT_EQ(scaleToRange(-1000, {0, 65535}), 0);
    EXPECT_EQ(scaleToRange(1000, {0, 65535}), 65535);
    EXPECT_EQ(scaleToRange(0, {0, 65535}), 32768);  // 32767.5 rounds up
    EXPECT_EQ(scaleToRange(500, {-100, 100}), 50);
    EXPECT_EQ(scaleToRange(-5000, {-100, 100}), -100);
    EXPECT_EQ(scaleToRange(5000, {-100, 100}), 100);
}

TEST(SimulatorFailure, SkipsThenFailsCountTimesThenPassesAgain) {
    Failure failure{2, 3};
    const bool expected[] = {false, false, true, true, true, false, false};
    for (const bool fails : expected) EXPECT_EQ(failure.strike(), fails);

    Failure always{1, Failure::kAlways};
    EXPECT_FALSE(always.strike());
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(always.strike());
    EXPECT_FALSE(Failure{}.strike());
}

TEST(SimulatorConfig, WithoutAConfigFileTheStepdeckHasSixAxesAndFourButtons) {
    const Simulator sim = defaultSimulator();
    ASSERT_EQ(sim.devices.size(), 1u);
    const Device& deck = sim.devices[0];
    EXPECT_EQ(deck.vendor, 0xFFFF);
    EXPECT_EQ(deck.product, 0x0000);
    EXPECT_EQ(deck.usage, 4);
    EXPECT_EQ(deck.objects.size(), 10u);
    EXPECT_EQ(deck.count(ObjectKind::Button), 4);
}

TEST(SimulatorConfig, ReadsDevicesInOrderWithTheirIdentitiesObjectsAndFailures) {
    const Simulator sim = parsed(R"(# two controllers
control_port = 46001
fail = directinput 1 after 1
[device]
name = Stepdeck
[device]
name = Pad é
vendor = 0x045E
product = 0x028E   # trailing comment
usage = 5
objects = x y slider pov button button
state = x -300 pov0 9000 b1 1
fail = poll 2 after 10
)");
    EXPECT_EQ(sim.controlPort, 46001);
    ASSERT_EQ(sim.devices.size(), 2u);
    EXPECT_EQ(sim.devices[0].objects, defaultSimulator().devices[0].objects);
    const Device& pad = sim.devices[1];
    EXPECT_EQ(pad.name, "Pad é");  // names are kept byte for byte
    EXPECT_EQ(pad.vendor, 0x045E);
    EXPECT_EQ(pad.product, 0x028E);
    EXPECT_EQ(pad.usage, 5);
    EXPECT_EQ(pad.objects, (std::vector<ObjectKind>{ObjectKind::X, ObjectKind::Y, ObjectKind::Slider,
                                                    ObjectKind::Pov, ObjectKind::Button,
                                                    ObjectKind::Button}));
    EXPECT_EQ(pad.state.axes[0], -300);
    EXPECT_EQ(pad.state.povs[0], 9000u);
    EXPECT_TRUE(pad.state.buttons[1]);
    const Failure& poll = pad.failures[static_cast<int>(FailPoint::Poll)];
    EXPECT_EQ(poll.skip, 10);
    EXPECT_EQ(poll.count, 2);
    const Failure& create = sim.failures[static_cast<int>(FailPoint::DirectInput)];
    EXPECT_EQ(create.skip, 1);
    EXPECT_EQ(create.count, 1);
}

TEST(SimulatorConfig, AFileWithoutDevicesSimulatesNoControllers) {
    EXPECT_TRUE(parsed("control_port = 0\n").devices.empty());
}

TEST(SimulatorConfig, MistakesNameTheirLine) {
    EXPECT_EQ(parseError("[device]\nvendor = 0x10000\n"), "line 2: bad vendor");
    EXPECT_EQ(parseError("[device]\nobjects = x x\n").substr(0, 7), "line 2:");
    EXPECT_EQ(parseError("[device]\nobjects = x wheel\n"), "line 2: unknown object 'wheel'");
    EXPECT_EQ(parseError("name = Stepdeck\n").substr(0, 7), "line 1:");
    // Device failure points belong to a device, global ones before the first.
    EXPECT_EQ(parseError("fail = poll\n"), "line 1: unknown global failure point 'poll'");
    EXPECT_EQ(parseError("[device]\nfail = directinput\n"),
              "line 2: unknown device failure point 'directinput'");
    EXPECT_EQ(parseError("[device]\nfail = poll 2 after\n"), "line 2: expected 'after N' at the end");
}

TEST(SimulatorCommands, SetValuesReachTheRecordAtTheirObjectsPlaces) {
    Simulator sim = parsed("[device]\nobjects = y rz slider slider pov button button\n");
    EXPECT_EQ(execute(sim, "set 0 y -600 rz 1000 slider1 -5 pov0 27000 b1 1"), "ok");
    const JoyState2 state = stateOf(sim.devices[0]);
    EXPECT_EQ(state.lX, 0);  // absent axis
    EXPECT_EQ(state.lY, -600);
    EXPECT_EQ(state.lRz, 1000);
    EXPECT_EQ(state.rglSlider[0], 0);
    EXPECT_EQ(state.rglSlider[1], -5);
    EXPECT_EQ(state.rgdwPOV[0], 27000u);
    EXPECT_EQ(state.rgdwPOV[1], kPovCentred);  // absent POV
    EXPECT_EQ(state.rgbButtons[0], 0x00);
    EXPECT_EQ(state.rgbButtons[1], 0x80);
    EXPECT_EQ(state.rgbButtons[2], 0x00);  // absent button

    EXPECT_EQ(execute(sim, "set 0 pov0 centre"), "ok");
    EXPECT_EQ(stateOf(sim.devices[0]).rgdwPOV[0], kPovCentred);
    EXPECT_EQ(execute(sim, "reset 0"), "ok");
    EXPECT_EQ(stateOf(sim.devices[0]).lY, 0);
}

TEST(SimulatorCommands, EachAxisTakesTheRangeSetOnItsOwnObject) {
    Simulator sim = parsed("[device]\nobjects = button x y\n");
    execute(sim, "set 0 x 1000 y 1000");
    JoyState2 state;
    // Only y got the hub's range; x kept the device's default.
    fillState(sim.devices[0], {AxisRange{}, AxisRange{}, AxisRange{-1000, 1000}}, state);
    EXPECT_EQ(state.lX, 65535);
    EXPECT_EQ(state.lY, 1000);
}

TEST(SimulatorCommands, MistakesAreAnsweredAndChangeNothing) {
    Simulator sim = parsed("[device]\nobjects = x y button\n");
    EXPECT_EQ(execute(sim, "set 0 z 5"), "error the device has no 'z'");
    EXPECT_EQ(execute(sim, "set 0 b1 1"), "error the device has no 'b1'");
    EXPECT_EQ(execute(sim, "set 0 x 1001"), "error bad value '1001' for x");
    EXPECT_EQ(execute(sim, "set 1 x 5"), "error no device '1'");
    EXPECT_EQ(execute(sim, "set 0 x"), "error set needs name value pairs");
    EXPECT_EQ(execute(sim, "jump 0").substr(0, 6), "error ");
    EXPECT_EQ(stateOf(sim.devices[0]).lX, 0);
}

TEST(SimulatorCommands, FailuresCanBeInjectedAndLiftedAtRunTime) {
    Simulator sim = defaultSimulator();
    EXPECT_EQ(execute(sim, "fail 0 poll 2"), "ok");
    EXPECT_TRUE(sim.devices[0].strike(FailPoint::Poll));
    EXPECT_TRUE(sim.devices[0].strike(FailPoint::Poll));
    EXPECT_FALSE(sim.devices[0].strike(FailPoint::Poll));
    EXPECT_EQ(execute(sim, "fail 0 state"), "ok");  // no count: every call
    EXPECT_EQ(execute(sim, "fail 0 state off"), "ok");
    EXPECT_FALSE(sim.devices[0].strike(FailPoint::State));
    EXPECT_EQ(execute(sim, "fail global enumdevices 1"), "ok");
    EXPECT_TRUE(sim.strike(FailPoint::EnumDevices));
    EXPECT_EQ(execute(sim, "fail 0 enumdevices"), "error unknown device failure point 'enumdevices'");
}

TEST(SimulatorCommands, StatsReportWhatTheProgramDid) {
    Simulator sim = defaultSimulator();
    auto& stats = sim.devices[0].stats;
    stats.polls = 3;
    stats.acquired = true;
    stats.cooperativeFlags = 9;
    stats.dataSize = 272;
    stats.rangesSet = 6;
    stats.lastRange = {-1000, 1000};
    EXPECT_EQ(execute(sim, "stats 0"),
              "ok created=0 polls=3 reads=0 acquires=0 acquired=1 coop=9 format=272 ranges=6 "
              "range=-1000,1000 plugged=1 instance=0");
    EXPECT_EQ(execute(sim, "ping"), "ok stepdeck-sim devices=1");
}

TEST(SimulatorPlugging, AnAcquiredHandleLosesInputOnceAtAnUnplugThenCannotBeAcquired) {
    // Pins: a hub that polls an unplugged device must see it lost and then
    // unavailable, not go on reading stale values or acquire it again.
    Simulator sim = defaultSimulator();
    Device& deck = sim.devices[0];
    Handle handle;
    EXPECT_EQ(checkInput(deck, handle), Answer::NotAcquired);
    EXPECT_EQ(acquire(deck, handle), Answer::Ok);
    EXPECT_EQ(acquire(deck, handle), Answer::NoEffect);
    EXPECT_EQ(checkInput(deck, handle), Answer::Ok);

    EXPECT_EQ(execute(sim, "unplug 0"), "ok");
    EXPECT_FALSE(deck.stats.acquired);
    EXPECT_EQ(checkInput(deck, handle), Answer::InputLost);
    EXPECT_EQ(checkInput(deck, handle), Answer::NotAcquired);
    EXPECT_EQ(acquire(deck, handle), Answer::Unplugged);
    EXPECT_EQ(checkInput(deck, handle), Answer::NotAcquired);
}

TEST(SimulatorPlugging, PluggedBackAsTheSameInstanceTheOldHandleWorksAgain) {
    // Pins: the same USB port gives the old device back to a re-acquire.
    Simulator sim = defaultSimulator();
    Device& deck = sim.devices[0];
    Handle handle;
    acquire(deck, handle);
    execute(sim, "unplug 0");
    EXPECT_EQ(execute(sim, "plug 0"), "ok");
    // Unplugged and back between two polls: the acquisition is still lost.
    EXPECT_EQ(checkInput(deck, handle), Answer::InputLost);
    EXPECT_EQ(acquire(deck, handle), Answer::Ok);
    EXPECT_EQ(checkInput(deck, handle), Answer::Ok);
    EXPECT_TRUE(deck.stats.acquired);
    EXPECT_EQ(deck.instance, 0u);
}

TEST(SimulatorPlugging, PluggedBackAsANewInstanceOnlyANewHandleWorks) {
    // Pins: an old handle that came back to life would hide a hub that never
    // searches for the device again.
    Simulator sim = defaultSimulator();
    Device& deck = sim.devices[0];
    Handle old;
    acquire(deck, old);
    execute(sim, "unplug 0");
    EXPECT_EQ(execute(sim, "plug 0 new"), "ok");
    EXPECT_EQ(deck.instance, 1u);
    EXPECT_EQ(checkInput(deck, old), Answer::InputLost);
    EXPECT_EQ(acquire(deck, old), Answer::Unplugged);

    Handle fresh{deck.instance};
    EXPECT_EQ(acquire(deck, fresh), Answer::Ok);
    EXPECT_EQ(checkInput(deck, fresh), Answer::Ok);
    // Releasing the dead handle leaves the new one's acquisition as it is.
    old.acquired = true;
    EXPECT_EQ(unacquire(deck, old), Answer::Ok);
    EXPECT_TRUE(deck.stats.acquired);
    EXPECT_EQ(unacquire(deck, fresh), Answer::Ok);
    EXPECT_FALSE(deck.stats.acquired);
    EXPECT_EQ(unacquire(deck, fresh), Answer::NoEffect);
}

// The end of `stats D`: what it says about the device's plugging.
std::string pluggingOf(Simulator& sim) {
    const std::string stats = execute(sim, "stats 0");
    return stats.substr(stats.find("plugged="));
}

TEST(SimulatorPlugging, CommandsRefuseWhatCannotBeDoneAndStatsShowThePlugging) {
    Simulator sim = defaultSimulator();
    EXPECT_EQ(execute(sim, "plug 0"), "error device 0 is plugged in already");
    EXPECT_EQ(execute(sim, "unplug 1"), "error no device '1'");
    EXPECT_EQ(execute(sim, "unplug 0"), "ok");
    EXPECT_EQ(execute(sim, "unplug 0"), "error device 0 is unplugged already");
    EXPECT_EQ(execute(sim, "plug 0 old").substr(0, 6), "error ");
    EXPECT_EQ(pluggingOf(sim), "plugged=0 instance=0");
    EXPECT_EQ(execute(sim, "plug 0 new"), "ok");
    EXPECT_EQ(execute(sim, "unplug 0"), "ok");
    EXPECT_EQ(execute(sim, "plug 0 new"), "ok");
    EXPECT_EQ(pluggingOf(sim), "plugged=1 instance=2");
    sim.directInputsAlive = 2;
    sim.devicesAlive = 3;
    EXPECT_EQ(execute(sim, "stats global"),
              "ok directinput=0 enumerations=0 directinputs_alive=2 devices_alive=3");
}

int g_devicesChanged = 0;

TEST(SimulatorPlugging, EveryPlugAndUnplugIsReportedAndEnumerationsCanBeSlowed) {
    Simulator sim = defaultSimulator();
    sim.devicesChanged = [] { ++g_devicesChanged; };
    g_devicesChanged = 0;
    EXPECT_EQ(execute(sim, "plug 0"), "error device 0 is plugged in already");
    EXPECT_EQ(g_devicesChanged, 0);
    EXPECT_EQ(execute(sim, "unplug 0"), "ok");
    EXPECT_EQ(execute(sim, "plug 0 new"), "ok");
    EXPECT_EQ(g_devicesChanged, 2);
    EXPECT_EQ(execute(sim, "delay enumerate 500"), "ok");
    EXPECT_EQ(sim.enumerateDelayMs, 500u);
    EXPECT_EQ(execute(sim, "delay enumerate -1"), "error bad delay '-1'");
    EXPECT_EQ(execute(sim, "delay poll 5").substr(0, 6), "error ");
    EXPECT_EQ(sim.enumerateDelayMs, 500u);
}

TEST(SimulatorScript, RunsEntriesWhenDueInOrderAndLoops) {
    Simulator sim = defaultSimulator();
    std::string error;
    ASSERT_TRUE(parseScript("0 set 0 y 0\n500 set 0 y -600 # lean\n\n1000 loop\n", sim.script, error))
        << error;
    runScript(sim, 0);
    EXPECT_EQ(sim.devices[0].state.axes[1], 0);
    runScript(sim, 499);
    EXPECT_EQ(sim.devices[0].state.axes[1], 0);
    runScript(sim, 500);
    EXPECT_EQ(sim.devices[0].state.axes[1], -600);
    runScript(sim, 1200);  // looped: the entry at 0 ran again, 500 not yet
    EXPECT_EQ(sim.devices[0].state.axes[1], 0);
    runScript(sim, 1500);
    EXPECT_EQ(sim.devices[0].state.axes[1], -600);
}

std::vector<std::string> g_applied;

TEST(SimulatorScript, ReportsEveryCommandItRunsNarrationIncluded) {
    Simulator sim = defaultSimulator();
    std::string error;
    ASSERT_TRUE(parseScript("0 say standing\n0 reset 0\n100 say walking\n", sim.script, error));
    g_applied.clear();
    runScript(sim, 50, [](const std::string& command) { g_applied.push_back(command); });
    EXPECT_EQ(g_applied, (std::vector<std::string>{"say standing", "reset 0"}));
    EXPECT_EQ(execute(sim, "say anything at all"), "ok");
}

TEST(SimulatorScript, RejectsTimesThatGoBackAndALoopAtZero) {
    std::vector<ScriptEntry> script;
    std::string error;
    EXPECT_FALSE(parseScript("100 set 0 x 1\n50 set 0 x 2\n", script, error));
    EXPECT_EQ(error.substr(0, 7), "line 2:");
    EXPECT_FALSE(parseScript("0 loop\n", script, error));
}

}  // namespace
}  // namespace stepdeck_sim
