// The queue between the listener thread and the tick: datagrams come out
// whole, in the order they came in, each once; a full queue loses the
// newest and counts it; a drain takes only what was there when it began.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "links/datagram_queue.h"

namespace hub {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Taken {
    Bytes bytes;
    Endpoint from;
};

std::vector<Taken> drainAll(DatagramQueue& queue) {
    std::vector<Taken> taken;
    queue.drain([&](std::span<const std::uint8_t> bytes, const Endpoint& from) {
        taken.push_back({Bytes(bytes.begin(), bytes.end()), from});
    });
    return taken;
}

TEST(DatagramQueue, DatagramsComeOutWholeInOrderAndOnce) {
    DatagramQueue queue;
    const Bytes longest(wire::kReceiveBufferSize, 0x5A);
    const Bytes inputs{32, 128, 5, 0, 0, 100, 156, 0, 0};
    ASSERT_TRUE(queue.push(inputs, {kLoopback, 50000}));
    ASSERT_TRUE(queue.push({}, {0xC0000207, 1}));
    ASSERT_TRUE(queue.push(longest, {kLoopback, 65535}));
    const auto taken = drainAll(queue);
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[0].bytes, inputs);
    EXPECT_EQ(taken[0].from, (Endpoint{kLoopback, 50000}));
    EXPECT_TRUE(taken[1].bytes.empty());
    EXPECT_EQ(taken[1].from, (Endpoint{0xC0000207, 1}));
    EXPECT_EQ(taken[2].bytes, longest);
    EXPECT_TRUE(drainAll(queue).empty());
}

// Overwriting the oldest instead would change what already happened; the
// listener must never wait for the tick.
TEST(DatagramQueue, AFullQueueLosesTheNewestAndCountsIt) {
    DatagramQueue queue;
    for (std::size_t i = 0; i < DatagramQueue::kCapacity; ++i) {
        ASSERT_TRUE(queue.push(Bytes{static_cast<std::uint8_t>(i)}, {kLoopback, 1})) << i;
    }
    EXPECT_FALSE(queue.push(Bytes{0xEE}, {kLoopback, 1}));
    EXPECT_FALSE(queue.push(Bytes{0xEE}, {kLoopback, 1}));
    EXPECT_EQ(queue.dropped(), 2u);
    const auto taken = drainAll(queue);
    ASSERT_EQ(taken.size(), DatagramQueue::kCapacity);
    EXPECT_EQ(taken.front().bytes, Bytes{0});
    EXPECT_EQ(taken.back().bytes, Bytes{static_cast<std::uint8_t>(DatagramQueue::kCapacity - 1)});
    EXPECT_TRUE(queue.push(Bytes{1}, {kLoopback, 1})) << "no room after the drain";
}

// A flood must not keep the tick draining: what arrives during a drain
// waits for the next one.
TEST(DatagramQueue, ADrainTakesOnlyWhatWasQueuedWhenItBegan) {
    DatagramQueue queue;
    queue.push(Bytes{1}, {kLoopback, 1});
    int taken = 0;
    queue.drain([&](std::span<const std::uint8_t>, const Endpoint&) {
        ++taken;
        queue.push(Bytes{2}, {kLoopback, 1});
    });
    EXPECT_EQ(taken, 1);
    EXPECT_EQ(drainAll(queue).size(), 1u);
}

// The listener and the tick on their own threads (built with
// -fsanitize=thread, this also checks that they share only atomics).
TEST(DatagramQueue, EveryDatagramPushedIsTakenInOrderOrCountedAsLost) {
    DatagramQueue queue;
    constexpr std::uint32_t kDatagrams = 100000;
    std::thread listener([&] {
        for (std::uint32_t i = 0; i < kDatagrams; ++i) {
            std::uint8_t bytes[4];
            std::memcpy(bytes, &i, sizeof i);
            queue.push(bytes, {kLoopback, static_cast<std::uint16_t>(i)});
        }
    });
    std::uint64_t taken = 0;
    std::int64_t last = -1;
    bool inOrder = true;
    const auto take = [&](std::span<const std::uint8_t> bytes, const Endpoint& from) {
        std::uint32_t i = 0;
        std::memcpy(&i, bytes.data(), sizeof i);
        inOrder = inOrder && bytes.size() == 4 && static_cast<std::int64_t>(i) > last &&
                  from.port == static_cast<std::uint16_t>(i);
        last = i;
        ++taken;
    };
    while (taken + queue.dropped() < kDatagrams) queue.drain(take);
    listener.join();
    queue.drain(take);
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(taken + queue.dropped(), kDatagrams);
    EXPECT_GT(taken, 0u);
}

}  // namespace
}  // namespace hub
