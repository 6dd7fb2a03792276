// brlwin32.dll, loaded and called as any host loads and calls it: through
// its eight exports and nothing else.
#ifndef BRLCHECK_BRAILLE_DLL_H
#define BRLCHECK_BRAILLE_DLL_H

#include <windows.h>

#include "DriverExports.h"

class BrailleDll : public DriverExports {
public:
    BrailleDll();

    // The hosts' one loader. On false, missingExport is the first export not
    // found (the DLL is unloaded again then), or NULL where the load itself
    // failed, with the system's error in error.
    bool Load(const char* path, DWORD& error, const char*& missingExport);
    bool Loaded() const { return module != NULL; }

    // The display's keys come through OnKey, inside Timer; they are taken
    // out here afterwards, oldest first.
    static bool NextKey(unsigned& code, unsigned& argument);
    static void DropKeys();
    static void BRLCALLBACK OnKey(unsigned int code, unsigned int argument);
};

#endif
