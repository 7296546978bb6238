// Every line the recording writes reads back through hub-replay's script
// reader as the very event the hub observed: what it encodes is what the
// replay runs.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/recording_lines.h"
#include "replay_script.h"

namespace hub {
namespace {

using replay::DeckObject;

template <typename Event>
Event readBack(std::string_view line) {
    const replay::ParseResult parsed = replay::parseLine(line);
    EXPECT_TRUE(parsed.event.has_value()) << parsed.error << " in " << line;
    if (!parsed.event || !std::holds_alternative<Event>(*parsed.event)) {
        ADD_FAILURE() << "not the event written: " << line;
        return Event{};
    }
    return std::get<Event>(*parsed.event);
}

// What the hub reads of a record: the axes, sliders, points of view, and
// whether each button is pressed.
void expectSameForTheHub(const JoystickRecord& observed, const JoystickRecord& replayed, const char* device) {
    SCOPED_TRACE(device);
    EXPECT_EQ(replayed.lX, observed.lX);
    EXPECT_EQ(replayed.lY, observed.lY);
    EXPECT_EQ(replayed.lZ, observed.lZ);
    EXPECT_EQ(replayed.lRx, observed.lRx);
    EXPECT_EQ(replayed.lRy, observed.lRy);
    EXPECT_EQ(replayed.lRz, observed.lRz);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(replayed.rglSlider[i], observed.rglSlider[i]) << "slider " << i;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(replayed.rgdwPOV[i], observed.rgdwPOV[i]) << "pov " << i;
    for (int i = 0; i < 128; ++i) {
        EXPECT_EQ(isPressed(replayed.rgbButtons[i]), isPressed(observed.rgbButtons[i])) << "button " << i;
    }
}

RecordedTick busyTick() {
    RecordedTick tick;
    tick.t = std::numeric_limits<std::uint64_t>::max();
    tick.deck.lX = INT32_MIN;
    tick.deck.lY = INT32_MAX;
    tick.deck.lZ = -1;
    tick.deck.lRy = 1000;
    tick.deck.lRz = -1000;
    tick.deck.rglSlider[1] = -5;
    tick.deck.rgdwPOV[0] = tick.deck.rgdwPOV[3] = 0xFFFFFFFF;  // centred
    tick.deck.rgdwPOV[2] = 9000;
    tick.deck.rgbButtons[0] = 0x80;
    tick.deck.rgbButtons[5] = 0x81;    // pressed: bit 7
    tick.deck.rgbButtons[6] = 0x7F;    // not pressed
    tick.deck.rgbButtons[127] = 0xFF;
    tick.deck.lVX = 77;                // no stage reads it
    tick.pad.lX = 250;
    tick.pad.lZ = -800;
    tick.pad.rgbButtons[7] = 0x80;
    tick.deckPoll = kInputLost;
    tick.deckAcquire = {kInputLost, kInputLost, kOk};
    tick.deckAcquireCount = 3;
    tick.deckRead = static_cast<HResult>(0x80004005);
    tick.padPoll = 1;  // a success that is not 0
    tick.padRead = INT32_MIN;
    tick.deckSearching = tick.padSearching = true;
    return tick;
}

void expectTickReadsBack(const RecordedTick& tick) {
    EventLine line;
    encodeTick(tick, line);
    ASSERT_FALSE(line.overflowed());
    const auto replayed = readBack<replay::TickEvent>(line.text());
    EXPECT_EQ(replayed.t, tick.t);
    expectSameForTheHub(tick.deck, replayed.deck, "deck");
    expectSameForTheHub(tick.pad, replayed.pad, "pad");
    EXPECT_EQ(replayed.deckPoll, tick.deckPoll);
    EXPECT_EQ(replayed.deckAcquire,
              std::vector<HResult>(tick.deckAcquire.begin(), tick.deckAcquire.begin() + tick.deckAcquireCount));
    EXPECT_EQ(replayed.deckRead, tick.deckRead);
    EXPECT_EQ(replayed.padPoll, tick.padPoll);
    EXPECT_EQ(replayed.padRead, tick.padRead);
    EXPECT_EQ(replayed.deckSearching, tick.deckSearching);
    EXPECT_EQ(replayed.padSearching, tick.padSearching);
}

TEST(RecordedTickLine, ReadsBackWithEveryValueAndResultTheTickSaw) {
    RecordedTick tick = busyTick();
    expectTickReadsBack(tick);
    for (const bool deckSearching : {false, true}) {
        tick.deckSearching = deckSearching;
        tick.padSearching = !deckSearching;
        expectTickReadsBack(tick);
    }
}

// The longest tick there can be: every button of both devices pressed, every
// value at its widest, the most acquires. A line cut short would not parse.
TEST(RecordedTickLine, TheLongestTickFitsItsLine) {
    RecordedTick tick = busyTick();
    for (JoystickRecord* record : {&tick.deck, &tick.pad}) {
        record->lX = record->lY = record->lZ = record->lRx = record->lRy = record->lRz = INT32_MIN;
        record->rglSlider[0] = record->rglSlider[1] = INT32_MIN;
        for (auto& pov : record->rgdwPOV) pov = 0xFFFFFFFF;
        for (auto& button : record->rgbButtons) button = 0x80;
    }
    tick.deckAcquire.fill(INT32_MIN);
    tick.deckAcquireCount = kMaxRecordedAcquires;
    tick.deckPoll = tick.deckRead = tick.padPoll = tick.padRead = INT32_MIN;
    expectTickReadsBack(tick);
}

// Centred points of view are a record's only values that are not zero.
TEST(RecordedTickLine, ARecordOfCentredPointsOfViewAloneIsWritten) {
    RecordedTick tick;
    for (auto& pov : tick.deck.rgdwPOV) pov = 0xFFFFFFFF;
    EventLine line;
    encodeTick(tick, line);
    EXPECT_EQ(line.text(), "{\"tick\":{\"t\":0,\"deck\":{\"pov\":[4294967295,4294967295,4294967295,4294967295]}}}");
}

// Most ticks of a session at rest are this: the size of a recording.
TEST(RecordedTickLine, ValuesAtTheirDefaultsAreLeftOut) {
    RecordedTick tick;
    tick.t = 1033;
    EventLine line;
    encodeTick(tick, line);
    EXPECT_EQ(line.text(), "{\"tick\":{\"t\":1033}}");
    tick.deck.rgbButtons[3] = 0x7F;
    EventLine unpressed;
    encodeTick(tick, unpressed);
    EXPECT_EQ(unpressed.text(), line.text());
}

TEST(RecordedRecvLine, ReadsBackWithItsSourceAndEveryByte) {
    std::vector<std::uint8_t> longest(512);
    for (std::size_t i = 0; i < longest.size(); ++i) longest[i] = static_cast<std::uint8_t>(i * 37);
    const std::pair<Endpoint, std::vector<std::uint8_t>> datagrams[] = {
        {{0, 0}, {}},
        {{0xFFFFFFFF, 65535}, longest},
        {{0xC0000207, 50000}, {0x20, 0x80, 0x05, 0xFF, 0x00}},
    };
    for (const auto& [from, bytes] : datagrams) {
        EventLine line;
        encodeRecv(from, bytes, line);
        ASSERT_FALSE(line.overflowed());
        const auto replayed = readBack<replay::RecvEvent>(line.text());
        EXPECT_EQ(replayed.from, from) << line.text();
        EXPECT_EQ(replayed.bytes, bytes) << line.text();
    }
}

// Nothing is written past the line's end, whatever it is given.
TEST(RecordedRecvLine, WhatDoesNotFitMarksTheLineInsteadOfRunningOver) {
    const std::vector<std::uint8_t> tooLong(EventLine::kCapacity, 0xAB);
    EventLine line;
    encodeRecv({kLoopback, 1}, tooLong, line);
    EXPECT_TRUE(line.overflowed());
    EXPECT_EQ(line.text().size(), EventLine::kCapacity);
    line.clear();
    encodeActivate(true, line);
    EXPECT_FALSE(line.overflowed());
    EXPECT_EQ(line.text(), "{\"activate\":true}");
}

TEST(RecordedDialogLines, CommandsActivationsAndDeviceChangesReadBack) {
    for (const int id : {2, 1029, 65535}) {
        EventLine line;
        encodeCommand({id}, line);
        EXPECT_EQ(line.text(), "{\"command\":" + std::to_string(id) + "}");
        EXPECT_EQ(readBack<replay::CommandEvent>(line.text()).id, id);
    }
    RecordedCommand escape{2};
    escape.sendFailed[0] = 3;
    escape.sendFailedCount = 1;
    EventLine failedStop;
    encodeCommand(escape, failedStop);
    const auto replayed = readBack<replay::CommandEvent>(failedStop.text());
    EXPECT_EQ(replayed.id, 2);
    EXPECT_EQ(replayed.sendFailed, (std::vector<std::uint32_t>{3}));
    for (const bool active : {true, false}) {
        EventLine line;
        encodeActivate(active, line);
        EXPECT_EQ(readBack<replay::ActivateEvent>(line.text()).active, active);
    }
    EventLine line;
    encodeDevicesChanged(line);
    readBack<replay::DevicesChangedEvent>(line.text());
}

// Names and paths come from the user's machine: quotes, backslashes, control
// characters and any letters must survive, and an empty object list must not
// read back as the default six axes.
TEST(RecordedConfigLine, ReadsBackWithTheObjectsInOrderAndTheNamesAsTheyAre) {
    RecordedConfig config;
    config.deck = true;
    config.deckObjects = {ObjectType::Other, ObjectType::RzAxis, ObjectType::XAxis, ObjectType::YAxis,
                          ObjectType::ZAxis, ObjectType::RxAxis, ObjectType::RyAxis, ObjectType::Slider,
                          ObjectType::Pov};
    config.gamepad = true;
    config.gamepadName = "Pad \"Pro\" \\ 2\t\x01\x1f ü 手柄";
    config.programPath = "C:\\Program Files\\Hub ü\\hub.exe";
    config.noxinput = true;
    const auto replayed = readBack<replay::ConfigEvent>(encodeConfig(config));
    EXPECT_TRUE(replayed.deck);
    EXPECT_EQ(replayed.deckObjects,
              (std::vector<DeckObject>{DeckObject::Button, DeckObject::Rz, DeckObject::X, DeckObject::Y, DeckObject::Z,
                                       DeckObject::Rx, DeckObject::Ry, DeckObject::Slider, DeckObject::Pov}));
    EXPECT_TRUE(replayed.gamepad);
    EXPECT_EQ(replayed.gamepadName, config.gamepadName);
    EXPECT_EQ(replayed.programPath, config.programPath);
    EXPECT_TRUE(replayed.noxinput);

    const RecordedConfig nothingFound{false, {}, false, "", ""};
    const auto none = readBack<replay::ConfigEvent>(encodeConfig(nothingFound));
    EXPECT_FALSE(none.deck);
    EXPECT_TRUE(none.deckObjects.empty());
    EXPECT_FALSE(none.gamepad);
    EXPECT_EQ(none.programPath, "");
    EXPECT_FALSE(none.noxinput);
}

}  // namespace
}  // namespace hub
