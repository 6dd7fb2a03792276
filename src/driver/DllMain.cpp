// The DLL's entry point. The library links no C runtime: a runtime's
// start-up code brings a TLS directory, which Windows 95 refuses to load
// with LoadLibrary, and imports the runtime's own DLL, which the first
// Windows 95 release does not have. What that code did for this library
// is done here: run the static constructors when the process attaches
// (g_driverInstance among them) and the exit-time list when it detaches.
#include <windows.h>

typedef void (*StaticFunction)(void);

// The linker lists every static constructor between these two words: a
// leading -1 and a terminating 0.
extern "C" StaticFunction __CTOR_LIST__[]; // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

namespace {

// The compiler registers the destructor of every static object here; the
// driver has a handful of them.
enum { ExitListSize = 16 };
StaticFunction exitList[ExitListSize];
int exitCount = 0;

void RunConstructors()
{
    int count = 0;
    while (__CTOR_LIST__[count + 1] != 0)
        ++count;
    // Last listed first, as the runtime does.
    for (int i = count; i >= 1; --i)
        __CTOR_LIST__[i]();
}

void RunExitList()
{
    while (exitCount > 0)
        exitList[--exitCount]();
}

} // namespace

extern "C" int atexit(StaticFunction function) // NOLINT(cert-dcl58-cpp)
{
    if (exitCount == ExitListSize)
        return -1;
    exitList[exitCount++] = function;
    return 0;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        RunConstructors();
    else if (reason == DLL_PROCESS_DETACH)
        RunExitList();
    return TRUE;
}
