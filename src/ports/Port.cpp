#include "Port.h"

Port::~Port() {}

// No transport of this family buffers output, so there is nothing to flush.
void Port::Flush() {}

int Port::Lost() { return 0; }

int Port::Back() { return 0; }
