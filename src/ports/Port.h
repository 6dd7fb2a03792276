#ifndef BRLWIN32_PORT_H
#define BRLWIN32_PORT_H

// A byte transport to the display. The driver holds exactly one at a time,
// talks to it only through these operations and destroys it through the
// virtual destructor; a transport is opened once and never reopened.
class Port {
public:
    virtual ~Port();

    // 1 when the transport is ready, else 0 (the owner then destroys it).
    virtual int Open(const char* portName) = 0;
    virtual int WriteByte(unsigned char byte) = 0;
    // 1 only when all length bytes went out.
    virtual int Write(const unsigned char* bytes, int length) = 0;
    // Stores up to length bytes at the start of buffer; returns how many.
    virtual int Read(unsigned char* buffer, int length, unsigned int timeoutMs) = 0;
    virtual void Flush();
    // 1 once the device has gone away (unplugged, switched off with its
    // adapter), as opposed to a line that is merely slow or noisy; the
    // owner then destroys the transport. A transport that cannot tell
    // reports 0 for ever.
    virtual int Lost();
    // Asked once by each BrlTimer: 1 when a display that was away (a packet
    // met its line held off and did not go out) should be shown the cells
    // now. The Write that follows goes on what this look found. A transport
    // whose display is never away reports 0.
    virtual int Back();
};

#endif
