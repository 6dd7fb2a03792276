#ifndef BRLWINDOW_DISPLAY_WINDOW_H
#define BRLWINDOW_DISPLAY_WINDOW_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "CellLayout.h"
#include "ComPortDisplay.h"
#include "KeyMap.h"
#include "KeyScript.h"
#include "ProtocolTrace.h"
#include "WindowOptions.h"
#include "WindowPlacement.h"

// The display in a window: the cells and their print, a routing key above
// each cell, the display's keys, a power switch and a status line, over a
// ComPortDisplay. Every key is a standard button, reachable with Tab; the
// print of the text cells is in a read-only edit control, for a screen
// reader; the keyboard letters of the Linux virtual display press the same
// keys.
class DisplayWindow {
public:
    static const char ClassName[];
    // Control identifiers: a helper or a test finds the controls by them.
    enum {
        FirstRoutingId = 1000, // + cell: 0 to 4 the status cells, then text
        FirstKeyId = 1200,     // + key index 0 to 10: keys 1 to 5, 31 to 36
        PowerId = 1300,
        PrintLabelId = 1399,
        PrintLineId = 1400,
        StatusLineId = 1401,
    };

    DisplayWindow(const WindowOptions& windowOptions, ComPortDisplay& comDisplay, ProtocolTrace& protocolTrace,
                  KeyScript& keyScript);

    // Shows the window; false when it cannot be made.
    bool Create(HINSTANCE instance, const std::string& portProblem);
    // Until the window is closed (or the key script quits); the exit code.
    int Run();

private:
    static LRESULT CALLBACK Procedure(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void Place();
    void Tick();
    void Show();
    void Command(int id);
    void SendKeys(const std::vector<uint8_t>& packet, const std::string& what);
    // A keyboard letter of the Linux tool's key map, when it is one; false
    // leaves the message to the dialog keys (Tab, Space, Enter).
    bool Shortcut(const MSG& m);
    void TogglePower();
    std::vector<uint8_t> CellsShown() const;
    HWND Control(int id) const { return GetDlgItem(window, id); }

    const WindowOptions& options;
    ComPortDisplay& display;
    ProtocolTrace& trace;
    KeyScript& script;
    KeyMap keys;
    WindowPlacement placement;
    std::string problem; // why the port is not open, shown in the status line
    HWND window = nullptr;
    HFONT uiFont = nullptr, lineFont = nullptr;
    DWORD started = 0;
    std::vector<uint8_t> shown;
    std::string shownStatus, shownPrint;
};

#endif
