// The listener's receive loop over a real POSIX UDP socket on 127.0.0.1 (an
// ephemeral port, so a running hub on 45041 is not disturbed), with the
// timer message running ticks on the main thread at the same time.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "base/controls.h"
#include "scripted_edges.h"
#include "links/listener.h"

namespace hub {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Outcome = ReceiveResult::Outcome;

int boundLoopbackSocket() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
    return fd;
}

std::uint16_t portOf(int fd) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

// The receiving edge on POSIX, shaped like the Winsock one: a datagram that
// does not fit is reported as too long (MSG_TRUNC gives its real length), a
// refused earlier send as a reset. Once `closing` is set, the wake-up that
// shutdown() causes is a socket failure.
class PosixReceiver final : public DatagramReceiver {
public:
    explicit PosixReceiver(int fd) : fd_(fd) {}
    std::atomic<bool> closing{false};

    ReceiveResult receive(std::uint8_t* buffer, std::size_t capacity, Endpoint& from) override {
        sockaddr_in source{};
        socklen_t size = sizeof source;
        const ssize_t received =
            recvfrom(fd_, buffer, capacity, MSG_TRUNC, reinterpret_cast<sockaddr*>(&source), &size);
        if (closing.load()) return {Outcome::SocketFailed, 0};
        if (received < 0) return {errno == ECONNREFUSED ? Outcome::ConnectionReset : Outcome::SocketFailed, 0};
        if (static_cast<std::size_t>(received) > capacity) return {Outcome::TooLong, 0};
        from = {ntohl(source.sin_addr.s_addr), ntohs(source.sin_port)};
        return {Outcome::Datagram, static_cast<std::size_t>(received)};
    }

private:
    int fd_;
};

class LoopbackListener : public ::testing::Test {
protected:
    void SetUp() override {
        listenFd_ = boundLoopbackSocket();
        peerFd_ = boundLoopbackSocket();
        ASSERT_GE(listenFd_, 0);
        ASSERT_GE(peerFd_, 0);
        receiver_ = std::make_unique<PosixReceiver>(listenFd_);
        listener_ = std::thread([this] {
            runListener(*receiver_, t_.hub.state.received);
            listenerReturned_.store(true);
        });
    }

    void TearDown() override {
        if (listener_.joinable()) {
            receiver_->closing.store(true);
            shutdown(listenFd_, SHUT_RDWR);
            listener_.join();
        }
        close(listenFd_);
        close(peerFd_);
    }

    void send(const Bytes& bytes) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(portOf(listenFd_));
        ASSERT_EQ(sendto(peerFd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(bytes.size()));
    }

    // A timer message at time t: what the listener queued, then the tick.
    void tick(std::uint64_t t) {
        t_.clock.now = t;
        onTimer(t_.hub);
    }

    // Ticks every millisecond of the hub's clock until the condition holds,
    // for at most 30 s of real time: a loaded machine may hold the listener
    // back for seconds, and a passing test returns as soon as it holds.
    bool tickUntil(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            tick(++now_);
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return false;
    }

    bool sentTo(Endpoint to, const Bytes& bytes) const {
        for (const auto& datagram : t_.socket.sent) {
            if (datagram.to == to && datagram.bytes == bytes) return true;
        }
        return false;
    }

    testing::ScriptedHub t_;
    std::uint64_t now_ = 100000;
    int listenFd_ = -1;
    int peerFd_ = -1;
    std::unique_ptr<PosixReceiver> receiver_;
    std::thread listener_;
    std::atomic<bool> listenerReturned_{false};
};

TEST_F(LoopbackListener, SurvivesAnOversizedDatagramAndAPortZeroHelloThenServesTheRemoteApp) {
    Bytes oversized(600, 0);
    oversized[0] = 1;
    oversized[1] = 1;  // a feeder enable, were it not too long
    send(oversized);
    send({1, 3, 0, 0, 0});  // would connect to port 0 and shut out the real hello
    send({1, 3, 4, 50, 50});
    const Endpoint app{kLoopback, 45050};
    ASSERT_TRUE(tickUntil([&] { return sentTo(app, {1, 2}); }));
    EXPECT_FALSE(listenerReturned_.load());
    EXPECT_FALSE(t_.hub.state.remote.feederEnabled.load());
    EXPECT_TRUE(sentTo(app, {31, 128, 128, 128, 128, 128, 128, 0}));
    EXPECT_EQ(t_.window.texts[control::kRemoteStatus], "Status: remote app connected");

    send({32, 192, 0x05, 0, 0, 0x11, 0x22, 0, 0});
    ASSERT_TRUE(tickUntil([&] { return t_.window.texts[control::kRemoteButtons] == "1 0 1 0 0 0 "; }));
    EXPECT_EQ(t_.window.texts[control::kRemoteSteering], "0.500000");

    send({1, 1});
    ASSERT_TRUE(tickUntil([&] { return sentTo({kLoopback, 45042}, {2, 1, 128, 128, 0x11, 0x22, 0x05}); }));
    EXPECT_TRUE(sentTo({kLoopback, 45042}, {1, 0}));
}

TEST_F(LoopbackListener, RegistrationAndQueryArriveWhileTicksRun) {
    tick(now_);  // a registration stamped before the first tick would lapse at once
    send({21, 1, 5, 5, 0});
    ASSERT_TRUE(tickUntil([&] { return sentTo({kLoopback, 50500}, {21, 1}); }));
    send({21, 2, 5, 5, 1});
    ASSERT_TRUE(tickUntil([&] { return sentTo({kLoopback, 50501}, {21, 2, 5, 5, 0}); }));
}

TEST_F(LoopbackListener, InputsStreamedDuringTicksKeepTheConnectionAlive) {
    send({1, 2});
    const Endpoint app{kLoopback, static_cast<std::uint16_t>(portOf(peerFd_) + 1)};
    ASSERT_TRUE(tickUntil([&] { return sentTo(app, {1, 2}); }));
    // 15 s of the hub's clock pass, with the remote app sending all along.
    // The hub's clock must not outrun a listener that the scheduler holds
    // back: it waits for the listener, 60 s of real time in all at most.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int i = 0; i < 500; ++i) {
        const std::uint64_t queued = t_.hub.state.received.queued();
        send({32, static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i & 0x3F), 0, 0, 1, 2, 0, 0});
        send({1, 21});
        now_ += 30;
        while (t_.hub.state.received.queued() < queued + 2 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        tick(now_);
        ASSERT_TRUE(t_.hub.state.remote.connected.load()) << "dropped at tick " << i;
    }
    // Repeated, as a remote app repeats its inputs: a listener held back may
    // find its receive buffer full and the system drop a datagram.
    auto lastSent = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    ASSERT_TRUE(tickUntil([&] {
        if (std::chrono::steady_clock::now() - lastSent > std::chrono::milliseconds(50)) {
            send({32, 128, 0x3F});
            lastSent = std::chrono::steady_clock::now();
        }
        return t_.window.texts[control::kRemoteButtons] == "1 1 1 1 1 1 ";
    }));
}

TEST(ListenerSocketFailure, AReceiveOnABrokenSocketEndsTheLoop) {
    PosixReceiver receiver(-1);
    DatagramQueue received;
    runListener(receiver, received);  // returns instead of blocking forever
    EXPECT_EQ(kListenerFailedStatus, 1);
}

}  // namespace
}  // namespace hub
