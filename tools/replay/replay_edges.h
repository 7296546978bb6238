// The hub's edges as the replay tool provides them: the script drives the
// devices and the clock, and everything the hub does is printed as one JSON
// line on standard output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "engine/edges.h"
#include "replay_script.h"

namespace hub::replay {

// Writes the output lines of the replay contract.
class Printer {
public:
    explicit Printer(std::FILE* out) : out_(out) {}
    void tick(std::uint64_t t);
    void send(const Endpoint& to, std::span<const std::uint8_t> bytes);
    void text(int id, std::string_view value);
    void enable(int id, bool value);
    void msgbox(std::string_view text, std::string_view caption);
    void launch(std::string_view program);
    void end(int result);
    void exit(int status);

private:
    std::FILE* out_;
};

// A device whose results and record the current tick event sets.
class ScriptDevice final : public InputDevice {
public:
    void load(HResult pollResult, std::vector<HResult> acquireResults, HResult readResult,
              const JoystickRecord& record);
    HResult poll() override { return poll_; }
    HResult acquire() override;
    HResult getState(JoystickRecord& out) override;

private:
    HResult poll_ = 0;
    std::vector<HResult> acquire_;
    std::size_t nextAcquire_ = 0;
    HResult read_ = 0;
    JoystickRecord record_{};
};

class ScriptClock final : public Clock {
public:
    void set(std::uint64_t now) { now_ = now; }
    std::uint64_t nowMs() override { return now_; }

private:
    std::uint64_t now_ = 0;
};

class PrintingSocket final : public DatagramSocket {
public:
    explicit PrintingSocket(Printer& printer) : printer_(printer) {}
    bool sendTo(const Endpoint& to, std::span<const std::uint8_t> bytes) override;

private:
    Printer& printer_;
};

class PrintingWindow final : public Window {
public:
    explicit PrintingWindow(Printer& printer) : printer_(printer) {}
    void setText(int controlId, std::string_view text) override { printer_.text(controlId, text); }
    void enable(int controlId, bool enabled) override { printer_.enable(controlId, enabled); }
    void messageBox(std::string_view text, std::string_view caption) override { printer_.msgbox(text, caption); }
    void stopTimer() override {}
    void endDialog(int result) override;
    std::optional<int> endedWith() const { return ended_; }

private:
    Printer& printer_;
    std::optional<int> ended_;
};

class PrintingLauncher final : public Launcher {
public:
    PrintingLauncher(Printer& printer, std::string programPath)
        : printer_(printer), programPath_(std::move(programPath)) {}
    std::string_view programPath() override { return programPath_; }
    void start(std::string_view program) override { printer_.launch(program); }
    void setProgramPath(std::string path) { programPath_ = std::move(path); }

private:
    Printer& printer_;
    std::string programPath_;
};

// A failed tested send ends the hub: the exit line, then the tool ends.
class PrintingProcess final : public Process {
public:
    explicit PrintingProcess(Printer& printer) : printer_(printer) {}
    [[noreturn]] void exitNow(int status) override;

private:
    Printer& printer_;
};

}  // namespace hub::replay
