#include "counting_allocator.h"

#include <atomic>
#include <cstddef>
#include <new>

extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void* __libc_memalign(std::size_t, std::size_t);
extern "C" void __libc_free(void*);

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
std::atomic<long> frees{0};

void note() {
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
}
void note_free() {
    if (counting.load(std::memory_order_relaxed)) frees.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

namespace varnolt::testing {

void start_counting_allocations() {
    allocations = 0;
    frees = 0;
    counting = true;
}

AllocationCounts stop_counting_allocations() {
    counting = false;
    return {allocations.load(), frees.load()};
}

}  // namespace varnolt::testing

extern "C" void* malloc(std::size_t n) {
    note();
    return __libc_malloc(n);
}
extern "C" void* calloc(std::size_t count, std::size_t n) {
    note();
    return __libc_calloc(count, n);
}
extern "C" void* realloc(void* p, std::size_t n) {
    note();
    if (p != nullptr) note_free();
    return __libc_realloc(p, n);
}
extern "C" int posix_memalign(void** p, std::size_t alignment, std::size_t n) {
    note();
    *p = __libc_memalign(alignment, n);
    return *p ? 0 : 12;  // ENOMEM
}
extern "C" void* aligned_alloc(std::size_t alignment, std::size_t n) {
    note();
    return __libc_memalign(alignment, n);
}
extern "C" void* memalign(std::size_t alignment, std::size_t n) {
    note();
    return __libc_memalign(alignment, n);
}
extern "C" void free(void* p) {
    if (p != nullptr) note_free();
    __libc_free(p);
}

void* operator new(std::size_t n) {
    note();
    if (void* p = __libc_malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    return operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    note();
    return __libc_malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return operator new(n, std::nothrow);
}
void* operator new(std::size_t n, std::align_val_t alignment) {
    note();
    if (void* p = __libc_memalign(static_cast<std::size_t>(alignment), n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t alignment) {
    return operator new(n, alignment);
}
void operator delete(void* p) noexcept {
    free(p);
}
void operator delete[](void* p) noexcept {
    free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    free(p);
}
