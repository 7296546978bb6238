// The datagrams the listener thread received, waiting for the tick: a
// bounded queue that one thread fills and one thread empties, allocated once.
// The tick takes them all at one point of its own, so a datagram takes
// effect between two ticks, never in the middle of one, and a recording can
// say between which.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "base/edges.h"
#include "links/wire.h"

namespace hub {

class DatagramQueue {
public:
    // At 33 ms a tick, room for about 7,700 datagrams a second: more than a
    // remote app sends by far. A flood beyond it loses datagrams here, as it
    // would in the socket's own buffer.
    static constexpr std::size_t kCapacity = 256;

    DatagramQueue() : slots_(std::make_unique<Slot[]>(kCapacity)) {}

    // The listener thread: queues a datagram of at most wire::kReceiveBufferSize
    // bytes. False, and counted, when the queue is full: the datagram is lost.
    bool push(std::span<const std::uint8_t> bytes, const Endpoint& from);

    // The tick: hands the datagrams queued before the call to
    // take(bytes, from), oldest first, and removes them.
    template <typename Take>
    void drain(Take&& take) {
        const std::uint64_t end = pushed_.load(std::memory_order_acquire);
        std::uint64_t at = taken_.load(std::memory_order_relaxed);
        for (; at < end; ++at) {
            const Slot& slot = slots_[at % kCapacity];
            take(std::span<const std::uint8_t>(slot.bytes.data(), slot.length), slot.from);
        }
        taken_.store(at, std::memory_order_release);
    }

    // Datagrams queued, and lost to a full queue, since the start.
    std::uint64_t queued() const { return pushed_.load(std::memory_order_acquire); }
    std::uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    struct Slot {
        std::array<std::uint8_t, wire::kReceiveBufferSize> bytes;
        std::size_t length;
        Endpoint from;
    };

    std::unique_ptr<Slot[]> slots_;
    std::atomic<std::uint64_t> pushed_{0};  // advanced by the listener thread
    std::atomic<std::uint64_t> taken_{0};   // advanced by the tick
    std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace hub
