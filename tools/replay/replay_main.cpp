// hub-replay: runs the hub's own logic on a script of events and prints every
// datagram, control text and dialog action as one JSON line.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "engine/dialog.h"
#include "engine/hub.h"
#include "engine/session.h"
#include "plot.h"
#include "printer.h"
#include "replay_script.h"
#include "scripted_devices.h"
#include "scripted_edges.h"

namespace hub::replay {

namespace {

using testing::ScriptedHub;

// The attached game controllers as the config describes them: a Stepdeck
// with its objects in order, and a gamepad with its name.
constexpr std::uint32_t kDeckInstance = 1;
constexpr std::uint32_t kPadInstance = 2;

DeviceObject objectOf(DeckObject object, std::uint32_t id) {
    switch (object) {
        case DeckObject::X: return {ObjectType::XAxis, true, id};
        case DeckObject::Y: return {ObjectType::YAxis, true, id};
        case DeckObject::Z: return {ObjectType::ZAxis, true, id};
        case DeckObject::Rx: return {ObjectType::RxAxis, true, id};
        case DeckObject::Ry: return {ObjectType::RyAxis, true, id};
        case DeckObject::Rz: return {ObjectType::RzAxis, true, id};
        case DeckObject::Slider: return {ObjectType::Slider, true, id};
        case DeckObject::Pov: return {ObjectType::Pov, false, id};
        case DeckObject::Button: break;
    }
    return {ObjectType::Other, false, id};
}

// Both are listed; the config says which are attached, and an `attached`
// event can unplug or plug either later.
void attachConfiguredControllers(testing::ScriptedDevicePlatform& devices, const ConfigEvent& config) {
    devices.stepdeck.createDirectInput = config.setupFailure;
    std::vector<DeviceObject> objects;
    for (const DeckObject object : config.deckObjects) objects.push_back(objectOf(object, static_cast<std::uint32_t>(objects.size())));
    devices.controllers.push_back(testing::stepdeckController(kDeckInstance, 4, std::move(objects)));
    devices.controllers.back().attached = config.deck;
    auto gamepad = testing::gamepadController(kPadInstance, config.gamepadName);
    gamepad.objects.clear();  // the gamepad's objects enable nothing
    gamepad.attached = config.gamepad;
    devices.controllers.push_back(std::move(gamepad));
}

class Replay {
public:
    // With a plot, every send and every tick is also shown to it.
    explicit Replay(PlotRecorder* plot) : plot_(plot), printer_(stdout, plot) {
        scripted_.keepNothing();
        scripted_.observe(&printer_);
    }

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
        scripted_.launcher.path = config_.programPath;
        startUp(hub());
        attachConfiguredControllers(devices_, config_);
        hub().devices.search = &search_;
        initialiseDialog(hub(), devices_, false);
        return stillRunning();
    }

    bool stillRunning() {
        if (!scripted_.window.endedWith) return true;
        shutDown(hub());
        printer_.exit(0);
        return false;
    }

    Hub& hub() { return scripted_.hub; }

    void apply(const ConfigEvent&) {}
    void apply(const BlankLine&) {}

    void apply(const TickEvent& tick) {
        printer_.tick(tick.t);
        scripted_.clock.now = tick.t;
        scripted_.deck.load(tick.deckPoll, tick.deckAcquire, tick.deckRead, tick.deck);
        scripted_.pad.load(tick.padPoll, {}, tick.padRead, tick.pad);
        search_.running[DeviceRole::Stepdeck] = tick.deckSearching;
        search_.running[DeviceRole::Gamepad] = tick.padSearching;
        scripted_.socket.failingSends.clear();
        for (const std::uint32_t number : tick.sendFailed) scripted_.socket.failingSends.push_back(scripted_.socket.datagrams + number);
        if (plot_ != nullptr) plot_->beginTick(tick.t, hub().state.dialog.vjoyMode);
        onTimer(hub());
        if (plot_ != nullptr) plot_->endTick(hub().state.advanced);
    }

    void apply(const RecvEvent& recv) {
        applyRemoteDatagram(hub().state.remote, recv.bytes.data(), recv.bytes.size(), recv.from);
    }

    void apply(const AttachedEvent& attached) {
        if (attached.deck) devices_.controllers[0].attached = *attached.deck;
        if (attached.gamepad) devices_.controllers[1].attached = *attached.gamepad;
        if (attached.enumerate) devices_.stepdeck.enumerate = devices_.gamepad.enumerate = *attached.enumerate;
        if (attached.deckFormat) devices_.stepdeck.setFormat = *attached.deckFormat;
    }

    void apply(const CommandEvent& command) { onCommand(hub(), command.id); }
    void apply(const DevicesChangedEvent&) { onDevicesChanged(hub()); }
    void apply(const ActivateEvent& activate) { onActivate(hub(), activate.active); }

    PlotRecorder* plot_;
    Printer printer_;
    ScriptedHub scripted_{ScriptedHub::Attached::Nothing};
    testing::ScriptedDevicePlatform devices_{scripted_.deck, scripted_.pad};
    // A search finishes before the next timer message unless that message's
    // tick says it still runs.
    testing::ScriptedDeviceSearch search_{devices_, scripted_.hub.devices.xinputDevices};
    ConfigEvent config_;
    bool started_ = false;
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
