// hub-peer's command line and input script: what a typo must not slip past.
#include <gtest/gtest.h>

#include <vector>

#include "peer_args.h"

namespace hub::peer {
namespace {

ParsedCommand parse(std::vector<std::string_view> args) { return parseArguments(args); }

template <class C>
C parsed(std::vector<std::string_view> args) {
    const ParsedCommand result = parse(args);
    EXPECT_TRUE(result.command.has_value()) << result.error;
    return std::get<C>(result.command.value_or(C{}));
}

std::string errorOf(std::vector<std::string_view> args) {
    const ParsedCommand result = parse(args);
    EXPECT_FALSE(result.command.has_value());
    return result.error;
}

TEST(PeerArgs, PortsOutsideOneTo65535AreRejectedNotWrapped) {
    EXPECT_EQ(errorOf({"register", "65536"}), "PORT: not a valid port (1 ... 65535): '65536'");
    EXPECT_EQ(errorOf({"register", "0"}), "PORT: not a valid port (1 ... 65535): '0'");
    EXPECT_EQ(errorOf({"query", "-5"}), "PORT: not a valid port (1 ... 65535): '-5'");
    EXPECT_EQ(errorOf({"register", "505x"}), "PORT: not a valid port (1 ... 65535): '505x'");
    EXPECT_EQ(parsed<RegisterCommand>({"register", "65535"}).port, 65535);
    EXPECT_EQ(parsed<QueryCommand>({"query", "50501", "--hub-port", "46041"}).hubPort, 46041);
}

TEST(PeerArgs, MissingValuesAndUnknownWordsAreOneLineErrorsThatNameTheWord) {
    EXPECT_EQ(errorOf({}), "no command given (watch, remote, register, query, enable-feeder)");
    EXPECT_EQ(errorOf({"wach"}), "unknown command 'wach' (watch, remote, register, query, enable-feeder)");
    EXPECT_EQ(errorOf({"remote", "--port"}), "--port: 1 required PORT missing");
    EXPECT_EQ(errorOf({"register"}), "PORT is required");
    EXPECT_EQ(errorOf({"register", "50500", "50501"}), "unexpected argument for register: '50501'");
    EXPECT_EQ(errorOf({"register", "50500", "--timeout", "1"}), "unknown option for register: '--timeout'");
    EXPECT_EQ(errorOf({"watch", "--ports", "1,2"}), "--ports: needs three ports: STICK,XDRV,FEEDER");
    EXPECT_EQ(errorOf({"watch", "--mode", "3"}), "--mode: not a vJoy mode (2, 5, 6, 7 or 9): '3'");
    EXPECT_EQ(errorOf({"query", "50501", "--timeout", "-1"}), "--timeout: not a valid number of seconds: '-1'");
}

TEST(PeerArgs, HelpOfTheProgramListsTheCommandsAndHelpOfACommandItsOptions) {
    const std::string all = parsed<HelpCommand>({"--help"}).text;
    for (const char* command : {"watch", "remote", "register", "query", "enable-feeder"}) {
        EXPECT_NE(all.find(command), std::string::npos) << command;
    }
    EXPECT_EQ(parsed<HelpCommand>({"help"}).text, all);
    const std::string query = parsed<HelpCommand>({"query", "--help"}).text;
    EXPECT_NE(query.find("--timeout"), std::string::npos);
    EXPECT_EQ(query.find("--ports"), std::string::npos);  // watch's, not query's
    EXPECT_NE(parsed<HelpCommand>({"watch", "-h"}).text.find("--ports"), std::string::npos);
}

TEST(PeerArgs, WatchAndRemoteOptionsLandInTheirFields) {
    const auto watch = parsed<WatchCommand>({"watch", "--ports", "46040,46045,46042", "--mode", "7", "--lines",
                                             "--duration", "1.5"});
    EXPECT_EQ(watch.ports, (std::array<std::uint16_t, 3>{46040, 46045, 46042}));
    EXPECT_EQ(watch.vjoyMode, 7);
    EXPECT_TRUE(watch.lines);
    EXPECT_EQ(watch.durationMs, 1500u);

    EXPECT_FALSE(parsed<RemoteCommand>({"remote"}).inputs.has_value());  // only a hello and keep-alives
    const auto remote = parsed<RemoteCommand>({"remote", "--port", "45060", "--buttons", "B,T2", "--axes", "0,255"});
    EXPECT_EQ(remote.replyPort, 45060);
    EXPECT_EQ(remote.inputs, (RemoteInputs{128, 0x22, 0, 255}));
    // A repeated option keeps its last value, as before the parser was a library.
    EXPECT_EQ(parsed<RemoteCommand>({"remote", "--port", "45060", "--port", "45061"}).replyPort, 45061);
    EXPECT_EQ(parsed<EnableFeederCommand>({"enable-feeder", "--hub-port", "46041"}).hubPort, 46041);
}

TEST(PeerArgs, SteeringRoundsToTheNearestStepAndStopsAtTheByteRange) {
    EXPECT_EQ(steeringByte("0"), 128);
    EXPECT_EQ(steeringByte("-1"), 0);
    EXPECT_EQ(steeringByte("0.9921875"), 255);
    EXPECT_EQ(steeringByte("0.25"), 160);
    EXPECT_EQ(steeringByte("-0.004"), 127);  // -0.512 steps rounds to -1, not towards 0
    EXPECT_FALSE(steeringByte("1"));
    EXPECT_FALSE(steeringByte("-1.01"));
    EXPECT_FALSE(steeringByte("nan"));
}

TEST(PeerArgs, ButtonNamesSetTheirOwnBits) {
    EXPECT_EQ(buttonsByte("A"), 0x01);
    EXPECT_EQ(buttonsByte("Y"), 0x08);
    EXPECT_EQ(buttonsByte("A,X,T1"), 0x15);
    EXPECT_EQ(buttonsByte("T2"), 0x20);
    EXPECT_EQ(buttonsByte("none"), 0);
    EXPECT_EQ(buttonsByte("0x3f"), 0x3F);
    EXPECT_FALSE(buttonsByte("A,Z"));
    EXPECT_FALSE(buttonsByte("256"));
}

TEST(PeerArgs, ScriptFieldsCarryOverAndErrorsNameTheLine) {
    const ParsedScript script = parseScript("# warm-up\n\n0.5 steering=-0.5\n1 buttons=A axis3=7\r\n1 axis4=9\n",
                                            RemoteInputs{});
    ASSERT_EQ(script.error, "");
    ASSERT_EQ(script.steps.size(), 3u);
    EXPECT_EQ(script.steps[0], (ScriptStep{500, {64, 0, 128, 128}}));
    EXPECT_EQ(script.steps[1], (ScriptStep{1000, {64, 1, 7, 128}}));
    EXPECT_EQ(script.steps[2], (ScriptStep{1000, {64, 1, 7, 9}}));

    EXPECT_EQ(parseScript("1 steering=0\n0.5 buttons=A\n", {}).error, "line 2: time goes back");
    EXPECT_EQ(parseScript("1 steer=0\n", {}).error,
              "line 1: unknown field 'steer' (steering, buttons, axis3, axis4)");
    EXPECT_EQ(parseScript("x buttons=A\n", {}).error, "line 1: not a valid time in seconds: 'x'");
    EXPECT_EQ(parseScript("1 buttons\n", {}).error, "line 1: expected NAME=VALUE, got 'buttons'");
    EXPECT_TRUE(parseScript("1 axis3=300\n", {}).steps.empty());
}

}  // namespace
}  // namespace hub::peer
