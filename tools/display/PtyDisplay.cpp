#include "PtyDisplay.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

PtyDisplay::PtyDisplay(const DisplaySimulator::Config& config, const std::string& link)
    : StreamDisplay(config), linkPath(link)
{
    OpenPty();
}

PtyDisplay::~PtyDisplay()
{
    ClosePty();
    RemoveLink();
}

// A link left to a pty that is gone would name whatever pty the kernel
// hands out next with that number, another program's included. Only a link
// that is still this display's is removed: a new display may have taken it.
void PtyDisplay::RemoveLink()
{
    char target[256];
    ssize_t n = linkPath.empty() ? -1 : readlink(linkPath.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return;
    target[n] = '\0';
    if (slavePath == target)
        unlink(linkPath.c_str());
}

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
    Start(master, master);
}

void PtyDisplay::ClosePty()
{
    Stop();
    for (int* fd : { &master, &slave }) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

void PtyDisplay::Unplug()
{
    ClosePty();
    // The device node of an unplugged adapter goes away with it: opening
    // the port fails until the display is plugged in again.
    RemoveLink();
}

void PtyDisplay::Plug()
{
    if (master < 0)
        OpenPty();
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

bool PtyDisplay::LineSettings(termios& out) const { return slave >= 0 && tcgetattr(slave, &out) == 0; }
