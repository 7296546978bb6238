// hub-replay --report: what happened in a replay, read from the replay's own
// run (the same one whose lines it prints). Every reading of the hub's
// events is here, in one place: a new kind of event is one more case below.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "replay_run.h"

namespace hub::replay {

// One thing that happened, at the clock of the latest tick (none before the
// first tick).
struct Moment {
    enum class Kind { Button, Device, Peer, Failure, End };
    Kind kind;
    std::optional<std::uint64_t> t;
    std::string what;
};

// A value shown over time: each change, from the tick it took effect in.
struct Lane {
    std::string name;
    std::vector<std::pair<std::uint64_t, std::string>> changes;
};

// A lost device, from the first tick that could not read it to the first
// that could again.
struct Loss {
    std::string device;  // "Stepdeck" or "gamepad"
    std::uint64_t from = 0;
    std::optional<std::uint64_t> until;  // none: still lost when the script ends
    bool foundBySearch = false;          // released, listed again and set up, not just read again
};

struct WireCount {
    std::string role;  // who listens there
    std::uint64_t datagrams = 0;
    std::uint64_t bytes = 0;
    std::uint64_t failed = 0;
};

struct SessionStory {
    ConfigEvent config;
    std::vector<std::uint64_t> ticks;  // the clock of every timer message, in order
    Lane locomotion{"Locomotion mode", {}};
    Lane vjoy{"vJoy mode", {}};
    Lane stepdeck{"Stepdeck", {}};
    Lane gamepad{"Gamepad", {}};
    Lane remoteApp{"Remote app", {}};
    Lane feeder{"Feeder output", {}};
    std::vector<Moment> moments;
    std::vector<Loss> losses;
    std::map<std::string, WireCount> sent;            // by destination, "a.b.c.d:port"
    std::map<std::string, std::uint64_t> received;    // datagrams by sender
    std::string ending;                               // how the session ended
};

class StoryWatcher final : public ReplayWatcher {
public:
    const SessionStory& story() const { return story_; }

    void started(const ConfigEvent& config, const Hub& hub) override;
    void beginTick(std::uint64_t t, const Hub& hub) override;
    void endTick(const Hub& hub) override;
    void applied(const Event& event, const Hub& hub) override;
    void finished(const Hub& hub) override;

    void onSend(const Endpoint& to, std::span<const std::uint8_t> bytes) override;
    void onSendFailed(const Endpoint& to) override;
    void onText(int id, std::string_view value) override;
    void onMessageBox(std::string_view text, std::string_view caption) override;
    void onLaunch(std::string_view program) override;
    void onEndDialog(int result) override;
    void onExit(int status) override;

private:
    // What the hub's state says after each event, compared with before.
    struct Watched {
        bool deckLost = false, deckReleased = false;
        bool gamepadLost = false, gamepadReleased = false;
        bool remoteApp = false;
        bool registered = false;
        std::uint16_t registeredPort = 0;
        bool feederEnabled = false;
    };
    void follow(const Hub& hub);
    void followLoss(const char* device, bool lost, bool released, bool& wasLost, bool& wasReleased);
    Loss& lossOf(const std::string& device);
    void change(Lane& lane, std::string value);
    void note(Moment::Kind kind, std::string what);
    std::string roleOf(const Endpoint& to) const;

    SessionStory story_;
    const Hub* hub_ = nullptr;
    std::optional<std::uint64_t> now_;
    Watched watched_;
    std::optional<std::string> buttonLabel_;  // written by the latest command
    std::string appEndpoint_;
    bool failedInTick_ = false;
    std::optional<std::string> messageBox_;
    std::optional<int> exitStatus_;
    bool dialogEnded_ = false;
};

}  // namespace hub::replay
