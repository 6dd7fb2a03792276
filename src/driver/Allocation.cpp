// The DLL's own allocation functions. The driver allocates only port
// objects, with new (std::nothrow), and never throws; they come from the
// process heap, so the library needs no C runtime.
#include <windows.h>

#include <new>

// The tag object that new (std::nothrow) names; without the C++ runtime it
// is defined here.
const std::nothrow_t std::nothrow{}; // NOLINT(cert-dcl58-cpp)

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
}

// Only the nothrow new above is ever called, so these deletes pair with it;
// a plain new is deliberately not provided.
void operator delete(void* block) noexcept // NOLINT(misc-new-delete-overloads,cert-dcl54-cpp)
{
    if (block != NULL)
        HeapFree(GetProcessHeap(), 0, block);
}

void operator delete(void* block, size_t) noexcept // NOLINT(misc-new-delete-overloads,cert-dcl54-cpp)
{
    operator delete(block);
}

// Reached only through a broken object; the host is better off stopped
// where it broke. The name is the C++ ABI's own.
extern "C" void __cxa_pure_virtual() { __builtin_trap(); } // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
