// Finding the display: on the port the display owner named, or else on each
// serial port in the order BrlInit("auto") tries them and then through
// BrlInit("auto") itself, which must find the same display.
#ifndef BRLCHECK_PORT_SEARCH_H
#define BRLCHECK_PORT_SEARCH_H

#include "StepResults.h"

class BrailleDll;
class Transcript;
struct CheckOptions;

class PortSearch {
public:
    PortSearch(const CheckOptions& options, Transcript& transcript, StepResults& results, BrailleDll& dll);

    // Records the step's lines; a display found is left open in the DLL.
    StepResults::Outcome Run();

    bool Found() const { return found; }
    // The port for the lines and the checks of the port: the name given
    // (cut to fit), or the COMn the scan found; empty before.
    const char* PortName() const { return portName; }
    // How many text cells the steps fill.
    int TextCells() const { return textCells; }

private:
    StepResults::Outcome ScanPorts();
    StepResults::Outcome OpenNamedPort();
    StepResults::Outcome CheckAuto(int scanned);
    // The text cells of a BrlInit result.
    void TakeCounts(int cells);
    // One line for the absent ports COMfrom to COMto; none when from is 0.
    void FlushAbsent(unsigned from, unsigned to);

    const CheckOptions& options;
    Transcript& transcript;
    StepResults& results;
    BrailleDll& dll;
    char portName[96];
    int textCells;
    bool found;
};

#endif
