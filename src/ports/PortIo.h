#ifndef BRLWIN32_PORT_IO_H
#define BRLWIN32_PORT_IO_H

// Byte access to the processor's I/O ports, for the register transport.
// The product executes the plain single-byte port instructions with the
// address in DX, nothing more, so that a host which may not execute them
// can trap and emulate each one; the native tests link a simulated
// register file under the same names.
unsigned char PortIn(unsigned short port);
void PortOut(unsigned short port, unsigned char value);

#endif
