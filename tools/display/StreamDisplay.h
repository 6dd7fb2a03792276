#ifndef BRLDISPLAY_STREAM_DISPLAY_H
#define BRLDISPLAY_STREAM_DISPLAY_H

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "DisplaySimulator.h"

// A DisplaySimulator on a byte stream: a thread feeds it what the host
// writes to one descriptor, and what it sends goes out on another (the
// same one for a pty's master side). The transports decide where the
// descriptors come from and call Start and Stop around them.
class StreamDisplay {
public:
    using Bytes = DisplaySimulator::Bytes;
    using Clock = std::chrono::steady_clock;

    explicit StreamDisplay(const DisplaySimulator::Config& config);
    virtual ~StreamDisplay();

    StreamDisplay(const StreamDisplay&) = delete;
    StreamDisplay& operator=(const StreamDisplay&) = delete;

    // Writes to the host without waiting; nothing while stopped.
    void SendNow(const Bytes& bytes);

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

    // Every time a byte from the host arrived, for latency figures.
    void SetOnReceive(std::function<void(const Bytes&)> f);

    // Sees every chunk in both directions, in the order of the wire: host
    // bytes before the simulator's answer to them. Runs under the
    // simulator's lock, so it must not call With() or WaitFor().
    enum Direction { HostToDisplay, DisplayToHost };
    using Tap = std::function<void(Direction, const Bytes&)>;
    void SetTap(Tap f);

protected:
    // Starts the thread on fromHost; the display's bytes go to toHost. The
    // descriptors stay the caller's, to close after Stop.
    void Start(int fromHost, int toHost);
    // Ends the thread; from now on nothing is read or written.
    void Stop();

private:
    void Pump();
    void WriteAll(const Bytes& bytes);

    DisplaySimulator simulator;
    int input = -1;
    int output = -1;
    int wakeRead = -1, wakeWrite = -1;
    std::thread pump;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::function<void(const Bytes&)> onReceive;
    Tap tap;
};

#endif
