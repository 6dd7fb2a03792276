#include "CountingPort.h"

#include <string.h>

int CountingPort::WriteByte(unsigned char byte)
{
    ++bytesWritten;
    ++writes;
    lastByte = byte;
    return 1;
}

int CountingPort::Write(const unsigned char* bytes, int length)
{
    bytesWritten += length;
    ++writes;
    // Touch the packet, so that the compiler cannot drop its encoding.
    if (length > 0)
        lastByte = bytes[length - 1];
    return 1;
}

int CountingPort::Read(unsigned char* buffer, int length, unsigned int)
{
    int n = length < inputLength ? length : inputLength;
    if (n > 0)
        memcpy(buffer, input, static_cast<size_t>(n));
    return n;
}

void CountingPort::SetInput(const unsigned char* bytes, int length)
{
    input = bytes;
    inputLength = bytes ? length : 0;
}
