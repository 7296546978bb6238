#include "peer_args.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>

namespace hub::peer {

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

// What is wrong with the text of an option or of a script field; empty when
// nothing is.
using Problem = std::string;

template <class T>
Problem assign(T& field, std::optional<T> value, std::string_view what, std::string_view text) {
    if (!value) return "not a valid " + std::string(what) + ": '" + std::string(text) + "'";
    field = *value;
    return {};
}

Problem setPort(std::uint16_t& field, std::string_view text) {
    return assign(field, port(text), "port (1 ... 65535)", text);
}

Problem setSeconds(std::uint32_t& field, std::string_view text) {
    return assign(field, milliseconds(text), "number of seconds", text);
}

Problem setMode(int& field, std::string_view text) {
    const auto mode = number<int>(text);
    if (!mode || (*mode != 2 && *mode != 5 && *mode != 6 && *mode != 7 && *mode != 9)) {
        return "not a vJoy mode (2, 5, 6, 7 or 9): '" + std::string(text) + "'";
    }
    field = *mode;
    return {};
}

Problem setPorts(std::array<std::uint16_t, 3>& ports, std::string_view text) {
    const auto parts = split(text, ',');
    if (parts.size() != 3) return "needs three ports: STICK,XDRV,FEEDER";
    for (std::size_t i = 0; i < 3; ++i) {
        if (Problem problem = setPort(ports[i], parts[i]); !problem.empty()) return problem;
    }
    return {};
}

// steering=V, buttons=LIST, axis3=N, axis4=N: one input field.
Problem setInputField(RemoteInputs& inputs, std::string_view name, std::string_view value) {
    if (name == "steering") {
        return assign(inputs.steeringByte, steeringByte(value), "steering (-1 ... 0.9921875)", value);
    }
    if (name == "buttons") return assign(inputs.buttons, buttonsByte(value), "button list (A,B,X,Y,T1,T2)", value);
    if (name == "axis3") return assign(inputs.axis3, byteValue(value), "axis byte (0 ... 255)", value);
    if (name == "axis4") return assign(inputs.axis4, byteValue(value), "axis byte (0 ... 255)", value);
    return "unknown field '" + std::string(name) + "' (steering, buttons, axis3, axis4)";
}

Problem setAxes(RemoteInputs& inputs, std::string_view text) {
    const auto parts = split(text, ',');
    if (parts.size() != 2) return "needs two bytes: AXIS3,AXIS4";
    Problem problem = setInputField(inputs, "axis3", parts[0]);
    return problem.empty() ? setInputField(inputs, "axis4", parts[1]) : problem;
}

RemoteInputs& inputsOf(RemoteCommand& remote) {
    if (!remote.inputs) remote.inputs = RemoteInputs{};
    return *remote.inputs;
}

// An option (a positional argument when the name has no dashes) whose text
// `set` stores; what `set` finds wrong becomes an error that names the option.
CLI::Option* addOption(CLI::App& command, const std::string& name, const std::string& valueName,
                       const std::string& description, std::function<Problem(std::string_view)> set) {
    return command
        .add_option_function<std::string>(
            name,
            [name, set](const std::string& text) {
                if (Problem problem = set(text); !problem.empty()) throw CLI::ValidationError(name, problem);
            },
            description)
        ->type_name(valueName);
}

void addHubPort(CLI::App& command, std::uint16_t& field) {
    addOption(command, "--hub-port", "PORT", "the hub's port on 127.0.0.1 (45041)",
              [&field](std::string_view text) { return setPort(field, text); });
}

void addMode(CLI::App& command, int& field) {
    addOption(command, "--mode", "N", "read joystick state datagrams as vJoy mode N (2, 5, 6, 7 or 9)",
              [&field](std::string_view text) { return setMode(field, text); });
}

void addDuration(CLI::App& command, std::uint32_t& field) {
    addOption(command, "--duration", "SECONDS", "end after this long (default: at Ctrl-C)",
              [&field](std::string_view text) { return setSeconds(field, text); });
}

// Every command's options, filled in as the command line is parsed.
struct Commands {
    WatchCommand watch;
    RemoteCommand remote;
    RegisterCommand registration;
    QueryCommand query;
    EnableFeederCommand enableFeeder;
};

// The commands and their options: the one source of the usage text.
void defineCommands(CLI::App& app, Commands& c) {
    app.description("Watches, pokes and plays the peers of a VR Stepdeck Hub on 127.0.0.1.");
    app.require_subcommand(1);
    // A repeated option keeps its last value.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

    CLI::App& watch = *app.add_subcommand(
        "watch", "print every datagram the hub sends to 127.0.0.1:45040 (stick), 45045 (XDRV) and 45042 (feeder)");
    addOption(watch, "--ports", "STICK,XDRV,FEEDER", "listen on these three ports instead",
              [&c](std::string_view text) { return setPorts(c.watch.ports, text); });
    addMode(watch, c.watch.vjoyMode);
    watch.add_flag("--lines", c.watch.lines, "one line per datagram even on a terminal");
    addDuration(watch, c.watch.durationMs);

    CLI::App& remote = *app.add_subcommand(
        "remote",
        "act as a remote app: hello with the reply port, inputs, keep-alives; print the hub's connection reply "
        "and status stream");
    addOption(remote, "--port", "PORT", "the reply port the hello names (45050)",
              [&c](std::string_view text) { return setPort(c.remote.replyPort, text); });
    addOption(remote, "--steering", "V", "send a steering value (-1 ... 0.9921875) after the hello",
              [&c](std::string_view text) { return setInputField(inputsOf(c.remote), "steering", text); });
    addOption(remote, "--buttons", "A,B,X,Y,T1,T2", "send these buttons (names, none, or a number) after the hello",
              [&c](std::string_view text) { return setInputField(inputsOf(c.remote), "buttons", text); });
    addOption(remote, "--axes", "N,N", "send these axis 3 and axis 4 bytes after the hello",
              [&c](std::string_view text) { return setAxes(inputsOf(c.remote), text); });
    remote.add_option("--script", c.remote.scriptPath,
                      "send the inputs of this script's lines (SECONDS [steering=V] [buttons=LIST] [axis3=N] "
                      "[axis4=N]) at their times")
        ->type_name("FILE");
    addMode(remote, c.remote.vjoyMode);
    addDuration(remote, c.remote.durationMs);
    addHubPort(remote, c.remote.hubPort);

    CLI::App& registration = *app.add_subcommand("register", "register PORT with the hub");
    addOption(registration, "PORT", "PORT", "the port to register",
              [&c](std::string_view text) { return setPort(c.registration.port, text); })
        ->required();
    addHubPort(registration, c.registration.hubPort);

    CLI::App& query =
        *app.add_subcommand("query", "ask the hub for the registered port; the answer comes to PORT");
    addOption(query, "PORT", "PORT", "the port the answer comes to",
              [&c](std::string_view text) { return setPort(c.query.replyPort, text); })
        ->required();
    addOption(query, "--timeout", "SECONDS", "wait this long for the answer (2)",
              [&c](std::string_view text) { return setSeconds(c.query.timeoutMs, text); });
    addHubPort(query, c.query.hubPort);

    CLI::App& enableFeeder = *app.add_subcommand("enable-feeder", "enable the hub's feeder output");
    addHubPort(enableFeeder, c.enableFeeder.hubPort);
}

// Whether `word` names a command, and the list of them for an error.
bool isCommand(CLI::App& app, const std::string& word) {
    const auto commands = app.get_subcommands({});
    return std::any_of(commands.begin(), commands.end(), [&](const CLI::App* c) { return c->get_name() == word; });
}

std::string commandNames(CLI::App& app) {
    std::string names;
    for (const CLI::App* command : app.get_subcommands({})) names += (names.empty() ? "" : ", ") + command->get_name();
    return names;
}

// Names the first word of the command line that no option took (CLI11's own
// message lists them, but not in the order given).
std::string unexpectedWordError(const CLI::App& app, std::span<const std::string_view> args) {
    const std::vector<std::string> extras = app.remaining(true);
    const auto word = std::find_if(args.begin(), args.end(), [&](std::string_view arg) {
        return std::find(extras.begin(), extras.end(), arg) != extras.end();
    });
    const std::string text(word != args.end() ? *word : std::string_view(extras.front()));
    const auto commands = app.get_subcommands();
    const std::string where = commands.empty() ? "hub-peer" : commands.front()->get_name();
    return (text.starts_with('-') ? "unknown option for " : "unexpected argument for ") + where + ": '" + text + "'";
}

// The command that was named, with its options.
Command chosenCommand(const CLI::App& app, const Commands& c) {
    const std::string name = app.get_subcommands().front()->get_name();
    if (name == "watch") return c.watch;
    if (name == "remote") return c.remote;
    if (name == "register") return c.registration;
    if (name == "query") return c.query;
    if (name == "enable-feeder") return c.enableFeeder;
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
    CLI::App app;
    app.name("hub-peer");
    Commands commands;
    defineCommands(app, commands);
    if (args.empty()) return {std::nullopt, "no command given (" + commandNames(app) + ")"};
    const std::string first(args.front());
    if (!first.starts_with('-') && first != "help" && !isCommand(app, first)) {
        return {std::nullopt, "unknown command '" + first + "' (" + commandNames(app) + ")"};
    }
    // CLI11 reads a C command line; "hub-peer help" is "hub-peer --help".
    std::vector<std::string> words{"hub-peer"};
    words.insert(words.end(), args.begin(), args.end());
    if (first == "help") words = {"hub-peer", "--help"};
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::CallForHelp&) {
        return {HelpCommand{app.help()}, {}};
    } catch (const CLI::ExtrasError&) {
        return {std::nullopt, unexpectedWordError(app, args)};
    } catch (const CLI::ParseError& error) {
        return {std::nullopt, error.what()};
    }
    return {chosenCommand(app, commands), {}};
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
        std::uint32_t at = 0;
        Problem problem = assign(at, milliseconds(fields[0]), "time in seconds", fields[0]);
        if (problem.empty() && !script.steps.empty() && at < script.steps.back().atMs) problem = "time goes back";
        for (std::size_t i = 1; i < fields.size() && problem.empty(); ++i) {
            const std::size_t equals = fields[i].find('=');
            problem = equals == std::string_view::npos
                          ? "expected NAME=VALUE, got '" + std::string(fields[i]) + "'"
                          : setInputField(inputs, fields[i].substr(0, equals), fields[i].substr(equals + 1));
        }
        if (!problem.empty()) return {{}, "line " + std::to_string(lineNumber) + ": " + problem};
        script.steps.push_back({at, inputs});
    }
    return script;
}
}  // namespace hub::peer
