#include "tests/support/FailingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

// Atomic: the engine's workers allocate too.
std::atomic<std::size_t> g_minBytes{std::numeric_limits<std::size_t>::max()};
std::atomic<std::size_t> g_refused{0};
std::atomic<long> g_failAt{-1};  // -1: not counting
std::atomic<long> g_requests{0};
std::atomic<long> g_live{0};

void* Allocate(std::size_t size) {
    const bool nth = g_failAt.load(std::memory_order_relaxed) >= 0 && ++g_requests == g_failAt;
    if (nth || size >= g_minBytes.load(std::memory_order_relaxed)) {
        g_refused.fetch_add(1, std::memory_order_relaxed);
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        ++g_live;
        return p;
    }
    throw std::bad_alloc();
}

void Release(void* p) noexcept {
    if (p) {
        --g_live;
        std::free(p);
    }
}

}  // namespace

namespace vel::test {

FailLargeAllocations::FailLargeAllocations(std::size_t minBytes) {
    g_refused.store(0);
    g_minBytes.store(minBytes);
}
FailLargeAllocations::~FailLargeAllocations() {
    g_minBytes.store(std::numeric_limits<std::size_t>::max());
}
std::size_t FailLargeAllocations::Refused() const {
    return g_refused.load();
}

long FailAllocationNumber(long n) {
    const long counted = g_requests.exchange(0);
    g_failAt.store(n);
    return counted;
}

long LiveAllocations() {
    return g_live.load();
}

}  // namespace vel::test

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    Release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    Release(p);
}
