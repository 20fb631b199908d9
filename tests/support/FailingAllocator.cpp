#include "tests/support/FailingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

std::atomic<std::size_t> g_minBytes{std::numeric_limits<std::size_t>::max()};
std::atomic<std::size_t> g_refused{0};

void* Allocate(std::size_t size) {
    if (size >= g_minBytes.load(std::memory_order_relaxed)) {
        g_refused.fetch_add(1, std::memory_order_relaxed);
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
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
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
