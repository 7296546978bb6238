// hub-replay --report: one self-contained HTML page (inline SVG and CSS, no
// script, nothing loaded from elsewhere) that tells what a replayed session
// did: a summary, the tick timing, a timeline, the wire and the plot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "session_story.h"

namespace hub::replay {

inline constexpr std::uint64_t kHistogramBinMs = 5;
inline constexpr std::size_t kHistogramBins = 21;  // 0 ... 100 ms by 5, then every longer period
inline constexpr std::uint64_t kGapMs = 100;       // a longer period is a gap
inline constexpr std::uint64_t kSlowMedianMs = 40;  // a longer median: the PC did not keep the 33 ms

// The periods between successive ticks, in ms (a clock that steps back gives none).
struct TickTiming {
    std::size_t periods = 0;
    std::uint64_t median = 0;  // nearest rank
    std::uint64_t p99 = 0;     // nearest rank
    std::uint64_t max = 0;
    std::vector<std::size_t> histogram = std::vector<std::size_t>(kHistogramBins);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> gaps;  // clock at the gap's end, its length
};

TickTiming tickTiming(const std::vector<std::uint64_t>& ticks);

// The median period is above 40 ms: the hub read the Stepdeck less often
// than it should.
bool tickTooSlow(const TickTiming& timing);

// The page; `name` says which script it is, `plotSvg` is the plot's SVG.
std::string reportHtml(const SessionStory& story, const std::string& name, const std::string& plotSvg);

}  // namespace hub::replay
