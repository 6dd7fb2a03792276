#include "WindowPlacement.h"

#include <cstdlib>

namespace {
const char Section[] = "window";
}

WindowPlacement::WindowPlacement()
{
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    path.assign(exe, n);
    size_t slash = path.find_last_of("\\/");
    path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "brl-virtual-display.ini";
}

bool WindowPlacement::Load(RECT& out) const
{
    const char* keys[4] = { "left", "top", "right", "bottom" };
    LONG* values[4] = { &out.left, &out.top, &out.right, &out.bottom };
    for (int i = 0; i < 4; ++i) {
        // As text: a place left of the first screen is negative, which
        // GetPrivateProfileInt reads as 0.
        char text[16];
        if (GetPrivateProfileStringA(Section, keys[i], "", text, sizeof text, path.c_str()) == 0)
            return false;
        *values[i] = std::strtol(text, nullptr, 10);
    }
    // A screen that has gone since would hide the window.
    return out.right > out.left && out.bottom > out.top && MonitorFromRect(&out, MONITOR_DEFAULTTONULL) != nullptr;
}

void WindowPlacement::Save(HWND window) const
{
    WINDOWPLACEMENT place;
    place.length = sizeof place;
    if (!GetWindowPlacement(window, &place))
        return;
    const RECT& r = place.rcNormalPosition;
    const char* keys[4] = { "left", "top", "right", "bottom" };
    const LONG values[4] = { r.left, r.top, r.right, r.bottom };
    for (int i = 0; i < 4; ++i)
        WritePrivateProfileStringA(Section, keys[i], std::to_string(values[i]).c_str(), path.c_str());
}
