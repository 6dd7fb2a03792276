#include "DisplayCheck.h"

#include "ComputerBraille.h"
#include "KeyReport.h"
#include "SerialPortOrder.h"
#include "Text.h"
#include "Transcript.h"

namespace {

enum {
    StatusCells = 5,
    MaxCells = 128,
    MaxTextCells = 80,
    PollMs = 20,
    RefreshMs = 1000,
    AsleepMs = 2000,
    UnplugMs = 60000
};

volatile LONG g_stop = 0;

const unsigned char blankStatus[StatusCells] = { 0, 0, 0, 0, 0 };

const char sampleText[] = "The quick brown fox jumps over the lazy dog.";

void Copy(char* destination, int size, const char* source)
{
    int i = 0;
    for (; i < size - 1 && source[i] != '\0'; ++i)
        destination[i] = source[i];
    destination[i] = '\0';
}

// A line of text as cells, in the computer braille of the demo host; blank
// cells after it.
void LineCells(const char* line, unsigned char* cells, int count)
{
    int i = 0;
    for (; i < count && line[i] != '\0'; ++i)
        cells[i] = ComputerBrailleCell((unsigned char)line[i]);
    for (; i < count; ++i)
        cells[i] = 0;
}

void AddCells(Text& text, int statusCells, int textCells)
{
    text.Number((unsigned)statusCells).Add(" status cells and ").Number((unsigned)textCells).Add(" text cells");
}

void AddWholeSeconds(Text& text, unsigned seconds)
{
    text.Number(seconds).Add(seconds == 1 ? " second" : " seconds");
}

void AddPortName(Text& text, unsigned number) { text.Add("COM").Number(number); }

void AddScannedRange(Text& text)
{
    AddPortName(text, SerialPortOrder::FirstPort);
    text.Add(" to ");
    AddPortName(text, SerialPortOrder::LastPort);
}

void AddOutcome(Text& text, const char* call, DWORD sinceMs)
{
    text.Add(call).Add(" returned 0 after ").Seconds(sinceMs);
}

} // namespace

DisplayCheck::DisplayCheck(const CheckOptions& checkOptions, Transcript& checkTranscript)
    : options(checkOptions), transcript(checkTranscript), textCells(0), failures(0), withoutKey(0),
      dllExamined(false), displayFound(false)
{
    dllPath[0] = '\0';
    portName[0] = '\0';
}

void DisplayCheck::Interrupt() { g_stop = 1; }

bool DisplayCheck::Stopping() const { return g_stop != 0; }

bool DisplayCheck::EndsTheSteps(Outcome outcome) { return outcome == Stopped || outcome == Gone; }

DisplayCheck::Outcome DisplayCheck::Count(Outcome outcome)
{
    if (outcome == Failed || outcome == Gone)
        ++failures;
    else if (outcome == NoKey)
        ++withoutKey;
    return outcome;
}

int DisplayCheck::Run(const char* commandLine)
{
    Text line;
    line.Add("brlcheck " BRLCHECK_VERSION " checks a braille display through brlwin32.dll, one step at a time. "
             "Ctrl+C stops it.");
    transcript.Say(line);
    line.Clear();
    line.Add("brlcheck " BRLCHECK_VERSION " report");
    transcript.ReportLine(line);

    if (!CheckDll())
        return Finish(Stopping() ? Interrupted : DllUnusable, commandLine);

    // Each step records its own outcome; here only Ctrl+C ends the run.
    Outcome last = FindDisplay();
    if (last == Ok) {
        last = Patterns();
        if (!EndsTheSteps(last))
            last = KeyTest();
        if (!EndsTheSteps(last))
            last = SleepAndWake();
        if (!EndsTheSteps(last) && options.unplug)
            last = Unplug();
        // Every step after it would fail the same way, or pass on nothing.
        if (last == Gone)
            transcript.Say("The display's port has gone, so the other steps are left out.");
    } else if (last == Failed) {
        transcript.Say("The other steps need a display, so they are left out.");
    }
    if (last != Stopped)
        last = TerminateDisplay();
    if (last == Stopped || Stopping()) {
        // Whatever step was running, the display is let go before the end.
        dll.Terminate();
        return Finish(Interrupted, commandLine);
    }
    return Finish(failures > 0 || !displayFound ? StepFailed : AllPassed, commandLine);
}

bool DisplayCheck::LocateDll()
{
    DWORD length = 0;
    char* file = NULL;
    if (options.dll != NULL) {
        length = GetFullPathNameA(options.dll, MAX_PATH, dllPath, &file);
    } else {
        // The DLL that came in the same folder as this program.
        char program[MAX_PATH];
        DWORD n = GetModuleFileNameA(NULL, program, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            return false;
        int slash = -1;
        for (int i = 0; program[i] != '\0'; ++i)
            if (program[i] == '\\' || program[i] == '/')
                slash = i;
        program[slash + 1] = '\0';
        Text path;
        path.Add(program).Add("brlwin32.dll");
        if (path.Length() >= MAX_PATH)
            return false;
        Copy(dllPath, MAX_PATH, path.Chars());
        length = (DWORD)path.Length();
    }
    return length > 0 && length < MAX_PATH;
}

bool DisplayCheck::CheckDll()
{
    Text line;
    line.Add("DLL: ");
    if (!LocateDll()) {
        line.Add("FAILED: the path of brlwin32.dll is longer than Windows allows");
        transcript.Record(line);
        Count(Failed);
        return false;
    }
    DllFile::Result examined = dllFile.Examine(dllPath);
    dllExamined = examined == DllFile::Examined;
    if (examined == DllFile::Missing) {
        line.Add("FAILED: there is no ").Add(dllPath).Add(". Put brlcheck.exe in the folder of the brlwin32.dll "
                                                          "to check, or name that DLL with --dll");
    } else if (examined == DllFile::Unreadable) {
        line.Add("FAILED: ").Add(dllPath).Add(" cannot be read, error ").Number(dllFile.Error());
    } else if (examined == DllFile::NotAnImage) {
        line.Add("FAILED: ").Add(dllPath).Add(" is not a Windows DLL");
    }
    if (!dllExamined) {
        transcript.Record(line);
        Count(Failed);
        return false;
    }

    const char* dllMachine = DllFile::MachineName(dllFile.Machine());
    const char* ownMachine = DllFile::MachineName(DllFile::ProcessMachine());
    Text facts;
    facts.Add(dllPath).Add(", version ");
    dllFile.AddVersion(facts);
    if (dllFile.Machine() != DllFile::ProcessMachine()) {
        line.Add("FAILED: ").Add(facts);
        if (dllMachine == NULL) {
            line.Add(", is for the machine 0x").Hex(dllFile.Machine(), 4).Add(", for which there is no kit");
        } else {
            // The DLL belongs to the host that uses it: the check must run in
            // a process of that host's processor, which the DLL's own kit has.
            line.Add(", is ").Add(dllMachine).Add(", and this program is ").Add(ownMachine)
                .Add(". Windows loads a DLL only into a program of its own processor: check this DLL with the "
                     "brlcheck.exe of the ")
                .Add(DllFile::KitName(dllFile.Machine())).Add(" kit");
            if (dllFile.HasVersion()) {
                line.Add(", brlwin32-");
                dllFile.AddVersion(line);
                line.Add('-').Add(DllFile::KitName(dllFile.Machine())).Add(".zip");
            }
        }
        transcript.Record(line);
        Count(Failed);
        return false;
    }
    facts.Add(", ").Add(dllMachine).Add("; this program is ").Add(ownMachine);
    DWORD error = 0;
    const char* missing = NULL;
    if (!dll.Load(dllPath, error, missing)) {
        line.Add("FAILED: ").Add(facts);
        if (missing != NULL)
            line.Add(", but the DLL has no export ").Add(missing);
        else
            line.Add(", but Windows did not load it, error ").Number(error);
        transcript.Record(line);
        Count(Failed);
        return false;
    }
    line.Add(facts).Add(": ok");
    transcript.Record(line);
    return true;
}

DisplayCheck::Outcome DisplayCheck::FindDisplay()
{
    Outcome o = options.port != NULL ? OpenNamedPort() : ScanPorts();
    if (o == Ok)
        displayFound = true;
    return o;
}

unsigned DisplayCheck::SerialNumber(const char* name)
{
    if ((name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' || (name[2] | 0x20) != 'm')
        return 0;
    unsigned number = 0;
    int i = 3;
    for (; name[i] >= '0' && name[i] <= '9' && number <= SerialPortOrder::LastPort; ++i)
        number = number * 10 + (unsigned)(name[i] - '0');
    bool plain = i > 3 && (name[i] == '\0' || name[i] == ':');
    return plain && number >= SerialPortOrder::FirstPort && number <= SerialPortOrder::LastPort ? number : 0;
}

DisplayCheck::PortState DisplayCheck::Probe(unsigned number)
{
    // Opened as the DLL opens it: COM1 to COM9 by their plain names, the
    // others through the device namespace, which alone reaches them.
    Text device;
    if (number >= 10)
        device.Add("\\\\.\\");
    AddPortName(device, number);
    HANDLE handle =
        CreateFileA(device.Chars(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? InUse : Absent;
    }
    // A name that opens but has no line settings is no serial port.
    DCB settings;
    settings.DCBlength = sizeof settings;
    BOOL serial = GetCommState(handle, &settings);
    CloseHandle(handle);
    return serial ? Present : Absent;
}

void DisplayCheck::FlushAbsent(unsigned from, unsigned to)
{
    if (from == 0)
        return;
    // A run of absent ports is one line: a speech user hears "COM6 to
    // COM11 absent" rather than six lines.
    Text line;
    AddPortName(line, from);
    if (to > from) {
        line.Add(" to ");
        AddPortName(line, to);
    }
    line.Add(" absent");
    transcript.Record(line);
}

DisplayCheck::Outcome DisplayCheck::ScanPorts()
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
    int found = 0;
    for (int position = 0; position < SerialPortOrder::PortCount && found == 0; ++position) {
        if (Stopping())
            return Stopped;
        unsigned number = (unsigned)order.At(position);
        char device[SerialPortOrder::DeviceSize];
        bool named = SerialPortOrder::Device((int)number, device, SerialPortOrder::DeviceSize) != 0;
        PortState state = Probe(number);
        // Absent ports of no device fold into runs of numbers that follow
        // each other in the scan; one the system names a device for is
        // worth its own line.
        if (state == Absent && !named) {
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
        AddPortName(line, number);
        if (named) {
            line.Add(" (").Add(device);
            if (SerialPortOrder::IsBluetooth(device))
                line.Add(", Bluetooth");
            line.Add(')');
        }
        if (state == Absent) {
            line.Add(" absent");
        } else if (state == InUse) {
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
                Copy(portName, sizeof portName, name);
                found = cells;
            }
        }
        transcript.Record(line);
    }
    if (found == 0)
        FlushAbsent(absentFrom, absentTo);
    if (Stopping())
        return Stopped;

    Text line;
    line.Add("display: ");
    if (found == 0) {
        line.Add("FAILED: no display answered on ");
        AddScannedRange(line);
        line.Add(", in ").Seconds(GetTickCount() - start);
        transcript.Record(line);
        return Count(Failed);
    }
    TakeCounts(found);
    line.Add(portName).Add(", ");
    AddCells(line, found >> 8, found & 0xFF);
    line.Add(", found in ").Seconds(GetTickCount() - start).Add(": ok");
    transcript.Record(line);
    return CheckAuto(found);
}

void DisplayCheck::TakeCounts(int cells)
{
    // The counts are shown as the DLL gave them; the cells brlcheck builds
    // stop at the most any display of the family has, whatever a DLL says.
    // There are always 5 status cells.
    textCells = cells & 0xFF;
    if (textCells > MaxTextCells)
        textCells = MaxTextCells;
}

DisplayCheck::Outcome DisplayCheck::CheckAuto(int found)
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
    Outcome outcome = Ok;
    if (cells == found) {
        line.Add("BrlInit(\"auto\") found ");
        AddCells(line, cells >> 8, cells & 0xFF);
        line.Add(" in ").Seconds(took).Add(", as on ").Add(portName).Add(": ok");
    } else {
        outcome = Failed;
        line.Add("FAILED: ");
        if (cells == 0) {
            AddOutcome(line, "BrlInit(\"auto\")", took);
        } else {
            line.Add("BrlInit(\"auto\") found ");
            AddCells(line, cells >> 8, cells & 0xFF);
            line.Add(", not the ").Number((unsigned)found & 0xFF).Add(" text cells of ").Add(portName);
        }
    }
    transcript.Record(line);
    Count(outcome);
    if (Stopping())
        return Stopped;
    if (outcome == Ok)
        return Ok;
    // The other steps go on with the display the scan found.
    dll.Terminate();
    if (dll.Init(portName, BrailleDll::OnKey) == found)
        return Ok;
    dll.Terminate();
    Text gone;
    gone.Add("display: FAILED: ").Add(portName).Add(" no longer answers");
    transcript.Record(gone);
    return Count(Failed);
}

DisplayCheck::Outcome DisplayCheck::OpenNamedPort()
{
    Copy(portName, sizeof portName, options.port);
    Text intro;
    intro.Add("Opening the display on ").Add(portName).Add(" with BrlInit; a display answers within 2 seconds.");
    transcript.Say(intro);
    DWORD start = GetTickCount();
    // The name as given, whatever its length: what BrlInit makes of it is
    // part of the check.
    int cells = dll.Init(options.port, BrailleDll::OnKey);
    DWORD took = GetTickCount() - start;
    if (Stopping())
        return Stopped;
    Text line;
    line.Add("display: ");
    if (cells != 0) {
        TakeCounts(cells);
        line.Add(portName).Add(", ");
        AddCells(line, cells >> 8, cells & 0xFF);
        line.Add(", found in ").Seconds(took).Add(": ok");
        transcript.Record(line);
        return Ok;
    }
    // The port may be open without a display behind it; with it released,
    // the port itself can be looked at.
    dll.Terminate();
    line.Add("FAILED: ");
    unsigned number = SerialNumber(portName);
    PortState state = number != 0 ? Probe(number) : Present;
    if (number != 0) {
        AddPortName(line, number);
        line.Add(state == Absent ? " absent" : state == InUse ? " in use by another program" : " no answer");
        line.Add(", ");
    }
    Text call;
    call.Add("BrlInit(\"").Add(portName).Add("\")");
    AddOutcome(line, call.Chars(), took);
    transcript.Record(line);
    return Count(Failed);
}

bool DisplayCheck::Show(const char* step, const unsigned char* status, const unsigned char* text)
{
    DWORD start = GetTickCount();
    const char* call = NULL;
    if (dll.DisplayStatus(status, StatusCells) == 0)
        call = "BrlDisplayStatus";
    else if (dll.Display(text, textCells) == 0)
        call = "BrlDisplay";
    if (call == NULL)
        return true;
    Text line;
    line.Add(step).Add(": FAILED: ");
    AddOutcome(line, call, GetTickCount() - start);
    transcript.Record(line);
    Count(Failed);
    return false;
}

bool DisplayCheck::Show(const char* step, const unsigned char* status, const char* text)
{
    unsigned char cells[MaxCells];
    LineCells(text, cells, textCells);
    return Show(step, status, cells);
}

void DisplayCheck::DropPendingKeys()
{
    dll.Timer();
    BrailleDll::DropKeys();
}

DisplayCheck::Wait DisplayCheck::WaitForKey(DWORD limitMs, unsigned& code, unsigned& argument, DWORD& refreshTick,
                                            bool watchPort)
{
    // The driver reports a lost display only through the call that finds
    // it out, and when that call is BrlTimer's read, every call after it
    // succeeds. A serial port that goes with the display, as a USB adapter
    // goes with its cable, is looked for here as well: at the start, and
    // before each refresh.
    unsigned watched = watchPort ? SerialNumber(portName) : 0;
    if (watched != 0 && Probe(watched) == Absent)
        return PortGone;
    DWORD start = GetTickCount();
    for (;;) {
        if (Stopping())
            return WaitStopped;
        dll.Timer();
        if (BrailleDll::NextKey(code, argument))
            return KeyCame;
        DWORD now = GetTickCount();
        if (now - start >= limitMs)
            return TimeRanOut;
        if (now - refreshTick >= RefreshMs) {
            refreshTick = now;
            if (watched != 0 && Probe(watched) == Absent)
                return PortGone;
            if (dll.Refresh() == 0)
                return RefreshFailed;
        }
        Sleep(PollMs);
    }
}

DisplayCheck::Outcome DisplayCheck::AddWaitFailure(Text& line, Wait w, DWORD sinceMs) const
{
    line.Add("FAILED: ");
    if (w != PortGone) {
        AddOutcome(line, "BrlRefresh", sinceMs);
        return Failed;
    }
    AddPortName(line, SerialNumber(portName));
    line.Add(" absent after ").Seconds(sinceMs);
    return Gone;
}

DisplayCheck::Outcome DisplayCheck::EndWait(Text& line, Wait w, DWORD sinceMs, const WaitWords& words)
{
    if (w == WaitStopped)
        return Stopped;
    Outcome outcome = Ok;
    if (w == KeyCame) {
        line.Add(words.key).Seconds(sinceMs).Add(words.afterKey);
    } else if (w == TimeRanOut) {
        line.Add(words.noKey);
        outcome = words.noKeyOutcome;
    } else {
        outcome = AddWaitFailure(line, w, sinceMs);
        line.Add(words.afterFailure);
    }
    transcript.Record(line);
    return Count(outcome);
}

DisplayCheck::Outcome DisplayCheck::Pattern(const char* name, const char* description, const unsigned char* status,
                                            const unsigned char* text)
{
    Text intro;
    intro.Add(description).Add(" Press a display key once you have checked it, or wait ");
    AddWholeSeconds(intro, options.holdSeconds);
    intro.Add('.');
    transcript.Say(intro);
    DropPendingKeys();
    if (!Show(name, status, text))
        return Failed;
    DWORD start = GetTickCount();
    DWORD refreshTick = start;
    unsigned code = 0, argument = 0;
    Wait w = WaitForKey(options.holdSeconds * 1000, code, argument, refreshTick, true);
    Text line;
    line.Add(name).Add(": ");
    static const WaitWords words = { "key after ", ": ok", "no key pressed", NoKey, "" };
    return EndWait(line, w, GetTickCount() - start, words);
}

DisplayCheck::Outcome DisplayCheck::Patterns()
{
    unsigned char status[StatusCells];
    unsigned char text[MaxCells];

    for (int i = 0; i < StatusCells; ++i)
        status[i] = 0xFF;
    for (int i = 0; i < textCells; ++i)
        text[i] = 0xFF;
    Outcome o = Pattern("every dot", "Every dot: all 8 dots of every cell, status cells included, should be raised.",
                        status, text);
    if (EndsTheSteps(o))
        return o;

    for (int i = 0; i < StatusCells; ++i)
        status[i] = (unsigned char)(1u << (i % 8));
    for (int i = 0; i < textCells; ++i)
        text[i] = (unsigned char)(1u << (i % 8));
    o = Pattern("dots 1 to 8",
                "Dots 1 to 8: one dot raised in each cell, dot 1 in the first cell, dot 2 in the next and so on to "
                "dot 8, then from dot 1 again; the status cells start with dot 1 too.",
                status, text);
    if (EndsTheSteps(o))
        return o;

    LineCells("12345", status, StatusCells);
    for (int i = 0; i < textCells; ++i)
        text[i] = ComputerBrailleCell((unsigned char)('0' + (i + 1) % 10));
    o = Pattern("cell numbers",
                "Cell numbers: each text cell shows the last digit of its number in computer braille, 1 to 9, then 0 "
                "on cell 10, 20 and so on; the status cells show 1 to 5.",
                status, text);
    if (EndsTheSteps(o))
        return o;

    int shown = textCells < (int)sizeof sampleText - 1 ? textCells : (int)sizeof sampleText - 1;
    while (shown > 0 && sampleText[shown - 1] == ' ')
        --shown;
    Text sample;
    sample.Add(sampleText, shown);
    Text description;
    description.Add("Text: the text cells should read, in computer braille: ").Add(sample)
        .Add("; the status cells are blank.");
    LineCells("", status, StatusCells);
    LineCells(sample.Chars(), text, textCells);
    return Pattern("text", description.Chars(), status, text);
}

DisplayCheck::Outcome DisplayCheck::KeyTest()
{
    if (options.keySeconds == 0) {
        Text line;
        line.Add("keys: skipped, --keys 0");
        transcript.Record(line);
        return Ok;
    }
    Text line;
    line.Add("Key test: press the display's keys one at a time, for ");
    AddWholeSeconds(line, options.keySeconds);
    line.Add("; each is read out here and shown on the display. To end sooner, press the same key three "
             "times in a row.");
    transcript.Say(line);
    line.Clear();
    line.Add("keys: ");
    DropPendingKeys();
    if (!Show("keys", blankStatus, "press keys"))
        return Failed;

    enum { MaxDistinct = 64 };
    unsigned seen[MaxDistinct][2];
    int distinct = 0;
    int presses = 0;
    int run = 0;
    unsigned lastCode = 0, lastArgument = 0;
    DWORD limit = options.keySeconds * 1000;
    DWORD start = GetTickCount();
    DWORD refreshTick = start;
    Wait w = KeyCame;
    while (run < 3) {
        DWORD used = GetTickCount() - start;
        unsigned code = 0, argument = 0;
        w = WaitForKey(used < limit ? limit - used : 0, code, argument, refreshTick, true);
        if (w != KeyCame)
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
            return Failed;
    }
    // The test ends on the time, on the same key three times, or on a
    // failed wait; only the first two count presses as passing.
    if (w == WaitStopped)
        return Stopped;
    Outcome outcome = Ok;
    if (w == RefreshFailed || w == PortGone) {
        outcome = AddWaitFailure(line, w, GetTickCount() - start);
        line.Add(", with ").Number((unsigned)presses).Add(presses == 1 ? " press" : " presses").Add(" before");
    } else if (presses == 0) {
        line.Add("FAILED: no key pressed in ");
        AddWholeSeconds(line, options.keySeconds);
        outcome = Failed;
    } else {
        line.Number((unsigned)presses).Add(presses == 1 ? " press, " : " presses, ").Number((unsigned)distinct)
            .Add(distinct == 1 ? " key" : " different keys");
        if (w == KeyCame)
            line.Add(", ended by the same key three times");
        line.Add(": ok");
    }
    transcript.Record(line);
    return Count(outcome);
}

bool DisplayCheck::ReportPress(unsigned code, unsigned argument)
{
    KeyReport report(code, argument);
    Text line;
    report.Describe(line);
    transcript.Record(line);
    line.Clear();
    report.Show(line);
    return Show("keys", blankStatus, line.Chars());
}

DisplayCheck::Outcome DisplayCheck::SleepAndWake()
{
    const char* step = "sleep and wake";
    Text intro;
    intro.Add("Sleep and wake: the display goes blank for 2 seconds and then shows \"sleep and wake\" again. Press a "
              "display key once it is back, or wait ");
    AddWholeSeconds(intro, options.holdSeconds);
    intro.Add('.');
    transcript.Say(intro);
    DropPendingKeys();
    if (!Show(step, blankStatus, step))
        return Failed;
    DWORD start = GetTickCount();
    Text line;
    line.Add(step).Add(": ");
    if (dll.Sleep(1) == 0) {
        line.Add("FAILED: ");
        AddOutcome(line, "BrlSleep(1)", GetTickCount() - start);
        transcript.Record(line);
        return Count(Failed);
    }
    // Going to sleep blanks the cells; a host gives them again while the
    // link sleeps, and waking shows them.
    if (!Show(step, blankStatus, step))
        return Failed;
    while (GetTickCount() - start < AsleepMs) {
        if (Stopping())
            return Stopped;
        Sleep(PollMs);
    }
    DWORD woken = GetTickCount();
    if (dll.Sleep(0) == 0) {
        line.Add("FAILED: ");
        AddOutcome(line, "BrlSleep(0)", GetTickCount() - woken);
        transcript.Record(line);
        return Count(Failed);
    }
    DWORD refreshTick = GetTickCount();
    unsigned code = 0, argument = 0;
    Wait w = WaitForKey(options.holdSeconds * 1000, code, argument, refreshTick, true);
    static const WaitWords words = { "key ", " after the wake: ok", "no key pressed", NoKey, " after the wake" };
    return EndWait(line, w, GetTickCount() - woken, words);
}

DisplayCheck::Outcome DisplayCheck::Unplug()
{
    transcript.Say("Unplug: pull out the display's cable, plug it back in, and press a display key. Waiting up to 60 "
                   "seconds.");
    DropPendingKeys();
    if (!Show("unplug", blankStatus, "unplug test"))
        return Failed;
    DWORD start = GetTickCount();
    DWORD refreshTick = start;
    unsigned code = 0, argument = 0;
    Wait w = RefreshFailed;
    // While the display is away, a refresh may fail once, as the driver
    // finds it gone; after that the driver keeps the cells and answers 1
    // until the display is back. Only the key tells. The port is not
    // looked at: an open of it could take it from the driver just as the
    // driver opens it again.
    while (w == RefreshFailed) {
        DWORD used = GetTickCount() - start;
        w = WaitForKey(used < UnplugMs ? UnplugMs - used : 0, code, argument, refreshTick, false);
    }
    Text line;
    line.Add("unplug: ");
    static const WaitWords words = { "first key ", " after the prompt: ok", "FAILED: no key within 60 seconds", Failed,
                                     "" };
    return EndWait(line, w, GetTickCount() - start, words);
}

DisplayCheck::Outcome DisplayCheck::TerminateDisplay()
{
    dll.Terminate();
    Text line;
    line.Add("terminate: BrlTerminate returned");
    unsigned number = displayFound || options.port != NULL ? SerialNumber(portName) : 0;
    PortState state = number != 0 ? Probe(number) : Absent;
    if (state == InUse) {
        // On Windows a serial port opens for one program at a time.
        Text failed;
        failed.Add("terminate: FAILED: ");
        AddPortName(failed, number);
        failed.Add(" is still in use after BrlTerminate");
        transcript.Record(failed);
        return Count(Failed);
    }
    // A port that has gone with its display, or was never there, is not
    // called free.
    if (state == Present) {
        line.Add(", ");
        AddPortName(line, number);
        line.Add(" is free");
    }
    if (displayFound)
        line.Add(", and the display should be blank");
    line.Add(": ok");
    transcript.Record(line);
    return Ok;
}

int DisplayCheck::Finish(int status, const char* commandLine)
{
    if (status == Interrupted) {
        Text line;
        line.Add("interrupted");
        transcript.Record(line);
    }
    WriteFacts(commandLine);
    transcript.CloseReport();
    SaySummary(status);
    return SayWhereTheReportIs(status);
}

void DisplayCheck::WriteFacts(const char* commandLine)
{
    // What a bug report needs, and nothing else from the machine.
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    Text text;
    if (GetVersionExA(&version)) {
        // On the 95/98 family the high word of the build holds the version.
        DWORD build = version.dwPlatformId == VER_PLATFORM_WIN32_NT ? version.dwBuildNumber
                                                                    : version.dwBuildNumber & 0xFFFF;
        text.Number(version.dwMajorVersion).Add('.').Number(version.dwMinorVersion).Add(" build ").Number(build);
        if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
            text.Add(", NT family");
        else if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
            text.Add(", 95/98 family");
        else
            text.Add(", platform ").Number(version.dwPlatformId);
        const char* extra = version.szCSDVersion;
        while (*extra == ' ')
            ++extra;
        if (*extra != '\0')
            text.Add(", ").Add(extra);
    } else {
        text.Add("unknown");
    }
    transcript.ReportLine("windows", text.Chars());
    transcript.ReportLine("process", DllFile::MachineName(DllFile::ProcessMachine()));
    text.Clear();
    const char* machine = dllExamined ? DllFile::MachineName(dllFile.Machine()) : "unknown";
    if (machine == NULL)
        text.Add("machine 0x").Hex(dllFile.Machine(), 4);
    else
        text.Add(machine);
    transcript.ReportLine("dll", text.Chars());
    transcript.ReportLine("dll path", dllPath[0] != '\0' ? dllPath : "unknown");
    text.Clear();
    if (dllExamined)
        dllFile.AddVersion(text);
    else
        text.Add("unknown");
    transcript.ReportLine("dll version", text.Chars());
    transcript.ReportLine("command line", commandLine);
}

void DisplayCheck::SaySummary(int status)
{
    Text summary;
    summary.Add("Done in ").Seconds(transcript.Elapsed()).Add(": ");
    if (status == Interrupted)
        summary.Add("stopped by Ctrl+C");
    else if (failures == 0)
        summary.Add("every step passed");
    else
        summary.Number((unsigned)failures).Add(failures == 1 ? " step FAILED" : " steps FAILED");
    if (withoutKey > 0)
        summary.Add(", ").Number((unsigned)withoutKey).Add(withoutKey == 1 ? " step" : " steps")
            .Add(" without a key press");
    summary.Add('.');
    transcript.Say(summary);
}

int DisplayCheck::SayWhereTheReportIs(int status)
{
    char full[MAX_PATH];
    char* file = NULL;
    DWORD n = GetFullPathNameA(options.report, MAX_PATH, full, &file);
    const char* path = n > 0 && n < MAX_PATH ? full : options.report;
    Text line;
    if (!transcript.ReportFailed()) {
        line.Add("The report, to attach to a bug report, is ").Add(path).Add('.');
        transcript.Say(line);
        return status;
    }
    line.Add("The report could not be written to ").Add(path).Add(", error ").Number(transcript.ReportError()).Add('.');
    transcript.Say(line);
    // Ctrl+C and an unusable DLL say more than the missing report.
    return status == Interrupted || status == DllUnusable ? status : ReportUnwritable;
}
