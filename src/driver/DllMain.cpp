#include <windows.h>

// The runtime's start-up code constructs the driver instance before this
// runs and destroys it after the detach; there is nothing else to do.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
