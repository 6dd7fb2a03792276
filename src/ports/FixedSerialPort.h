#ifndef BRLWIN32_FIXED_SERIAL_PORT_H
#define BRLWIN32_FIXED_SERIAL_PORT_H

#include "SerialPort.h"

// The display's own line: 38400 baud, 8N1, output paced by CTS, RTS on.
// Anything after the device name in the port string is ignored.
class FixedSerialPort : public SerialPort {
public:
    int Open(const char* portName) override;
};

#endif
