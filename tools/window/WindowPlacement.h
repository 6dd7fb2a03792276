#ifndef BRLWINDOW_WINDOW_PLACEMENT_H
#define BRLWINDOW_WINDOW_PLACEMENT_H

#include <windows.h>

#include <string>

// Where the window stood when it was last closed, in brl-virtual-display.ini
// beside the program: a tool may keep a file of its own, and one beside it
// goes with it when the folder is copied.
class WindowPlacement {
public:
    WindowPlacement();
    // The rectangle last saved, if there is one that still lies on a screen.
    bool Load(RECT& out) const;
    void Save(HWND window) const;

private:
    std::string path;
};

#endif
