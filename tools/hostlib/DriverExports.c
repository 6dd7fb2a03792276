#include "DriverExports.h"

/* GetProcAddress gives a generic function pointer; through void (*)(void)
 * the conversion to the export's own type, from brlwin32.h, is one the
 * compiler takes as intended. */
typedef void (*AnyProc)(void);

int LoadDriverExports(DriverExports* exports, const char* path, const char** missing, DWORD* error)
{
    static const char* const names[] = { "BrlInit",  "BrlTerminate", "BrlDisplay", "BrlDisplayStatus",
                                         "BrlClear", "BrlRefresh",   "BrlSleep",   "BrlTimer" };
    AnyProc found[8];
    int i;
    *missing = NULL;
    exports->module = LoadLibraryA(path);
    if (exports->module == NULL) {
        *error = GetLastError();
        return 0;
    }
    for (i = 0; i < 8; ++i) {
        found[i] = (AnyProc)GetProcAddress(exports->module, names[i]);
        if (found[i] == NULL) {
            *missing = names[i];
            *error = GetLastError();
            FreeDriverExports(exports);
            return 0;
        }
    }
    exports->Init = (BrlInitProc)found[0];
    exports->Terminate = (BrlTerminateProc)found[1];
    exports->Display = (BrlDisplayProc)found[2];
    exports->DisplayStatus = (BrlDisplayStatusProc)found[3];
    exports->Clear = (BrlClearProc)found[4];
    exports->Refresh = (BrlRefreshProc)found[5];
    exports->Sleep = (BrlSleepProc)found[6];
    exports->Timer = (BrlTimerProc)found[7];
    return 1;
}

void FreeDriverExports(DriverExports* exports)
{
    if (exports->module != NULL)
        FreeLibrary(exports->module);
    exports->module = NULL;
}
