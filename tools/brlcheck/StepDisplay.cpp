#include "StepDisplay.h"

#include <windows.h>

#include "BrailleDll.h"
#include "ComPort.h"
#include "ComputerBraille.h"
#include "PortSearch.h"
#include "StepResults.h"
#include "Text.h"

StepDisplay::StepDisplay(StepResults& stepResults, BrailleDll& brailleDll, const PortSearch& portSearch)
    : results(stepResults), dll(brailleDll), search(portSearch)
{
}

bool StepDisplay::Show(const char* step, const unsigned char* status, const unsigned char* text)
{
    DWORD start = GetTickCount();
    const char* call = NULL;
    if (dll.DisplayStatus(status, StatusCells) == 0)
        call = "BrlDisplayStatus";
    else if (dll.Display(text, search.TextCells()) == 0)
        call = "BrlDisplay";
    if (call == NULL)
        return true;
    Text line;
    line.Add(step).Add(": FAILED: ");
    StepResults::AddZeroReturn(line, call, GetTickCount() - start);
    results.Record(line, StepResults::Failed);
    return false;
}

bool StepDisplay::Show(const char* step, const unsigned char* status, const char* text)
{
    unsigned char cells[MaxCells];
    LineCells(text, cells, search.TextCells());
    return Show(step, status, cells);
}

void StepDisplay::DropPendingKeys()
{
    dll.Timer();
    BrailleDll::DropKeys();
}

int StepDisplay::TextCells() const { return search.TextCells(); }

unsigned StepDisplay::Port() const { return ComPort::Number(search.PortName()); }

void StepDisplay::LineCells(const char* line, unsigned char* cells, int count)
{
    int i = 0;
    for (; i < count && line[i] != '\0'; ++i)
        cells[i] = ComputerBrailleCell((unsigned char)line[i]);
    for (; i < count; ++i)
        cells[i] = 0;
}
