// A lost Stepdeck: the consumers brought to rest once per loss, the label,
// the pace of the searches for a lost device, and the searches that find a
// lost Stepdeck or gamepad again.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/controls.h"
#include "engine/dialog.h"
#include "scripted_devices.h"
#include "steady_use.h"

namespace hub {
namespace {

using testing::ScriptedDevicePlatform;
using testing::ScriptedDeviceSearch;
using testing::ScriptedHub;
using testing::SentDatagram;
using testing::gamepadController;
using testing::stepdeckController;

constexpr HResult kUnplugged = static_cast<HResult>(0x80040209);

const std::vector<std::uint8_t> kStandingStick{0x2A, 0x80, 0x2B, 0x80, 0x00};
// "XDRV", 1, X = +0.0, Y = +0.0, eight zero bytes, 3.
const std::vector<std::uint8_t> kStandingXdrv{'X', 'D', 'R', 'V', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                              0,   0,   0,   0,   0, 0, 0, 0, 0, 0, 3, 0, 0, 0};

JoystickRecord leaningForward() {
    JoystickRecord record{};
    record.lY = -600;
    return record;
}

// The benchmarks' motion: the Advanced tracker engages after 1 s and walks.
JoystickRecord stepping(std::uint64_t at) {
    JoystickRecord record{};
    testing::moveDeck(record, at);
    return record;
}

// Ticks with the Stepdeck read (leaning forward) or lost (unplugged).
struct Ticks {
    ScriptedHub& t;

    std::vector<SentDatagram> walk(std::uint64_t at, const JoystickRecord& record = leaningForward()) {
        t.deck.load(0, {}, 0, record);
        return tick(at);
    }
    std::vector<SentDatagram> lose(std::uint64_t at) {
        t.deck.load(kInputLost, {kUnplugged}, 0, {});
        return tick(at);
    }
    // One timer message: a finished search takes effect, then the tick runs.
    std::vector<SentDatagram> tick(std::uint64_t at) {
        t.socket.sent.clear();
        t.clock.now = at;
        onTimer(t.hub);
        EXPECT_FALSE(t.window.endedWith) << at;
        return t.socket.sent;
    }
    // The texts written to the label beside the heading, oldest first.
    std::vector<std::string> labelWrites() const {
        std::vector<std::string> texts;
        for (const auto& [id, text] : t.window.writes) {
            if (id == control::kStepdeckStatus) texts.push_back(text);
        }
        return texts;
    }
};

// A stick datagram first, that says forward (the smoother ramps it up to 204).
bool walking(const std::vector<SentDatagram>& sent) {
    return !sent.empty() && sent[0].to.port == 45040 && sent[0].bytes[3] > 0x80;
}

bool standingStill(const std::vector<SentDatagram>& sent) {
    return sent.size() == 2 && sent[0].to == Endpoint{kLoopback, 45040} && sent[0].bytes == kStandingStick &&
           sent[1].to == Endpoint{kLoopback, 45045} && sent[1].bytes == kStandingXdrv;
}

TEST(StepdeckLoss, StopsTheWalkOncePerLossAndTheTickThatReadsItArmsTheNextOne) {
    // Pins: a loss that keeps sending, a loss that sends nothing, a read that
    // does not re-arm, and a negative zero in XDRV.
    ScriptedHub t;
    Ticks ticks{t};
    EXPECT_TRUE(walking(ticks.walk(0)));
    EXPECT_TRUE(standingStill(ticks.lose(33)));
    EXPECT_TRUE(ticks.lose(66).empty());
    EXPECT_TRUE(ticks.lose(99).empty());
    EXPECT_TRUE(walking(ticks.walk(132)));
    EXPECT_TRUE(standingStill(ticks.lose(165)));
    EXPECT_TRUE(walking(ticks.walk(198)));
    EXPECT_TRUE(standingStill(ticks.lose(231)));
}

TEST(StepdeckLoss, ALossBeforeTheFirstReadStopsTheWalkToo) {
    ScriptedHub t;
    Ticks ticks{t};
    EXPECT_TRUE(standingStill(ticks.lose(0)));
    EXPECT_TRUE(ticks.lose(33).empty());
}

TEST(StepdeckLoss, TheLabelSaysSoWhileLostAndIsWrittenOnlyWhenThatChanges) {
    ScriptedHub t;
    Ticks ticks{t};
    ticks.walk(0);
    EXPECT_TRUE(ticks.labelWrites().empty());
    ticks.lose(33);
    ticks.lose(66);
    EXPECT_EQ(ticks.labelWrites(), (std::vector<std::string>{"Stepdeck lost"}));
    ticks.walk(99);
    ticks.walk(132);
    EXPECT_EQ(ticks.labelWrites(), (std::vector<std::string>{"Stepdeck lost", ""}));
}

TEST(StepdeckLoss, TheFeederGetsItsStickAtRestAndTheDisplaysNothingNewWhileLost) {
    // Pins: a loss path that runs later stages of the tick, a release before
    // the standing-still pair, one that is sent again later in the loss.
    ScriptedHub t;
    Ticks ticks{t};
    t.hub.state.remote.feederEnabled.store(true);
    const auto walking = ticks.walk(0);
    EXPECT_TRUE(std::any_of(walking.begin(), walking.end(), [](const auto& d) { return d.to.port == 45042; }));
    t.window.writes.clear();
    auto lost = ticks.lose(33);
    ASSERT_EQ(lost.size(), 3u);
    EXPECT_EQ(lost[2].to, (Endpoint{kLoopback, 45042}));
    EXPECT_EQ(lost[2].bytes, (std::vector<std::uint8_t>{0x02, 0x01, 0x80, 0x80, 0x00, 0x00, 0x00}));
    lost.pop_back();
    EXPECT_TRUE(standingStill(lost));
    EXPECT_TRUE(ticks.lose(66).empty());
    EXPECT_EQ(t.window.writes, (std::vector<std::pair<int, std::string>>{{control::kStepdeckStatus, "Stepdeck lost"}}));
}

// The pace of the searches for a device lost since 1000 (its first search
// check): the first a second after, then every five seconds, or a second
// after the last one started when Windows has reported a device change since.
TEST(SearchPace, FirstAfterASecondThenEveryFiveSecondsOrASecondAfterAReport) {
    struct Row {
        const char* what;
        std::optional<std::uint64_t> lastSearch;
        bool reported;
        std::uint64_t now;
        bool due;
    };
    const Row rows[] = {
        {"lost for exactly a second", std::nullopt, false, 2000, false},
        {"lost for more than a second", std::nullopt, false, 2001, true},
        {"a report does not hasten the first search", std::nullopt, true, 1999, false},
        {"no report, the last search 5 s ago less 1 ms", 3000, false, 7999, false},
        {"no report, the last search 5 s ago", 3000, false, 8000, true},
        {"a report, the last search a second ago less 1 ms", 3000, true, 3999, false},
        {"a report, the last search a second ago", 3000, true, 4000, true},
    };
    for (const Row& row : rows) {
        DeviceLoss loss;
        noteRead(loss, false);
        EXPECT_FALSE(searchDue(loss, 1000));
        loss.lastSearch = row.lastSearch;
        if (row.reported) noteDevicesChanged(loss);
        EXPECT_EQ(searchDue(loss, row.now), row.due) << row.what;
    }
}

TEST(SearchPace, OneSearchAtATimeAndAReportDuringItCountsAfterIt) {
    // Pins: a search started twice, a report that the start of a search
    // forgets although the search may have missed the change, and reports
    // taken while nothing is lost.
    DeviceLoss loss;
    noteDevicesChanged(loss);
    noteRead(loss, false);
    searchDue(loss, 0);
    ASSERT_TRUE(searchDue(loss, 1001));
    noteDevicesChanged(loss);
    EXPECT_FALSE(searchDue(loss, 60000));  // still running
    loss.searching = false;
    EXPECT_TRUE(searchDue(loss, 60000));
    loss.searching = false;
    EXPECT_FALSE(searchDue(loss, 61000));  // no report since that search started

    DeviceLoss notLost;
    noteDevicesChanged(notLost);
    noteRead(notLost, false);
    searchDue(notLost, 0);
    ASSERT_TRUE(searchDue(notLost, 1001));
    notLost.searching = false;
    EXPECT_FALSE(searchDue(notLost, 2001));  // the report before the loss was not kept
}

TEST(SearchPace, ALossSoonAfterTheLastEndedWaitsItsOwnSecond) {
    // Pins: a loss that inherits the last one's search times.
    DeviceLoss loss;
    noteRead(loss, false);
    searchDue(loss, 0);
    ASSERT_TRUE(searchDue(loss, 1001));
    loss.searching = false;
    noteRead(loss, true);
    noteRead(loss, false);
    searchDue(loss, 1100);
    noteDevicesChanged(loss);
    EXPECT_FALSE(searchDue(loss, 2100));
    EXPECT_TRUE(searchDue(loss, 2101));
}

// A hub set up over a scripted platform with a Stepdeck (instance 1) and a
// gamepad (instance 2), the dialog active.
struct SetUpHub {
    ScriptedHub t{ScriptedHub::Attached::Nothing};
    ScriptedDevicePlatform platform{t.deck, t.pad};
    ScriptedDeviceSearch search{platform, t.hub.devices.xinputDevices};
    Ticks ticks{t};

    explicit SetUpHub(bool filterXInputDevices = false,
                      std::vector<testing::ScriptedController> controllers = {stepdeckController(1),
                                                                              gamepadController(2, "Pad")}) {
        platform.controllers = std::move(controllers);
        t.hub.devices.search = &search;
        initialiseDialog(t.hub, platform, filterXInputDevices);
        onActivate(t.hub, true);
    }
};

struct Refind : ::testing::Test {
    SetUpHub setUp;
    ScriptedHub& t = setUp.t;
    ScriptedDevicePlatform& platform = setUp.platform;
    ScriptedDeviceSearch& search = setUp.search;
    Ticks& ticks = setUp.ticks;

    // Searches started, and enumerations since the set-up (whose own was the
    // first): a search enumerates once its outcome is taken.
    int started(DeviceRole role) { return search.started[role]; }
    int enumerated(DeviceRole role) { return platform.enumerations[role] - 1; }
    void unplugDeck() { platform.controllers[0].attached = false; }
    // The Stepdeck on another port: a new instance.
    void plugDeckAsNewInstance() { platform.controllers.push_back(stepdeckController(3)); }
};

TEST_F(Refind, SearchesASecondAfterTheLossThenEveryFiveSecondsOrAfterAReportUntilFound) {
    // Pins: searching at once or every tick, a search that keeps the lost
    // device, a report that is not heeded, and a found Stepdeck that is not
    // read by the tick of the timer message that sets it up.
    ticks.walk(0);
    unplugDeck();
    ticks.lose(100);
    ticks.lose(1100);  // lost for exactly a second
    EXPECT_EQ(started(DeviceRole::Stepdeck), 0);
    ticks.lose(1101);
    EXPECT_EQ(started(DeviceRole::Stepdeck), 1);
    EXPECT_TRUE(platform.dropped[DeviceRole::Stepdeck]);
    EXPECT_EQ(t.hub.devices.deck, nullptr);
    ticks.tick(1134);  // found nothing
    EXPECT_EQ(enumerated(DeviceRole::Stepdeck), 1);
    ticks.tick(6100);
    EXPECT_EQ(started(DeviceRole::Stepdeck), 1);
    ticks.tick(6101);
    EXPECT_EQ(started(DeviceRole::Stepdeck), 2);
    ticks.tick(6134);

    plugDeckAsNewInstance();
    onDevicesChanged(t.hub);
    t.deck.load(0, {}, 0, leaningForward());
    const int acquires = t.deck.acquireCalls;
    EXPECT_TRUE(ticks.tick(7100).empty());
    EXPECT_EQ(started(DeviceRole::Stepdeck), 2);
    EXPECT_TRUE(ticks.tick(7101).empty());
    EXPECT_EQ(started(DeviceRole::Stepdeck), 3);
    EXPECT_TRUE(walking(ticks.tick(7134)));
    EXPECT_EQ(platform.createdInstance[DeviceRole::Stepdeck], 3u);
    EXPECT_EQ(t.hub.devices.deck, &t.deck);
    EXPECT_EQ(t.deck.acquireCalls, acquires + 1);
    EXPECT_EQ(ticks.labelWrites(), (std::vector<std::string>{"Stepdeck lost", ""}));
    ticks.tick(20000);
    EXPECT_EQ(started(DeviceRole::Stepdeck), 3);
    EXPECT_EQ(started(DeviceRole::Gamepad), 0);
}

TEST_F(Refind, ASlowSearchNeitherHoldsUpTheTickNorStartsTwice) {
    // Pins: a tick that waits for a running search, or starts another.
    t.hub.state.remote.feederEnabled.store(true);
    t.pad.pollResult = kInputLost;
    search.running[DeviceRole::Gamepad] = true;
    ticks.walk(0);
    ticks.walk(1001);
    onDevicesChanged(t.hub);
    for (std::uint64_t at = 1034; at < 12000; at += 33) EXPECT_TRUE(walking(ticks.walk(at)));
    EXPECT_EQ(started(DeviceRole::Gamepad), 1);
    EXPECT_EQ(enumerated(DeviceRole::Gamepad), 0);
    search.running[DeviceRole::Gamepad] = false;
    t.pad.pollResult = kOk;
    ticks.walk(12000);
    EXPECT_EQ(enumerated(DeviceRole::Gamepad), 1);
    EXPECT_EQ(t.hub.devices.gamepad, &t.pad);
}

TEST_F(Refind, AFoundStepdeckIsSetUpAsAtStart) {
    // Pins: a search that skips the format, the cooperative level, a range or
    // a label, takes a controller the Stepdeck choice refuses, or gives up at
    // a candidate that cannot be created.
    std::vector<std::pair<DeviceRole, std::uint32_t>> rangesAtStart;
    std::copy_if(platform.rangesSet.begin(), platform.rangesSet.end(), std::back_inserter(rangesAtStart),
                 [](const auto& range) { return range.first == DeviceRole::Stepdeck; });
    const auto labelsAtStart = t.window.enabled;
    platform.rangesSet.clear();
    t.window.enabled.clear();
    platform.cooperativeLevel.clear();
    unplugDeck();
    platform.controllers.push_back(stepdeckController(4, 6));  // the Stepdeck's identity, another usage
    platform.controllers.push_back(stepdeckController(5));
    platform.controllers.back().createResult = -1;  // listed, but cannot be created
    plugDeckAsNewInstance();
    ticks.lose(0);
    ticks.lose(1001);
    ticks.lose(1034);
    EXPECT_EQ(platform.createdInstance[DeviceRole::Stepdeck], 3u);
    EXPECT_EQ(platform.rangesSet, rangesAtStart);
    EXPECT_EQ(t.window.enabled, labelsAtStart);
    EXPECT_EQ(platform.cooperativeLevel[DeviceRole::Stepdeck], kExclusiveBackground);
}

TEST_F(Refind, AFailedSearchIsTriedAgainAndNeverEndsTheHub) {
    // Pins: a failed search that reports, ends the dialog, keeps an
    // unconfigured device or gives up.
    unplugDeck();
    plugDeckAsNewInstance();
    platform.stepdeck.enumerate = -1;
    ticks.lose(0);
    ticks.lose(1001);
    ticks.tick(1034);
    platform.stepdeck.enumerate = kOk;
    platform.stepdeck.setFormat = -1;
    onDevicesChanged(t.hub);
    ticks.tick(2001);
    ticks.tick(2034);
    EXPECT_EQ(enumerated(DeviceRole::Stepdeck), 2);
    EXPECT_EQ(t.hub.devices.deck, nullptr);
    EXPECT_EQ(platform.device(DeviceRole::Stepdeck), nullptr);
    platform.stepdeck.setFormat = kOk;
    t.deck.load(0, {}, 0, leaningForward());
    ticks.tick(7001);
    EXPECT_TRUE(walking(ticks.tick(7034)));
    EXPECT_TRUE(t.window.messageBoxes.empty());
}

// Walks in the given locomotion mode with the feeder on in Skate, loses the
// Stepdeck and finds it again as a new instance, and compares what the hub
// sends with a hub that walks the same without the loss.
void expectTheWalkGoesOnAfterARefind(int locomotionModePresses) {
    SetUpHub lost, reference;
    for (SetUpHub* hub : {&lost, &reference}) {
        for (int i = 0; i < locomotionModePresses; ++i) onCommand(hub->t.hub, control::kNextLocomotionMode);
        onCommand(hub->t.hub, control::kNextVjoyMode);
        hub->t.hub.state.remote.feederEnabled.store(true);
        for (std::uint64_t at = 0; at <= 2000; at += 40) hub->ticks.walk(at, stepping(at));
    }
    lost.platform.controllers[0].attached = false;
    lost.platform.controllers.push_back(stepdeckController(3));
    lost.ticks.lose(2040);
    lost.ticks.lose(3041);
    for (std::uint64_t at = 3080; at <= 3400; at += 40) {
        const auto sent = lost.ticks.walk(at, stepping(at));
        const auto expected = reference.ticks.walk(at, stepping(at));
        ASSERT_EQ(sent.size(), expected.size()) << at;
        for (std::size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(sent[i].to, expected[i].to) << at;
            EXPECT_EQ(sent[i].bytes, expected[i].bytes) << at;
        }
    }
    EXPECT_EQ(lost.platform.createdInstance[DeviceRole::Stepdeck], 3u);
    EXPECT_EQ(lost.t.hub.state.dialog.vjoyMode, reference.t.hub.state.dialog.vjoyMode);
    EXPECT_EQ(lost.t.hub.state.dialog.locomotionMode, reference.t.hub.state.dialog.locomotionMode);
}

TEST(RefindKeeps, TheModesSmoothersTrackerAndFeederLink) {
    // Pins: a search that resets a mode, a smoother, the Advanced tracker or
    // the feeder link, or runs the dialog's or the hub's start-up again.
    expectTheWalkGoesOnAfterARefind(0);  // Normal: the stick smoothers
    expectTheWalkGoesOnAfterARefind(1);  // Advanced: its step tracker
}

TEST_F(Refind, ALostGamepadIsFoundAgainByTheGamepadChoice) {
    // Pins: a gamepad search that takes a virtual joystick, the Stepdeck,
    // leaves the new gamepad unacquired or its name unshown.
    platform.controllers[1].attached = false;
    platform.controllers.push_back(gamepadController(5, "vJoy Device"));
    platform.controllers.push_back(gamepadController(6, "Other Pad", 0x1234, 0x5678));
    t.pad.pollResult = kInputLost;
    ticks.walk(0);
    ticks.walk(1001);
    t.pad.pollResult = kOk;
    ticks.walk(1034);
    EXPECT_EQ(enumerated(DeviceRole::Gamepad), 1);
    EXPECT_EQ(platform.createdInstance[DeviceRole::Gamepad], 6u);
    EXPECT_EQ(t.hub.devices.gamepad, &t.pad);
    EXPECT_EQ(t.hub.devices.gamepadName, "Other Pad");
    EXPECT_EQ(t.window.texts[control::kGamepadName], "Other Pad");
    EXPECT_EQ(platform.cooperativeLevel[DeviceRole::Gamepad], kNonExclusiveBackground);
    EXPECT_EQ(started(DeviceRole::Stepdeck), 0);
    ticks.walk(10000);
    EXPECT_EQ(started(DeviceRole::Gamepad), 1);
}

TEST(RefindWithTheXInputFilter, KeepsHidingWhatTheStartHidAndListsNoDeviceIdsAgain) {
    // Pins: a search that forgets the filter, or asks the platform for every
    // device id (a WMI query) again.
    SetUpHub setUp(true, {stepdeckController(1), gamepadController(2, "Pad", 0x1234, 0x5678)});
    // (the set-up listed them with no XInput device among them)
    ScriptedHub& t = setUp.t;
    ScriptedDevicePlatform& platform = setUp.platform;
    ASSERT_EQ(t.hub.devices.gamepad, &t.pad);
    platform.pnpListed = false;
    t.hub.devices.xinputDevices->examine(u"USB\\VID_045E&PID_028E&IG_00\\7");
    platform.controllers[1].attached = false;
    platform.controllers.push_back(gamepadController(3, "XInput Pad"));  // 045E/028E: hidden
    platform.controllers.push_back(gamepadController(4, "Other Pad", 0x1234, 0x5678));
    t.pad.pollResult = kInputLost;
    setUp.ticks.walk(0);
    setUp.ticks.walk(1001);
    setUp.ticks.walk(1034);
    EXPECT_EQ(platform.createdInstance[DeviceRole::Gamepad], 4u);
    EXPECT_FALSE(platform.pnpListed);
}

TEST(RefindWithoutGamepad, AGamepadThatWasNeverThereIsNeverSearchedFor) {
    SetUpHub setUp(false, {stepdeckController(1)});
    setUp.ticks.walk(0);
    setUp.ticks.walk(10000);
    EXPECT_EQ(setUp.search.started[DeviceRole::Gamepad], 0);
}

}  // namespace
}  // namespace hub
