#include "replay_run.h"

#include <variant>

#include "engine/dialog.h"
#include "engine/hub.h"
#include "engine/session.h"
#include "printer.h"
#include "scripted_devices.h"

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

// Shows every output edge to the printer first, then to each watcher.
class Audience final : public testing::EdgeObserver {
public:
    Audience(Printer& printer, const std::vector<ReplayWatcher*>& watchers) : printer_(printer), watchers_(watchers) {}

    void onSend(const Endpoint& to, std::span<const std::uint8_t> bytes) override {
        tell([&](testing::EdgeObserver& o) { o.onSend(to, bytes); });
    }
    void onSendFailed(const Endpoint& to) override {
        tell([&](testing::EdgeObserver& o) { o.onSendFailed(to); });
    }
    void onText(int id, std::string_view value) override {
        tell([&](testing::EdgeObserver& o) { o.onText(id, value); });
    }
    void onEnable(int id, bool value) override {
        tell([&](testing::EdgeObserver& o) { o.onEnable(id, value); });
    }
    void onMessageBox(std::string_view text, std::string_view caption) override {
        tell([&](testing::EdgeObserver& o) { o.onMessageBox(text, caption); });
    }
    void onLaunch(std::string_view program) override {
        tell([&](testing::EdgeObserver& o) { o.onLaunch(program); });
    }
    void onEndDialog(int result) override {
        tell([&](testing::EdgeObserver& o) { o.onEndDialog(result); });
    }
    void onExit(int status) override {
        tell([&](testing::EdgeObserver& o) { o.onExit(status); });
    }

private:
    template <typename Call>
    void tell(Call call) {
        call(printer_);
        for (ReplayWatcher* watcher : watchers_) call(*watcher);
    }

    Printer& printer_;
    const std::vector<ReplayWatcher*>& watchers_;
};

class Replay {
public:
    Replay(std::FILE* out, const std::vector<ReplayWatcher*>& watchers)
        : watchers_(watchers), printer_(out), audience_(printer_, watchers) {
        scripted_.keepNothing();
        scripted_.observe(&audience_);
    }

    // Runs one event; returns false once the hub has ended.
    bool run(const Event& event) {
        if (std::holds_alternative<BlankLine>(event)) return true;
        try {
            if (const auto* config = std::get_if<ConfigEvent>(&event)) config_ = *config;
            startIfNeeded();
            if (running() && !std::holds_alternative<ConfigEvent>(event)) {
                std::visit([this](const auto& e) { apply(e); }, event);
                if (!std::holds_alternative<TickEvent>(event)) {
                    for (ReplayWatcher* watcher : watchers_) watcher->applied(event, hub());
                }
            }
        } catch (const testing::ProcessExit&) {  // a failed tested send; the printer has printed the exit
            ended_ = true;
        }
        return running();
    }

    // At the end of the script: a script of only a config still starts.
    void finish() {
        if (!started_) run(Event{config_});
        for (ReplayWatcher* watcher : watchers_) watcher->finished(hub());
    }

    bool started() const { return started_; }

private:
    void startIfNeeded() {
        if (started_) return;
        started_ = true;
        scripted_.launcher.path = config_.programPath;
        startUp(hub());
        attachConfiguredControllers(devices_, config_);
        hub().devices.search = &search_;
        initialiseDialog(hub(), devices_, false);
        for (ReplayWatcher* watcher : watchers_) watcher->started(config_, hub());
    }

    // False once the hub has ended: a dialog that ended is shut down first.
    bool running() {
        if (ended_) return false;
        if (!scripted_.window.endedWith) return true;
        shutDown(hub());
        printer_.exit(0);
        ended_ = true;
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
        failSends(tick.sendFailed);
        for (ReplayWatcher* watcher : watchers_) watcher->beginTick(tick.t, hub());
        onTimer(hub());
        for (ReplayWatcher* watcher : watchers_) watcher->endTick(hub());
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

    void apply(const CommandEvent& command) {
        failSends(command.sendFailed);
        onCommand(hub(), command.id);
    }

    // The sends of the event about to run that fail, by their number in it.
    void failSends(const std::vector<std::uint32_t>& numbers) {
        scripted_.socket.failingSends.clear();
        for (const std::uint32_t number : numbers) scripted_.socket.failingSends.push_back(scripted_.socket.datagrams + number);
    }
    void apply(const DevicesChangedEvent&) { onDevicesChanged(hub()); }
    void apply(const ActivateEvent& activate) { onActivate(hub(), activate.active); }

    const std::vector<ReplayWatcher*>& watchers_;
    Printer printer_;
    Audience audience_;
    ScriptedHub scripted_{ScriptedHub::Attached::Nothing};
    testing::ScriptedDevicePlatform devices_{scripted_.deck, scripted_.pad};
    // A search finishes before the next timer message unless that message's
    // tick says it still runs.
    testing::ScriptedDeviceSearch search_{devices_, scripted_.hub.devices.xinputDevices};
    ConfigEvent config_;
    bool started_ = false;
    bool ended_ = false;
};

}  // namespace

int runScript(std::istream& in, std::FILE* out, const std::vector<ReplayWatcher*>& watchers) {
    Replay replay(out, watchers);
    std::string line;
    for (long number = 1; std::getline(in, line); ++number) {
        ParseResult parsed = parseLine(line);
        const bool misplacedConfig = parsed.event && std::holds_alternative<ConfigEvent>(*parsed.event) && replay.started();
        if (!parsed.event || misplacedConfig) {
            std::fflush(out);
            std::fprintf(stderr, "hub-replay: line %ld: %s\n", number,
                         misplacedConfig ? "config is allowed only as the first event" : parsed.error.c_str());
            return 2;
        }
        if (!replay.run(*parsed.event)) break;
    }
    replay.finish();
    return 0;
}

}  // namespace hub::replay
