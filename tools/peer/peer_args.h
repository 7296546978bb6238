// hub-peer's command line and the remote app's input script.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace hub::peer {

inline constexpr std::uint16_t kHubPort = 45041;

// What the remote app reports in one input message.
struct RemoteInputs {
    std::uint8_t steeringByte = 128;  // centred
    std::uint8_t buttons = 0;
    std::uint8_t axis3 = 128, axis4 = 128;
    friend bool operator==(const RemoteInputs&, const RemoteInputs&) = default;
};

// One script line: the inputs to send this many milliseconds after the hello.
struct ScriptStep {
    std::uint32_t atMs = 0;
    RemoteInputs inputs;
    friend bool operator==(const ScriptStep&, const ScriptStep&) = default;
};

struct WatchCommand {
    std::array<std::uint16_t, 3> ports{45040, 45045, 45042};  // stick, XDRV, feeder
    int vjoyMode = 0;        // how to read joystick state datagrams; 0 shows bytes only
    bool lines = false;      // one line per datagram even on a terminal
    std::uint32_t durationMs = 0;  // 0: until interrupted
};

struct RemoteCommand {
    std::uint16_t replyPort = 45050;
    std::uint16_t hubPort = kHubPort;
    std::optional<RemoteInputs> inputs;  // sent once after the hello
    std::string scriptPath;              // empty: no script
    int vjoyMode = 0;
    std::uint32_t keepAliveMs = 2000;
    std::uint32_t durationMs = 0;  // 0: until interrupted
};

struct RegisterCommand {
    std::uint16_t port = 0;
    std::uint16_t hubPort = kHubPort;
};

struct QueryCommand {
    std::uint16_t replyPort = 0;
    std::uint16_t hubPort = kHubPort;
    std::uint32_t timeoutMs = 2000;
};

struct EnableFeederCommand {
    std::uint16_t hubPort = kHubPort;
};

// --help of hub-peer or of one command: the usage text to print.
struct HelpCommand {
    std::string text;
};

using Command = std::variant<HelpCommand, WatchCommand, RemoteCommand, RegisterCommand, QueryCommand,
                             EnableFeederCommand>;

struct ParsedCommand {
    std::optional<Command> command;
    std::string error;  // one line, when command is empty
};

// The arguments after the program name.
ParsedCommand parseArguments(std::span<const std::string_view> args);

// A steering value (-1 ... 0.9921875) as the input message's byte, to the
// nearest step of 1/128; nullopt outside that range or when not a number.
std::optional<std::uint8_t> steeringByte(std::string_view text);
// Buttons as names separated by commas (A,B,X,Y,T1,T2), "none", or a number.
std::optional<std::uint8_t> buttonsByte(std::string_view text);

struct ParsedScript {
    std::vector<ScriptStep> steps;
    std::string error;  // "line N: ..." when the script is not valid
};

// Script lines: "SECONDS [steering=V] [buttons=LIST] [axis3=N] [axis4=N]";
// each line sends one input message, fields not named keep their last value;
// blank lines and lines starting with '#' are skipped; times never go back.
ParsedScript parseScript(std::string_view text, RemoteInputs start);

}  // namespace hub::peer
