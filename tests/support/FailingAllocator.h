#pragma once
// Test seam for running out of memory: the test executable that links FailingAllocator.cpp
// replaces the global operator new, and the requests named below throw std::bad_alloc, exactly
// as a full heap would.

#include <cstddef>

namespace vel::test {

// Every request of at least minBytes fails.
class FailLargeAllocations {
  public:
    explicit FailLargeAllocations(std::size_t minBytes);
    ~FailLargeAllocations();
    FailLargeAllocations(const FailLargeAllocations&) = delete;
    FailLargeAllocations& operator=(const FailLargeAllocations&) = delete;

    // Requests refused since the guard was made.
    std::size_t Refused() const;
};

// From now on counts the requests (of every thread) and makes number n fail; 0 only counts, -1
// stops counting. Gives the count since the previous call.
long FailAllocationNumber(long n);
// Blocks allocated and not yet released, over the whole program.
long LiveAllocations();

}  // namespace vel::test
