#include "peer_args.h"

#include <charconv>
#include <cmath>

namespace hub::peer {

const char* const kUsage =
    "usage: hub-peer COMMAND [OPTIONS]\n"
    "  watch [--ports STICK,XDRV,FEEDER] [--mode N] [--lines] [--duration SECONDS]\n"
    "      print every datagram the hub sends to 127.0.0.1:45040, 45045 and 45042\n"
    "  remote [--port P] [--steering V] [--buttons A,B,X,Y,T1,T2] [--axes N,N]\n"
    "         [--script FILE] [--mode N] [--duration SECONDS] [--hub-port H]\n"
    "      act as a remote app: hello with reply port P (45050), inputs, keep-alives;\n"
    "      print the hub's connection reply and status stream\n"
    "  register PORT [--hub-port H]       register PORT with the hub\n"
    "  query PORT [--timeout SECONDS] [--hub-port H]\n"
    "      ask the hub for the registered port; the answer comes to PORT\n"
    "  enable-feeder [--hub-port H]       enable the hub's feeder output\n"
    "  --mode N reads joystick state datagrams as vJoy mode N (5, 6, 7 or 9)\n";

namespace {

template <class T>
std::optional<T> number(std::string_view text) {
    T value{};
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || result.ec != std::errc{} || result.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<double> decimal(std::string_view text) {
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc{} || result.ptr != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<std::uint16_t> port(std::string_view text) {
    const auto value = number<unsigned>(text);
    if (!value || *value == 0 || *value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(*value);
}

std::optional<std::uint8_t> byteValue(std::string_view text) {
    const auto value = number<unsigned>(text);
    if (!value || *value > 255) return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

std::optional<std::uint32_t> milliseconds(std::string_view seconds) {
    const auto value = decimal(seconds);
    if (!value || *value < 0 || *value > 4.0e6) return std::nullopt;
    return static_cast<std::uint32_t>(std::lround(*value * 1000.0));
}

// Splits "a,b" into its parts.
std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

// Walks the arguments of one command and keeps the first error; after an
// error every further step does nothing, so the parsers read straight through.
class Parser {
public:
    explicit Parser(std::span<const std::string_view> args) : args_(args) {}
    bool done() const { return failed() || next_ >= args_.size(); }
    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    void fail(std::string message) {
        if (!failed()) error_ = std::move(message);
    }
    std::string_view take() { return done() ? std::string_view{} : args_[next_++]; }
    std::string_view valueOf(std::string_view option) {
        if (next_ >= args_.size()) fail(std::string(option) + " needs a value");
        return take();
    }
    template <class T>
    T require(std::optional<T> value, std::string_view what, std::string_view text) {
        if (!value) fail("not a valid " + std::string(what) + ": '" + std::string(text) + "'");
        return value.value_or(T{});
    }
    std::uint16_t portArgument(std::string_view text) { return require(port(text), "port (1 ... 65535)", text); }
    std::uint32_t secondsArgument(std::string_view text) {
        return require(milliseconds(text), "number of seconds", text);
    }
    int modeArgument(std::string_view text) {
        const auto mode = number<int>(text);
        if (!mode || (*mode != 2 && *mode != 5 && *mode != 6 && *mode != 7 && *mode != 9)) {
            fail("not a vJoy mode (2, 5, 6, 7 or 9): '" + std::string(text) + "'");
        }
        return mode.value_or(0);
    }
    void unknownOption(std::string_view command, std::string_view option) {
        fail("unknown option for " + std::string(command) + ": '" + std::string(option) + "'");
    }

private:
    std::span<const std::string_view> args_;
    std::size_t next_ = 0;
    std::string error_;
};

WatchCommand parseWatch(Parser& args) {
    WatchCommand watch;
    while (!args.done()) {
        const std::string_view option = args.take();
        if (option == "--ports") {
            const auto parts = split(args.valueOf(option), ',');
            if (parts.size() != 3) args.fail("--ports needs three ports: STICK,XDRV,FEEDER");
            for (std::size_t i = 0; i < 3 && !args.failed(); ++i) watch.ports[i] = args.portArgument(parts[i]);
        } else if (option == "--mode") {
            watch.vjoyMode = args.modeArgument(args.valueOf(option));
        } else if (option == "--lines") {
            watch.lines = true;
        } else if (option == "--duration") {
            watch.durationMs = args.secondsArgument(args.valueOf(option));
        } else {
            args.unknownOption("watch", option);
        }
    }
    return watch;
}

RemoteInputs& inputsOf(RemoteCommand& remote) {
    if (!remote.inputs) remote.inputs = RemoteInputs{};
    return *remote.inputs;
}

// steering=V, buttons=LIST, axis3=N, axis4=N: one input field.
void applyInputField(Parser& args, RemoteInputs& inputs, std::string_view name, std::string_view value) {
    if (name == "steering") {
        inputs.steeringByte = args.require(steeringByte(value), "steering (-1 ... 0.9921875)", value);
    } else if (name == "buttons") {
        inputs.buttons = args.require(buttonsByte(value), "button list (A,B,X,Y,T1,T2)", value);
    } else if (name == "axis3") {
        inputs.axis3 = args.require(byteValue(value), "axis byte (0 ... 255)", value);
    } else if (name == "axis4") {
        inputs.axis4 = args.require(byteValue(value), "axis byte (0 ... 255)", value);
    } else {
        args.fail("unknown field '" + std::string(name) + "' (steering, buttons, axis3, axis4)");
    }
}

RemoteCommand parseRemote(Parser& args) {
    RemoteCommand remote;
    while (!args.done()) {
        const std::string_view option = args.take();
        if (option == "--port") {
            remote.replyPort = args.portArgument(args.valueOf(option));
        } else if (option == "--hub-port") {
            remote.hubPort = args.portArgument(args.valueOf(option));
        } else if (option == "--steering" || option == "--buttons") {
            applyInputField(args, inputsOf(remote), option.substr(2), args.valueOf(option));
        } else if (option == "--axes") {
            const auto parts = split(args.valueOf(option), ',');
            if (parts.size() != 2) args.fail("--axes needs two bytes: AXIS3,AXIS4");
            for (std::size_t i = 0; i < 2 && !args.failed(); ++i) {
                applyInputField(args, inputsOf(remote), i == 0 ? "axis3" : "axis4", parts[i]);
            }
        } else if (option == "--script") {
            remote.scriptPath = std::string(args.valueOf(option));
        } else if (option == "--mode") {
            remote.vjoyMode = args.modeArgument(args.valueOf(option));
        } else if (option == "--duration") {
            remote.durationMs = args.secondsArgument(args.valueOf(option));
        } else {
            args.unknownOption("remote", option);
        }
    }
    return remote;
}

// PORT, then --hub-port and, for query, --timeout.
template <class C>
C parsePortCommand(Parser& args, std::string_view name, std::uint16_t C::*portField) {
    C command;
    if (args.done()) args.fail(std::string(name) + " needs a PORT");
    command.*portField = args.portArgument(args.take());
    while (!args.done()) {
        const std::string_view option = args.take();
        if (option == "--hub-port") {
            command.hubPort = args.portArgument(args.valueOf(option));
        } else if constexpr (std::is_same_v<C, QueryCommand>) {
            if (option == "--timeout") {
                command.timeoutMs = args.secondsArgument(args.valueOf(option));
            } else {
                args.unknownOption(name, option);
            }
        } else {
            args.unknownOption(name, option);
        }
    }
    return command;
}

EnableFeederCommand parseEnableFeeder(Parser& args) {
    EnableFeederCommand command;
    while (!args.done()) {
        const std::string_view option = args.take();
        if (option == "--hub-port") {
            command.hubPort = args.portArgument(args.valueOf(option));
        } else {
            args.unknownOption("enable-feeder", option);
        }
    }
    return command;
}

Command parseCommand(Parser& args) {
    if (args.done()) {
        args.fail("no command given (watch, remote, register, query, enable-feeder)");
        return HelpCommand{};
    }
    const std::string_view name = args.take();
    if (name == "-h" || name == "--help" || name == "help") return HelpCommand{};
    if (name == "watch") return parseWatch(args);
    if (name == "remote") return parseRemote(args);
    if (name == "register") return parsePortCommand(args, name, &RegisterCommand::port);
    if (name == "query") return parsePortCommand(args, name, &QueryCommand::replyPort);
    if (name == "enable-feeder") return parseEnableFeeder(args);
    args.fail("unknown command '" + std::string(name) + "'");
    return HelpCommand{};
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> found;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
        if (i > start) found.push_back(line.substr(start, i - start));
    }
    return found;
}

}  // namespace

ParsedCommand parseArguments(std::span<const std::string_view> args) {
    Parser parser(args);
    Command command = parseCommand(parser);
    if (parser.failed()) return {std::nullopt, parser.error()};
    return {std::move(command), {}};
}

std::optional<std::uint8_t> steeringByte(std::string_view text) {
    const auto value = decimal(text);
    if (!value || *value < -1.0 || *value > 0.9921875) return std::nullopt;
    return static_cast<std::uint8_t>(std::lround(*value * 128.0) + 128);
}

std::optional<std::uint8_t> buttonsByte(std::string_view text) {
    if (text == "none") return std::uint8_t{0};
    if (const auto value = byteValue(text)) return value;
    static constexpr std::array<std::string_view, 6> kNames{"A", "B", "X", "Y", "T1", "T2"};
    std::uint8_t buttons = 0;
    for (std::string_view name : split(text, ',')) {
        std::size_t bit = 0;
        while (bit < kNames.size() && kNames[bit] != name) ++bit;
        if (bit == kNames.size()) return std::nullopt;
        buttons = static_cast<std::uint8_t>(buttons | (1u << bit));
    }
    return buttons;
}

ParsedScript parseScript(std::string_view text, RemoteInputs start) {
    ParsedScript script;
    RemoteInputs inputs = start;
    std::size_t lineNumber = 0;
    for (std::string_view line : split(text, '\n')) {
        ++lineNumber;
        const auto fields = words(line);
        if (fields.empty() || fields[0].starts_with('#')) continue;
        const std::vector<std::string_view> lineFields(fields.begin() + 1, fields.end());
        Parser parser(lineFields);
        const std::uint32_t at = parser.require(milliseconds(fields[0]), "time in seconds", fields[0]);
        if (!script.steps.empty() && at < script.steps.back().atMs) parser.fail("time goes back");
        while (!parser.done()) {
            const std::string_view field = parser.take();
            const std::size_t equals = field.find('=');
            if (equals == std::string_view::npos) {
                parser.fail("expected NAME=VALUE, got '" + std::string(field) + "'");
            } else {
                applyInputField(parser, inputs, field.substr(0, equals), field.substr(equals + 1));
            }
        }
        if (parser.failed()) return {{}, "line " + std::to_string(lineNumber) + ": " + parser.error()};
        script.steps.push_back({at, inputs});
    }
    return script;
}

}  // namespace hub::peer
