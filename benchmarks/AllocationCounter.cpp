#include "AllocationCounter.h"

#include <atomic>
#include <cstddef>
#include <new>

// glibc's own allocator under its internal names; the replacements below
// forward to it.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);
}

namespace {
std::atomic<long long> allocations{ 0 };

void* Counted(void* block)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void* NewBlock(size_t size)
{
    void* block = __libc_malloc(size ? size : 1);
    if (block == nullptr)
        throw std::bad_alloc();
    return Counted(block);
}
} // namespace

long long AllocationCounter::Count() { return allocations.load(std::memory_order_relaxed); }

extern "C" {
void* malloc(size_t size) { return Counted(__libc_malloc(size)); }
void* calloc(size_t count, size_t size) { return Counted(__libc_calloc(count, size)); }
void* realloc(void* block, size_t size) { return Counted(__libc_realloc(block, size)); }
void* memalign(size_t alignment, size_t size) { return Counted(__libc_memalign(alignment, size)); }
void* aligned_alloc(size_t alignment, size_t size) { return Counted(__libc_memalign(alignment, size)); }
int posix_memalign(void** out, size_t alignment, size_t size)
{
    void* block = __libc_memalign(alignment, size);
    if (block == nullptr)
        return 12; // ENOMEM
    *out = Counted(block);
    return 0;
}
void free(void* block) { __libc_free(block); }
}

void* operator new(size_t size) { return NewBlock(size); }
void* operator new[](size_t size) { return NewBlock(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Counted(__libc_malloc(size ? size : 1)); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Counted(__libc_malloc(size ? size : 1)); }
void operator delete(void* block) noexcept { __libc_free(block); }
void operator delete[](void* block) noexcept { __libc_free(block); }
void operator delete(void* block, size_t) noexcept { __libc_free(block); }
void operator delete[](void* block, size_t) noexcept { __libc_free(block); }
