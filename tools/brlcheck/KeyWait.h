// Waiting in a step for the display owner's key. BrlTimer is polled every
// 20 ms and the display refreshed once a second, which shows the cells again
// on a display switched off and on, and tells when the display has gone.
#ifndef BRLCHECK_KEY_WAIT_H
#define BRLCHECK_KEY_WAIT_H

#include <windows.h>

#include "StepResults.h"

class BrailleDll;
class Text;

class KeyWait {
public:
    enum { PollMs = 20, RefreshMs = 1000 };
    enum End { KeyCame, TimeRanOut, RefreshFailed, PortGone, WaitStopped };

    // The words that end a step's line for each way its wait can end.
    struct Words {
        const char* key;                   // before the seconds from the start to the key
        const char* afterKey;              // after them
        const char* noKey;                 // when the time ran out
        StepResults::Outcome noKeyOutcome; // and what that counts as
        const char* afterFailure;          // after what failed
    };

    // watchedPort: the number of a serial port whose going away ends the
    // wait too, or 0. The first refresh comes a second after refreshTick.
    KeyWait(BrailleDll& dll, StepResults& results, unsigned watchedPort, DWORD refreshTick);

    // Until a key comes or limitMs pass; the refreshes go on from one call
    // to the next.
    End ForKey(DWORD limitMs, unsigned& code, unsigned& argument);
    // Adds "FAILED: " and what ended a wait that failed; returns the step's
    // outcome, Gone when the display's port went away.
    StepResults::Outcome AddFailure(Text& line, End end, DWORD sinceMs) const;
    // Ends the line of a step on what ended its wait, sinceMs after the
    // step's start, records it and counts the step; Stopped, with no line,
    // after Ctrl+C.
    StepResults::Outcome EndStep(Text& line, End end, DWORD sinceMs, const Words& words);

private:
    BrailleDll& dll;
    StepResults& results;
    unsigned watched;
    DWORD refreshTick;
};

#endif
