#ifndef BRLWINDOW_WINDOW_OPTIONS_H
#define BRLWINDOW_WINDOW_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

// The window display's command line:
//
//   brl-virtual-display PORT [--cells 20|40|80] [--trace FILE] [--script FILE]
//                            [--size WIDTHxHEIGHT]
//   brl-virtual-display --render "HEX ..." --bitmap FILE [--width N]
//
// PORT is COM6, COM12 or a device path such as \\.\CNCB0.
struct WindowOptions {
    std::string port;
    int textCells = 40;
    std::string trace, script;
    // A fixed client size, which also leaves the remembered place alone;
    // 0: the remembered size and place.
    int width = 0, height = 0;
    // --render: the cells (5 status, then text) drawn into a bitmap file.
    std::vector<uint8_t> render;
    std::string bitmap;

    // false, with the reason in error, for a command line it cannot run.
    bool Parse(const std::vector<std::string>& args, std::string& error);
    // What CreateFile opens for PORT, by the driver's rule: anything after
    // a ':' dropped, as hosts write COM6:38400,n,8,1; COM1 to COM9 by their
    // names, \\.\COMnn above them, a device path as it is.
    static std::string DevicePath(const std::string& port);

    static const char Usage[];
};

#endif
