#ifndef BRLWIN32_ESC_PROTOCOL_DRIVER_H
#define BRLWIN32_ESC_PROTOCOL_DRIVER_H

#include "../driver/BrailleDriver.h"

// The ESC-framed protocol of this display family.
//
// To the display:
//   1B 3F            ESC '?'   model query
//   1B 49 00         ESC 'I' 0 sent after every query that went out
//   1B 42 c1 c2 ...  ESC 'B'   cell packet: status cells, then text cells,
//                              each bit-permuted, every 0x1B doubled; no
//                              length, terminator or checksum
// From the display:
//   3F m             '?' m     model answer, anywhere in the first 15 bytes
//   1B 4B k1 k2      ESC 'K'   key packet: first and second key byte
//   1B 43 r          ESC 'C'   routing packet
//   1B 1B ...                  extra ESCs before a command byte are ignored
class EscProtocolDriver : public BrailleDriver {
public:
    enum ParserState {
        StateIdle = 0,      // between packets, waiting for ESC
        StateEscape = 1,    // ESC seen, waiting for the command byte
        StateKeySecond = 2, // waiting for the second key byte
        StateKeyFirst = 3,  // waiting for the first key byte
        StateRouting = 4    // waiting for the routing byte
    };

    EscProtocolDriver();
    ~EscProtocolDriver() override;

    int Open(const char* name) override;
    int Identify(int timeoutMs) override;
    int WriteCells() override;
    void ProcessInputByte(int value) override;

    void HandleFirstKeyByte(unsigned char byte);
    void HandleSecondKeyByte(unsigned char byte);
    void HandleRoutingByte(unsigned char byte);
    bool HasPendingKeys() const;
    void ReportKeys();

    // Bit i of a host cell goes to bit CellBitTarget[i] of the byte sent.
    static unsigned char EncodeCell(unsigned char cell);

    int parserState;

private:
    // The transport a port name calls for, not yet opened; NULL when none
    // can be had.
    static Port* CreatePort(const char* name);
    void LatchKey(int keyIndex);
};

#endif
