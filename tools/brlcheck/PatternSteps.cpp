#include "PatternSteps.h"

#include <windows.h>

#include "CommandLine.h"
#include "ComputerBraille.h"
#include "KeyWait.h"
#include "StepDisplay.h"
#include "Text.h"
#include "Transcript.h"

namespace {

const char sampleText[] = "The quick brown fox jumps over the lazy dog.";

} // namespace

PatternSteps::PatternSteps(const CheckOptions& checkOptions, Transcript& checkTranscript, StepResults& stepResults,
                           BrailleDll& brailleDll, StepDisplay& stepDisplay)
    : options(checkOptions), transcript(checkTranscript), results(stepResults), dll(brailleDll), display(stepDisplay)
{
}

StepResults::Outcome PatternSteps::Pattern(const char* name, const char* description, const unsigned char* status,
                                           const unsigned char* text)
{
    Text intro;
    intro.Add(description).Add(" Press a display key once you have checked it, or wait ")
        .WholeSeconds(options.holdSeconds).Add('.');
    transcript.Say(intro);
    display.DropPendingKeys();
    if (!display.Show(name, status, text))
        return StepResults::Failed;
    DWORD start = GetTickCount();
    KeyWait wait(dll, results, display.Port(), start);
    unsigned code = 0, argument = 0;
    KeyWait::End end = wait.ForKey(options.holdSeconds * 1000, code, argument);
    Text line;
    line.Add(name).Add(": ");
    static const KeyWait::Words words = { "key after ", ": ok", "no key pressed", StepResults::NoKey, "" };
    return wait.EndStep(line, end, GetTickCount() - start, words);
}

StepResults::Outcome PatternSteps::Run()
{
    const int textCells = display.TextCells();
    unsigned char status[StepDisplay::StatusCells];
    unsigned char text[StepDisplay::MaxCells];

    for (int i = 0; i < StepDisplay::StatusCells; ++i)
        status[i] = 0xFF;
    for (int i = 0; i < textCells; ++i)
        text[i] = 0xFF;
    StepResults::Outcome o = Pattern(
        "every dot", "Every dot: all 8 dots of every cell, status cells included, should be raised.", status, text);
    if (StepResults::EndsTheSteps(o))
        return o;

    for (int i = 0; i < StepDisplay::StatusCells; ++i)
        status[i] = (unsigned char)(1u << (i % 8));
    for (int i = 0; i < textCells; ++i)
        text[i] = (unsigned char)(1u << (i % 8));
    o = Pattern("dots 1 to 8",
                "Dots 1 to 8: one dot raised in each cell, dot 1 in the first cell, dot 2 in the next and so on to "
                "dot 8, then from dot 1 again; the status cells start with dot 1 too.",
                status, text);
    if (StepResults::EndsTheSteps(o))
        return o;

    StepDisplay::LineCells("12345", status, StepDisplay::StatusCells);
    for (int i = 0; i < textCells; ++i)
        text[i] = ComputerBrailleCell((unsigned char)('0' + (i + 1) % 10));
    o = Pattern("cell numbers",
                "Cell numbers: each text cell shows the last digit of its number in computer braille, 1 to 9, then 0 "
                "on cell 10, 20 and so on; the status cells show 1 to 5.",
                status, text);
    if (StepResults::EndsTheSteps(o))
        return o;

    int shown = textCells < (int)sizeof sampleText - 1 ? textCells : (int)sizeof sampleText - 1;
    while (shown > 0 && sampleText[shown - 1] == ' ')
        --shown;
    Text sample;
    sample.Add(sampleText, shown);
    Text description;
    description.Add("Text: the text cells should read, in computer braille: ").Add(sample)
        .Add("; the status cells are blank.");
    StepDisplay::LineCells("", status, StepDisplay::StatusCells);
    StepDisplay::LineCells(sample.Chars(), text, textCells);
    return Pattern("text", description.Chars(), status, text);
}
