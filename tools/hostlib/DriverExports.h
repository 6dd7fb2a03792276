/* The eight exports of brlwin32.dll, found the way any host finds them:
 * LoadLibraryA, then GetProcAddress by name. One loader for every program
 * beside the driver that loads it (brlcheck, the demo host, the test and
 * benchmark hosts). C that calls KERNEL32 alone, so that brlcheck, which
 * links no C runtime, can use it too. */
#ifndef BRLWIN32_DRIVER_EXPORTS_H
#define BRLWIN32_DRIVER_EXPORTS_H

#include <windows.h>

#include "brlwin32.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct DriverExports {
    BrlInitProc Init;
    BrlTerminateProc Terminate;
    BrlDisplayProc Display;
    BrlDisplayStatusProc DisplayStatus;
    BrlClearProc Clear;
    BrlRefreshProc Refresh;
    BrlSleepProc Sleep;
    BrlTimerProc Timer;
    HMODULE module;
} DriverExports;

/* 1 with every export found. 0 otherwise, and nothing stays loaded:
 * *missing is then the first export not found, or NULL where LoadLibraryA
 * itself failed, with the system's error in *error. */
int LoadDriverExports(DriverExports* exports, const char* path, const char** missing, DWORD* error);

/* FreeLibrary, once: the DLL detaches from the process. */
void FreeDriverExports(DriverExports* exports);

#ifdef __cplusplus
}
#endif

#endif
