// What each step came to, counted for the summary at the end. A step ends in
// one line that says what was seen; that line goes to the console and the
// report, and the step counts as passed, failed or passed without a key.
#ifndef BRLCHECK_STEP_RESULTS_H
#define BRLCHECK_STEP_RESULTS_H

#include <windows.h>

class Text;
class Transcript;

class StepResults {
public:
    // Gone: the step failed because the display's serial port went away.
    // Stopped: Ctrl+C came during the step, which then records no line.
    enum Outcome { Ok, Failed, NoKey, Gone, Stopped };

    explicit StepResults(Transcript& transcript);

    // Records the step's line and counts its outcome; returns the outcome.
    Outcome Record(const Text& line, Outcome outcome);

    int Failures() const { return failures; }
    int WithoutKey() const { return withoutKey; }

    // Whether no display step may follow one that ended so.
    static bool EndsTheSteps(Outcome outcome);
    // "CALL returned 0 after 2.0 seconds": a call of the DLL that failed.
    static void AddZeroReturn(Text& line, const char* call, DWORD sinceMs);

    // Asks the check to stop at its next chance. The console's Ctrl+C
    // handler calls it from a thread of its own: it only sets a flag, which
    // the check's own thread looks at between its calls of the DLL.
    static void Interrupt();
    static bool Stopping();

private:
    Transcript& transcript;
    int failures;
    int withoutKey;
};

#endif
