#include "KeyWait.h"

#include "BrailleDll.h"
#include "ComPort.h"
#include "Text.h"

KeyWait::KeyWait(BrailleDll& brailleDll, StepResults& stepResults, unsigned watchedPort, DWORD firstRefreshTick)
    : dll(brailleDll), results(stepResults), watched(watchedPort), refreshTick(firstRefreshTick)
{
}

KeyWait::End KeyWait::ForKey(DWORD limitMs, unsigned& code, unsigned& argument)
{
    // The driver reports a lost display only through the call that finds
    // it out, and when that call is BrlTimer's read, every call after it
    // succeeds. A serial port that goes with the display, as a USB adapter
    // goes with its cable, is looked for here as well: at the start, and
    // before each refresh.
    if (watched != 0 && ComPort::Probe(watched) == ComPort::Absent)
        return PortGone;
    DWORD start = GetTickCount();
    for (;;) {
        if (StepResults::Stopping())
            return WaitStopped;
        dll.Timer();
        if (BrailleDll::NextKey(code, argument))
            return KeyCame;
        DWORD now = GetTickCount();
        if (now - start >= limitMs)
            return TimeRanOut;
        if (now - refreshTick >= RefreshMs) {
            refreshTick = now;
            if (watched != 0 && ComPort::Probe(watched) == ComPort::Absent)
                return PortGone;
            if (dll.Refresh() == 0)
                return RefreshFailed;
        }
        Sleep(PollMs);
    }
}

StepResults::Outcome KeyWait::AddFailure(Text& line, End end, DWORD sinceMs) const
{
    line.Add("FAILED: ");
    if (end != PortGone) {
        StepResults::AddZeroReturn(line, "BrlRefresh", sinceMs);
        return StepResults::Failed;
    }
    ComPort::AddName(line, watched);
    line.Add(" absent after ").Seconds(sinceMs);
    return StepResults::Gone;
}

StepResults::Outcome KeyWait::EndStep(Text& line, End end, DWORD sinceMs, const Words& words)
{
    if (end == WaitStopped)
        return StepResults::Stopped;
    StepResults::Outcome outcome = StepResults::Ok;
    if (end == KeyCame) {
        line.Add(words.key).Seconds(sinceMs).Add(words.afterKey);
    } else if (end == TimeRanOut) {
        line.Add(words.noKey);
        outcome = words.noKeyOutcome;
    } else {
        outcome = AddFailure(line, end, sinceMs);
        line.Add(words.afterFailure);
    }
    return results.Record(line, outcome);
}
