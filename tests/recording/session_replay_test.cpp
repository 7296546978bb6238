// A session recorded at the hub's edges replays byte for byte: the hub runs
// on scripted edges behind the recording's decorators, a remote app's
// datagrams arrive from a thread of their own while timer messages run, and
// hub-replay, run on the recording, sends every datagram the hub sent, in
// the same order. Each session ends in another of the ways the hub ends.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "base/controls.h"
#include "recorded_hub.h"

namespace hub {
namespace {

using namespace testing;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kStart = 250000;

struct InMemory {
    ScriptedRecordingFile file;
};

// A recorded hub with its recording in memory (the file comes first). Its
// ticks follow each other without the hub's 33 ms between them: the buffer
// holds a whole session, so that a writer thread the machine holds back
// cannot end the recording.
struct Recorded : InMemory, RecordedHub {
    Recorded() : RecordedHub(&file, std::size_t{64} << 20) { launcher.path = "C:\\Jeux d'été\\Hub \"2\"\\hub.exe"; }
    bool ended() const { return window.endedWith.has_value(); }
};

std::string hex(const Bytes& bytes) {
    std::string text;
    char digits[3];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

// The send lines hub-replay prints for the recording, its exit status and
// its last line.
std::vector<std::string> replaySends(const std::string& recording, int& status, std::string* lastLine = nullptr) {
    // A file of its own: other test runs on the machine replay theirs at the same time.
    std::string path = ::testing::TempDir() + "recorded-session-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0 || close(fd) != 0) ADD_FAILURE() << "cannot create " << path;
    std::ofstream(path, std::ios::binary) << recording;
    std::FILE* out = popen((std::string(HUB_REPLAY) + " " + path).c_str(), "r");
    std::vector<std::string> sends;
    char line[4096];
    while (out != nullptr && std::fgets(line, sizeof line, out) != nullptr) {
        const std::string text(line, std::strlen(line) - 1);
        if (text.starts_with("{\"send\"")) sends.push_back(text);
        if (lastLine != nullptr) *lastLine = text;
    }
    status = out == nullptr ? -1 : pclose(out);
    std::remove(path.c_str());
    return sends;
}

std::vector<std::string> sendLines(const ScriptedSocket& socket) {
    std::vector<std::string> lines;
    for (const SentDatagram& sent : socket.sent) {
        const Endpoint& to = sent.to;
        lines.push_back("{\"send\": {\"to\": \"" + std::to_string(to.address >> 24) + "." +
                        std::to_string((to.address >> 16) & 0xFF) + "." + std::to_string((to.address >> 8) & 0xFF) +
                        "." + std::to_string(to.address & 0xFF) + ":" + std::to_string(to.port) + "\", \"hex\": \"" +
                        hex(sent.bytes) + "\"}}");
    }
    return lines;
}

// The recording closed, replayed, and compared with what the hub sent.
void expectReplayedByteForByte(Recorded& r) {
    r.writer->close();
    ASSERT_EQ(r.writer->stoppedEarly(), std::nullopt);
    int status = 0;
    const std::vector<std::string> replayed = replaySends(r.file.contents(), status);
    EXPECT_EQ(status, 0) << "hub-replay refused the recording:\n" << r.file.contents().substr(0, 2000);
    const std::vector<std::string> sent = sendLines(r.socket);
    EXPECT_GT(sent.size(), 3u);
    EXPECT_EQ(replayed, sent);
}

void walk(JoystickRecord& deck, int tick) {
    deck = {};
    const int step = (tick / 15) % 2;
    deck.lY = -300 - 5 * (tick % 40);
    deck.lX = 40 * (tick % 7) - 120;
    deck.lRz = step ? 150 : 20;
    deck.lRx = step ? 20 : -150;
    deck.lZ = 10 * (tick % 30);
    deck.rgdwPOV[0] = deck.rgdwPOV[1] = deck.rgdwPOV[2] = deck.rgdwPOV[3] = 0xFFFFFFFF;
    for (int b = 0; b < 4; ++b) deck.rgbButtons[b] = (b / 2 == step) ? 0x80 : 0;
    if (tick % 11 == 0) deck.rgbButtons[1] = 0x81;
}

// A remote app that connects, streams its inputs and keeps alive; a port
// registrant and querier; the feeder enable: all from another thread, as fast
// as the queue takes them, until the timer messages stop.
void remoteApp(DatagramQueue& received, const std::atomic<bool>& ticking) {
    const Endpoint app{kLoopback, 50123};
    received.push(Bytes{1, 3, 4, 50, 50}, app);
    received.push(Bytes{1, 1}, app);
    received.push(Bytes{21, 1, 5, 5, 0}, {kLoopback, 50499});
    for (int i = 0; ticking.load(); ++i) {
        const auto steering = static_cast<std::uint8_t>(i * 7);
        received.push(Bytes{32, steering, static_cast<std::uint8_t>(i & 0x3F), 0, 0, 100, 156, 0, 0}, app);
        received.push(Bytes{1, 21}, app);
        if (i % 500 == 0) received.push(Bytes{21, 2, 5, 5, 1}, {kLoopback, 50501});
        if (i % 50 == 0) std::this_thread::yield();
    }
}

// The ticks take no time of their own: each waits until the remote app has
// queued something new since the last (at most a second), so that both
// threads interleave.
void waitForTheRemoteApp(const DatagramQueue& received, std::uint64_t& seen) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (received.queued() == seen && std::chrono::steady_clock::now() < limit) std::this_thread::yield();
    seen = received.queued();
}

TEST(RecordedSession, WalkingModesAndARemoteAppFloodingTheQueueReplayExactlyUpToEscape) {
    Recorded r;
    r.platform.controllers = {stepdeckController(1), gamepadController(2, "Manette \"Pro\" ü")};
    r.begin();
    onActivate(r.hub, true);
    std::atomic<bool> ticking{true};
    std::thread app([&] { remoteApp(r.hub.state.received, ticking); });
    std::uint64_t now = kStart;
    std::uint64_t seen = 0;
    for (int tick = 0; tick < 600; ++tick) {
        walk(r.deck.record, tick);
        r.pad.record.lX = (tick * 37) % 2000 - 1000;
        r.pad.record.rgbButtons[0] = tick % 20 < 10 ? 0x80 : 0;
        // A Stepdeck that drops out for a while: polls fail and acquires
        // report input lost, the hub recovers.
        r.deck.pollResult = (tick >= 200 && tick < 205) ? kInputLost : kOk;
        r.deck.acquireResults = tick == 202 ? std::vector<HResult>(12, kInputLost) : std::vector<HResult>{kInputLost, kOk};
        r.pad.readResult = tick == 300 ? kInputLost : kOk;
        if (tick == 100) onCommand(r.hub, control::kNextLocomotionMode);  // Advanced
        if (tick == 150) onCommand(r.hub, control::kSpeedButton);
        if (tick == 250) onCommand(r.hub, control::kNextLocomotionMode);  // Seated
        if (tick == 320) onCommand(r.hub, control::kNextVjoyMode);        // Skate
        if (tick == 400) onCommand(r.hub, control::kNextVjoyMode);        // Diff. Pedal n Brake
        if (tick == 420) onActivate(r.hub, false);
        if (tick == 421) onActivate(r.hub, true);
        if (tick == 450) onCommand(r.hub, control::kStartFeeder);
        now += tick % 9 == 0 ? 34 : 33;
        waitForTheRemoteApp(r.hub.state.received, seen);
        r.timer(now);
    }
    ticking.store(false);
    app.join();
    r.timer(now + 33);  // whatever the remote app sent last
    onCommand(r.hub, control::kCancel);
    ASSERT_TRUE(r.ended());
    EXPECT_GT(r.hub.state.received.queued(), 1000u);
    expectReplayedByteForByte(r);
}

// Unplugged, the Stepdeck is lost and searched for: not found, the
// enumeration failing, found but its data format failing, found; the gamepad
// lost and found again meanwhile. Windows reports the device changes, and some
// searches run for several timer messages. Each search's outcome is in the
// recording, so the replay's searches find the same when they finish.
TEST(RecordedSession, LostDevicesAndSlowSearchesThatFindThemReplayExactly) {
    constexpr HResult kNotAcquired = static_cast<HResult>(0x8007000C);
    constexpr HResult kUnplugged = static_cast<HResult>(0x80040209);
    constexpr HResult kFailure = static_cast<HResult>(0x80004005);
    Recorded r;
    r.platform.controllers = {stepdeckController(1), gamepadController(2, "Pad")};
    r.begin();
    onActivate(r.hub, true);
    std::uint64_t now = kStart;
    for (int tick = 0; tick < 400; ++tick) {
        walk(r.deck.record, tick);
        const bool deckOut = tick >= 30 && tick < 250;
        r.platform.controllers[0].attached = !deckOut;
        r.deck.pollResult = !deckOut ? kOk : tick == 30 ? kInputLost : kNotAcquired;
        r.deck.acquireResults = {deckOut ? kUnplugged : kOk};
        r.platform.stepdeck.enumerate = tick >= 120 && tick < 170 ? kFailure : kOk;
        r.platform.stepdeck.setFormat = tick >= 250 && tick < 280 ? kFailure : kOk;
        const bool padOut = tick >= 60 && tick < 120;
        r.platform.controllers[1].attached = !padOut;
        r.pad.pollResult = padOut ? kNotAcquired : kOk;
        r.search.running[DeviceRole::Stepdeck] = tick >= 60 && tick < 75;
        r.search.running[DeviceRole::Gamepad] = tick >= 121 && tick < 126;
        if (tick == 30 || tick == 60 || tick == 120 || tick == 130 || tick == 250 || tick == 290) {
            onDevicesChanged(r.hub);
        }
        now += 33;
        r.timer(now);
    }
    onCommand(r.hub, control::kCancel);
    ASSERT_TRUE(r.ended());
    r.writer->close();
    const std::string recording = r.file.contents();
    EXPECT_NE(recording.find("{\"attached\":{\"deck\":false}}"), std::string::npos);
    EXPECT_NE(recording.find("\"enumerate\":-2147467259"), std::string::npos);
    EXPECT_NE(recording.find("\"deckFormat\":-2147467259"), std::string::npos);
    EXPECT_NE(recording.find("{\"attached\":{\"gamepad\":true"), std::string::npos);
    EXPECT_NE(recording.find("\"searching\":[\"deck\"]"), std::string::npos);
    EXPECT_NE(recording.find("\"searching\":[\"gamepad\"]"), std::string::npos);
    EXPECT_NE(recording.find("{\"devicesChanged\":true}"), std::string::npos);
    expectReplayedByteForByte(r);
}

TEST(RecordedSession, AFailedReadReplaysExactly) {
    Recorded r;
    r.platform.controllers = {stepdeckController(1)};
    r.begin();
    r.hub.state.received.push(Bytes{1, 1}, {kLoopback, 50123});
    for (int tick = 0; tick < 30; ++tick) {
        walk(r.deck.record, tick);
        r.deck.readResult = tick == 29 ? static_cast<HResult>(0x80070005) : kOk;
        r.timer(kStart + 33u * static_cast<unsigned>(tick));
    }
    ASSERT_TRUE(r.ended());
    expectReplayedByteForByte(r);
}

TEST(RecordedSession, AMissingStepdeckReplaysExactly) {
    Recorded r;
    r.platform.controllers = {gamepadController(2, "Pad")};
    r.begin();
    ASSERT_TRUE(r.ended());
    expectReplayedByteForByte(r);
}

// The report's summary names the switch.
TEST(RecordedSession, TheConfigSaysWhetherTheHubRanWithNoXInput) {
    for (const bool filter : {false, true}) {
        Recorded r;
        r.platform.controllers = {stepdeckController(1)};
        r.begin(filter);
        r.writer->close();
        EXPECT_EQ(r.file.contents().find(",\"noxinput\":true}}") != std::string::npos, filter) << r.file.contents();
    }
}

TEST(RecordedSession, AFailedSetUpReplaysExactly) {
    Recorded r;
    r.platform.controllers = {stepdeckController(1)};
    r.platform.stepdeck.setCooperativeLevel = static_cast<HResult>(0x80004005);
    r.begin();
    ASSERT_TRUE(r.ended());
    r.writer->close();
    EXPECT_NE(r.file.contents().find("\"setupFailure\":-2147467259"), std::string::npos) << r.file.contents();
    int status = 0;
    const auto replayed = replaySends(r.file.contents(), status);
    EXPECT_EQ(replayed, sendLines(r.socket));
}

// A failed tested send ends the process at once: the tick that sent it is
// in the file, which the replay ends the same way.
TEST(RecordedSession, AProcessEndedByAFailedSendLeavesItsLastTick) {
    Recorded r;
    r.platform.controllers = {stepdeckController(1)};
    r.begin();
    for (int tick = 0; tick < 10; ++tick) r.timer(kStart + 33u * static_cast<unsigned>(tick));
    r.hub.state.received.push(Bytes{1, 1}, {kLoopback, 50123});  // the feeder enable: its acknowledgement is tested
    r.socket.failSends = true;
    EXPECT_THROW(r.timer(kStart + 330), ProcessExit);
    EXPECT_NE(r.file.contents().rfind("{\"tick\":{\"t\":250330"), std::string::npos) << "the last tick was lost";
    int status = 0;
    const auto replayed = replaySends(r.file.contents(), status);
    EXPECT_EQ(replayed, sendLines(r.socket));
}

// A failed send is numbered among the sends of its tick or of its command:
// the remote app's status datagram fails (the app is dropped, the sends
// before it in the tick went out), then the stop datagram of Escape (after
// the standing-still pair), which ends the process with status 1.
TEST(RecordedSession, FailedSendsReplayAtTheSameSendOfTheirTickAndOfEscape) {
    Recorded r;
    r.platform.controllers = {stepdeckController(1)};
    r.begin();
    r.hub.state.received.push(Bytes{1, 3, 4, 50, 50}, {kLoopback, 50123});
    for (int tick = 0; tick < 20; ++tick) {
        walk(r.deck.record, tick);
        if (tick == 5) r.socket.failingSends = {r.socket.datagrams + 2};  // after the stick and XDRV datagrams
        r.timer(kStart + 33u * static_cast<unsigned>(tick));
    }
    EXPECT_FALSE(r.hub.state.remote.connected.load());
    r.socket.failingSends = {r.socket.datagrams + 2};
    EXPECT_THROW(onCommand(r.hub, control::kCancel), ProcessExit);
    int status = 0;
    std::string lastLine;
    const auto replayed = replaySends(r.file.contents(), status, &lastLine);
    EXPECT_EQ(replayed, sendLines(r.socket));
    EXPECT_EQ(lastLine, "{\"exit\": 1}");
}

}  // namespace
}  // namespace hub
