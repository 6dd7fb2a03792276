#include "StepResults.h"

#include "Text.h"
#include "Transcript.h"

namespace {

volatile LONG g_stop = 0;

} // namespace

StepResults::StepResults(Transcript& stepTranscript) : transcript(stepTranscript), failures(0), withoutKey(0) {}

StepResults::Outcome StepResults::Record(const Text& line, Outcome outcome)
{
    transcript.Record(line);
    if (outcome == Failed || outcome == Gone)
        ++failures;
    else if (outcome == NoKey)
        ++withoutKey;
    return outcome;
}

bool StepResults::EndsTheSteps(Outcome outcome) { return outcome == Stopped || outcome == Gone; }

void StepResults::AddZeroReturn(Text& line, const char* call, DWORD sinceMs)
{
    line.Add(call).Add(" returned 0 after ").Seconds(sinceMs);
}

void StepResults::Interrupt() { g_stop = 1; }

bool StepResults::Stopping() { return g_stop != 0; }
