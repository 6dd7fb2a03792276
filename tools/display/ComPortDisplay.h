#ifndef BRLDISPLAY_COM_PORT_DISPLAY_H
#define BRLDISPLAY_COM_PORT_DISPLAY_H

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "DisplaySimulator.h"
#include "LinkStatus.h"

// A DisplaySimulator on a Windows COM port: the far end of a null-modem
// pair (com0com, or two Wine ports joined by a socat pty pair) or of a
// cable. One thread does everything: Poll takes what the host has sent,
// and the simulator's answers and Send go out at once.
//
// The display holds RTS (and DTR) up while it is on. Switched off, it drops
// RTS, which the host sees as CTS off over a pair that carries the modem
// lines, shows nothing and answers nothing; switched on again it starts
// afresh, as a display does.
class ComPortDisplay {
public:
    using Bytes = DisplaySimulator::Bytes;
    enum Direction { HostToDisplay, DisplayToHost };
    using Tap = std::function<void(Direction, const Bytes&)>;

    explicit ComPortDisplay(const DisplaySimulator::Config& settings);
    ~ComPortDisplay();
    ComPortDisplay(const ComPortDisplay&) = delete;
    ComPortDisplay& operator=(const ComPortDisplay&) = delete;

    // devicePath: \\.\COM6 or any device path. false, with the reason in
    // error, when the port does not open or refuses the line settings.
    bool Open(const std::string& devicePath, std::string& error);
    // Reads what has come from the host and hands it to the simulator;
    // true when anything came.
    bool Poll();
    // A key or routing packet; nothing while the display is off.
    void Send(const Bytes& bytes);
    void SetPower(bool powerOn);
    bool On() const { return on; }

    // Sees every chunk both ways in the order of the wire, including what
    // the host sends while the display is off.
    void SetTap(Tap f) { tap = std::move(f); }

    const DisplaySimulator& Simulator() const { return *simulator; }
    LinkStatus::Facts Facts() const;

private:
    void Write(const Bytes& bytes);
    void Restart();
    // Takes in the messages that came since the last look, so that the
    // status line, asked at every tick, never walks the whole session.
    void NoteMessages();

    DisplaySimulator::Config config;
    std::unique_ptr<DisplaySimulator> simulator;
    HANDLE port = INVALID_HANDLE_VALUE;
    bool on = true;
    Tap tap;
    int packetsInBefore = 0; // of the simulators before a power cycle
    size_t messagesNoted = 0;
    int lastQuery = -1, lastCells = -1;
    int packetsOut = 0;
};

#endif
