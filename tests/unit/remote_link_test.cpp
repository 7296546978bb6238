// The remote-app link: the listener's decoder, the tick's replies to the
// remote app, registrants and queriers, and the peers that must not be able
// to end the hub.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/controls.h"
#include "scripted_edges.h"
#include "links/listener.h"
#include "links/remote_link.h"

namespace hub {
namespace {

using testing::ScriptedHub;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kPeerAddress = 0xC0000207;  // 192.0.2.7
constexpr Endpoint kPeer{kPeerAddress, 50000};

void receive(ScriptedHub& t, std::initializer_list<std::uint8_t> bytes, Endpoint from = kPeer) {
    const Bytes datagram(bytes);
    applyRemoteDatagram(t.hub.state.remote, datagram.data(), datagram.size(), from);
}

std::vector<testing::SentDatagram> sentTo(const ScriptedHub& t, Endpoint to) {
    std::vector<testing::SentDatagram> matching;
    for (const auto& datagram : t.socket.sent) {
        if (datagram.to == to) matching.push_back(datagram);
    }
    return matching;
}

bool connected(const ScriptedHub& t) { return t.hub.state.remote.connected.load(); }
Endpoint appEndpoint(const ScriptedHub& t) { return t.hub.state.remote.appEndpoint.load(std::memory_order_acquire); }

TEST(PortDigits, DigitBytesAreSignedAndThePortKeepsTheLow16Bits) {
    EXPECT_EQ(portFromDigits(4, 50, 41), 45041);
    EXPECT_EQ(portFromDigits(4, 50, 200), 44944);  // 200 reads as -56
    EXPECT_EQ(portFromDigits(6, 55, 37), 1);       // 65537 wraps
}

TEST(RemoteDecoder, HelloAnswersToTheSourcePortPlusOneOrToTheGivenDigits) {
    ScriptedHub a;
    receive(a, {1, 2});
    EXPECT_TRUE(connected(a));
    EXPECT_EQ(appEndpoint(a), (Endpoint{kPeerAddress, 50001}));

    ScriptedHub b;
    receive(b, {1, 3, 4, 50, 41});
    EXPECT_EQ(appEndpoint(b), (Endpoint{kPeerAddress, 45041}));

    ScriptedHub c;
    receive(c, {1, 3, 4, 50});  // too short for its port
    EXPECT_FALSE(connected(c));
    EXPECT_EQ(appEndpoint(c), wire::kDefaultRemoteAppEndpoint);
}

TEST(RemoteDecoder, HelloThatWouldAnswerToPortZeroIsRefused) {
    ScriptedHub t;
    receive(t, {1, 2}, {kPeerAddress, 65535});  // 65535 + 1 wraps to 0
    receive(t, {1, 3, 0, 0, 0});
    receive(t, {1, 3, 6, 55, 36});  // 65536: low 16 bits 0
    EXPECT_FALSE(connected(t));
    EXPECT_EQ(appEndpoint(t), wire::kDefaultRemoteAppEndpoint);
}

TEST(RemoteDecoder, InputsSetSteeringAndButtonsAndOnlyNineBytesSetTheAxes) {
    ScriptedHub t;
    receive(t, {32, 128, 5, 255, 0});
    EXPECT_EQ(t.hub.state.remote.inputs.steering.load(), 0.0f);
    EXPECT_EQ(t.hub.state.remote.inputs.buttons.load(), 5);
    EXPECT_EQ(t.hub.state.remote.inputs.axis3.load(), 0);
    // A length test that accepts a message cut short would take the axes
    // from the 7- or 8-byte message.
    receive(t, {32, 128, 5, 0, 0, 0x33, 0x44});
    receive(t, {32, 128, 5, 0, 0, 0x33, 0x44, 0});
    EXPECT_EQ(t.hub.state.remote.inputs.axis3.load(), 0);
    EXPECT_EQ(t.hub.state.remote.inputs.axis4.load(), 0);
    receive(t, {32, 192, 1, 0, 0, 0x11, 0x22, 0, 0});
    EXPECT_EQ(t.hub.state.remote.inputs.steering.load(), 0.5f);
    EXPECT_EQ(t.hub.state.remote.inputs.axis3.load(), 0x11);
    EXPECT_EQ(t.hub.state.remote.inputs.axis4.load(), 0x22);
    receive(t, {32});  // steering byte reads 0: full left, no buttons, axes kept
    EXPECT_EQ(t.hub.state.remote.inputs.steering.load(), -1.0f);
    EXPECT_EQ(t.hub.state.remote.inputs.buttons.load(), 0);
    EXPECT_EQ(t.hub.state.remote.inputs.axis3.load(), 0x11);
    EXPECT_TRUE(connected(t));
    EXPECT_EQ(appEndpoint(t), wire::kDefaultRemoteAppEndpoint);  // inputs connect without learning an address
}

TEST(RemoteDecoder, ADatagramLongerThanTheBufferIsIgnoredWholeAndOneThatFitsIsNot) {
    ScriptedHub t;
    Bytes datagram(wire::kReceiveBufferSize + 1, 0);
    datagram[0] = 1;
    datagram[1] = 1;
    applyRemoteDatagram(t.hub.state.remote, datagram.data(), datagram.size(), kPeer);
    EXPECT_FALSE(t.hub.state.remote.feederEnabled.load());
    applyRemoteDatagram(t.hub.state.remote, datagram.data(), wire::kReceiveBufferSize, kPeer);
    EXPECT_TRUE(t.hub.state.remote.feederEnabled.load());
}

TEST(RemoteDecoder, UnknownAndShortMessagesChangeNothing) {
    ScriptedHub t;
    receive(t, {1});          // second byte reads 0
    receive(t, {1, 4});
    receive(t, {21, 3, 5, 5, 0});
    receive(t, {0x1F, 1, 2});
    receive(t, {});
    const RemoteState& remote = t.hub.state.remote;
    EXPECT_FALSE(remote.connected.load());
    EXPECT_FALSE(remote.feederEnabled.load());
    EXPECT_FALSE(remote.registeredPortValid.load());
    EXPECT_FALSE(remote.portQueryPending.load());
}

TEST(RemoteDecoder, RegistrationOrQueryForPortZeroIsIgnoredEntirely) {
    ScriptedHub t;
    t.tick(1000);
    receive(t, {21, 1, 5, 5, 0});
    t.tick(3000);
    receive(t, {21, 1});           // digits read 0
    receive(t, {21, 1, 6, 55, 36});  // 65536
    receive(t, {21, 2});
    const RemoteState& remote = t.hub.state.remote;
    EXPECT_EQ(remote.registeredPortLastSeen.load(), 1000u);  // the live registration is untouched
    EXPECT_FALSE(remote.portQueryPending.load());
    t.tick(3033);
    for (const auto& datagram : t.socket.sent) EXPECT_NE(datagram.to.port, 0);
}

// --- A failed send to a peer never ends the hub ----------------------------

Bytes status(std::uint8_t x, std::uint8_t y, std::uint8_t headingRF, std::uint8_t touch = 0) {
    return {31, x, y, headingRF, 128, 128, 128, touch};
}

TEST(RemoteConnection, AFailedConnectionReplyDropsTheConnectionInsteadOfEndingTheHub) {
    ScriptedHub t;
    receive(t, {1, 2});
    t.socket.failSends = true;
    EXPECT_NO_THROW(t.tick(1000));
    EXPECT_FALSE(connected(t));
    EXPECT_EQ(t.window.texts[control::kRemoteStatus], "Status: no remote app connected");
    t.socket.failSends = false;
    receive(t, {1, 3, 4, 50, 50});  // the peer may say hello again, to another port
    t.tick(1033);
    EXPECT_EQ(sentTo(t, {kPeerAddress, 45050}).size(), 2u);
}

TEST(RemoteConnection, AFailedStatusDropsTheConnectionAndIsResentAfterReconnecting) {
    ScriptedHub t;
    receive(t, {1, 2});
    t.tick(1000);
    t.deck.record.lZ = 1000;
    t.socket.failSends = true;
    EXPECT_NO_THROW(t.tick(1033));
    EXPECT_FALSE(connected(t));
    EXPECT_FALSE(t.hub.state.remoteReplies.announced);
    t.socket.failSends = false;
    receive(t, {1, 21});
    t.tick(1066);
    const auto sent = sentTo(t, {kPeerAddress, 50001});
    ASSERT_EQ(sent.size(), 5u);  // reply, status; failed status; reply, status
    EXPECT_EQ(sent[4].bytes, status(128, 128, 255));
}

// --- Registration and query --------------------------------------------------

TEST(PortRegistration, AFailedKeepAliveLapsesTheRegistrationInsteadOfEndingTheHub) {
    ScriptedHub t;
    t.tick(100000);
    receive(t, {21, 1, 5, 5, 0});
    t.socket.failSends = true;
    EXPECT_NO_THROW(t.tick(100033));
    EXPECT_FALSE(t.hub.state.remote.registeredPortValid.load());
}

TEST(PortQuery, ARegistrationLivesForExactly10000MsAndALapseInTheSameTickAnswersWithZeros) {
    // Pins a lapse that comes one millisecond early (at 10,000 ms instead of
    // after it).
    for (const std::uint64_t since : {10000u, 10001u}) {
        ScriptedHub t;
        t.tick(1000);
        receive(t, {21, 1, 5, 5, 0});
        t.tick(1033);
        receive(t, {21, 2, 5, 5, 1});
        t.tick(1000 + since);
        ASSERT_EQ(sentTo(t, {kLoopback, 50501}).size(), 1u);
        const Bytes digits = since > 10000 ? Bytes{21, 2, 0, 0, 0} : Bytes{21, 2, 5, 5, 0};
        EXPECT_EQ(sentTo(t, {kLoopback, 50501})[0].bytes, digits) << since;
        EXPECT_EQ(t.hub.state.remote.registeredPortValid.load(), since == 10000) << since;
    }
}

TEST(PortQuery, AFailedReplyIsDroppedWithoutEndingTheHub) {
    ScriptedHub t;
    receive(t, {21, 2, 5, 5, 1});
    t.socket.failSends = true;
    EXPECT_NO_THROW(t.tick(1000));
    t.socket.failSends = false;
    t.tick(1033);
    EXPECT_EQ(sentTo(t, {kLoopback, 50501}).size(), 1u);  // the failed one, not retried
}

// --- The receive loop -------------------------------------------------------

// Plays back receive outcomes, leaving stale bytes behind each datagram in
// the buffer, and fails the socket at the end.
class ScriptedReceiver final : public DatagramReceiver {
public:
    struct Step {
        ReceiveResult::Outcome outcome;
        Bytes bytes;
    };
    explicit ScriptedReceiver(std::vector<Step> steps) : steps_(std::move(steps)) {}
    int receives = 0;

    ReceiveResult receive(std::uint8_t* buffer, std::size_t capacity, Endpoint& from) override {
        const auto index = static_cast<std::size_t>(receives++);
        if (index >= steps_.size()) return {ReceiveResult::Outcome::SocketFailed, 0};
        const Step& step = steps_[index];
        std::fill(buffer, buffer + capacity, std::uint8_t{0xEE});  // stale bytes for the next receive
        std::copy(step.bytes.begin(), step.bytes.end(), buffer);
        from = kPeer;
        return {step.outcome, step.bytes.size()};
    }

private:
    std::vector<Step> steps_;
};

TEST(ListenerLoop, TooLongDatagramsAndResetsDoNotStopReceivingOnlyASocketFailureDoes) {
    using Outcome = ReceiveResult::Outcome;
    ScriptedReceiver receiver({{Outcome::TooLong, {}},
                               {Outcome::ConnectionReset, {}},
                               {Outcome::Datagram, {}},
                               {Outcome::Datagram, {1, 1}},
                               {Outcome::Datagram, {32}}});
    DatagramQueue received;
    runListener(receiver, received);
    EXPECT_EQ(receiver.receives, 6);
    EXPECT_EQ(received.queued(), 3u);
    RemoteState remote;
    received.drain([&](std::span<const std::uint8_t> bytes, const Endpoint& from) {
        applyRemoteDatagram(remote, bytes.data(), bytes.size(), from);
    });
    EXPECT_TRUE(remote.feederEnabled.load());
    EXPECT_EQ(remote.inputs.steering.load(), -1.0f);  // 0xEE left behind would have read as steering
}

}  // namespace
}  // namespace hub
