#ifndef BRLWIN32_BRAILLE_DRIVER_H
#define BRLWIN32_BRAILLE_DRIVER_H

#include "brlwin32.h"

#include "../protocol/DisplayLimits.h"

class Port;

// The device-independent half of the driver: cell buffers with change
// detection, blanking, sleep and wake, and the input poll. A protocol class
// derives from it and supplies identification, cell output and parsing.
class BrailleDriver {
public:
    enum {
        CellBufferSize = DriverCellBufferSize,
        PortNameSize = 80,
        KeyTableSize = 256,
        PollReadSize = 80,
        IdentifyTimeoutMs = 2000,
        // A lost display is sought at most once a second, so that a host
        // calling BrlTimer every 10 ms does not open an absent port 100
        // times a second.
        ReopenIntervalMs = 1000
    };

    BrailleDriver();
    virtual ~BrailleDriver();

    virtual int Open(const char* name);
    virtual int Identify(int timeoutMs) = 0;
    virtual int Display(const unsigned char* src, int count);
    virtual int DisplayStatus(const unsigned char* src, int count);
    virtual int Clear();
    virtual int WriteCells() = 0;
    virtual int WriteStatusCells();
    virtual int Sleep(int flag);
    virtual void Poll();
    virtual void ProcessInputByte(int byte) = 0;

    // The sequences behind BrlInit, BrlTerminate and BrlRefresh.
    int Init(const char* name, KeyCallback callback);
    void Terminate();
    int Refresh();

    // "auto" in any case, with nothing after it.
    static bool IsAutoName(const char* name);

    Port* port;
    unsigned char cells[CellBufferSize];
    unsigned char sentCells[CellBufferSize];
    char portName[PortNameSize];
    int textCells;
    int statusCells;
    KeyCallback keyCallback;
    int sleeping;
    unsigned char keyStateNow[KeyTableSize];
    unsigned char keyStateLatched[KeyTableSize];
    int eventSent;
    // 1 from a successful BrlInit until BrlTerminate or the next BrlInit
    // that is not refused for an open port: while it is set a port that
    // reports its device lost is released, and BrlTimer opens portName
    // again.
    int recovery;
    // Tick count at which the port was lost or the last attempt to reopen
    // it failed.
    unsigned int lostTick;

protected:
    // Holds a new transport and opens it; one that fails to open, or could
    // not be created, is destroyed and leaves no port.
    int AdoptPort(Port* created, const char* name);
    void ClosePort();

private:
    // Tries COM1 to COM256, Bluetooth links last, and keeps the first
    // whose display answers; its name replaces "auto" in portName.
    int FindDisplay();
    // Opens portName again and shows the cells; on failure the next
    // attempt waits another interval.
    void Reopen();
    // After a write or read: lets go of a port whose device has gone, and
    // passes on the result of the call that found it out.
    int ReleaseIfLost(int result);

    BrailleDriver(const BrailleDriver&);
    BrailleDriver& operator=(const BrailleDriver&);
};

extern BrailleDriver* g_activeDriver;

#endif
