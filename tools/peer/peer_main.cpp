// hub-peer: watches, pokes and answers the hub's datagrams on 127.0.0.1, for
// people who write locomotion consumers, feeders and remote apps.
#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "links/peer_datagrams.h"
#include "peer_args.h"
#include "peer_format.h"
#include "peer_net.h"

namespace hub::peer {

namespace {

constexpr int kFailureStatus = 2;
constexpr int kLiveFrameMs = 100;
// A closed port on the loopback interface reports back within this time.
constexpr int kRefusalWaitMs = 200;

int fail(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "hub-peer: %s\n", message.c_str());
    return kFailureStatus;
}

std::string endpointText(const Endpoint& endpoint) {
    return std::to_string(endpoint.address >> 24) + "." + std::to_string((endpoint.address >> 16) & 0xFF) + "." +
           std::to_string((endpoint.address >> 8) & 0xFF) + "." + std::to_string(endpoint.address & 0xFF) + ":" +
           std::to_string(endpoint.port);
}

void printLine(const std::string& source, const std::string& text) {
    std::printf("%s %s %s\n", timeOfDay(localMsOfDay()).c_str(), source.c_str(), text.c_str());
    std::fflush(stdout);
}

std::string refusedMessage(std::uint16_t hubPort) {
    return "nothing listens on 127.0.0.1:" + std::to_string(hubPort) + " (is the hub running?)";
}

// Milliseconds left of a run that ends `durationMs` after `startMs` (0: never).
int waitBudget(std::uint32_t durationMs, std::uint64_t startMs, std::uint64_t nowMs, int cap) {
    if (durationMs == 0) return cap;
    const std::uint64_t end = startMs + durationMs;
    return nowMs >= end ? 0 : static_cast<int>(std::min<std::uint64_t>(end - nowMs, static_cast<std::uint64_t>(cap)));
}

bool timeIsUp(std::uint32_t durationMs, std::uint64_t startMs) {
    return durationMs != 0 && steadyMs() - startMs >= durationMs;
}

int watch(const WatchCommand& command) {
    Net net;
    std::string error;
    for (std::uint16_t port : command.ports) {
        if (!net.listen(port, error)) return fail(error);
    }
    const bool live = !command.lines && outputIsTerminal();
    LiveView view("hub-peer watch: 127.0.0.1 ports " + std::to_string(command.ports[0]) + " (stick), " +
                  std::to_string(command.ports[1]) + " (XDRV), " + std::to_string(command.ports[2]) +
                  " (feeder); Ctrl-C ends");
    std::array<std::uint8_t, 2048> buffer{};
    const std::uint64_t start = steadyMs();
    std::uint64_t lastFrame = 0;
    while (!timeIsUp(command.durationMs, start)) {
        const Net::Event event = net.wait(waitBudget(command.durationMs, start, steadyMs(), kLiveFrameMs), buffer);
        if (event.kind == Net::Event::Kind::Failed) return fail(event.error);
        const std::uint64_t now = steadyMs();
        if (event.kind == Net::Event::Kind::Datagram) {
            const std::uint16_t port = command.ports[static_cast<std::size_t>(event.socket)];
            std::string text = describeHubDatagram(std::span(buffer.data(), event.length), command.vjoyMode);
            if (live) {
                view.record(port, std::move(text), now);
            } else {
                printLine(std::to_string(port), text);
            }
        }
        if (live && now - lastFrame >= kLiveFrameMs) {
            std::fputs(view.frame(now).c_str(), stdout);
            std::fflush(stdout);
            lastFrame = now;
        }
    }
    return 0;
}

// The hub's port, through a connected socket so that a closed port shows.
class HubLink {
public:
    HubLink(Net& net, std::uint16_t hubPort) : net_(net), hubPort_(hubPort) {}
    bool open(std::string& error) {
        const auto socket = net_.connect(hubPort_, error);
        socket_ = socket.value_or(-1);
        return socket.has_value();
    }
    bool send(std::span<const std::uint8_t> message, std::string& error) {
        if (!net_.send(socket_, message, error)) {
            error = "cannot send to 127.0.0.1:" + std::to_string(hubPort_) + ": " + error;
            return false;
        }
        printLine("sent", describeHubMessage(message) + " (" + hexBytes(message) + ")");
        return true;
    }
    int socket() const { return socket_; }
    std::uint16_t port() const { return hubPort_; }

private:
    Net& net_;
    std::uint16_t hubPort_;
    int socket_ = -1;
};

// Sends one message and waits briefly for the refusal a closed port gives.
int sendOnce(std::uint16_t hubPort, std::span<const std::uint8_t> message) {
    Net net;
    HubLink hub(net, hubPort);
    std::string error;
    if (!hub.open(error) || !hub.send(message, error)) return fail(error);
    std::array<std::uint8_t, 64> buffer{};
    const std::uint64_t start = steadyMs();
    while (!timeIsUp(kRefusalWaitMs, start)) {
        const Net::Event event = net.wait(waitBudget(kRefusalWaitMs, start, steadyMs(), kRefusalWaitMs), buffer);
        if (event.kind == Net::Event::Kind::Refused) return fail(refusedMessage(hubPort));
        if (event.kind == Net::Event::Kind::Failed) return fail(event.error);
    }
    return 0;
}

bool readScript(const RemoteCommand& command, std::vector<ScriptStep>& steps, std::string& error) {
    if (command.scriptPath.empty()) return true;
    std::ifstream file(command.scriptPath, std::ios::binary);
    if (!file) {
        error = "cannot read the script " + command.scriptPath;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    ParsedScript script = parseScript(text.str(), command.inputs.value_or(RemoteInputs{}));
    if (!script.error.empty()) {
        error = command.scriptPath + ": " + script.error;
        return false;
    }
    steps = std::move(script.steps);
    return true;
}

bool sendInputs(HubLink& hub, const RemoteInputs& inputs, std::string& error) {
    return hub.send(buildInputs(inputs.steeringByte, inputs.buttons, inputs.axis3, inputs.axis4), error);
}

int remote(const RemoteCommand& command) {
    std::vector<ScriptStep> steps;
    std::string error;
    if (!readScript(command, steps, error)) return fail(error);
    Net net;
    const auto replies = net.listen(command.replyPort, error);
    if (!replies) return fail(error);
    HubLink hub(net, command.hubPort);
    if (!hub.open(error) || !hub.send(buildHelloWithPort(command.replyPort), error)) return fail(error);
    if (command.inputs && !sendInputs(hub, *command.inputs, error)) return fail(error);

    std::array<std::uint8_t, 2048> buffer{};
    const std::uint64_t start = steadyMs();
    std::uint64_t lastKeepAlive = start;
    std::size_t nextStep = 0;
    while (!timeIsUp(command.durationMs, start)) {
        const std::uint64_t now = steadyMs();
        for (; nextStep < steps.size() && now - start >= steps[nextStep].atMs; ++nextStep) {
            if (!sendInputs(hub, steps[nextStep].inputs, error)) return fail(error);
            lastKeepAlive = now;
        }
        if (now - lastKeepAlive >= command.keepAliveMs) {
            if (!hub.send(buildKeepAlive(), error)) return fail(error);
            lastKeepAlive = now;
        }
        const Net::Event event = net.wait(waitBudget(command.durationMs, start, now, kLiveFrameMs), buffer);
        if (event.kind == Net::Event::Kind::Refused) return fail(refusedMessage(hub.port()));
        if (event.kind == Net::Event::Kind::Failed) return fail(event.error);
        if (event.kind == Net::Event::Kind::Datagram && event.socket == *replies) {
            printLine(endpointText(event.from),
                      describeHubDatagram(std::span(buffer.data(), event.length), command.vjoyMode));
        }
    }
    return 0;
}

int query(const QueryCommand& command) {
    Net net;
    std::string error;
    const auto replies = net.listen(command.replyPort, error);
    if (!replies) return fail(error);
    HubLink hub(net, command.hubPort);
    if (!hub.open(error) || !hub.send(buildPortQuery(command.replyPort), error)) return fail(error);
    std::array<std::uint8_t, 64> buffer{};
    const std::uint64_t start = steadyMs();
    while (!timeIsUp(command.timeoutMs, start)) {
        const Net::Event event = net.wait(waitBudget(command.timeoutMs, start, steadyMs(), 1000), buffer);
        if (event.kind == Net::Event::Kind::Refused) return fail(refusedMessage(hub.port()));
        if (event.kind == Net::Event::Kind::Failed) return fail(event.error);
        if (event.kind != Net::Event::Kind::Datagram || event.socket != *replies) continue;
        const std::span<const std::uint8_t> bytes(buffer.data(), event.length);
        printLine(endpointText(event.from), describeHubDatagram(bytes, 0));
        const HubDatagram reply = decodeHubDatagram(bytes);
        if (const auto* answer = std::get_if<QueryReplyValues>(&reply)) {
            std::printf(answer->port == 0 ? "no port is registered\n" : "registered port: %u\n", answer->port);
            return 0;
        }
    }
    return fail("no query reply on 127.0.0.1:" + std::to_string(command.replyPort) + " within " +
                std::to_string(command.timeoutMs) + " ms (the hub answers only while it reads its Stepdeck)");
}

}  // namespace

int run(std::span<const std::string_view> args) {
    const ParsedCommand parsed = parseArguments(args);
    if (!parsed.command) {
        std::fprintf(stderr, "hub-peer: %s (hub-peer --help shows the commands)\n", parsed.error.c_str());
        return kFailureStatus;
    }
    const Command& command = *parsed.command;
    if (const auto* help = std::get_if<HelpCommand>(&command)) {
        std::fputs(help->text.c_str(), stdout);
        return 0;
    }
    if (const auto* c = std::get_if<WatchCommand>(&command)) return watch(*c);
    if (const auto* c = std::get_if<RemoteCommand>(&command)) return remote(*c);
    if (const auto* c = std::get_if<QueryCommand>(&command)) return query(*c);
    if (const auto* c = std::get_if<RegisterCommand>(&command)) {
        return sendOnce(c->hubPort, buildPortRegistration(c->port));
    }
    const auto& enable = std::get<EnableFeederCommand>(command);
    return sendOnce(enable.hubPort, buildFeederEnable());
}

}  // namespace hub::peer

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return hub::peer::run(args);
}
