// The check itself: the steps a display owner goes through, in order, each
// ending in one line that says what was seen and whether it passed, and the
// report at the end. The display is driven through brlwin32.dll's eight
// exports only, as a host drives it.
#ifndef BRLCHECK_DISPLAY_CHECK_H
#define BRLCHECK_DISPLAY_CHECK_H

#include "BrailleDll.h"
#include "ClosingReport.h"
#include "DisplaySteps.h"
#include "DllCheck.h"
#include "PatternSteps.h"
#include "PortSearch.h"
#include "StepDisplay.h"
#include "StepResults.h"

class Transcript;
struct CheckOptions;

class DisplayCheck {
public:
    enum ExitStatus {
        AllPassed = 0,
        StepFailed = 1,
        BadUsage = 2,
        DllUnusable = 3,
        ReportUnwritable = 4,
        Interrupted = 130
    };

    DisplayCheck(const CheckOptions& options, Transcript& transcript);

    // Runs every step and writes the report; returns the exit status.
    int Run(const char* commandLine);

    // Asks the check to stop at its next chance. The console's Ctrl+C
    // handler calls it from a thread of its own: it only sets a flag, and
    // the check's own thread releases the display and ends.
    static void Interrupt();

private:
    int Finish(int status, const char* commandLine);

    const CheckOptions& options;
    Transcript& transcript;
    BrailleDll dll;
    StepResults results;
    DllCheck dllCheck;
    PortSearch search;
    StepDisplay display;
    PatternSteps patterns;
    DisplaySteps steps;
    ClosingReport report;
};

#endif
