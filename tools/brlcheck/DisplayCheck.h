// The check itself: the steps a display owner goes through, in order, each
// ending in one line that says what was seen and whether it passed. The
// display is driven through brlwin32.dll's eight exports only, as a host
// drives it.
#ifndef BRLCHECK_DISPLAY_CHECK_H
#define BRLCHECK_DISPLAY_CHECK_H

#include <windows.h>

#include "BrailleDll.h"
#include "CommandLine.h"
#include "DllFile.h"

class Text;
class Transcript;

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
    // Gone: the step failed because the display's serial port went away.
    enum Outcome { Ok, Failed, NoKey, Gone, Stopped };
    enum PortState { Absent, InUse, Present };
    enum Wait { KeyCame, TimeRanOut, RefreshFailed, PortGone, WaitStopped };

    bool LocateDll();
    bool CheckDll();
    Outcome FindDisplay();
    Outcome ScanPorts();
    Outcome OpenNamedPort();
    Outcome CheckAuto(int found);
    // The text cells of a BrlInit result.
    void TakeCounts(int cells);
    Outcome Pattern(const char* name, const char* description, const unsigned char* status,
                    const unsigned char* text);
    Outcome Patterns();
    Outcome KeyTest();
    Outcome SleepAndWake();
    Outcome Unplug();
    Outcome TerminateDisplay();
    bool ReportPress(unsigned code, unsigned argument);
    int Finish(int status, const char* commandLine);
    void WriteFacts(const char* commandLine);
    void SaySummary(int status);
    int SayWhereTheReportIs(int status);

    // Whether no display step may follow this one.
    static bool EndsTheSteps(Outcome outcome);
    // Counts the outcome of a step that has recorded its line.
    Outcome Count(Outcome outcome);
    // Shows these cells; false, with a FAILED line for the step, when a
    // call returns 0.
    bool Show(const char* step, const unsigned char* status, const char* text);
    bool Show(const char* step, const unsigned char* status, const unsigned char* text);
    // Polls BrlTimer every 20 ms until a key comes or limitMs pass;
    // refreshes the display once a second, which shows the cells again on a
    // display switched off and on, and tells when the display has gone.
    // With watchPort, a serial port that goes away ends the wait too.
    Wait WaitForKey(DWORD limitMs, unsigned& code, unsigned& argument, DWORD& refreshTick, bool watchPort);
    // Adds "FAILED: " and what ended a wait that failed; returns the step's
    // outcome, Gone when the display's port went away.
    Outcome AddWaitFailure(Text& line, Wait w, DWORD sinceMs) const;
    // The words that end a step's line for each way its wait can end.
    struct WaitWords {
        const char* key;          // before the seconds from the start to the key
        const char* afterKey;     // after them
        const char* noKey;        // when the time ran out
        Outcome noKeyOutcome;     // and what that counts as
        const char* afterFailure; // after what failed
    };
    // Ends the line of a step on what ended its wait, sinceMs after the
    // step's start, records it and counts the step; Stopped, with no line,
    // after Ctrl+C.
    Outcome EndWait(Text& line, Wait w, DWORD sinceMs, const WaitWords& words);
    // Reads what came in before the step, so that a key pressed for the step
    // before does not count for this one.
    void DropPendingKeys();
    bool Stopping() const;
    // A serial port as the DLL opens it: absent, held by another program,
    // or there.
    static PortState Probe(unsigned number);
    // The number of a plain serial name, COM7 or COM12:38400,n,8,1; else 0.
    static unsigned SerialNumber(const char* name);
    // One line for the absent ports COMfrom to COMto; none when from is 0.
    void FlushAbsent(unsigned from, unsigned to);

    const CheckOptions& options;
    Transcript& transcript;
    BrailleDll dll;
    DllFile dllFile;
    char dllPath[MAX_PATH];
    // The port for the lines and the checks of the port: the name given
    // (cut to fit), or the COMn the scan found.
    char portName[96];
    int textCells;
    int failures;
    int withoutKey;
    bool dllExamined;
    bool displayFound;
};

#endif
