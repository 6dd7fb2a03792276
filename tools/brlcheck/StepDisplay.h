// The display as the steps drive it: the cells a step shows, through
// BrlDisplayStatus and BrlDisplay, and the keys left over from the step
// before. The display is the one the port search found.
#ifndef BRLCHECK_STEP_DISPLAY_H
#define BRLCHECK_STEP_DISPLAY_H

#include "DisplayLimits.h"

class BrailleDll;
class PortSearch;
class StepResults;

class StepDisplay {
public:
    // A step's cells are built in a buffer as large as the driver's, more
    // than the text cells the search ever takes.
    enum { StatusCells = DisplayStatusCells, MaxCells = DriverCellBufferSize };

    StepDisplay(StepResults& results, BrailleDll& dll, const PortSearch& search);

    // Shows these cells; false, with a FAILED line for the step, when a
    // call returns 0.
    bool Show(const char* step, const unsigned char* status, const unsigned char* text);
    // The same with a line of text on the text cells.
    bool Show(const char* step, const unsigned char* status, const char* text);
    // Reads what came in before the step, so that a key pressed for the step
    // before does not count for this one.
    void DropPendingKeys();

    int TextCells() const;
    // The display's serial port, which a wait for a key watches; 0 when
    // it has none.
    unsigned Port() const;

    // A line of text as cells, in the computer braille of the demo host;
    // blank cells after it.
    static void LineCells(const char* line, unsigned char* cells, int count);

private:
    StepResults& results;
    BrailleDll& dll;
    const PortSearch& search;
};

#endif
