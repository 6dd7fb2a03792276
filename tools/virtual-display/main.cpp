// brl-virtual-display: a braille display of the ESC family on a pty, for
// trying the driver under Wine without hardware. See docs/virtual-display.md.
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "BackTranslator.h"
#include "FrameRenderer.h"
#include "KeyMap.h"
#include "KeyScript.h"
#include "ProtocolTrace.h"
#include "PtyDisplay.h"
#include "WinePortRegistration.h"

namespace {
std::atomic<bool> g_stop(false);
void OnSignal(int) { g_stop = true; }

struct Options {
    int textCells = 40;
    int modelCode = -1;
    bool answer = true;
    std::string link, winePrefix, script, trace, frames, ready, render, wineLog;
    std::string table = "en-us-comp8.ctb";
    int com = 5;
    bool interactive = false, snapshot = false, live = true;
    double seconds = 0;
};

const char Usage[] =
    "usage: brl-virtual-display [options]\n"
    "  --cells 20|40|80        text cells (default 40)\n"
    "  --model-code HEX        model code answered (default 00, 01, 02 by size)\n"
    "  --silent                never answer the model query\n"
    "  --link PATH             symlink to the pty slave (default /tmp/brl-virtual-display-PID)\n"
    "  --wine-prefix DIR       register the pty as a COM port of this Wine prefix\n"
    "  --com N                 the COM port number (default 5)\n"
    "  --wine-log FILE         where Wine's own output goes (default /dev/null)\n"
    "  --script FILE           key script (see docs/virtual-display.md)\n"
    "  --interactive           keys from this terminal\n"
    "  --trace FILE            protocol trace; '-' is stderr\n"
    "  --frames FILE           every frame shown, appended to FILE\n"
    "  --ready FILE            written with the port name once the port is registered\n"
    "  --snapshot              print the final frame on stdout at the end\n"
    "  --no-live               do not redraw the terminal as cells arrive\n"
    "  --seconds N             end the session after N seconds\n"
    "  --table NAME            liblouis table for the print line (default en-us-comp8.ctb)\n"
    "  --render HEX...         print the frame of these cells (5 status, then text) and exit\n";

bool ParseHexList(const std::string& text, std::vector<uint8_t>& out)
{
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        char* end = nullptr;
        unsigned long v = std::strtoul(word.c_str(), &end, 16);
        if (*end || word.size() > 2 || v > 255)
            return false;
        out.push_back(static_cast<uint8_t>(v));
    }
    return true;
}

bool ParseOptions(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc)
                return false;
            into = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--cells") {
            if (!value(v))
                return false;
            o.textCells = std::atoi(v.c_str());
            if (DisplaySimulator::ModelCode(o.textCells) < 0)
                return false;
        } else if (a == "--model-code") {
            if (!value(v))
                return false;
            o.modelCode = static_cast<int>(std::strtol(v.c_str(), nullptr, 16));
        } else if (a == "--silent") {
            o.answer = false;
        } else if (a == "--link") {
            if (!value(o.link))
                return false;
        } else if (a == "--wine-prefix") {
            if (!value(o.winePrefix))
                return false;
        } else if (a == "--com") {
            if (!value(v))
                return false;
            o.com = std::atoi(v.c_str());
            if (o.com < 1 || o.com > 256)
                return false;
        } else if (a == "--wine-log") {
            if (!value(o.wineLog))
                return false;
        } else if (a == "--script") {
            if (!value(o.script))
                return false;
        } else if (a == "--interactive") {
            o.interactive = true;
        } else if (a == "--trace") {
            if (!value(o.trace))
                return false;
        } else if (a == "--frames") {
            if (!value(o.frames))
                return false;
        } else if (a == "--ready") {
            if (!value(o.ready))
                return false;
        } else if (a == "--snapshot") {
            o.snapshot = true;
        } else if (a == "--no-live") {
            o.live = false;
        } else if (a == "--seconds") {
            if (!value(v))
                return false;
            o.seconds = std::atof(v.c_str());
        } else if (a == "--table") {
            if (!value(o.table))
                return false;
        } else if (a == "--render") {
            if (!value(o.render))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

FrameRenderer::Frame MakeFrame(const std::vector<uint8_t>& cells, int modelCode, int packets, const BackTranslator& tr)
{
    FrameRenderer::Frame f;
    size_t split = cells.size() < static_cast<size_t>(DisplaySimulator::StatusCells) ? cells.size() : static_cast<size_t>(DisplaySimulator::StatusCells);
    f.status.assign(cells.begin(), cells.begin() + static_cast<long>(split));
    f.text.assign(cells.begin() + static_cast<long>(split), cells.end());
    f.statusPrint = tr.Translate(f.status);
    f.textPrint = tr.Translate(f.text);
    f.modelCode = modelCode;
    f.cellPackets = packets;
    return f;
}

void PrintLines(std::FILE* out, const std::vector<std::string>& lines)
{
    for (const auto& l : lines)
        std::fprintf(out, "%s\n", l.c_str());
    std::fflush(out);
}

class RawTerminal {
public:
    bool Enter()
    {
        if (!isatty(0) || tcgetattr(0, &saved) != 0)
            return false;
        termios t = saved;
        t.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG));
        t.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL));
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        active = tcsetattr(0, TCSANOW, &t) == 0;
        return active;
    }
    ~RawTerminal()
    {
        if (active)
            tcsetattr(0, TCSANOW, &saved);
    }

private:
    termios saved {};
    bool active = false;
};

// --render: the frame of the given cells on stdout, and the exit status.
int RenderCells(const std::string& hex, int modelCode, const BackTranslator& translator)
{
    std::vector<uint8_t> cells;
    if (!ParseHexList(hex, cells) || cells.size() < DisplaySimulator::StatusCells) {
        std::fputs("brl-virtual-display: --render wants at least 5 hex cell bytes\n", stderr);
        return 2;
    }
    PrintLines(stdout, FrameRenderer::Render(MakeFrame(cells, modelCode, 0, translator)));
    return 0;
}

// Reads and parses --script into script; 0 when there is none or it is
// good, else the exit status, with the reason on stderr.
int LoadScript(const Options& o, KeyScript& script)
{
    if (o.script.empty())
        return 0;
    std::ifstream in(o.script);
    if (!in) {
        std::fprintf(stderr, "brl-virtual-display: cannot read key script %s\n", o.script.c_str());
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    if (!script.Parse(text.str(), o.textCells, error)) {
        std::fprintf(stderr, "brl-virtual-display: %s: %s\n", o.script.c_str(), error.c_str());
        return 2;
    }
    return 0;
}

// Where the trace and the frames go; null for none.
struct OutputFiles {
    std::FILE* trace = nullptr;
    std::FILE* frames = nullptr;
};

// Opens --trace ('-' is stderr) and --frames; false, with the reason on
// stderr, when one cannot be written.
bool OpenOutputs(const Options& o, OutputFiles& files)
{
    if (o.trace == "-")
        files.trace = stderr;
    else if (!o.trace.empty() && !(files.trace = std::fopen(o.trace.c_str(), "w"))) {
        std::fprintf(stderr, "brl-virtual-display: cannot write trace %s\n", o.trace.c_str());
        return false;
    }
    if (!o.frames.empty() && !(files.frames = std::fopen(o.frames.c_str(), "w"))) {
        std::fprintf(stderr, "brl-virtual-display: cannot write frames %s\n", o.frames.c_str());
        return false;
    }
    return true;
}

void CloseOutputs(const OutputFiles& files)
{
    if (files.trace && files.trace != stderr)
        std::fclose(files.trace);
    if (files.frames)
        std::fclose(files.frames);
}

void CatchStopSignals()
{
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    signal(SIGHUP, OnSignal);
}

// The display from its start to its end: what it was set up with, the pty
// it runs on, and what the loop last read from it and shows.
struct Session {
    Session(const Options& options, int modelCode, const BackTranslator& translator, const OutputFiles& files)
        : o(options), modelCode(modelCode), translator(translator), framesFile(files.frames),
          trace(files.trace, DisplaySimulator::StatusCells, options.textCells), keys(options.textCells)
    {
    }

    const Options& o;
    int modelCode;
    const BackTranslator& translator;
    std::FILE* framesFile;
    ProtocolTrace trace;
    std::unique_ptr<PtyDisplay> display;
    std::string portName = "(no Wine prefix)";
    bool keyboard = false; // keys come from this terminal
    bool live = false;     // the terminal is redrawn as cells arrive
    KeyMap keys;
    std::string lastEvent;
    // The display as last read.
    std::vector<uint8_t> cells;
    int packets = 0, changes = 0, queries = 0;
    int shownPackets = -1; // packets when the frame was last written
    bool redraw = true;

    // A note in the trace, which the display's thread writes to as well:
    // under the display's lock once there is a display.
    void Note(const std::string& text)
    {
        if (!display) {
            trace.Note(text);
            return;
        }
        display->Change([&](DisplaySimulator&) {
            trace.Note(text);
            return 0;
        });
    }
};

std::vector<std::string> FrameLines(const Session& s)
{
    return FrameRenderer::Render(MakeFrame(s.cells, s.modelCode, s.packets, s.translator));
}

// The display on a new pty behind --link, with every byte both ways in the
// trace; false, with the reason on stderr, when there is no pty.
bool OpenDisplay(Session& s)
{
    const Options& o = s.o;
    DisplaySimulator::Config config;
    config.textCells = o.textCells;
    config.reply = { 0x3F, static_cast<uint8_t>(s.modelCode), 0x00 };
    config.answerQueries = o.answer;
    try {
        s.display.reset(new PtyDisplay(config, o.link));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "brl-virtual-display: %s\n", e.what());
        return false;
    }
    ProtocolTrace& trace = s.trace;
    s.display->SetTap([&trace](PtyDisplay::Direction d, const PtyDisplay::Bytes& bytes) {
        if (d == PtyDisplay::HostToDisplay)
            trace.HostBytes(bytes);
        else
            trace.DisplayBytes(bytes);
    });
    s.Note("display: " + std::to_string(o.textCells) + " text cells, model code " +
               ProtocolTrace::Hex({ static_cast<uint8_t>(s.modelCode) }) + (o.answer ? "" : ", silent") +
               ", pty " + s.display->SlavePath() + " linked at " + o.link);
    return true;
}

// With --wine-prefix, the link becomes a COM port of that prefix; false,
// with the reason on stderr and the link gone, when Wine refuses it.
bool RegisterPort(Session& s)
{
    const Options& o = s.o;
    if (o.winePrefix.empty())
        return true;
    WinePortRegistration registration(o.winePrefix, o.com, o.wineLog);
    std::string error;
    if (!registration.Register(o.link, error)) {
        std::fprintf(stderr, "brl-virtual-display: %s\n", error.c_str());
        unlink(o.link.c_str());
        return false;
    }
    s.portName = registration.PortName();
    s.Note("registered " + s.portName + " -> " + o.link + " in " + o.winePrefix);
    return true;
}

// Tells whoever waits for --ready that the port can be opened.
void WriteReady(const Session& s)
{
    if (s.o.ready.empty())
        return;
    std::FILE* r = std::fopen(s.o.ready.c_str(), "w");
    if (r) {
        std::fprintf(r, "%s %s\n", s.portName.c_str(), s.o.link.c_str());
        std::fclose(r);
    }
}

// Whether keys come from this terminal: --interactive, and stdin is one.
bool TakeKeyboard(bool interactive, RawTerminal& terminal)
{
    bool keyboard = interactive && terminal.Enter();
    if (interactive && !keyboard)
        std::fputs("brl-virtual-display: --interactive needs a terminal on stdin\n", stderr);
    return keyboard;
}

void ReadDisplay(Session& s)
{
    s.display->With([&](const DisplaySimulator& d) {
        s.packets = d.Count(HostStreamDecoder::Message::Cells);
        s.changes = d.CellChanges();
        s.queries = d.Count(HostStreamDecoder::Message::Query);
        s.cells = d.Cells();
        return 0;
    });
}

// A new cell packet is a new frame: in the frames file, and on the screen.
void RecordFrame(Session& s, long nowMs)
{
    if (s.packets == s.shownPackets)
        return;
    s.shownPackets = s.packets;
    s.redraw = true;
    if (s.framesFile && s.packets > 0) {
        std::fprintf(s.framesFile, "--- %.3f s\n", nowMs / 1000.0);
        PrintLines(s.framesFile, FrameLines(s));
    }
}

// Sends the keys of every script step that has come due.
void PlayScript(Session& s, KeyScript& script, long nowMs)
{
    KeyScript::Progress progress;
    progress.nowMs = nowMs;
    progress.cellPackets = s.packets;
    progress.cellChanges = s.changes;
    progress.queries = s.queries;
    while (const KeyScript::Step* step = script.Due(progress)) {
        s.Note("script line " + std::to_string(step->line) + ": " + step->text);
        s.lastEvent = "script: " + step->text;
        s.redraw = true;
        if (step->quit)
            g_stop = true;
        else
            s.display->SendNow(step->bytes);
    }
}

// One typed character, if there is one, as the key map reads it.
void ReadKeyboard(Session& s)
{
    pollfd in = { 0, POLLIN, 0 };
    if (!s.keyboard || poll(&in, 1, 0) <= 0)
        return;
    char c = 0;
    if (read(0, &c, 1) != 1)
        return;
    KeyMap::Action a = s.keys.Press(c);
    if (a.kind == KeyMap::Action::Quit) {
        g_stop = true;
    } else if (a.kind == KeyMap::Action::Packet) {
        s.display->SendNow(a.bytes);
        s.lastEvent = "sent " + ProtocolTrace::Hex(a.bytes);
    }
    s.redraw = true;
}

// The frame, the port and the last event over what the terminal showed.
void DrawScreen(Session& s)
{
    std::string screen = "\x1b[H";
    for (const auto& l : FrameLines(s))
        screen += l + "\x1b[K\r\n";
    screen += "\x1b[K\r\nport " + s.portName + " -> " + s.o.link + " (" + s.display->SlavePath() + ")\x1b[K\r\n";
    screen += s.lastEvent + "\x1b[K\r\n";
    if (s.keyboard)
        screen += "keys: 1-5 qwerty  +chord Enter  /cell Enter  s1-5 status  Ctrl-C quit   " + s.keys.Pending() +
                  "\x1b[K\r\n";
    screen += "\x1b[J";
    std::fputs(screen.c_str(), stdout);
    std::fflush(stdout);
}

// Until a signal, the script, a typed quit or --seconds ends it.
void RunSession(Session& s, KeyScript& script)
{
    auto start = std::chrono::steady_clock::now();
    if (s.live)
        std::fputs("\x1b[2J", stdout);
    while (!g_stop) {
        long nowMs = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        ReadDisplay(s);
        RecordFrame(s, nowMs);
        PlayScript(s, script, nowMs);
        if (s.o.seconds > 0 && nowMs >= static_cast<long>(s.o.seconds * 1000))
            g_stop = true;
        ReadKeyboard(s);
        if (s.live && s.redraw) {
            s.redraw = false;
            DrawScreen(s);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Bytes the host wrote just before it went away may still be on their
// way through the pty: wait until the line has been quiet for a while,
// then read the cells it left.
void WaitForQuietLine(Session& s)
{
    size_t seen = 0;
    int quiet = 0;
    for (int i = 0; i < 40 && quiet < 4; ++i) {
        size_t now = s.display->With([](const DisplaySimulator& d) { return d.Received().size(); });
        quiet = now == seen ? quiet + 1 : 0;
        seen = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    s.display->With([&](const DisplaySimulator& d) {
        s.packets = d.Count(HostStreamDecoder::Message::Cells);
        s.cells = d.Cells();
        return 0;
    });
}

// The pty goes, then the trace reports what was left half-done, then the link.
void EndSession(Session& s)
{
    s.Note("session ends");
    s.display->SetTap(nullptr);
    s.display.reset();
    s.trace.Finish();
    unlink(s.o.link.c_str());
}

void PrintSnapshot(const Session& s)
{
    if (s.live)
        std::fputs("\r\n", stdout);
    PrintLines(stdout, FrameLines(s));
}
} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fputs(Usage, stderr);
        return 2;
    }
    int modelCode = o.modelCode >= 0 ? o.modelCode : DisplaySimulator::ModelCode(o.textCells);
    BackTranslator translator(o.table);
    if (!translator.Usable()) {
        std::fprintf(stderr, "brl-virtual-display: liblouis cannot load table %s\n", o.table.c_str());
        return 1;
    }
    if (!o.render.empty())
        return RenderCells(o.render, modelCode, translator);

    KeyScript script;
    if (int status = LoadScript(o, script))
        return status;
    OutputFiles files;
    if (!OpenOutputs(o, files))
        return 1;
    if (o.link.empty())
        o.link = "/tmp/brl-virtual-display-" + std::to_string(getpid());
    CatchStopSignals();

    Session s(o, modelCode, translator, files);
    if (!OpenDisplay(s) || !RegisterPort(s))
        return 1;
    WriteReady(s);

    RawTerminal terminal;
    s.keyboard = TakeKeyboard(o.interactive, terminal);
    s.live = o.live && isatty(1);
    s.lastEvent = "waiting for the host on " + s.portName;
    RunSession(s, script);
    WaitForQuietLine(s);
    EndSession(s);
    if (o.snapshot)
        PrintSnapshot(s);
    CloseOutputs(files);
    return 0;
}
