#include "links/datagram_queue.h"

#include <algorithm>

namespace hub {

bool DatagramQueue::push(std::span<const std::uint8_t> bytes, const Endpoint& from) {
    const std::uint64_t at = pushed_.load(std::memory_order_relaxed);
    if (at - taken_.load(std::memory_order_acquire) == kCapacity) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    Slot& slot = slots_[at % kCapacity];
    slot.length = std::min(bytes.size(), slot.bytes.size());
    std::copy_n(bytes.begin(), slot.length, slot.bytes.begin());
    slot.from = from;
    pushed_.store(at + 1, std::memory_order_release);
    return true;
}

}  // namespace hub
