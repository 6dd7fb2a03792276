#ifndef BRLDISPLAY_PTY_DISPLAY_H
#define BRLDISPLAY_PTY_DISPLAY_H

#include <termios.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "DisplaySimulator.h"

// A DisplaySimulator on the master side of a Linux pty. The slave side is
// what the host opens (through Wine, as a COM port); a stable symlink to it
// lets Wine's port mapping stay the same while ptys come and go.
class PtyDisplay {
public:
    using Bytes = DisplaySimulator::Bytes;
    using Clock = std::chrono::steady_clock;

    // linkPath: the symlink to (re)point at the slave; may be empty.
    PtyDisplay(const DisplaySimulator::Config& config, const std::string& linkPath);
    ~PtyDisplay();

    const std::string& SlavePath() const { return slavePath; }

    // Writes bytes to the host and waits (bounded) until the kernel has them
    // queued on the slave side, so that the host's next read sees them.
    bool Send(const Bytes& bytes, int timeoutMs = 2000);
    // Writes without waiting.
    void SendNow(const Bytes& bytes);
    // Bytes sent but not yet read by the host.
    int Pending() const;
    bool WaitUntilRead(int timeoutMs);

    // The display goes away: the master side closes, the host's reads and
    // writes fail. Plug() brings a new pty under the same link.
    void Unplug();
    void Plug();

    // Runs f on the simulator under its lock.
    template <typename F> auto With(F f) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return f(static_cast<const DisplaySimulator&>(simulator));
    }
    template <typename F> auto Change(F f)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return f(simulator);
    }
    // Waits until pred(simulator) holds or the time runs out.
    bool WaitFor(const std::function<bool(const DisplaySimulator&)>& pred, int timeoutMs) const;

    bool LineSettings(termios& out) const;

    // Every time a byte from the host arrived, for latency figures.
    void SetOnReceive(std::function<void(const Bytes&)> f);

    // Sees every chunk in both directions, in the order of the wire: host
    // bytes before the simulator's answer to them. Runs under the
    // simulator's lock, so it must not call With() or WaitFor().
    enum Direction { HostToDisplay, DisplayToHost };
    using Tap = std::function<void(Direction, const Bytes&)>;
    void SetTap(Tap f);

private:
    void OpenPty();
    void ClosePty();
    void Pump();
    void WriteAll(const Bytes& bytes);

    DisplaySimulator simulator;
    std::string linkPath;
    std::string slavePath;
    int master = -1;
    int slave = -1; // held so the queue can be inspected and closes are clean
    int wakeRead = -1, wakeWrite = -1;
    std::thread pump;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::function<void(const Bytes&)> onReceive;
    Tap tap;
};

#endif
