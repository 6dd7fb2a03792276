// The four patterns the display owner feels: every dot, dots 1 to 8, the
// cell numbers and a line of text. Each stays up until a display key or
// the --hold time, and ends in one line.
#ifndef BRLCHECK_PATTERN_STEPS_H
#define BRLCHECK_PATTERN_STEPS_H

#include "StepResults.h"

class BrailleDll;
class StepDisplay;
class Transcript;
struct CheckOptions;

class PatternSteps {
public:
    PatternSteps(const CheckOptions& options, Transcript& transcript, StepResults& results, BrailleDll& dll,
                 StepDisplay& display);

    // The patterns in turn, until one ends the steps.
    StepResults::Outcome Run();

private:
    StepResults::Outcome Pattern(const char* name, const char* description, const unsigned char* status,
                                 const unsigned char* text);

    const CheckOptions& options;
    Transcript& transcript;
    StepResults& results;
    BrailleDll& dll;
    StepDisplay& display;
};

#endif
