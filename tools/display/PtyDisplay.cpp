#include "PtyDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

PtyDisplay::PtyDisplay(const DisplaySimulator::Config& config, const std::string& link)
    : simulator(config, [this](const Bytes& b) { WriteAll(b); }), linkPath(link)
{
    OpenPty();
}

PtyDisplay::~PtyDisplay() { ClosePty(); }

void PtyDisplay::OpenPty()
{
    // Close-on-exec everywhere: a host started from this process must not
    // hold the master, or unplugging would not hang the line up.
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        throw std::runtime_error("cannot create a pty");
    slavePath = ptsname(master);
    slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
        throw std::runtime_error("cannot open " + slavePath);
    termios t;
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    if (!linkPath.empty()) {
        unlink(linkPath.c_str());
        if (symlink(slavePath.c_str(), linkPath.c_str()) != 0)
            throw std::runtime_error("cannot link " + linkPath);
    }
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    wakeRead = p[0];
    wakeWrite = p[1];
    pump = std::thread([this] { Pump(); });
}

void PtyDisplay::ClosePty()
{
    if (wakeWrite >= 0) {
        char c = 'q';
        (void)!write(wakeWrite, &c, 1);
    }
    if (pump.joinable())
        pump.join();
    for (int* fd : { &master, &slave, &wakeRead, &wakeWrite }) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

void PtyDisplay::Unplug() { ClosePty(); }

void PtyDisplay::Plug()
{
    if (master < 0)
        OpenPty();
}

void PtyDisplay::Pump()
{
    uint8_t buffer[512];
    for (;;) {
        pollfd fds[2] = { { master, POLLIN, 0 }, { wakeRead, POLLIN, 0 } };
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        if (fds[0].revents & POLLIN) {
            ssize_t n = read(master, buffer, sizeof buffer);
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
            // The host side has no open file; wait for the next one.
            poll(fds + 1, 1, 5);
        }
    }
}

void PtyDisplay::WriteAll(const Bytes& bytes)
{
    if (tap && master >= 0)
        tap(DisplayToHost, bytes);
    // Called with the lock held (from SendNow and from the simulator's
    // answers), so the setting can be read here.
    int gapUs = simulator.Settings().byteGapUs;
    size_t done = 0;
    while (master >= 0 && done < bytes.size()) {
        if (gapUs > 0 && done > 0)
            usleep(static_cast<useconds_t>(gapUs));
        size_t chunk = gapUs > 0 ? 1 : bytes.size() - done;
        ssize_t n = write(master, bytes.data() + done, chunk);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return;
        }
        done += static_cast<size_t>(n);
    }
}

int PtyDisplay::Pending() const
{
    int n = 0;
    if (slave < 0 || ioctl(slave, TIOCINQ, &n) != 0)
        return -1;
    return n;
}

bool PtyDisplay::Send(const Bytes& bytes, int timeoutMs)
{
    int before = Pending();
    SendNow(bytes);
    // The pty moves bytes to the slave's queue in a kernel work item; wait
    // for them so that the host's next read is sure to see them. Only
    // meaningful while the host is not reading at the same time.
    int wanted = before + static_cast<int>(bytes.size());
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int now = Pending();
        if (now < 0)
            return false;
        if (now >= wanted)
            return true;
        if (Clock::now() >= deadline)
            return false;
        usleep(100);
    }
}

void PtyDisplay::SendNow(const Bytes& bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    WriteAll(bytes);
}

bool PtyDisplay::WaitUntilRead(int timeoutMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        if (Pending() == 0)
            return true;
        usleep(200);
    }
    return false;
}

bool PtyDisplay::WaitFor(const std::function<bool(const DisplaySimulator&)>& pred, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return pred(simulator); });
}

bool PtyDisplay::LineSettings(termios& out) const { return slave >= 0 && tcgetattr(slave, &out) == 0; }

void PtyDisplay::SetOnReceive(std::function<void(const Bytes&)> f)
{
    std::lock_guard<std::mutex> lock(mutex);
    onReceive = std::move(f);
}

void PtyDisplay::SetTap(Tap f)
{
    std::lock_guard<std::mutex> lock(mutex);
    tap = std::move(f);
}
