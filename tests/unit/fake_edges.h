// Edges for driving the core in tests: devices with settable results and
// records, a settable clock, and recorders for sends and dialog writes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/hub.h"

namespace hub::testing {

class FakeDevice final : public InputDevice {
public:
    JoystickRecord record{};
    HResult pollResult = 0;
    HResult readResult = 0;
    std::vector<HResult> acquireResults;  // then 0
    int pollCalls = 0, acquireCalls = 0, readCalls = 0;

    HResult poll() override { ++pollCalls; return pollResult; }
    HResult acquire() override {
        const auto index = static_cast<std::size_t>(acquireCalls++);
        return index < acquireResults.size() ? acquireResults[index] : 0;
    }
    HResult getState(JoystickRecord& out) override {
        ++readCalls;
        if (!failed(readResult)) out = record;
        return readResult;
    }
};

class FakeClock final : public Clock {
public:
    std::uint64_t now = 0;
    std::uint64_t nowMs() override { return now; }
};

struct SentDatagram {
    Endpoint to;
    std::vector<std::uint8_t> bytes;
};

class RecordingSocket final : public DatagramSocket {
public:
    std::vector<SentDatagram> sent;
    bool failSends = false;
    bool sendTo(const Endpoint& to, std::span<const std::uint8_t> bytes) override {
        sent.push_back({to, {bytes.begin(), bytes.end()}});
        return !failSends;
    }
    std::vector<SentDatagram> to(std::uint16_t port) const {
        std::vector<SentDatagram> matching;
        for (const auto& datagram : sent) {
            if (datagram.to.port == port) matching.push_back(datagram);
        }
        return matching;
    }
};

class RecordingWindow final : public Window {
public:
    std::map<int, std::string> texts;      // latest text per control
    std::vector<std::pair<int, std::string>> writes;
    std::map<int, bool> enabled;
    std::vector<std::pair<std::string, std::string>> messageBoxes;  // text, caption
    bool timerStopped = false;
    int endedWith = -1;

    void setText(int id, std::string_view text) override {
        texts[id] = std::string(text);
        writes.emplace_back(id, std::string(text));
    }
    void enable(int id, bool value) override { enabled[id] = value; }
    void messageBox(std::string_view text, std::string_view caption) override {
        messageBoxes.emplace_back(std::string(text), std::string(caption));
    }
    void stopTimer() override { timerStopped = true; }
    void endDialog(int result) override { endedWith = result; }
};

class FakeLauncher final : public Launcher {
public:
    std::string path = "C:\\Hub\\hub.exe";
    std::vector<std::string> started;
    std::string_view programPath() override { return path; }
    void start(std::string_view program) override { started.emplace_back(program); }
};

// Thrown where the real process would end.
struct ProcessExit {
    int status;
};

class ThrowingProcess final : public Process {
public:
    [[noreturn]] void exitNow(int status) override { throw ProcessExit{status}; }
};

// A hub on fake edges with a Stepdeck attached.
struct TestHub {
    FakeDevice deck;
    FakeDevice pad;
    FakeClock clock;
    RecordingSocket socket;
    RecordingWindow window;
    FakeLauncher launcher;
    ThrowingProcess process;
    Hub hub{HubEdges{clock, socket, window, launcher, process}};

    TestHub() { hub.devices.deck = &deck; }
    void attachGamepad() { hub.devices.gamepad = &pad; }

    // One tick at time t with the Stepdeck record as it is.
    HResult tick(std::uint64_t t) {
        clock.now = t;
        return inputTick(hub);
    }
};

}  // namespace hub::testing
