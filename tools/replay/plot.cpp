#include "plot.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <variant>

#include "engine/hub.h"
#include "links/wire.h"
#include "links/peer_datagrams.h"
#include "svg_text.h"
#include "vjoy/vjoy_modes.h"

namespace hub::replay {

namespace {

constexpr double kWidth = 1200;
constexpr double kLeft = 80;          // room for the value labels
constexpr double kPlotWidth = 820;
constexpr double kLegendLeft = kLeft + kPlotWidth + 20;
constexpr double kPanelHeight = 220;
constexpr double kPanelGap = 70;
constexpr double kTop = 80;

constexpr std::array<const char*, 10> kColours{"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd",
                                               "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};

struct Range {
    double low, high;
};

struct Panel {
    std::string title;
    std::string unit;
    const PlotRecorder::Series* series;
    Range values;  // at least this range; widened to the data
};

class SvgWriter {
public:
    SvgWriter(double seconds, double height) : seconds_(std::max(seconds, 0.001)) {
        out_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(kWidth) + "\" height=\"" +
                number(height) + "\" viewBox=\"0 0 " + number(kWidth) + " " + number(height) +
                "\" font-family=\"sans-serif\" font-size=\"12\">\n<rect width=\"100%\" height=\"100%\" "
                "fill=\"white\"/>\n";
    }

    void text(double x, double y, const std::string& content, const char* extra = "") {
        out_ += "<text x=\"" + number(x) + "\" y=\"" + number(y) + "\" " + extra + ">" + escaped(content) +
                "</text>\n";
    }

    void line(double x1, double y1, double x2, double y2, const char* style) {
        out_ += "<line x1=\"" + number(x1) + "\" y1=\"" + number(y1) + "\" x2=\"" + number(x2) + "\" y2=\"" +
                number(y2) + "\" " + style + "/>\n";
    }

    void panel(const Panel& panel, double top) {
        const Range range = rangeOf(panel);
        const auto x = [&](double s) { return kLeft + s / seconds_ * kPlotWidth; };
        const auto y = [&](double v) {
            return top + kPanelHeight - (v - range.low) / (range.high - range.low) * kPanelHeight;
        };
        text(kLeft, top - 10, panel.title, "font-size=\"15\" font-weight=\"bold\"");
        const double valueStep = axisStep(range.high - range.low);
        for (double v = std::ceil(range.low / valueStep) * valueStep; v <= range.high + 1e-9; v += valueStep) {
            line(kLeft, y(v), kLeft + kPlotWidth, y(v), "stroke=\"#e4e4e4\"");
            text(kLeft - 8, y(v) + 4, axisText(v, valueStep), "text-anchor=\"end\"");
        }
        const double timeStep = axisStep(seconds_);
        for (double s = 0; s <= seconds_ + 1e-9; s += timeStep) {
            line(x(s), top, x(s), top + kPanelHeight, "stroke=\"#e4e4e4\"");
            text(x(s), top + kPanelHeight + 16, axisText(s, timeStep), "text-anchor=\"middle\"");
        }
        out_ += "<rect x=\"" + number(kLeft) + "\" y=\"" + number(top) + "\" width=\"" + number(kPlotWidth) +
                "\" height=\"" + number(kPanelHeight) + "\" fill=\"none\" stroke=\"#444\"/>\n";
        text(kLeft - 60, top + kPanelHeight / 2, panel.unit,
             ("text-anchor=\"middle\" transform=\"rotate(-90 " + number(kLeft - 60) + " " +
              number(top + kPanelHeight / 2) + ")\"").c_str());
        if (panel.series->empty()) {
            text(kLeft + kPlotWidth / 2, top + kPanelHeight / 2, "nothing recorded",
                 "text-anchor=\"middle\" fill=\"#888\"");
        }
        std::size_t colour = 0;
        for (const auto& [name, points] : *panel.series) {
            // After the palette's first round the same colours come back dashed.
            const std::string stroke = std::string("stroke=\"") + kColours[colour % kColours.size()] + "\"" +
                                       (colour >= kColours.size() ? " stroke-dasharray=\"6 3\"" : "");
            out_ += "<polyline fill=\"none\" stroke-width=\"1.5\" " + stroke + " points=\"";
            for (const PlotRecorder::Point& p : points) out_ += number(x(p.seconds)) + "," + number(y(p.value)) + " ";
            out_ += "\"/>\n";
            const double legendY = top + 10 + 18 * static_cast<double>(colour);
            line(kLegendLeft, legendY, kLegendLeft + 24, legendY, ("stroke-width=\"3\" " + stroke).c_str());
            text(kLegendLeft + 30, legendY + 4, name);
            ++colour;
        }
    }

    std::string finish(double height) {
        text(kLeft + kPlotWidth / 2, height - 15, "time since the first tick (s)", "text-anchor=\"middle\"");
        return out_ + "</svg>\n";
    }

private:
    static Range rangeOf(const Panel& panel) {
        Range range = panel.values;
        for (const auto& entry : *panel.series) {
            for (const PlotRecorder::Point& p : entry.second) {
                if (!std::isfinite(p.value)) continue;
                range.low = std::min(range.low, p.value);
                range.high = std::max(range.high, p.value);
            }
        }
        return range;
    }

    double seconds_;
    std::string out_;
};

}  // namespace

void PlotRecorder::beginTick(std::uint64_t t, const Hub& hub) {
    if (!sawTick_) firstTick_ = t;
    sawTick_ = true;
    inTick_ = true;
    now_ = t;
    vjoyMode_ = hub.state.dialog.vjoyMode;
}

double PlotRecorder::seconds() const { return static_cast<double>(now_ - firstTick_) / 1000.0; }

void PlotRecorder::addFeederValue(const std::string& name, double value) {
    std::vector<Point>& points = feeder_[name];
    if (!points.empty()) points.push_back({seconds(), points.back().value});  // a step: hold until now
    points.push_back({seconds(), value});
}

void PlotRecorder::onSend(const Endpoint& to, std::span<const std::uint8_t> bytes) {
    if (!inTick_) return;
    const HubDatagram datagram = decodeHubDatagram(bytes);
    if (const auto* xdrv = std::get_if<XdrvPosition>(&datagram); xdrv && to == wire::kXdrvEndpoint) {
        locomotion_["X"].push_back({seconds(), xdrv->x});
        locomotion_["Y"].push_back({seconds(), xdrv->y});
        return;
    }
    if (to != wire::kFeederEndpoint) return;
    const std::string mode(vjoyModeRow(vjoyMode_).label);
    if (mode != feederMode_ && (std::holds_alternative<FourWayValues>(datagram) ||
                                std::holds_alternative<JoystickStateValues>(datagram))) {
        for (auto& [name, points] : feeder_) {  // the previous mode's values end here
            if (name.starts_with(feederMode_ + " ")) points.push_back({seconds(), points.back().value});
        }
        feederMode_ = mode;
    }
    if (const auto* fourWay = std::get_if<FourWayValues>(&datagram)) {
        addFeederValue(mode + " X", fourWay->x);
        addFeederValue(mode + " Y", fourWay->y);
        addFeederValue(mode + " axis3", fourWay->axis3);
        addFeederValue(mode + " axis4", fourWay->axis4);
        addFeederValue(mode + " buttons", fourWay->buttons);
    } else if (const auto* state = std::get_if<JoystickStateValues>(&datagram)) {
        const wire::JoystickStateLayout* layout = vjoyModeRow(vjoyMode_).layout;
        if (layout == nullptr) return;
        for (std::size_t i = 0; i < layout->size(); ++i) {
            const wire::JoystickStateField& field = (*layout)[i];
            if (field.encoding != wire::ByteEncoding::Fixed) addFeederValue(mode + " " + std::string(field.name), state->bytes[i]);
        }
    }
}

void PlotRecorder::endTick(const Hub& hub) {
    const AdvancedTracker& advanced = hub.state.advanced;
    inTick_ = false;
    speed_["advSpeed (target)"].push_back({seconds(), advanced.advSpeed});
    speed_["advSpeedSmooth (smoothed)"].push_back({seconds(), advanced.advSpeedSmooth});
    speed_["advShaped (after the curve)"].push_back({seconds(), advanced.advShaped});
}

std::string PlotRecorder::svg() const {
    // The last mode's feeder values hold until the end of the replay.
    Series feeder = feeder_;
    for (auto& [name, points] : feeder) {
        if (name.starts_with(feederMode_ + " ")) points.push_back({seconds(), points.back().value});
    }

    const std::array<Panel, 3> panels{{
        {"Locomotion (XDRV datagrams to port 45045)", "X, Y", &locomotion_, {-1.0, 1.0}},
        {"Feeder axes (bytes of the per-mode datagrams to port 45042)", "byte", &feeder, {0.0, 255.0}},
        {"Advanced step tracker speed", "speed", &speed_, {0.0, 1.0}},
    }};
    const double height = kTop + 3 * kPanelHeight + 2 * kPanelGap + 60;
    SvgWriter writer(seconds(), height);
    writer.text(kLeft, 28, "hub-replay: " + std::to_string(firstTick_) + " ms to " + std::to_string(now_) +
                               " ms of the tick clock",
                "font-size=\"17\" font-weight=\"bold\"");
    for (std::size_t i = 0; i < panels.size(); ++i) {
        writer.panel(panels[i], kTop + static_cast<double>(i) * (kPanelHeight + kPanelGap));
    }
    return writer.finish(height);
}

}  // namespace hub::replay
