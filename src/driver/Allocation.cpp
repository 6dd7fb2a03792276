// The DLL's own allocation functions. The driver allocates only port
// objects, with new (std::nothrow), and never throws; defining these here
// keeps the C++ runtime's exception machinery, and a third of the DLL's
// size, out of the build.
#include <new>
#include <stdlib.h>

void* operator new(size_t size, const std::nothrow_t&) noexcept { return malloc(size ? size : 1); }

void operator delete(void* block) noexcept { free(block); }

void operator delete(void* block, size_t) noexcept { free(block); }

// Reached only through a broken object; the host is better off stopped.
extern "C" void __cxa_pure_virtual() { abort(); }
