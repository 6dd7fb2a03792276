#include "PortSearch.h"

#include <windows.h>

#include "BrailleDll.h"
#include "ComPort.h"
#include "CommandLine.h"
#include "DisplayLimits.h"
#include "SerialPortOrder.h"
#include "Text.h"
#include "Transcript.h"

namespace {

void AddCells(Text& text, int statusCells, int textCells)
{
    text.Number((unsigned)statusCells).Add(" status cells and ").Number((unsigned)textCells).Add(" text cells");
}

void AddScannedRange(Text& text)
{
    ComPort::AddName(text, SerialPortOrder::FirstPort);
    text.Add(" to ");
    ComPort::AddName(text, SerialPortOrder::LastPort);
}

} // namespace

PortSearch::PortSearch(const CheckOptions& checkOptions, Transcript& checkTranscript, StepResults& stepResults,
                       BrailleDll& brailleDll)
    : options(checkOptions), transcript(checkTranscript), results(stepResults), dll(brailleDll), textCells(0),
      found(false)
{
    portName[0] = '\0';
}

StepResults::Outcome PortSearch::Run()
{
    StepResults::Outcome o = options.port != NULL ? OpenNamedPort() : ScanPorts();
    if (o == StepResults::Ok)
        found = true;
    return o;
}

void PortSearch::FlushAbsent(unsigned from, unsigned to)
{
    if (from == 0)
        return;
    // A run of absent ports is one line: a speech user hears "COM6 to
    // COM11 absent" rather than six lines.
    Text line;
    ComPort::AddName(line, from);
    if (to > from) {
        line.Add(" to ");
        ComPort::AddName(line, to);
    }
    line.Add(" absent");
    transcript.Record(line);
}

StepResults::Outcome PortSearch::ScanPorts()
{
    Text intro;
    intro.Add("Finding the display: BrlInit on each serial port, ");
    AddScannedRange(intro);
    intro.Add(", Bluetooth links last, until a display answers. A port with nothing on it takes 2 seconds.");
    transcript.Say(intro);
    DWORD start = GetTickCount();
    // The order of BrlInit("auto"), from the same code: the display the
    // scan finds is the one auto finds, and a Bluetooth link, whose open
    // blocks while Windows connects to its far end, comes last.
    const SerialPortOrder order;
    unsigned absentFrom = 0, absentTo = 0;
    int answered = 0;
    for (int position = 0; position < SerialPortOrder::PortCount && answered == 0; ++position) {
        if (StepResults::Stopping())
            return StepResults::Stopped;
        unsigned number = (unsigned)order.At(position);
        char device[SerialPortOrder::DeviceSize];
        bool named = SerialPortOrder::Device((int)number, device, SerialPortOrder::DeviceSize) != 0;
        ComPort::State state = ComPort::Probe(number);
        // Absent ports of no device fold into runs of numbers that follow
        // each other in the scan; one the system names a device for is
        // worth its own line.
        if (state == ComPort::Absent && !named) {
            if (absentFrom == 0 || number != absentTo + 1) {
                FlushAbsent(absentFrom, absentTo);
                absentFrom = number;
            }
            absentTo = number;
            continue;
        }
        FlushAbsent(absentFrom, absentTo);
        absentFrom = 0;
        Text line;
        ComPort::AddName(line, number);
        if (named) {
            line.Add(" (").Add(device);
            if (SerialPortOrder::IsBluetooth(device))
                line.Add(", Bluetooth");
            line.Add(')');
        }
        if (state == ComPort::Absent) {
            line.Add(" absent");
        } else if (state == ComPort::InUse) {
            line.Add(" in use by another program");
        } else {
            char name[SerialPortOrder::NameSize];
            SerialPortOrder::Name((int)number, name);
            int cells = dll.Init(name, BrailleDll::OnKey);
            if (cells == 0) {
                // The port may be left open without a display behind it.
                dll.Terminate();
                line.Add(" no answer");
            } else {
                line.Add(" display ").Number((unsigned)cells >> 8).Add('+').Number((unsigned)cells & 0xFF);
                Text::Copy(portName, sizeof portName, name);
                answered = cells;
            }
        }
        transcript.Record(line);
    }
    if (answered == 0)
        FlushAbsent(absentFrom, absentTo);
    if (StepResults::Stopping())
        return StepResults::Stopped;

    Text line;
    line.Add("display: ");
    if (answered == 0) {
        line.Add("FAILED: no display answered on ");
        AddScannedRange(line);
        line.Add(", in ").Seconds(GetTickCount() - start);
        return results.Record(line, StepResults::Failed);
    }
    TakeCounts(answered);
    line.Add(portName).Add(", ");
    AddCells(line, answered >> 8, answered & 0xFF);
    line.Add(", found in ").Seconds(GetTickCount() - start).Add(": ok");
    transcript.Record(line);
    return CheckAuto(answered);
}

void PortSearch::TakeCounts(int cells)
{
    // The counts are shown as the DLL gave them; the cells brlcheck builds
    // stop at the most any display of the family has, whatever a DLL says.
    // There are always 5 status cells.
    textCells = cells & 0xFF;
    if (textCells > DisplayMaxTextCells)
        textCells = DisplayMaxTextCells;
}

StepResults::Outcome PortSearch::CheckAuto(int scanned)
{
    Text intro;
    intro.Add("Checking that BrlInit(\"auto\") finds the display on ").Add(portName).Add(" too.");
    transcript.Say(intro);
    dll.Terminate();
    DWORD start = GetTickCount();
    int cells = dll.Init("auto", BrailleDll::OnKey);
    DWORD took = GetTickCount() - start;
    Text line;
    line.Add("auto: ");
    StepResults::Outcome outcome = StepResults::Ok;
    if (cells == scanned) {
        line.Add("BrlInit(\"auto\") found ");
        AddCells(line, cells >> 8, cells & 0xFF);
        line.Add(" in ").Seconds(took).Add(", as on ").Add(portName).Add(": ok");
    } else {
        outcome = StepResults::Failed;
        line.Add("FAILED: ");
        if (cells == 0) {
            StepResults::AddZeroReturn(line, "BrlInit(\"auto\")", took);
        } else {
            line.Add("BrlInit(\"auto\") found ");
            AddCells(line, cells >> 8, cells & 0xFF);
            line.Add(", not the ").Number((unsigned)scanned & 0xFF).Add(" text cells of ").Add(portName);
        }
    }
    results.Record(line, outcome);
    if (StepResults::Stopping())
        return StepResults::Stopped;
    if (outcome == StepResults::Ok)
        return StepResults::Ok;
    // The other steps go on with the display the scan found.
    dll.Terminate();
    if (dll.Init(portName, BrailleDll::OnKey) == scanned)
        return StepResults::Ok;
    dll.Terminate();
    Text gone;
    gone.Add("display: FAILED: ").Add(portName).Add(" no longer answers");
    return results.Record(gone, StepResults::Failed);
}

StepResults::Outcome PortSearch::OpenNamedPort()
{
    Text::Copy(portName, sizeof portName, options.port);
    Text intro;
    intro.Add("Opening the display on ").Add(portName).Add(" with BrlInit; a display answers within 2 seconds.");
    transcript.Say(intro);
    DWORD start = GetTickCount();
    // The name as given, whatever its length: what BrlInit makes of it is
    // part of the check.
    int cells = dll.Init(options.port, BrailleDll::OnKey);
    DWORD took = GetTickCount() - start;
    if (StepResults::Stopping())
        return StepResults::Stopped;
    Text line;
    line.Add("display: ");
    if (cells != 0) {
        TakeCounts(cells);
        line.Add(portName).Add(", ");
        AddCells(line, cells >> 8, cells & 0xFF);
        line.Add(", found in ").Seconds(took).Add(": ok");
        return results.Record(line, StepResults::Ok);
    }
    // The port may be open without a display behind it; with it released,
    // the port itself can be looked at.
    dll.Terminate();
    line.Add("FAILED: ");
    unsigned number = ComPort::Number(portName);
    ComPort::State state = number != 0 ? ComPort::Probe(number) : ComPort::Present;
    if (number != 0) {
        ComPort::AddName(line, number);
        line.Add(state == ComPort::Absent  ? " absent"
                 : state == ComPort::InUse ? " in use by another program"
                                           : " no answer");
        line.Add(", ");
    }
    Text call;
    call.Add("BrlInit(\"").Add(portName).Add("\")");
    StepResults::AddZeroReturn(line, call.Chars(), took);
    return results.Record(line, StepResults::Failed);
}
