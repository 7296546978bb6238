#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "svg_text.h"

namespace hub::replay {

namespace {

constexpr const char* kStyle = R"(body{font-family:sans-serif;margin:24px auto;max-width:1160px;color:#222;line-height:1.4}
h1{font-size:24px;margin-bottom:4px}h2{font-size:19px;border-bottom:1px solid #ccc;padding-bottom:4px;margin-top:32px}
.sub{color:#666;margin-top:0}table{border-collapse:collapse;margin:8px 0}
td,th{border:1px solid #ddd;padding:4px 10px;text-align:left;vertical-align:top}th{background:#f3f3f3}
td.n{text-align:right;font-variant-numeric:tabular-nums}
.warning{background:#fff3cd;border:1px solid #e0b100;padding:10px 14px;border-radius:4px}
.ok{background:#e6f4e6;border:1px solid #7cbf7c;padding:10px 14px;border-radius:4px}
svg{max-width:100%;height:auto}.scroll{max-height:420px;overflow-y:auto;display:inline-block})";

std::string text(const std::string& s) { return escaped(s); }

std::string secondsText(double seconds) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f s", seconds);
    return buffer;
}

// The clock of the recording: the time since Windows started.
std::string clockText(std::uint64_t ms) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%llu:%02llu:%02llu.%03llu", static_cast<unsigned long long>(ms / 3600000),
                  static_cast<unsigned long long>(ms / 60000 % 60), static_cast<unsigned long long>(ms / 1000 % 60),
                  static_cast<unsigned long long>(ms % 1000));
    return buffer;
}

std::string perSecond(std::uint64_t count, double seconds) {
    if (seconds <= 0) return "&mdash;";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", static_cast<double>(count) / seconds);
    return buffer;
}

std::string deckObjectName(DeckObject object) {
    static constexpr const char* kNames[] = {"x", "y", "z", "rx", "ry", "rz", "slider", "pov", "button"};
    return kNames[static_cast<int>(object)];
}

// The deck's objects, runs of the same kind counted: "x, y, z, rx, ry, rz, 4 buttons".
std::string deckObjectsText(const std::vector<DeckObject>& objects) {
    std::string out;
    for (std::size_t i = 0; i < objects.size();) {
        std::size_t run = 1;
        while (i + run < objects.size() && objects[i + run] == objects[i]) ++run;
        if (!out.empty()) out += ", ";
        out += run > 1 ? std::to_string(run) + " " + deckObjectName(objects[i]) + "s" : deckObjectName(objects[i]);
        i += run;
    }
    return out.empty() ? "none" : out;
}

struct Span {
    std::uint64_t first = 0, last = 0;
    double seconds() const { return static_cast<double>(last - first) / 1000.0; }
    double at(std::uint64_t t) const { return static_cast<double>(std::clamp(t, first, last) - first) / 1000.0; }
};

Span spanOf(const SessionStory& story) {
    if (story.ticks.empty()) return {};
    const auto [low, high] = std::minmax_element(story.ticks.begin(), story.ticks.end());
    return {*low, *high};
}

std::string when(const Moment& moment, const Span& span) {
    return moment.t ? secondsText(span.at(*moment.t)) : "start";
}

void row(std::string& out, const std::string& head, const std::string& cell) {
    out += "<tr><th>" + head + "</th><td>" + cell + "</td></tr>\n";
}

// Light fills with dark text: a problem red, an absence grey, a presence
// green, the modes from a palette in the order they appear.
std::string fillFor(const std::string& value, std::size_t order) {
    static constexpr const char* kModes[] = {"#aec7e8", "#ffbb78", "#c5b0d5", "#dbdb8d", "#9edae5", "#f7b6d2", "#c49c94"};
    if (value == "lost" || value == "not found") return "#f4a6a6";
    if (value == "none" || value == "not enabled") return "#eeeeee";
    if (value == "present" || value == "enabled" || value.starts_with("connected")) return "#b7e4b7";
    return kModes[order % std::size(kModes)];
}

class TimelineSvg {
public:
    static constexpr double kLabels = 130, kWidth = 960, kRow = 26, kGap = 8;

    explicit TimelineSvg(const Span& span) : span_(span) {}

    void lane(const Lane& lane) {
        const double top = rowTop();
        label(lane.name, top);
        std::map<std::string, std::size_t> order;
        for (std::size_t i = 0; i < lane.changes.size(); ++i) {
            const auto& [from, value] = lane.changes[i];
            const std::uint64_t until = i + 1 < lane.changes.size() ? lane.changes[i + 1].first : span_.last;
            const double x1 = x(from), x2 = std::max(x(until), x1 + 1.0);
            const std::size_t colour = order.try_emplace(value, order.size()).first->second;
            body_ += "<rect x=\"" + number(x1) + "\" y=\"" + number(top) + "\" width=\"" + number(x2 - x1) +
                     "\" height=\"" + number(kRow) + "\" fill=\"" + fillFor(value, colour) +
                     "\" stroke=\"#fff\"><title>" + escaped(lane.name + ": " + value + " from " +
                                                            secondsText(span_.at(from))) +
                     "</title></rect>\n";
            if ((x2 - x1) > 7.0 * static_cast<double>(value.size()) + 8) {
                body_ += "<text x=\"" + number(x1 + 4) + "\" y=\"" + number(top + 17) + "\">" + escaped(value) +
                         "</text>\n";
            }
        }
        ++rows_;
    }

    // Marks at the moments of some kinds.
    void marks(const std::string& name, const std::vector<Moment>& moments, std::initializer_list<Moment::Kind> kinds,
               const char* colour) {
        const double top = rowTop();
        label(name, top);
        body_ += "<rect x=\"" + number(kLabels) + "\" y=\"" + number(top) + "\" width=\"" + number(kWidth) +
                 "\" height=\"" + number(kRow) + "\" fill=\"#fafafa\"/>\n";
        for (const Moment& moment : moments) {
            if (std::find(kinds.begin(), kinds.end(), moment.kind) == kinds.end()) continue;
            const double at = moment.t ? x(*moment.t) : kLabels;
            body_ += "<rect x=\"" + number(at - 1.5) + "\" y=\"" + number(top + 2) + "\" width=\"3\" height=\"" +
                     number(kRow - 4) + "\" fill=\"" + colour + "\"><title>" +
                     escaped(when(moment, span_) + ": " + moment.what) + "</title></rect>\n";
        }
        ++rows_;
    }

    std::string finish() {
        const double bottom = rowTop();
        std::string axis;
        const double step = axisStep(std::max(span_.seconds(), 0.001));
        for (double s = 0; s <= span_.seconds() + 1e-9; s += step) {
            const double at = kLabels + s / std::max(span_.seconds(), 0.001) * kWidth;
            axis += "<line x1=\"" + number(at) + "\" y1=\"" + number(bottom - kGap) + "\" x2=\"" + number(at) +
                    "\" y2=\"" + number(bottom - kGap + 5) + "\" stroke=\"#444\"/><text x=\"" + number(at) +
                    "\" y=\"" + number(bottom + 10) + "\" text-anchor=\"middle\">" + axisText(s, step) + "</text>\n";
        }
        const double height = bottom + 34;
        return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(kLabels + kWidth + 10) + "\" height=\"" +
               number(height) + "\" viewBox=\"0 0 " + number(kLabels + kWidth + 10) + " " + number(height) +
               "\" font-family=\"sans-serif\" font-size=\"12\">\n" + body_ + axis + "<text x=\"" +
               number(kLabels + kWidth / 2) + "\" y=\"" + number(bottom + 28) +
               "\" text-anchor=\"middle\">time since the first tick (s)</text>\n</svg>\n";
    }

private:
    double rowTop() const { return 8 + static_cast<double>(rows_) * (kRow + kGap); }
    double x(std::uint64_t t) const {
        return kLabels + span_.at(t) / std::max(span_.seconds(), 0.001) * kWidth;
    }
    void label(const std::string& name, double top) {
        body_ += "<text x=\"0\" y=\"" + number(top + 17) + "\" font-weight=\"bold\">" + escaped(name) + "</text>\n";
    }

    Span span_;
    int rows_ = 0;
    std::string body_;
};

std::string histogramSvg(const TickTiming& timing) {
    constexpr double kLeft = 50, kBar = 30, kHeight = 160, kTop = 24;  // the tick's label above the bars
    const std::size_t highest = std::max<std::size_t>(1, *std::max_element(timing.histogram.begin(), timing.histogram.end()));
    const double width = kLeft + kBar * static_cast<double>(kHistogramBins) + 20;
    std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(width) + "\" height=\"" +
                      number(kTop + kHeight + 46) + "\" viewBox=\"0 0 " + number(width) + " " +
                      number(kTop + kHeight + 46) + "\" font-family=\"sans-serif\" font-size=\"11\">\n";
    for (std::size_t i = 0; i < kHistogramBins; ++i) {
        const double h = kHeight * static_cast<double>(timing.histogram[i]) / static_cast<double>(highest);
        const double x = kLeft + kBar * static_cast<double>(i);
        const std::uint64_t from = i * kHistogramBinMs;
        const std::string range = i + 1 < kHistogramBins
                                      ? std::to_string(from) + " to " + std::to_string(from + kHistogramBinMs - 1) + " ms"
                                      : std::to_string(from) + " ms or more";
        out += "<rect x=\"" + number(x + 2) + "\" y=\"" + number(kTop + kHeight - h) + "\" width=\"" +
               number(kBar - 4) + "\" height=\"" + number(h) + "\" fill=\"" +
               (from >= kGapMs ? "#d62728" : "#1f77b4") + "\"><title>" + range + ": " +
               std::to_string(timing.histogram[i]) + " periods</title></rect>\n";
        if (i % 2 == 0) {
            out += "<text x=\"" + number(x) + "\" y=\"" + number(kTop + kHeight + 14) + "\" text-anchor=\"middle\">" +
                   (i + 1 < kHistogramBins ? std::to_string(from) : "&#8805;" + std::to_string(from)) + "</text>\n";
        }
    }
    const double at33 = kLeft + kBar * 33.0 / static_cast<double>(kHistogramBinMs);
    out += "<line x1=\"" + number(at33) + "\" y1=\"" + number(kTop) + "\" x2=\"" + number(at33) + "\" y2=\"" +
           number(kTop + kHeight) + "\" stroke=\"#2ca02c\" stroke-dasharray=\"4 3\"/><text x=\"" + number(at33 + 4) +
           "\" y=\"" + number(kTop - 8) + "\" fill=\"#2ca02c\">the tick, 33 ms</text>\n";
    out += "<line x1=\"" + number(kLeft) + "\" y1=\"" + number(kTop + kHeight) + "\" x2=\"" + number(width - 20) +
           "\" y2=\"" + number(kTop + kHeight) + "\" stroke=\"#444\"/>\n";
    out += "<text x=\"" + number(kLeft - 6) + "\" y=\"" + number(kTop + 10) + "\" text-anchor=\"end\">" +
           std::to_string(highest) + "</text><text x=\"" + number(kLeft - 6) + "\" y=\"" +
           number(kTop + kHeight) + "\" text-anchor=\"end\">0</text>\n";
    out += "<text x=\"" + number(kLeft + kBar * static_cast<double>(kHistogramBins) / 2) + "\" y=\"" +
           number(kTop + kHeight + 36) + "\" text-anchor=\"middle\">period between two ticks (ms)</text>\n</svg>\n";
    return out;
}

void summary(std::string& out, const SessionStory& story, const std::string& name, const Span& span) {
    const ConfigEvent& config = story.config;
    out += "<section><h2>Summary</h2><table>\n";
    row(out, "Script", text(name));
    if (story.ticks.empty()) {
        row(out, "When", "no tick");
    } else {
        row(out, "When", "from " + clockText(span.first) + " to " + clockText(span.last) +
                             " after Windows started (the hub's clock; a recording holds no date)");
    }
    row(out, "How long", secondsText(span.seconds()) + " from the first tick to the last");
    row(out, "Ticks", std::to_string(story.ticks.size()));
    row(out, "Stepdeck", config.deck ? "objects: " + deckObjectsText(config.deckObjects) : "none found at start");
    row(out, "Gamepad", config.gamepad ? "\"" + text(config.gamepadName) + "\"" : "none");
    row(out, "Switches", config.noxinput ? "-record, -noxinput" : "-record; not -noxinput");
    row(out, "Program", text(config.programPath));
    if (config.setupFailure != 0) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(config.setupFailure));
        row(out, "Device set-up", std::string("failed with ") + code);
    }
    row(out, "How it ended", text(story.ending));
    out += "</table></section>\n";
}

void timing(std::string& out, const SessionStory& story, const Span& span) {
    const TickTiming timing = tickTiming(story.ticks);
    out += "<section><h2>Tick timing</h2>\n";
    if (timing.periods == 0) {
        out += "<p>Fewer than two ticks: no period to measure.</p></section>\n";
        return;
    }
    if (tickTooSlow(timing)) {
        out += "<p class=\"warning\"><strong>This PC did not keep the hub's 33 ms tick.</strong> The median period "
               "is " + std::to_string(timing.median) + " ms: the hub read the Stepdeck about " +
               std::to_string(static_cast<int>(std::lround(1000.0 / static_cast<double>(timing.median)))) +
               " times a second instead of 30. Likely causes: Windows did not grant the hub its 1 ms timer "
               "resolution (on the default 15.6 ms timer grid a 33 ms timer fires about every 47 ms), or the "
               "machine was too busy to run the hub on time.</p>\n";
    } else {
        out += "<p class=\"ok\">The hub kept its 33 ms tick: the median period is " + std::to_string(timing.median) +
               " ms.</p>\n";
    }
    out += "<table>\n";
    row(out, "Periods", std::to_string(timing.periods));
    row(out, "Median", std::to_string(timing.median) + " ms");
    row(out, "99th percentile", std::to_string(timing.p99) + " ms");
    row(out, "Longest", std::to_string(timing.max) + " ms");
    row(out, "Gaps over 100 ms", std::to_string(timing.gaps.size()));
    out += "</table>\n" + histogramSvg(timing);
    if (!timing.gaps.empty()) {
        out += "<p>The gaps, by the time their tick came:</p><ul>\n";
        for (const auto& [t, length] : timing.gaps) {
            out += "<li>" + secondsText(span.at(t)) + ": " + std::to_string(length) + " ms without a tick</li>\n";
        }
        out += "</ul>\n";
    }
    out += "</section>\n";
}

void timeline(std::string& out, const SessionStory& story, const Span& span) {
    out += "<section><h2>Timeline</h2>\n";
    if (!story.ticks.empty()) {
        TimelineSvg svg(span);
        for (const Lane* lane : {&story.locomotion, &story.vjoy, &story.stepdeck, &story.gamepad, &story.remoteApp,
                                 &story.feeder}) {
            svg.lane(*lane);
        }
        svg.marks("Buttons", story.moments, {Moment::Kind::Button}, "#1f4e99");
        svg.marks("Devices, peers", story.moments, {Moment::Kind::Device, Moment::Kind::Peer}, "#7b3294");
        svg.marks("Failures, end", story.moments, {Moment::Kind::Failure, Moment::Kind::End}, "#d62728");
        out += svg.finish();
    }
    if (!story.losses.empty()) {
        out += "<h3>Lost devices</h3><table><tr><th>device</th><th>lost at</th><th>back at</th><th>for</th>"
               "<th>how it came back</th></tr>\n";
        for (const Loss& loss : story.losses) {
            out += "<tr><td>" + loss.device + "</td><td class=\"n\">" + secondsText(span.at(loss.from)) +
                   "</td><td class=\"n\">" + (loss.until ? secondsText(span.at(*loss.until)) : "&mdash;") +
                   "</td><td class=\"n\">" +
                   secondsText(static_cast<double>(loss.until.value_or(span.last) - loss.from) / 1000.0) +
                   "</td><td>" +
                   (!loss.until ? "still lost at the end"
                                : loss.foundBySearch ? "found again by a search" : "read again (no search)") +
                   "</td></tr>\n";
        }
        out += "</table>\n";
    }
    out += "<h3>Every event</h3><div class=\"scroll\"><table><tr><th>time</th><th>what</th></tr>\n";
    for (const Moment& moment : story.moments) {
        out += "<tr><td class=\"n\">" + when(moment, span) + "</td><td>" + text(moment.what) + "</td></tr>\n";
    }
    out += "</table></div></section>\n";
}

void wire(std::string& out, const SessionStory& story, const Span& span) {
    out += "<section><h2>The wire</h2><p>Datagrams the hub sent, by destination, over the " +
           secondsText(span.seconds()) + " from the first tick to the last (the greetings at start-up included):</p>"
           "<table><tr><th>destination</th><th>who listens</th><th>datagrams</th><th>bytes</th><th>per second</th>"
           "<th>failed</th></tr>\n";
    std::uint64_t total = 0;
    for (const auto& [to, count] : story.sent) {
        total += count.datagrams;
        out += "<tr><td>" + to + "</td><td>" + text(count.role) + "</td><td class=\"n\">" +
               std::to_string(count.datagrams) + "</td><td class=\"n\">" + std::to_string(count.bytes) +
               "</td><td class=\"n\">" + perSecond(count.datagrams, span.seconds()) + "</td><td class=\"n\">" +
               std::to_string(count.failed) + "</td></tr>\n";
    }
    out += "<tr><th>all</th><th></th><th class=\"n\">" + std::to_string(total) + "</th><th></th><th class=\"n\">" +
           perSecond(total, span.seconds()) + "</th><th></th></tr></table>\n";
    if (!story.received.empty()) {
        out += "<p>Datagrams the hub took on port 45041, by sender:</p><table><tr><th>sender</th><th>datagrams</th>"
               "<th>per second</th></tr>\n";
        for (const auto& [from, count] : story.received) {
            out += "<tr><td>" + from + "</td><td class=\"n\">" + std::to_string(count) + "</td><td class=\"n\">" +
                   perSecond(count, span.seconds()) + "</td></tr>\n";
        }
        out += "</table>\n";
    }
    out += "</section>\n";
}

}  // namespace

TickTiming tickTiming(const std::vector<std::uint64_t>& ticks) {
    TickTiming timing;
    std::vector<std::uint64_t> periods;
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        if (ticks[i] < ticks[i - 1]) continue;
        const std::uint64_t period = ticks[i] - ticks[i - 1];
        periods.push_back(period);
        ++timing.histogram[std::min<std::size_t>(period / kHistogramBinMs, kHistogramBins - 1)];
        if (period > kGapMs) timing.gaps.emplace_back(ticks[i], period);
    }
    timing.periods = periods.size();
    if (periods.empty()) return timing;
    std::sort(periods.begin(), periods.end());
    const auto rank = [&](double share) {
        const auto index = static_cast<std::size_t>(std::ceil(share * static_cast<double>(periods.size())));
        return periods[std::max<std::size_t>(index, 1) - 1];
    };
    timing.median = rank(0.5);
    timing.p99 = rank(0.99);
    timing.max = periods.back();
    return timing;
}

bool tickTooSlow(const TickTiming& timing) { return timing.periods > 0 && timing.median > kSlowMedianMs; }

std::string reportHtml(const SessionStory& story, const std::string& name, const std::string& plotSvg) {
    const Span span = spanOf(story);
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Hub session: " +
                      text(name) + "</title>\n<style>" + kStyle + "</style></head><body>\n" +
                      "<h1>VR Stepdeck Hub: a session replayed</h1><p class=\"sub\">" + text(name) +
                      ", run through the hub's own logic by hub-replay</p>\n";
    summary(out, story, name, span);
    timing(out, story, span);
    timeline(out, story, span);
    wire(out, story, span);
    out += "<section><h2>Plot</h2>\n" + plotSvg + "</section>\n</body></html>\n";
    return out;
}

}  // namespace hub::replay
