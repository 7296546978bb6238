// hub-replay --plot: draws a replay over time as an SVG for a person tuning
// the modes: the locomotion X and Y of the XDRV datagrams, the feeder's axes
// (the bytes of each per-mode datagram, named by the mode that sent them) and
// the Advanced step tracker's speed.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "base/edges.h"
#include "replay_run.h"
#include "vjoy/vjoy_modes.h"

namespace hub::replay {

class PlotRecorder final : public ReplayWatcher {
public:
    // Before a tick runs: its clock and the vJoy mode the tick will use.
    void beginTick(std::uint64_t t, const Hub& hub) override;
    // A datagram the hub sent; only those sent in ticks are drawn.
    void onSend(const Endpoint& to, std::span<const std::uint8_t> bytes) override;
    // After a tick: the Advanced tracker as the tick left it.
    void endTick(const Hub& hub) override;

    std::string svg() const;

    struct Point {
        double seconds;
        double value;
    };
    using Series = std::map<std::string, std::vector<Point>>;  // by legend name, drawn in name order

    // What the panels draw, for tests.
    const Series& locomotion() const { return locomotion_; }
    const Series& feeder() const { return feeder_; }
    const Series& speed() const { return speed_; }

private:
    double seconds() const;
    void addFeederValue(const std::string& name, double value);

    bool inTick_ = false;
    bool sawTick_ = false;
    std::uint64_t firstTick_ = 0;
    std::uint64_t now_ = 0;
    VjoyMode vjoyMode_ = VjoyMode::None;
    std::string feederMode_;  // label of the mode whose datagram came last
    Series locomotion_;
    Series feeder_;
    Series speed_;
};

}  // namespace hub::replay
