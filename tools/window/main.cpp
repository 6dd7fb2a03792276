// brl-virtual-display.exe: a braille display of the ESC family in a window,
// on a Windows COM port: the far end of a null-modem pair whose other end a
// host opens with the driver. See docs/virtual-display.md.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "ComPortDisplay.h"
#include "DisplayWindow.h"
#include "FrameBitmap.h"
#include "KeyScript.h"
#include "ProtocolTrace.h"
#include "WindowOptions.h"

namespace {
// A program of the window subsystem has no console to print to when it is
// started from Explorer; a message box tells the user there, and standard
// error the script that started it.
void Complain(const std::string& text)
{
    (void)std::fprintf(stderr, "brl-virtual-display: %s\n", text.c_str());
    (void)std::fflush(stderr);
    if (GetStdHandle(STD_ERROR_HANDLE) == nullptr)
        MessageBoxA(nullptr, text.c_str(), "brl-virtual-display", MB_OK | MB_ICONERROR);
}

bool LoadScript(const WindowOptions& o, KeyScript& script, std::string& error)
{
    if (o.script.empty())
        return true;
    std::ifstream in(o.script);
    if (!in) {
        error = "cannot read key script " + o.script;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    if (!script.Parse(text.str(), o.textCells, error)) {
        error = o.script + ": " + error;
        return false;
    }
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    WindowOptions o;
    std::string error;
    if (!o.Parse(std::vector<std::string>(argv + 1, argv + argc), error)) {
        Complain(error + "\n" + WindowOptions::Usage);
        return 1;
    }
    if (!o.render.empty()) {
        if (!FrameBitmap::Write(o.bitmap, o.render, o.width ? o.width : 1000, error)) {
            Complain(error);
            return 1;
        }
        return 0;
    }
    KeyScript script;
    if (!LoadScript(o, script, error)) {
        Complain(error);
        return 1;
    }
    std::FILE* traceFile = nullptr;
    if (!o.trace.empty() && !(traceFile = std::fopen(o.trace.c_str(), "w"))) {
        Complain("cannot write trace " + o.trace);
        return 1;
    }

    DisplaySimulator::Config config;
    config.textCells = o.textCells;
    ComPortDisplay display(config);
    ProtocolTrace trace(traceFile, DisplaySimulator::StatusCells, o.textCells);
    display.SetTap([&trace](ComPortDisplay::Direction d, const ComPortDisplay::Bytes& bytes) {
        if (d == ComPortDisplay::HostToDisplay)
            trace.HostBytes(bytes);
        else
            trace.DisplayBytes(bytes);
    });
    std::string device = WindowOptions::DevicePath(o.port);
    std::string problem;
    if (!display.Open(device, problem))
        (void)std::fprintf(stderr, "brl-virtual-display: %s\n", problem.c_str());

    // The window still comes up when the port does not open, and says why
    // in its status line.
    DisplayWindow window(o, display, trace, script);
    if (!window.Create(GetModuleHandleA(nullptr), problem)) {
        Complain("cannot create the window (error " + std::to_string(GetLastError()) + ")");
        return 1;
    }
    // Only now does the display read its port: the first start of a
    // program in a new Wine prefix can take seconds before its window is
    // up, and whoever starts the host waits for this line.
    if (problem.empty())
        trace.Note("display: " + std::to_string(o.textCells) + " text cells, model code " +
                   ProtocolTrace::Hex({ static_cast<uint8_t>(DisplaySimulator::ModelCode(o.textCells)) }) + ", port " +
                   o.port + " (" + device + ")");
    else
        trace.Note(problem);
    int status = window.Run();
    trace.Note("session ends");
    trace.Finish();
    if (traceFile)
        (void)std::fclose(traceFile);
    return status;
}
