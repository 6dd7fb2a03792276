/*
 * The hosts' one loader, with the way the Windows programs of the tests and
 * benchmarks report its failure.
 */
#ifndef E2EHOST_DRIVER_LOADER_H
#define E2EHOST_DRIVER_LOADER_H

#include "DriverExports.h"

/* LoadDriverExports; on failure prints "error: ..." to standard output,
 * where the Linux side reads it, and exits with 3. */
void load_driver(const char *path, DriverExports *exports);

#endif
