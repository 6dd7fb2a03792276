#ifndef BRLDISPLAY_PTY_DISPLAY_H
#define BRLDISPLAY_PTY_DISPLAY_H

#include <termios.h>

#include <string>

#include "StreamDisplay.h"

// A DisplaySimulator on the master side of a Linux pty. The slave side is
// what the host opens (through Wine, as a COM port); a stable symlink to it
// lets Wine's port mapping stay the same while ptys come and go.
class PtyDisplay : public StreamDisplay {
public:
    // linkPath: the symlink to (re)point at the slave; may be empty.
    PtyDisplay(const DisplaySimulator::Config& config, const std::string& linkPath);
    ~PtyDisplay() override;

    const std::string& SlavePath() const { return slavePath; }

    // Writes bytes to the host and waits (bounded) until the kernel has them
    // queued on the slave side, so that the host's next read sees them.
    bool Send(const Bytes& bytes, int timeoutMs = 2000);
    // Bytes sent but not yet read by the host.
    int Pending() const;
    bool WaitUntilRead(int timeoutMs);

    // The display goes away: the master side closes, the host's reads and
    // writes fail, and the link is removed, so that opening the port fails.
    // Plug() brings a new pty under the same link.
    void Unplug();
    void Plug();

    bool LineSettings(termios& out) const;

private:
    void OpenPty();
    void ClosePty();
    void RemoveLink();

    std::string linkPath;
    std::string slavePath;
    int master = -1;
    int slave = -1; // held so the queue can be inspected and closes are clean
};

#endif
