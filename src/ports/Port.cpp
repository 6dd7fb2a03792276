#include "Port.h"

#include <windows.h>

Port::~Port() {}

// No transport of this family buffers output, so there is nothing to flush.
void Port::Flush() {}

int Port::Lost() { return 0; }

int Port::Back() { return 0; }

void Port::DevicePath(char* path, int size, const char* name)
{
    lstrcpynA(path, "\\\\.\\", size);
    if (size > DevicePrefixLength)
        lstrcpynA(path + DevicePrefixLength, name, size - DevicePrefixLength);
}
