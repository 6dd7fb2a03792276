#ifndef BRLWIN32_BRAILLE_DRIVER_H
#define BRLWIN32_BRAILLE_DRIVER_H

#include "brlwin32.h"

class Port;

// The device-independent half of the driver: cell buffers with change
// detection, blanking, sleep and wake, and the input poll. A protocol class
// derives from it and supplies identification, cell output and parsing.
class BrailleDriver {
public:
    enum {
        CellBufferSize = 128,
        PortNameSize = 80,
        KeyTableSize = 256,
        PollReadSize = 80,
        IdentifyTimeoutMs = 2000
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

    // The sequences behind BrlInit and BrlTerminate.
    int Init(const char* name, KeyCallback callback);
    void Terminate();

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

protected:
    // Holds a new transport and opens it; one that fails to open, or could
    // not be created, is destroyed and leaves no port.
    int AdoptPort(Port* created, const char* name);
    void ClosePort();

private:
    BrailleDriver(const BrailleDriver&);
    BrailleDriver& operator=(const BrailleDriver&);
};

extern BrailleDriver* g_activeDriver;

#endif
