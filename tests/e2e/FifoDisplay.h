// A DisplaySimulator behind the stand-in kernel device: what the DLL writes
// to \\.\QZPARn comes out of one FIFO, and what the display sends goes into
// the other, for the device's next reads to return.
#ifndef BRLWIN32_E2E_FIFO_DISPLAY_H
#define BRLWIN32_E2E_FIFO_DISPLAY_H

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "DisplaySimulator.h"

class FifoDisplay {
public:
    using Bytes = DisplaySimulator::Bytes;

    // Both descriptors stay the caller's; they may be non-blocking.
    FifoDisplay(const DisplaySimulator::Config& config, int fromDll, int toDll);
    ~FifoDisplay();

    FifoDisplay(const FifoDisplay&) = delete;
    FifoDisplay& operator=(const FifoDisplay&) = delete;

    void Send(const Bytes& bytes);
    Bytes Received() const;
    // Waits until the display has taken at least count bytes.
    bool WaitReceived(size_t count, int timeoutMs) const;

private:
    void Pump();
    void WriteAll(const Bytes& bytes);

    DisplaySimulator simulator;
    int fromDll;
    int toDll;
    int wakeRead = -1, wakeWrite = -1;
    std::thread pump;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
};

#endif
