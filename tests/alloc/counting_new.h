// The global operator new, replaced for this test program by one that counts
// every allocation while counting is switched on.
#pragma once

#include <cstdint>

namespace hub::alloc {

class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    // Allocations made since this counter started.
    std::uint64_t count() const;
};

}  // namespace hub::alloc
