#include "DisplayCheck.h"

#include "CommandLine.h"
#include "Text.h"
#include "Transcript.h"

DisplayCheck::DisplayCheck(const CheckOptions& checkOptions, Transcript& checkTranscript)
    : options(checkOptions), transcript(checkTranscript), results(checkTranscript), dllCheck(options, results, dll),
      search(options, transcript, results, dll), display(results, dll, search),
      patterns(options, transcript, results, dll, display), steps(options, transcript, results, dll, display, search),
      report(options, transcript, results, dllCheck)
{
}

void DisplayCheck::Interrupt() { StepResults::Interrupt(); }

int DisplayCheck::Run(const char* commandLine)
{
    Text line;
    line.Add("brlcheck " BRLCHECK_VERSION " checks a braille display through brlwin32.dll, one step at a time. "
             "Ctrl+C stops it.");
    transcript.Say(line);
    line.Clear();
    line.Add("brlcheck " BRLCHECK_VERSION " report");
    transcript.ReportLine(line);

    if (!dllCheck.Run())
        return Finish(StepResults::Stopping() ? Interrupted : DllUnusable, commandLine);

    // Each step records its own outcome; here only Ctrl+C ends the run.
    StepResults::Outcome last = search.Run();
    if (last == StepResults::Ok) {
        last = patterns.Run();
        if (!StepResults::EndsTheSteps(last))
            last = steps.KeyTest();
        if (!StepResults::EndsTheSteps(last))
            last = steps.SleepAndWake();
        if (!StepResults::EndsTheSteps(last) && options.unplug)
            last = steps.Unplug();
        // Every step after it would fail the same way, or pass on nothing.
        if (last == StepResults::Gone)
            transcript.Say("The display's port has gone, so the other steps are left out.");
    } else if (last == StepResults::Failed) {
        transcript.Say("The other steps need a display, so they are left out.");
    }
    if (last != StepResults::Stopped)
        last = steps.Terminate();
    if (last == StepResults::Stopped || StepResults::Stopping()) {
        // Whatever step was running, the display is let go before the end.
        dll.Terminate();
        return Finish(Interrupted, commandLine);
    }
    return Finish(results.Failures() > 0 || !search.Found() ? StepFailed : AllPassed, commandLine);
}

int DisplayCheck::Finish(int status, const char* commandLine)
{
    if (report.Write(commandLine, status == Interrupted))
        return status;
    // Ctrl+C and an unusable DLL say more than the missing report.
    return status == Interrupted || status == DllUnusable ? status : ReportUnwritable;
}
