// The register transport of a processor that has no port instructions
// (ARM64). Every Windows for such a processor is of the NT family, which
// reaches the parallel port through the kernel device; should one answer
// as the 95/98 family all the same, an LPT name opens nothing rather than
// a transport that cannot work.
#include "DirectParallelPort.h"

#include <stddef.h>

Port* NewDirectParallelPort() { return NULL; }
