// hub-replay: runs the hub's own logic on a script of events and prints every
// datagram, control text and dialog action as one JSON line.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "engine/dialog.h"
#include "engine/hub.h"
#include "replay_devices.h"
#include "plot.h"
#include "replay_edges.h"
#include "replay_script.h"

namespace hub::replay {

namespace {

class Replay {
public:
    // With a plot, every send and every tick is also shown to it.
    explicit Replay(PlotRecorder* plot)
        : plot_(plot), plottingSocket_(socket_, plot),
          hub_(HubEdges{clock_, plottingSocket_, window_, launcher_, process_}) {}

    // Runs one event; returns false once the hub has ended.
    bool run(const Event& event) {
        if (const auto* config = std::get_if<ConfigEvent>(&event)) {
            config_ = *config;
            return startIfNeeded();
        }
        if (std::holds_alternative<BlankLine>(event)) return true;
        if (!startIfNeeded()) return false;
        std::visit([this](const auto& e) { apply(e); }, event);
        return stillRunning();
    }

    // At the end of the script: a script of only a config still starts.
    void finish() { startIfNeeded(); }

    bool started() const { return started_; }

private:
    bool startIfNeeded() {
        if (started_) return stillRunning();
        started_ = true;
        launcher_.setProgramPath(config_.programPath);
        startUp(hub_);
        ConfigDevicePlatform devices(config_, deck_, pad_);
        initialiseDialog(hub_, devices, false);
        return stillRunning();
    }

    bool stillRunning() {
        if (!window_.endedWith()) return true;
        printer_.exit(0);
        return false;
    }

    void apply(const ConfigEvent&) {}
    void apply(const BlankLine&) {}

    void apply(const TickEvent& tick) {
        printer_.tick(tick.t);
        clock_.set(tick.t);
        deck_.load(tick.deckPoll, tick.deckAcquire, tick.deckRead, tick.deck);
        pad_.load(tick.padPoll, {}, tick.padRead, tick.pad);
        if (plot_ != nullptr) plot_->beginTick(tick.t, hub_.state.dialog.vjoyMode);
        onTimer(hub_);
        if (plot_ != nullptr) plot_->endTick(hub_.state.advanced);
    }

    void apply(const RecvEvent& recv) {
        applyRemoteDatagram(hub_.state.remote, recv.bytes.data(), recv.bytes.size(), recv.from);
    }

    void apply(const CommandEvent& command) { onCommand(hub_, command.id); }
    void apply(const ActivateEvent& activate) { onActivate(hub_, activate.active); }

    Printer printer_{stdout};
    ScriptClock clock_;
    PrintingSocket socket_{printer_};
    PrintingWindow window_{printer_};
    PrintingLauncher launcher_{printer_, {}};
    PrintingProcess process_{printer_};
    PlotRecorder* plot_;
    PlottingSocket plottingSocket_;
    ScriptDevice deck_;
    ScriptDevice pad_;
    ConfigEvent config_;
    bool started_ = false;
    Hub hub_;
};

int runScript(std::istream& in, PlotRecorder* plot) {
    Replay replay(plot);
    std::string line;
    for (long number = 1; std::getline(in, line); ++number) {
        ParseResult parsed = parseLine(line);
        const bool misplacedConfig = parsed.event && std::holds_alternative<ConfigEvent>(*parsed.event) && replay.started();
        if (!parsed.event || misplacedConfig) {
            std::fflush(stdout);
            std::fprintf(stderr, "hub-replay: line %ld: %s\n", number,
                         misplacedConfig ? "config is allowed only as the first event" : parsed.error.c_str());
            return 2;
        }
        if (!replay.run(*parsed.event)) return 0;
    }
    replay.finish();
    return 0;
}

}  // namespace

}  // namespace hub::replay

namespace {

int runMain(int argc, char** argv) {
    CLI::App app("Runs the hub's logic on a script of events (JSON Lines) and prints every datagram, control text "
                 "and dialog action as one JSON line.",
                 "hub-replay");
    std::string plotPath;
    std::string scriptPath;
    app.add_option("--plot", plotPath, "also draw the locomotion and feeder values over time into this SVG file")
        ->type_name("FILE.svg");
    app.add_option("SCRIPT", scriptPath, "the script to run (default: standard input)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) return app.exit(error);  // --help
        std::fprintf(stderr, "hub-replay: %s (hub-replay --help shows the options)\n", error.what());
        return 2;
    }
    hub::replay::PlotRecorder plot;
    hub::replay::PlotRecorder* recorder = plotPath.empty() ? nullptr : &plot;
    int status = 0;
    if (!scriptPath.empty()) {
        std::ifstream file(scriptPath);
        if (!file) {
            std::fprintf(stderr, "hub-replay: cannot open %s\n", scriptPath.c_str());
            return 2;
        }
        status = hub::replay::runScript(file, recorder);
    } else {
        status = hub::replay::runScript(std::cin, recorder);
    }
    if (plotPath.empty() || status != 0) return status;
    std::ofstream svg(plotPath, std::ios::binary);
    svg << plot.svg();
    if (!svg.flush()) {
        std::fprintf(stderr, "hub-replay: cannot write %s\n", plotPath.c_str());
        return 2;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) { return runMain(argc, argv); }
