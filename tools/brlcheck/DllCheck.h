// The first step: the brlwin32.dll to check, found, described and loaded.
// It is described from the file before it is loaded, so that a DLL that
// Windows will not load into this process still gets its processor and
// version in the line.
#ifndef BRLCHECK_DLL_CHECK_H
#define BRLCHECK_DLL_CHECK_H

#include <windows.h>

#include "DllFile.h"

class BrailleDll;
class StepResults;
struct CheckOptions;

class DllCheck {
public:
    DllCheck(const CheckOptions& options, StepResults& results, BrailleDll& dll);

    // Records the step's line; false when the DLL cannot be used.
    bool Run();

    // The DLL's full path; empty when it could not be worked out.
    const char* Path() const { return path; }
    // Whether the file was read, and so File() holds its machine and version.
    bool Examined() const { return examined; }
    const DllFile& File() const { return file; }

private:
    bool Locate();

    const CheckOptions& options;
    StepResults& results;
    BrailleDll& dll;
    DllFile file;
    char path[MAX_PATH];
    bool examined;
};

#endif
