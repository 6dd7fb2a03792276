// What every display of this family has, and how much the driver holds:
// one definition for the driver and for the programs that drive it through
// its exports (brlcheck), so that neither keeps numbers of its own.
#ifndef BRLWIN32_DISPLAY_LIMITS_H
#define BRLWIN32_DISPLAY_LIMITS_H

enum DisplayLimits {
    // Every model has 5 status cells, before its text cells.
    DisplayStatusCells = 5,
    // The largest model has 80 text cells.
    DisplayMaxTextCells = 80,
    // The driver's cell buffers, status cells first: room for any model.
    DriverCellBufferSize = 128
};

#endif
