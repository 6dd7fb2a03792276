// A DisplaySimulator behind the stand-in kernel device: what the DLL writes
// to \\.\QZPARn comes out of one FIFO, and what the display sends goes into
// the other, for the device's next reads to return.
#ifndef BRLWIN32_E2E_FIFO_DISPLAY_H
#define BRLWIN32_E2E_FIFO_DISPLAY_H

#include "StreamDisplay.h"

class FifoDisplay : public StreamDisplay {
public:
    // Both descriptors stay the caller's; they may be non-blocking.
    FifoDisplay(const DisplaySimulator::Config& config, int fromDll, int toDll);
    ~FifoDisplay() override;

    Bytes Received() const;
    // Waits until the display has taken at least count bytes.
    bool WaitReceived(size_t count, int timeoutMs) const;
};

#endif
