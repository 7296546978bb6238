// The edges every test, benchmark and hub-replay drives the core with:
// devices whose results and records a script sets, a clock a script sets,
// and output edges that count what the hub does, keep it when asked, and
// show it to an observer (hub-replay prints it, its plot draws it).
#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/edges.h"
#include "engine/hub.h"

namespace hub::testing {

class ScriptedDevice final : public InputDevice {
public:
    JoystickRecord record{};
    HResult pollResult = 0;
    HResult readResult = 0;
    std::vector<HResult> acquireResults;  // the results of the next acquires, then 0
    int pollCalls = 0, acquireCalls = 0, readCalls = 0;

    // What one tick of a script sets: the acquires start over.
    void load(HResult poll, std::vector<HResult> acquires, HResult read, const JoystickRecord& state);

    HResult poll() override;
    HResult acquire() override;
    HResult getState(JoystickRecord& out) override;

private:
    std::size_t nextAcquire_ = 0;
};

class ScriptedClock final : public Clock {
public:
    std::uint64_t now = 0;
    std::uint64_t nowMs() override { return now; }
};

// Told of everything the output edges see, as it happens.
class EdgeObserver {
public:
    virtual ~EdgeObserver() = default;
    virtual void onSend(const Endpoint&, std::span<const std::uint8_t>) {}
    // Right after onSend, when that send fails.
    virtual void onSendFailed(const Endpoint&) {}
    virtual void onText(int, std::string_view) {}
    virtual void onEnable(int, bool) {}
    virtual void onMessageBox(std::string_view, std::string_view) {}
    virtual void onLaunch(std::string_view) {}
    virtual void onEndDialog(int) {}
    // The process ends: an observer that returns lets the edge throw ProcessExit.
    virtual void onExit(int) {}
};

struct SentDatagram {
    Endpoint to;
    std::vector<std::uint8_t> bytes;
};

// Counts every send; keeps each one while `keep` is set (a steady run that
// must not allocate clears it).
class ScriptedSocket final : public DatagramSocket {
public:
    bool keep = true;
    bool failSends = false;
    std::vector<std::uint64_t> failingSends;  // the numbers of the sends (from 0, counted in `datagrams`) that fail
    std::uint64_t datagrams = 0, bytes = 0;
    std::vector<SentDatagram> sent;
    EdgeObserver* observer = nullptr;

    bool sendTo(const Endpoint& to, std::span<const std::uint8_t> data) override;
    std::vector<SentDatagram> to(std::uint16_t port) const;
};

class ScriptedWindow final : public Window {
public:
    bool keep = true;
    std::uint64_t textBytes = 0;
    std::map<int, std::string> texts;  // the latest text of each control
    std::vector<std::pair<int, std::string>> writes;
    std::map<int, bool> enabled;
    std::vector<std::pair<std::string, std::string>> messageBoxes;  // text, caption
    bool timerStopped = false;
    std::optional<int> endedWith;  // the first end of the dialog
    EdgeObserver* observer = nullptr;

    void setText(int id, std::string_view text) override;
    void enable(int id, bool value) override;
    void messageBox(std::string_view text, std::string_view caption) override;
    void stopTimer() override { timerStopped = true; }
    void endDialog(int result) override;
};

class ScriptedLauncher final : public Launcher {
public:
    std::string path = "C:\\Hub\\hub.exe";
    std::vector<std::string> started;
    EdgeObserver* observer = nullptr;

    std::string_view programPath() override { return path; }
    void start(std::string_view program) override;
};

// Thrown where the real process would end.
struct ProcessExit {
    int status;
};

class ScriptedProcess final : public Process {
public:
    EdgeObserver* observer = nullptr;
    [[noreturn]] void exitNow(int status) override;
};

// A recording file in memory that can be made to fail: a disk of a given
// size (a write beyond it reaches the file only in part) and failing
// flushes. Safe to read from the test thread while the writer thread writes.
class ScriptedRecordingFile final : public RecordingFile {
public:
    std::size_t diskSize = std::numeric_limits<std::size_t>::max();
    bool failFlush = false;

    std::size_t write(std::span<const char> bytes) override;
    bool flush() override;
    bool truncate(std::uint64_t size) override;
    std::string failure() override;

    std::string contents() const;
    int flushes() const;
    int truncations() const;
    std::size_t flushedSize() const;

private:
    mutable std::mutex mutex_;
    std::string contents_;
    int flushes_ = 0;
    int truncations_ = 0;
    std::size_t flushedSize_ = 0;
};

// A hub on scripted edges.
struct ScriptedHub {
    enum class Attached { Nothing, Stepdeck, StepdeckAndGamepad };

    ScriptedDevice deck;
    ScriptedDevice pad;
    ScriptedClock clock;
    ScriptedSocket socket;
    ScriptedWindow window;
    ScriptedLauncher launcher;
    ScriptedProcess process;
    Hub hub{HubEdges{clock, socket, window, launcher, process}};

    explicit ScriptedHub(Attached attached = Attached::Stepdeck);
    ScriptedHub(const ScriptedHub&) = delete;
    ScriptedHub& operator=(const ScriptedHub&) = delete;

    void attachGamepad() { hub.devices.gamepad = &pad; }
    // Shows every output edge to the observer.
    void observe(EdgeObserver* observer);
    // Neither keeps what it sees: a steady run allocates nothing.
    void keepNothing();

    // One tick at time t with the devices as they are.
    HResult tick(std::uint64_t t);
};

}  // namespace hub::testing
