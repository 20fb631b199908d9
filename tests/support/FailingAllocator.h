#pragma once
// Test seam for running out of memory: the test executable that links FailingAllocator.cpp
// replaces the global operator new, and while a FailLargeAllocations guard lives every
// request of at least its size throws std::bad_alloc, exactly as a full heap would.

#include <cstddef>

namespace vel::test {

class FailLargeAllocations {
  public:
    explicit FailLargeAllocations(std::size_t minBytes);
    ~FailLargeAllocations();
    FailLargeAllocations(const FailLargeAllocations&) = delete;
    FailLargeAllocations& operator=(const FailLargeAllocations&) = delete;

    // Requests refused since the guard was made.
    std::size_t Refused() const;
};

}  // namespace vel::test
