// The input tick: one pass of stages, in this order, every 33 ms.
#include "engine/hub.h"
#include "vjoy/biking.h"

namespace hub {

namespace {

constexpr int kMaxReacquiresPerTick = 10;

// Polls and reads the Stepdeck. A failed poll re-acquires it (a bounded
// number of times while it reports input lost) and skips the rest of the
// tick; a failed read ends the tick with the read's code.
enum class DeckRead { Ready, Skip, Failed };

DeckRead readDeck(Hub& hub, HResult& failure) {
    InputDevice& deck = *hub.devices.deck;
    if (failed(deck.poll())) {
        for (int attempt = 0; attempt < kMaxReacquiresPerTick && deck.acquire() == kInputLost; ++attempt) {
        }
        return DeckRead::Skip;
    }
    failure = deck.getState(hub.state.deck);
    return failed(failure) ? DeckRead::Failed : DeckRead::Ready;
}

void readClock(Hub& hub) {
    hub.state.tick.now = hub.edges.clock.nowMs();
    hub.state.remote.latestTickNow.store(hub.state.tick.now);
}

void takeStickForLocomotion(Hub& hub) {
    hub.state.tick.locomotionX = hub.state.tick.stickX;
    hub.state.tick.locomotionY = hub.state.tick.stickY;
}

}  // namespace

HResult inputTick(Hub& hub) {
    if (!hub.state.tablesInitialised) {
        initBikingThresholds(hub);
        hub.state.tablesInitialised = true;
    }
    if (hub.devices.deck == nullptr) return kOk;

    readGamepad(hub);
    HResult failure = kOk;
    switch (readDeck(hub, failure)) {
        case DeckRead::Skip: return kOk;
        case DeckRead::Failed: return failure;
        case DeckRead::Ready: break;
    }

    runStickPipeline(hub);
    readTouchButtons(hub);
    takeStickForLocomotion(hub);
    shapeSeatedModes(hub);
    readClock(hub);
    if (hub.state.dialog.locomotionMode == kModeAdvanced) runAdvancedTracker(hub);
    sendLocomotionDatagrams(hub);
    updateFootAxes(hub);
    runVjoyStages(hub);
    return kOk;
}

}  // namespace hub
