#include "PortIo.h"

// "in al, dx" (EC) and "out dx, al" (EE). The immediate forms cannot reach
// the registers above 0xFF, and keeping to these two opcodes keeps an
// emulating exception handler down to two cases.
unsigned char PortIn(unsigned short port)
{
    unsigned char value = 0;
    __asm__ __volatile__("inb %%dx, %%al" : "=a"(value) : "d"(port));
    return value;
}

void PortOut(unsigned short port, unsigned char value)
{
    __asm__ __volatile__("outb %%al, %%dx" : : "a"(value), "d"(port));
}
