#ifndef BRLDISPLAY_LINK_STATUS_H
#define BRLDISPLAY_LINK_STATUS_H

#include <string>

// What a display's status line says about its link: the port, the model,
// where the link is, and the packets each way. A host developer watches it
// to see how far the driver got.
class LinkStatus {
public:
    enum State { Waiting, Identified, CellsShown, Blank, Off };

    struct Facts {
        bool on = true;
        // Message numbers, in the order they came, of the host's last query
        // and last cell packet; -1 for none.
        int lastQuery = -1;
        int lastCells = -1;
        bool cellsBlank = true;
        int packetsIn = 0, packetsOut = 0;
    };

    static State StateOf(const Facts& facts);
    static const char* Name(State state);
    // "COM6 | 40 text cells, model code 01 | cells shown | 12 packets in, 3 out"
    static std::string Line(const std::string& port, int textCells, int modelCode, const Facts& f);
};

#endif
