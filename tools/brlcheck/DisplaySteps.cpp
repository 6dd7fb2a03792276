#include "DisplaySteps.h"

#include <windows.h>

#include "BrailleDll.h"
#include "ComPort.h"
#include "CommandLine.h"
#include "KeyReport.h"
#include "KeyWait.h"
#include "PortSearch.h"
#include "StepDisplay.h"
#include "Text.h"
#include "Transcript.h"

namespace {

enum { AsleepMs = 2000, UnplugMs = 60000 };

const unsigned char blankStatus[StepDisplay::StatusCells] = { 0, 0, 0, 0, 0 };

} // namespace

DisplaySteps::DisplaySteps(const CheckOptions& checkOptions, Transcript& checkTranscript, StepResults& stepResults,
                           BrailleDll& brailleDll, StepDisplay& stepDisplay, const PortSearch& portSearch)
    : options(checkOptions), transcript(checkTranscript), results(stepResults), dll(brailleDll), display(stepDisplay),
      search(portSearch)
{
}

StepResults::Outcome DisplaySteps::KeyTest()
{
    Text line;
    if (options.keySeconds == 0) {
        line.Add("keys: skipped, --keys 0");
        return results.Record(line, StepResults::Ok);
    }
    line.Add("Key test: press the display's keys one at a time, for ").WholeSeconds(options.keySeconds)
        .Add("; each is read out here and shown on the display. To end sooner, press the same key three "
             "times in a row.");
    transcript.Say(line);
    line.Clear();
    line.Add("keys: ");
    display.DropPendingKeys();
    if (!display.Show("keys", blankStatus, "press keys"))
        return StepResults::Failed;

    enum { MaxDistinct = 64 };
    unsigned seen[MaxDistinct][2];
    int distinct = 0;
    int presses = 0;
    int run = 0;
    unsigned lastCode = 0, lastArgument = 0;
    DWORD limit = options.keySeconds * 1000;
    DWORD start = GetTickCount();
    KeyWait wait(dll, results, display.Port(), start);
    KeyWait::End end = KeyWait::KeyCame;
    while (run < 3) {
        DWORD used = GetTickCount() - start;
        unsigned code = 0, argument = 0;
        end = wait.ForKey(used < limit ? limit - used : 0, code, argument);
        if (end != KeyWait::KeyCame)
            break;
        ++presses;
        bool known = false;
        for (int i = 0; i < distinct; ++i)
            known = known || (seen[i][0] == code && seen[i][1] == argument);
        if (!known && distinct < MaxDistinct) {
            seen[distinct][0] = code;
            seen[distinct][1] = argument;
            ++distinct;
        }
        run = presses > 1 && code == lastCode && argument == lastArgument ? run + 1 : 1;
        lastCode = code;
        lastArgument = argument;

        if (!ReportPress(code, argument))
            return StepResults::Failed;
    }
    // The test ends on the time, on the same key three times, or on a
    // failed wait; only the first two count presses as passing.
    if (end == KeyWait::WaitStopped)
        return StepResults::Stopped;
    StepResults::Outcome outcome = StepResults::Ok;
    if (end == KeyWait::RefreshFailed || end == KeyWait::PortGone) {
        outcome = wait.AddFailure(line, end, GetTickCount() - start);
        line.Add(", with ").Number((unsigned)presses).Add(presses == 1 ? " press" : " presses").Add(" before");
    } else if (presses == 0) {
        line.Add("FAILED: no key pressed in ").WholeSeconds(options.keySeconds);
        outcome = StepResults::Failed;
    } else {
        line.Number((unsigned)presses).Add(presses == 1 ? " press, " : " presses, ").Number((unsigned)distinct)
            .Add(distinct == 1 ? " key" : " different keys");
        if (end == KeyWait::KeyCame)
            line.Add(", ended by the same key three times");
        line.Add(": ok");
    }
    return results.Record(line, outcome);
}

bool DisplaySteps::ReportPress(unsigned code, unsigned argument)
{
    KeyReport report(code, argument);
    Text line;
    report.Describe(line);
    transcript.Record(line);
    line.Clear();
    report.Show(line);
    return display.Show("keys", blankStatus, line.Chars());
}

StepResults::Outcome DisplaySteps::SleepAndWake()
{
    const char* step = "sleep and wake";
    Text intro;
    intro.Add("Sleep and wake: the display goes blank for 2 seconds and then shows \"sleep and wake\" again. Press a "
              "display key once it is back, or wait ")
        .WholeSeconds(options.holdSeconds).Add('.');
    transcript.Say(intro);
    display.DropPendingKeys();
    if (!display.Show(step, blankStatus, step))
        return StepResults::Failed;
    DWORD start = GetTickCount();
    Text line;
    line.Add(step).Add(": ");
    if (dll.Sleep(1) == 0) {
        line.Add("FAILED: ");
        StepResults::AddZeroReturn(line, "BrlSleep(1)", GetTickCount() - start);
        return results.Record(line, StepResults::Failed);
    }
    // Going to sleep blanks the cells; a host gives them again while the
    // link sleeps, and waking shows them.
    if (!display.Show(step, blankStatus, step))
        return StepResults::Failed;
    while (GetTickCount() - start < AsleepMs) {
        if (StepResults::Stopping())
            return StepResults::Stopped;
        Sleep(KeyWait::PollMs);
    }
    DWORD woken = GetTickCount();
    if (dll.Sleep(0) == 0) {
        line.Add("FAILED: ");
        StepResults::AddZeroReturn(line, "BrlSleep(0)", GetTickCount() - woken);
        return results.Record(line, StepResults::Failed);
    }
    KeyWait wait(dll, results, display.Port(), GetTickCount());
    unsigned code = 0, argument = 0;
    KeyWait::End end = wait.ForKey(options.holdSeconds * 1000, code, argument);
    static const KeyWait::Words words = { "key ", " after the wake: ok", "no key pressed", StepResults::NoKey,
                                          " after the wake" };
    return wait.EndStep(line, end, GetTickCount() - woken, words);
}

StepResults::Outcome DisplaySteps::Unplug()
{
    transcript.Say("Unplug: pull out the display's cable, plug it back in, and press a display key. Waiting up to 60 "
                   "seconds.");
    display.DropPendingKeys();
    if (!display.Show("unplug", blankStatus, "unplug test"))
        return StepResults::Failed;
    DWORD start = GetTickCount();
    // While the display is away, a refresh may fail once, as the driver
    // finds it gone; after that the driver keeps the cells and answers 1
    // until the display is back. Only the key tells. The port is not
    // looked at: an open of it could take it from the driver just as the
    // driver opens it again.
    KeyWait wait(dll, results, 0, start);
    unsigned code = 0, argument = 0;
    KeyWait::End end = KeyWait::RefreshFailed;
    while (end == KeyWait::RefreshFailed) {
        DWORD used = GetTickCount() - start;
        end = wait.ForKey(used < UnplugMs ? UnplugMs - used : 0, code, argument);
    }
    Text line;
    line.Add("unplug: ");
    static const KeyWait::Words words = { "first key ", " after the prompt: ok", "FAILED: no key within 60 seconds",
                                          StepResults::Failed, "" };
    return wait.EndStep(line, end, GetTickCount() - start, words);
}

StepResults::Outcome DisplaySteps::Terminate()
{
    dll.Terminate();
    Text line;
    line.Add("terminate: BrlTerminate returned");
    unsigned number = search.Found() || options.port != NULL ? ComPort::Number(search.PortName()) : 0;
    ComPort::State state = number != 0 ? ComPort::Probe(number) : ComPort::Absent;
    if (state == ComPort::InUse) {
        // On Windows a serial port opens for one program at a time.
        Text failed;
        failed.Add("terminate: FAILED: ");
        ComPort::AddName(failed, number);
        failed.Add(" is still in use after BrlTerminate");
        return results.Record(failed, StepResults::Failed);
    }
    // A port that has gone with its display, or was never there, is not
    // called free.
    if (state == ComPort::Present) {
        line.Add(", ");
        ComPort::AddName(line, number);
        line.Add(" is free");
    }
    if (search.Found())
        line.Add(", and the display should be blank");
    line.Add(": ok");
    return results.Record(line, StepResults::Ok);
}
