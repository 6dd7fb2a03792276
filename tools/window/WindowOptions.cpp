#include "WindowOptions.h"

#include "DevicePath.h"

#include <cstdlib>
#include <sstream>

#include "DisplaySimulator.h"

const char WindowOptions::Usage[] =
    "usage: brl-virtual-display PORT [--cells 20|40|80] [--trace FILE] [--script FILE] [--size WxH]\n"
    "       brl-virtual-display --render \"HEX ...\" --bitmap FILE [--width N]\n"
    "  PORT             COM6, COM12 or a device path such as \\\\.\\CNCB0\n"
    "  --cells          text cells (default 40); there are always 5 status cells\n"
    "  --trace FILE     protocol trace\n"
    "  --script FILE    key script, as the Linux virtual display reads it\n"
    "  --size WxH       this client size, and the remembered place left alone\n"
    "  --render HEX     draw these cells (5 status, then text) into --bitmap FILE (BMP) and exit\n";

namespace {
bool Number(const std::string& text, int low, int high, int& out)
{
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || v < low || v > high)
        return false;
    out = static_cast<int>(v);
    return true;
}

bool HexCells(const std::string& text, std::vector<uint8_t>& out)
{
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        char* end = nullptr;
        unsigned long v = std::strtoul(word.c_str(), &end, 16);
        if (*end || word.size() > 2)
            return false;
        out.push_back(static_cast<uint8_t>(v));
    }
    return out.size() > DisplaySimulator::StatusCells;
}
} // namespace

bool WindowOptions::Parse(const std::vector<std::string>& args, std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        std::string v = hasValue ? args[i + 1] : "";
        if (a.rfind("--", 0) != 0) {
            if (!port.empty()) {
                error = "one port only: " + port + " and " + a;
                return false;
            }
            port = a;
            continue;
        }
        if (!hasValue) {
            error = a + " wants a value";
            return false;
        }
        ++i;
        if (a == "--cells") {
            if (!Number(v, 20, 80, textCells) || DisplaySimulator::ModelCode(textCells) < 0) {
                error = "--cells is 20, 40 or 80, not " + v;
                return false;
            }
        } else if (a == "--trace") {
            trace = v;
        } else if (a == "--script") {
            script = v;
        } else if (a == "--size") {
            size_t x = v.find('x');
            if (x == std::string::npos || !Number(v.substr(0, x), 200, 10000, width) ||
                !Number(v.substr(x + 1), 100, 10000, height)) {
                error = "--size is WIDTHxHEIGHT in pixels, not " + v;
                return false;
            }
        } else if (a == "--width") {
            if (!Number(v, 200, 10000, width)) {
                error = "--width is a number of pixels, not " + v;
                return false;
            }
        } else if (a == "--render") {
            if (!HexCells(v, render)) {
                error = "--render wants more than 5 hex cell bytes, not " + v;
                return false;
            }
            textCells = static_cast<int>(render.size()) - DisplaySimulator::StatusCells;
        } else if (a == "--bitmap") {
            bitmap = v;
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    if (!render.empty() ? bitmap.empty() : port.empty()) {
        error = render.empty() ? "no port named" : "--render wants --bitmap FILE";
        return false;
    }
    return true;
}

std::string WindowOptions::DevicePath(const std::string& port)
{
    // By the driver's own rule, so that the window opens a port as a host
    // would: its settings cut off, COM10 and up through the device
    // namespace, a device path as it is.
    std::string name = port.substr(0, port.find(':'));
    char path[300];
    return ComDevicePath(name.c_str(), path, static_cast<int>(sizeof path));
}
