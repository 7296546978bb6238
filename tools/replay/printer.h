// What hub-replay prints: every datagram, control text and dialog action of
// the hub as one JSON line, in the order it happens, and the plot's view of
// the same sends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

#include "plot.h"
#include "scripted_edges.h"

namespace hub::replay {

class Printer final : public testing::EdgeObserver {
public:
    Printer(std::FILE* out, PlotRecorder* plot) : out_(out), plot_(plot) {}

    void tick(std::uint64_t t);
    // The exit line, once the hub has ended.
    void exit(int status);

    void onSend(const Endpoint& to, std::span<const std::uint8_t> bytes) override;
    void onText(int id, std::string_view value) override;
    void onEnable(int id, bool value) override;
    void onMessageBox(std::string_view text, std::string_view caption) override;
    void onLaunch(std::string_view program) override;
    void onEndDialog(int result) override;
    // A failed tested send ends the process: the exit line, then the tool ends.
    [[noreturn]] void onExit(int status) override;

private:
    std::FILE* out_;
    PlotRecorder* plot_;
};

}  // namespace hub::replay
