#include "DriverLoader.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

static void fail(const char *what, const char *name, unsigned long error)
{
    printf("error: %s %s (error %lu)\n", what, name, error);
    fflush(stdout);
    exit(3);
}

static FARPROC find(HMODULE dll, const char *name)
{
    FARPROC f = GetProcAddress(dll, name);
    if (!f)
        fail("expected an export, got none:", name, (unsigned long)GetLastError());
    return f;
}

void load_driver(const char *path, DriverExports *exports)
{
    HMODULE dll = LoadLibraryA(path);
    if (!dll)
        fail("cannot load", path, (unsigned long)GetLastError());
    exports->Init = (BrlInitProc)(void *)find(dll, "BrlInit");
    exports->Terminate = (BrlTerminateProc)(void *)find(dll, "BrlTerminate");
    exports->Display = (BrlDisplayProc)(void *)find(dll, "BrlDisplay");
    exports->DisplayStatus = (BrlDisplayStatusProc)(void *)find(dll, "BrlDisplayStatus");
    exports->Clear = (BrlClearProc)(void *)find(dll, "BrlClear");
    exports->Refresh = (BrlRefreshProc)(void *)find(dll, "BrlRefresh");
    exports->Sleep = (BrlSleepProc)(void *)find(dll, "BrlSleep");
    exports->Timer = (BrlTimerProc)(void *)find(dll, "BrlTimer");
    exports->module = dll;
}

void unload_driver(DriverExports *exports)
{
    if (exports->module)
        FreeLibrary((HMODULE)exports->module);
    exports->module = NULL;
}
