// The steps on the display found after the patterns: the key test, sleep
// and wake, the cable pulled out and plugged back in, and letting the
// display go. Each ends in one line that says what was seen and whether it
// passed.
#ifndef BRLCHECK_DISPLAY_STEPS_H
#define BRLCHECK_DISPLAY_STEPS_H

#include "StepResults.h"

class BrailleDll;
class PortSearch;
class StepDisplay;
class Transcript;
struct CheckOptions;

class DisplaySteps {
public:
    DisplaySteps(const CheckOptions& options, Transcript& transcript, StepResults& results, BrailleDll& dll,
                 StepDisplay& display, const PortSearch& search);

    StepResults::Outcome KeyTest();
    StepResults::Outcome SleepAndWake();
    StepResults::Outcome Unplug();
    // BrlTerminate, and the display's serial port free after it; run
    // whether a display was found or not.
    StepResults::Outcome Terminate();

private:
    // Reads a key press out on the console and shows it on the display.
    bool ReportPress(unsigned code, unsigned argument);

    const CheckOptions& options;
    Transcript& transcript;
    StepResults& results;
    BrailleDll& dll;
    StepDisplay& display;
    const PortSearch& search;
};

#endif
