// brlwin32.dll, loaded and called as any host loads and calls it: through
// its eight exports and nothing else.
#ifndef BRLCHECK_BRAILLE_DLL_H
#define BRLCHECK_BRAILLE_DLL_H

#include <windows.h>

#include "brlwin32.h"

class BrailleDll {
public:
    BrailleDll();

    // LoadLibraryA and the eight exports by name. On false, error holds the
    // system's error of a failed load, or missingExport the first export
    // not found (the DLL is unloaded again then).
    bool Load(const char* path, DWORD& error, const char*& missingExport);
    bool Loaded() const { return module != NULL; }

    // The display's keys come through OnKey, inside Timer; they are taken
    // out here afterwards, oldest first.
    static bool NextKey(unsigned& code, unsigned& argument);
    static void DropKeys();
    static void BRLCALLBACK OnKey(unsigned int code, unsigned int argument);

    BrlInitProc Init;
    BrlTerminateProc Terminate;
    BrlDisplayProc Display;
    BrlDisplayStatusProc DisplayStatus;
    BrlClearProc Clear;
    BrlRefreshProc Refresh;
    BrlSleepProc Sleep;
    BrlTimerProc Timer;

private:
    HMODULE module;
};

#endif
