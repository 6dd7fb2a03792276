#include "DriverLoader.h"

#include <stdio.h>
#include <stdlib.h>

void load_driver(const char *path, DriverExports *exports)
{
    const char *missing;
    DWORD error = 0;
    if (LoadDriverExports(exports, path, &missing, &error))
        return;
    if (missing)
        printf("error: expected an export, got none: %s (error %lu)\n", missing, (unsigned long)error);
    else
        printf("error: cannot load %s (error %lu)\n", path, (unsigned long)error);
    fflush(stdout);
    exit(3);
}
