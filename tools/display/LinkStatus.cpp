#include "LinkStatus.h"

#include <cstdio>

LinkStatus::State LinkStatus::StateOf(const Facts& f)
{
    if (!f.on)
        return Off;
    if (f.lastQuery < 0 && f.lastCells < 0)
        return Waiting;
    // A query after the last cells: the host has started again and not yet
    // shown anything.
    if (f.lastCells < f.lastQuery)
        return Identified;
    return f.cellsBlank ? Blank : CellsShown;
}

const char* LinkStatus::Name(State state)
{
    switch (state) {
    case Waiting: return "waiting for the host";
    case Identified: return "identified";
    case CellsShown: return "cells shown";
    case Blank: return "blank";
    case Off: return "off";
    }
    return "";
}

std::string LinkStatus::Line(const std::string& port, int textCells, int modelCode, const Facts& f)
{
    char text[160];
    (void)std::snprintf(text, sizeof text, "%s | %d text cells, model code %02X | %s | %d packets in, %d out", port.c_str(),
                  textCells, modelCode & 0xFF, Name(StateOf(f)), f.packetsIn, f.packetsOut);
    return text;
}
