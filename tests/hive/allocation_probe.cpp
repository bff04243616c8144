#include "tests/hive/allocation_probe.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> g_armed{false};
std::atomic<std::size_t> g_largest{0};

void* TryAllocate(std::size_t bytes) noexcept {
    if (g_armed.load(std::memory_order_relaxed)) {
        std::size_t seen = g_largest.load(std::memory_order_relaxed);
        while (bytes > seen && !g_largest.compare_exchange_weak(seen, bytes)) {
        }
    }
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void* Allocate(std::size_t bytes) {
    if (void* memory = TryAllocate(bytes)) return memory;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t bytes) { return Allocate(bytes); }
void* operator new[](std::size_t bytes) { return Allocate(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept { return TryAllocate(bytes); }
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept { return TryAllocate(bytes); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace vornex::hive::testing {

LargestAllocation::LargestAllocation() {
    g_largest.store(0);
    g_armed.store(true);
}

LargestAllocation::~LargestAllocation() { g_armed.store(false); }

std::size_t LargestAllocation::bytes() const { return g_largest.load(); }

}  // namespace vornex::hive::testing
