#include "StreamDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

StreamDisplay::StreamDisplay(const DisplaySimulator::Config& config)
    : simulator(config, [this](const Bytes& b) { WriteAll(b); })
{
}

StreamDisplay::~StreamDisplay() { Stop(); }

void StreamDisplay::Start(int fromHost, int toHost)
{
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    {
        std::lock_guard<std::mutex> lock(mutex);
        input = fromHost;
        output = toHost;
    }
    wakeRead = p[0];
    wakeWrite = p[1];
    pump = std::thread([this] { Pump(); });
}

void StreamDisplay::Stop()
{
    if (wakeWrite >= 0) {
        char c = 'q';
        (void)!write(wakeWrite, &c, 1);
    }
    if (pump.joinable())
        pump.join();
    for (int* fd : { &wakeRead, &wakeWrite }) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    std::lock_guard<std::mutex> lock(mutex);
    input = output = -1;
}

void StreamDisplay::Pump()
{
    uint8_t buffer[512];
    for (;;) {
        pollfd fds[2] = { { input, POLLIN, 0 }, { wakeRead, POLLIN, 0 } };
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (fds[0].revents & POLLIN) {
            ssize_t n = read(input, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            Bytes got(buffer, buffer + n);
            std::function<void(const Bytes&)> hook;
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (tap)
                    tap(HostToDisplay, got);
                simulator.FromHost(buffer, static_cast<size_t>(n));
                hook = onReceive;
            }
            if (hook)
                hook(got);
            changed.notify_all();
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            // A pty whose slave side nobody holds; wait for the next opener.
            poll(fds + 1, 1, 5);
        }
    }
}

// Called with the lock held, from SendNow and from the simulator's answers.
void StreamDisplay::WriteAll(const Bytes& bytes)
{
    if (output < 0)
        return;
    if (tap)
        tap(DisplayToHost, bytes);
    int gapUs = simulator.Settings().byteGapUs;
    size_t done = 0;
    while (done < bytes.size()) {
        if (gapUs > 0 && done > 0)
            usleep(static_cast<useconds_t>(gapUs));
        size_t chunk = gapUs > 0 ? 1 : bytes.size() - done;
        ssize_t n = write(output, bytes.data() + done, chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) { // a full non-blocking pipe
                usleep(200);
                continue;
            }
            return;
        }
        done += static_cast<size_t>(n);
    }
}

void StreamDisplay::SendNow(const Bytes& bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    WriteAll(bytes);
}

bool StreamDisplay::WaitFor(const std::function<bool(const DisplaySimulator&)>& pred, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return pred(simulator); });
}

void StreamDisplay::SetOnReceive(std::function<void(const Bytes&)> f)
{
    std::lock_guard<std::mutex> lock(mutex);
    onReceive = std::move(f);
}

void StreamDisplay::SetTap(Tap f)
{
    std::lock_guard<std::mutex> lock(mutex);
    tap = std::move(f);
}
