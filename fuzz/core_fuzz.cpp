// The whole core on a fuzzed session: the input is read as a sequence of
// operations (Stepdeck and gamepad records, device failures, clock steps with
// pauses and wraps of the low 32 bits, datagrams to the listener's decoder,
// dialog buttons and activation, failing sends) and every datagram and every
// text the hub produces is checked as it happens:
//  - each datagram is one of the kinds the hub sends, with that kind's length,
//    fixed bytes and destination;
//  - no XDRV value is NaN or infinite, and each stays within what its
//    locomotion mode promises, with the same sign as the stick byte;
//  - a tick that read the Stepdeck sends the stick datagram, then the XDRV
//    datagram, first; a tick that lost it sends nothing, except the first
//    since the last read (or start), which sends both standing still;
//  - nothing goes to the feeder before it is enabled, its acknowledgement
//    goes once, and each mode's joystick datagram carries its fixed bytes;
//  - no display shows a NaN or an infinity or outgrows the text buffer;
//  - the process ends only after a failed send, never for a locomotion one.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "base/controls.h"
#include "engine/dialog.h"
#include "engine/hub.h"
#include "engine/session.h"
#include "scripted_edges.h"

namespace hub {
namespace {

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void require(bool holds, const char* what) {
    if (!holds) broken(what);
}

constexpr std::uint16_t kStickPort = 45040;
constexpr std::uint16_t kXdrvPort = 45045;
constexpr std::uint16_t kFeederPort = 45042;

enum class Kind {
    Greeting, Stick, Xdrv, Acknowledgement, Stop, FourWay, JoystickState,
    ConnectionReply, Status, RegistrationKeepAlive, QueryReply,
};

std::optional<Kind> kindOf(std::span<const std::uint8_t> b) {
    switch (b.size()) {
        case 2:
            if (b[0] == 1 && b[1] == 0) return Kind::Acknowledgement;
            if (b[0] == 1 && b[1] == 2) return Kind::ConnectionReply;
            if (b[0] == 100 && b[1] == 0) return Kind::Stop;
            if (b[0] == 21 && b[1] == 1) return Kind::RegistrationKeepAlive;
            return std::nullopt;
        case 5:
            if (b[0] == '*') return Kind::Stick;
            if (b[0] == 21 && b[1] == 2) return Kind::QueryReply;
            if (std::memcmp(b.data(), "\x01\x03\x02\x6f\x00", 5) == 0) return Kind::Greeting;
            return std::nullopt;
        case 7: return b[0] == 2 && b[1] == 1 ? std::optional(Kind::FourWay) : std::nullopt;
        case 8:
            if (b[0] == 0x16) return Kind::JoystickState;
            if (b[0] == 31) return Kind::Status;
            return std::nullopt;
        case 28: return std::memcmp(b.data(), "XDRV", 4) == 0 ? std::optional(Kind::Xdrv) : std::nullopt;
        default: return std::nullopt;
    }
}

float floatAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
    float value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

std::uint32_t u32At(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

// What the session knows that the checks depend on; the driver keeps it.
struct Session {
    const Hub* hub = nullptr;
    bool startingUp = true;
    bool feederEverEnabled = false;
    bool inTick = false;
    bool deckReadThisTick = false;
    bool deckLostThisTick = false;  // its poll failed
    bool deckLost = false;          // since the last tick that read it
    int sendsThisTick = 0;
    std::uint8_t stickXByte = 128, stickYByte = 128;  // of this tick's stick datagram
    int acknowledgements = 0;
    bool failNextSend = false;
    bool lastSendFailed = false;
    Kind lastSend = Kind::Greeting;
};

void checkXdrv(const Session& session, std::span<const std::uint8_t> b) {
    require(u32At(b, 4) == 1 && u32At(b, 24) == 3, "XDRV version 1 and trailer 3");
    for (std::size_t i = 16; i < 24; ++i) require(b[i] == 0, "XDRV bytes 16 ... 23 zero");
    const float x = floatAt(b, 8);
    const float y = floatAt(b, 12);
    require(std::isfinite(x) && std::isfinite(y), "XDRV values finite");
    if (session.startingUp) {
        require(x == 0.0f && y == 0.0f, "the XDRV greeting carries 0, 0");
        return;
    }
    const LocomotionMode mode = session.hub->state.dialog.locomotionMode;
    // Normal passes the stick through its speed curve, whose largest value is
    // 0.7 x 1.5 at the knee; the other modes promise -1 ... 1.
    const float limit = mode == LocomotionMode::Normal ? 1.05f : 1.0f;
    require(std::fabs(x) <= limit && std::fabs(y) <= limit, "XDRV values within the mode's range");
    if (mode == LocomotionMode::Seated2) {
        for (float v : {x, y}) require(v == 0.0f || std::fabs(v) == 0.9999f, "Seated 2 sends 0 or +-0.9999");
    }
    // The stick byte is floor(v * scale) + 128: at least 128 exactly when v is
    // not negative. Advanced sends the negated X in the XDRV datagram.
    const float byteSideX = mode == LocomotionMode::Advanced ? -x : x;
    require((session.stickXByte >= 128) == (byteSideX >= 0.0f), "stick X byte and XDRV x agree in sign");
    require((session.stickYByte >= 128) == (y >= 0.0f), "stick Y byte and XDRV y agree in sign");
}

void checkJoystickState(VjoyMode vjoyMode, std::span<const std::uint8_t> b) {
    switch (vjoyMode) {
        case VjoyMode::Skate: require(b[5] == 0 && b[6] == 0x80 && b[7] == 0x80, "Skate bytes 5 ... 7"); break;
        case VjoyMode::PedalBrake: require(b[2] == 0x80 && b[3] == 0x80 && b[4] == 0x80, "pedal mode bytes 2 ... 4"); break;
        case VjoyMode::FlightSim: require(b[5] == 0, "Flight Sim byte 5"); break;
        case VjoyMode::Biking: require(b[2] == 0x80 && b[5] == 0, "Biking bytes 2 and 5"); break;
        default: broken("a joystick state datagram only in the modes with a layout");
    }
}

void checkDatagram(Session& session, const Endpoint& to, std::span<const std::uint8_t> b) {
    const std::optional<Kind> kind = kindOf(b);
    if (!kind) broken("a datagram of no kind the hub sends");
    const bool toFeeder = to == Endpoint{kLoopback, kFeederPort};
    // A per-mode datagram outside a tick that read the Stepdeck is a release:
    // the last one sent, in the layout of the mode that built it.
    const bool deckRead = session.inTick && session.deckReadThisTick;
    const VjoyMode vjoyMode = deckRead ? session.hub->state.dialog.vjoyMode : session.hub->state.vjoy.fedMode;
    if (session.inTick) ++session.sendsThisTick;
    if (session.inTick && (session.deckReadThisTick || session.deckLostThisTick)) {
        if (session.sendsThisTick == 1) require(kind == Kind::Stick, "a tick sends the stick datagram first");
        if (session.sendsThisTick == 2) require(kind == Kind::Xdrv, "a tick sends the XDRV datagram second");
    }
    if (session.inTick && session.deckLostThisTick && (kind == Kind::Stick || kind == Kind::Xdrv)) {
        static constexpr std::uint8_t kStandingXdrv[28] = {'X', 'D', 'R', 'V', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                           0,   0,   0,   0,   0, 0, 0, 0, 0, 0, 3, 0, 0, 0};
        const bool standing = kind == Kind::Stick ? b[1] == 0x80 && b[3] == 0x80
                                                  : std::memcmp(b.data(), kStandingXdrv, b.size()) == 0;
        require(standing, "a lost Stepdeck's datagrams stand still, +0.0 included");
    }
    if (session.inTick && session.deckLostThisTick && session.sendsThisTick == 3) {
        require(toFeeder, "a loss sends the feeder its release after the pair");
    }
    switch (*kind) {
        case Kind::Greeting: require(session.startingUp, "greetings only at start-up"); break;
        case Kind::Stick:
            require(to == Endpoint{kLoopback, kStickPort}, "the stick datagram goes to 45040");
            require(b[2] == '+' && b[4] == 0, "the stick datagram's fixed bytes");
            session.stickXByte = b[1];
            session.stickYByte = b[3];
            break;
        case Kind::Xdrv:
            require(to == Endpoint{kLoopback, kXdrvPort}, "the XDRV datagram goes to 45045");
            checkXdrv(session, b);
            break;
        case Kind::Acknowledgement:
            require(toFeeder && session.feederEverEnabled, "the acknowledgement goes to an enabled feeder");
            require(++session.acknowledgements == 1, "the acknowledgement goes once");
            break;
        case Kind::Stop: require(toFeeder, "the stop datagram goes to the feeder"); break;
        case Kind::FourWay:
            require(toFeeder && session.feederEverEnabled && vjoyMode == VjoyMode::FourWay, "the 4-way datagram: 4-way-mov, enabled");
            break;
        case Kind::JoystickState:
            require(toFeeder && session.feederEverEnabled, "joystick state to an enabled feeder");
            checkJoystickState(vjoyMode, b);
            break;
        case Kind::ConnectionReply: require(to.port != 0, "the connection reply to a real port"); break;
        case Kind::Status:
            require(to.port != 0, "the status to a real port");
            require(b[7] <= 15, "the status touch mask holds four buttons");
            break;
        case Kind::RegistrationKeepAlive:
        case Kind::QueryReply:
            require(to.address == kLoopback && to.port != 0, "port replies go to a local port");
            break;
    }
    session.lastSend = *kind;
    session.lastSendFailed = session.failNextSend;
    session.failNextSend = false;
}

bool showsNonNumber(std::string_view text) {
    return text.find("nan") != std::string_view::npos || text.find("inf") != std::string_view::npos;
}

// Checks every datagram and text as the scripted edges see them, and decides
// which sends fail.
class Checker final : public testing::EdgeObserver {
public:
    Checker(Session& session, testing::ScriptedSocket& socket) : session_(session), socket_(socket) {}

    void onSend(const Endpoint& to, std::span<const std::uint8_t> bytes) override {
        checkDatagram(session_, to, bytes);
        socket_.failSends = session_.lastSendFailed;
    }
    void onText(int, std::string_view text) override {
        require(text.size() < 512, "a display fits the 512-character buffer");
        require(!showsNonNumber(text), "no display shows NaN or infinity");
    }
    void onExit(int status) override {
        require(status == 1, "the process ends with status 1 on a failed send");
        require(session_.lastSendFailed, "the process ends only right after a failed send");
        require(session_.lastSend != Kind::Stick && session_.lastSend != Kind::Xdrv,
                "a failed locomotion datagram never ends the process");
    }

private:
    Session& session_;
    testing::ScriptedSocket& socket_;
};

constexpr int kCommands[] = {control::kCancel,          control::kNextVjoyMode, control::kInitialSpeedButton,
                             control::kNextLocomotionMode, control::kSpeedButton, control::kStartFeeder,
                             control::kSensitivityButton, 1000};

// Axis values as the devices deliver them: the set-up gives every axis the
// range -1000 ... 1000. The ends and the centre come often.
std::int32_t axisValue(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange(0, 7)) {
        case 0: return -1000;
        case 1: return 1000;
        case 2: return 0;
        default: return input.ConsumeIntegralInRange(-1000, 1000);
    }
}

void setRecord(FuzzedDataProvider& input, JoystickRecord& record) {
    switch (input.ConsumeIntegralInRange(0, 9)) {
        case 0: record.lX = axisValue(input); break;
        case 1: record.lY = axisValue(input); break;
        case 2: record.lZ = axisValue(input); break;
        case 3: record.lRx = axisValue(input); break;
        case 4: record.lRy = axisValue(input); break;
        case 5: record.lRz = axisValue(input); break;
        case 6: record.rglSlider[input.ConsumeIntegralInRange(0, 1)] = axisValue(input); break;
        case 7: record.rgdwPOV[input.ConsumeIntegralInRange(0, 3)] = input.ConsumeIntegral<std::uint32_t>(); break;
        case 8: {
            const auto pressed = input.ConsumeIntegral<std::uint8_t>();
            for (int i = 0; i < 8; ++i) record.rgbButtons[i] = (pressed >> i & 1) ? 0x80 : 0;
            break;
        }
        default: record.rgbButtons[input.ConsumeIntegralInRange(0, 127)] = input.ConsumeIntegral<std::uint8_t>();
    }
}

std::uint64_t nextTime(FuzzedDataProvider& input, std::uint64_t now) {
    switch (input.ConsumeIntegralInRange(0, 7)) {
        case 0: return now + input.ConsumeIntegralInRange(0, 16);          // faster than the gate
        case 1: return now + input.ConsumeIntegralInRange(3000, 12000);    // past the repeats and time-outs
        case 2: return now + input.ConsumeIntegralInRange<std::uint64_t>(0, 86'400'000);  // a long pause
        case 3: return (((now >> 32) + 1) << 32) - input.ConsumeIntegralInRange(0, 40);  // the low 32 bits wrap
        default: return now + input.ConsumeIntegralInRange(25, 45);        // the timer's rhythm
    }
}

class Driver {
public:
    Driver(bool gamepad, std::uint64_t start)
        : scripted_(gamepad ? testing::ScriptedHub::Attached::StepdeckAndGamepad : testing::ScriptedHub::Attached::Stepdeck),
          now_(start) {
        session_.hub = &hub_;
        scripted_.keepNothing();
        scripted_.observe(&checker_);
        startUp(hub_);
        session_.startingUp = false;
    }

    bool ended() const { return scripted_.window.endedWith.has_value(); }

    void step(FuzzedDataProvider& input) {
        switch (input.ConsumeIntegralInRange(0, 11)) {
            case 0: case 1: case 2: tick(input); break;
            case 3: case 4: setRecord(input, deck_.record); break;
            case 5: setRecord(input, pad_.record); break;
            case 6: failDevice(input); break;
            case 7: case 8: receive(input); break;
            case 9: onCommand(hub_, kCommands[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kCommands) - 1)]); break;
            case 10: onActivate(hub_, input.ConsumeBool()); break;
            default: session_.failNextSend = true; break;
        }
    }

private:
    void tick(FuzzedDataProvider& input) {
        now_ = nextTime(input, now_);
        scripted_.clock.now = now_;
        const bool deckRead = !failed(deck_.pollResult) && !failed(deck_.readResult);
        const bool readFails = !failed(deck_.pollResult) && failed(deck_.readResult);
        session_.inTick = true;
        session_.deckReadThisTick = deckRead;
        session_.deckLostThisTick = failed(deck_.pollResult);
        session_.sendsThisTick = 0;
        onTimer(hub_);
        session_.inTick = false;
        if (deckRead) require(session_.sendsThisTick >= 2, "a tick that read the Stepdeck sends both datagrams");
        if (session_.deckLostThisTick) {
            const int sends = session_.sendsThisTick;
            require(session_.deckLost ? sends == 0 : sends == 2 || sends == 3,
                    "a lost Stepdeck stops the walk once per loss, and nothing more is sent while lost");
        }
        if (deckRead || session_.deckLostThisTick) session_.deckLost = session_.deckLostThisTick;
        if (readFails) require(ended(), "a failed Stepdeck read ends the dialog");
        for (testing::ScriptedDevice* device : {&deck_, &pad_}) device->pollResult = device->readResult = kOk;
    }

    void failDevice(FuzzedDataProvider& input) {
        const HResult code = input.ConsumeBool() ? kInputLost : input.ConsumeIntegralInRange<HResult>(INT32_MIN, -1);
        switch (input.ConsumeIntegralInRange(0, 3)) {
            case 0:
                deck_.pollResult = code;
                deck_.acquireResults.assign(input.ConsumeIntegralInRange<std::size_t>(0, 40), kInputLost);
                break;
            case 1: deck_.readResult = code; break;
            case 2: pad_.pollResult = code; break;
            default: pad_.readResult = code; break;
        }
    }

    void receive(FuzzedDataProvider& input) {
        const Endpoint from{input.ConsumeBool() ? kLoopback : input.ConsumeIntegral<std::uint32_t>(),
                            input.ConsumeIntegral<std::uint16_t>()};
        const std::vector<std::uint8_t> datagram =
            input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 16));
        applyRemoteDatagram(hub_.state.remote, datagram.data(), datagram.size(), from);
        if (hub_.state.remote.feederEnabled.load()) session_.feederEverEnabled = true;
    }

    Session session_;
    testing::ScriptedHub scripted_;
    Hub& hub_ = scripted_.hub;
    testing::ScriptedDevice& deck_ = scripted_.deck;
    testing::ScriptedDevice& pad_ = scripted_.pad;
    Checker checker_{session_, scripted_.socket};
    std::uint64_t now_;
};

}  // namespace
}  // namespace hub

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool gamepad = input.ConsumeBool();
    const auto start = input.ConsumeIntegralInRange<std::uint64_t>(0, std::uint64_t{1} << 40);
    auto driver = std::make_unique<hub::Driver>(gamepad, start);
    try {
        while (input.remaining_bytes() > 0 && !driver->ended()) driver->step(input);
    } catch (const hub::testing::ProcessExit&) {
    }
    return 0;
}
