/* The path that CreateFileA is given for a port: one rule for the driver and
 * for the programs beside it that open a port as the driver does (brlcheck,
 * the demo host). In C and in the header, so that the C programs share it
 * and the driver's code stays as small as when it was the driver's own. */
#ifndef BRLWIN32_DEVICE_PATH_H
#define BRLWIN32_DEVICE_PATH_H

#include <windows.h>

enum { DevicePrefixLength = 4 };

/* "\\.\" followed by name, cut to size bytes and always terminated: the
 * device namespace, where Windows keeps the devices that have no plain DOS
 * name (COM10 and above, the parallel-port kernel device). */
static inline void DevicePath(char* path, int size, const char* name)
{
    lstrcpynA(path, "\\\\.\\", size);
    if (size > DevicePrefixLength)
        lstrcpynA(path + DevicePrefixLength, name, size - DevicePrefixLength);
}

/* The path a serial port is opened by. Windows knows only COM1 to COM9 by
 * their plain names: "COM10" would name a file in the current folder. "COM"
 * in any case followed by two or more digits and nothing else goes into
 * path through the device namespace, and path is returned; any other name
 * is returned as it is. */
static inline const char* ComDevicePath(const char* name, char* path, int size)
{
    int digits = 0;
    for (int i = 0; i < 3; ++i)
        if (name[i] == '\0' || (name[i] | 0x20) != "com"[i])
            return name;
    for (const char* c = name + 3; *c != '\0'; ++c, ++digits)
        if (*c < '0' || *c > '9')
            return name;
    if (digits < 2)
        return name;
    DevicePath(path, size, name);
    return path;
}

#endif
