/*
 * The exports of brlwin32.dll, found the way a host finds them, for the
 * Windows programs of the tests and benchmarks.
 */
#ifndef E2EHOST_DRIVER_LOADER_H
#define E2EHOST_DRIVER_LOADER_H

#include "brlwin32.h"

typedef struct DriverExports {
    BrlInitProc Init;
    BrlTerminateProc Terminate;
    BrlDisplayProc Display;
    BrlDisplayStatusProc DisplayStatus;
    BrlClearProc Clear;
    BrlRefreshProc Refresh;
    BrlSleepProc Sleep;
    BrlTimerProc Timer;
    void *module; /* the HMODULE */
} DriverExports;

/* LoadLibraryA, then GetProcAddress for each export. On failure prints
 * "error: ..." to standard output, where the Linux side reads it, and
 * exits with 3. */
void load_driver(const char *path, DriverExports *exports);
/* FreeLibrary: the DLL detaches from the process. */
void unload_driver(DriverExports *exports);

#endif
