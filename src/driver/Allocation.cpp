// The DLL's own allocation functions. The driver allocates only port
// objects, with new (std::nothrow), and never throws; defining these here
// keeps the C++ runtime's exception machinery, and a third of the DLL's
// size, out of the build.
#include <new>
#include <stdlib.h>

void* operator new(size_t size, const std::nothrow_t&) noexcept { return malloc(size ? size : 1); }

// Only the nothrow new above is ever called, so these deletes pair with it;
// a plain new is deliberately not provided.
void operator delete(void* block) noexcept { free(block); } // NOLINT(misc-new-delete-overloads,cert-dcl54-cpp)

void operator delete(void* block, size_t) noexcept { free(block); } // NOLINT(misc-new-delete-overloads,cert-dcl54-cpp)

// Reached only through a broken object; the host is better off stopped.
// The name is the C++ ABI's own.
extern "C" void __cxa_pure_virtual() { abort(); } // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
