// What hub-replay prints: every datagram, control text and dialog action of
// the hub as one JSON line, in the order it happens.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "scripted_edges.h"

namespace hub::replay {

// An endpoint as the lines print it: "a.b.c.d:port".
std::string endpointText(const Endpoint& endpoint);

class Printer final : public testing::EdgeObserver {
public:
    explicit Printer(std::FILE* out) : out_(out) {}

    void tick(std::uint64_t t);
    // The exit line, once the hub has ended.
    void exit(int status);

    void onSend(const Endpoint& to, std::span<const std::uint8_t> bytes) override;
    void onText(int id, std::string_view value) override;
    void onEnable(int id, bool value) override;
    void onMessageBox(std::string_view text, std::string_view caption) override;
    void onLaunch(std::string_view program) override;
    void onEndDialog(int result) override;
    // A failed tested send ends the process: the exit line, and nothing after it.
    void onExit(int status) override { exit(status); }

private:
    std::FILE* out_;
};

}  // namespace hub::replay
