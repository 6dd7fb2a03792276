#include "FifoDisplay.h"

FifoDisplay::FifoDisplay(const DisplaySimulator::Config& config, int fromDll, int toDll) : StreamDisplay(config)
{
    Start(fromDll, toDll);
}

FifoDisplay::~FifoDisplay() { Stop(); }

FifoDisplay::Bytes FifoDisplay::Received() const
{
    return With([](const DisplaySimulator& s) { return s.Received(); });
}

bool FifoDisplay::WaitReceived(size_t count, int timeoutMs) const
{
    return WaitFor([count](const DisplaySimulator& s) { return s.Received().size() >= count; }, timeoutMs);
}
