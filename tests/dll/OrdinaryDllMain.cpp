// Entry hook of the driver built the ordinary way, with the C runtime: the
// runtime's start-up code runs the static constructors and its exit list,
// so there is nothing left to do here.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
