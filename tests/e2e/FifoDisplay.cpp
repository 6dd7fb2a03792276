#include "FifoDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

FifoDisplay::FifoDisplay(const DisplaySimulator::Config& config, int in, int out)
    : simulator(config, [this](const Bytes& b) { WriteAll(b); }), fromDll(in), toDll(out)
{
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    wakeRead = p[0];
    wakeWrite = p[1];
    pump = std::thread([this] { Pump(); });
}

FifoDisplay::~FifoDisplay()
{
    char c = 'q';
    (void)!write(wakeWrite, &c, 1);
    pump.join();
    close(wakeRead);
    close(wakeWrite);
}

void FifoDisplay::Pump()
{
    uint8_t buffer[512];
    for (;;) {
        pollfd fds[2] = { { fromDll, POLLIN, 0 }, { wakeRead, POLLIN, 0 } };
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        ssize_t n = read(fromDll, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        {
            std::lock_guard<std::mutex> lock(mutex);
            simulator.FromHost(buffer, static_cast<size_t>(n));
        }
        changed.notify_all();
    }
}

// Called with the lock held, from Send and from the simulator's answers.
void FifoDisplay::WriteAll(const Bytes& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(toDll, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                usleep(200);
                continue;
            }
            return;
        }
        done += static_cast<size_t>(n);
    }
}

void FifoDisplay::Send(const Bytes& bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    WriteAll(bytes);
}

FifoDisplay::Bytes FifoDisplay::Received() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return simulator.Received();
}

bool FifoDisplay::WaitReceived(size_t count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return simulator.Received().size() >= count; });
}
