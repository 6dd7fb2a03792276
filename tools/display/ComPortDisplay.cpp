#include "ComPortDisplay.h"

ComPortDisplay::ComPortDisplay(const DisplaySimulator::Config& settings) : config(settings) { Restart(); }

ComPortDisplay::~ComPortDisplay()
{
    if (port != INVALID_HANDLE_VALUE)
        CloseHandle(port);
}

void ComPortDisplay::Restart()
{
    if (simulator)
        packetsInBefore += static_cast<int>(simulator->Messages().size());
    simulator.reset(new DisplaySimulator(config, [this](const Bytes& b) { Write(b); }));
    messagesNoted = 0;
    lastQuery = lastCells = -1;
}

void ComPortDisplay::NoteMessages()
{
    const auto& messages = simulator->Messages();
    for (; messagesNoted < messages.size(); ++messagesNoted) {
        if (messages[messagesNoted].kind == HostStreamDecoder::Message::Query)
            lastQuery = static_cast<int>(messagesNoted);
        else if (messages[messagesNoted].kind == HostStreamDecoder::Message::Cells)
            lastCells = static_cast<int>(messagesNoted);
    }
}

bool ComPortDisplay::Open(const std::string& devicePath, std::string& error)
{
    port = CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        error = "cannot open " + devicePath + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    // The display's own line: 38400 baud, 8 data bits, no parity, one stop
    // bit, RTS and DTR up, and no flow control of its own.
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) {
        error = "cannot read the line settings of " + devicePath + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    dcb.BaudRate = CBR_38400;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    if (!SetCommState(port, &dcb)) {
        error = "cannot set 38400,n,8,1 on " + devicePath + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    // Reads return at once with what is there: the window polls.
    COMMTIMEOUTS timeouts;
    ZeroMemory(&timeouts, sizeof timeouts);
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = 1000;
    SetCommTimeouts(port, &timeouts);
    // What the host wrote before the display was there is not for it.
    PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return true;
}

bool ComPortDisplay::Poll()
{
    if (port == INVALID_HANDLE_VALUE)
        return false;
    bool any = false;
    uint8_t buffer[512];
    DWORD got = 0;
    while (ReadFile(port, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        any = true;
        Bytes chunk(buffer, buffer + got);
        if (tap)
            tap(HostToDisplay, chunk);
        if (on)
            simulator->FromHost(buffer, got);
    }
    NoteMessages();
    return any;
}

void ComPortDisplay::Write(const Bytes& bytes)
{
    if (port == INVALID_HANDLE_VALUE || !on || bytes.empty())
        return;
    if (tap)
        tap(DisplayToHost, bytes);
    DWORD written = 0;
    WriteFile(port, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    packetsOut++;
}

void ComPortDisplay::Send(const Bytes& bytes) { simulator->Send(bytes); }

void ComPortDisplay::SetPower(bool powerOn)
{
    if (powerOn == on)
        return;
    on = powerOn;
    if (port != INVALID_HANDLE_VALUE)
        EscapeCommFunction(port, on ? SETRTS : CLRRTS);
    if (on)
        Restart();
}

LinkStatus::Facts ComPortDisplay::Facts() const
{
    LinkStatus::Facts f;
    f.on = on;
    f.lastQuery = lastQuery;
    f.lastCells = lastCells;
    f.cellsBlank = true;
    for (uint8_t c : simulator->Cells())
        f.cellsBlank = f.cellsBlank && c == 0;
    f.packetsIn = packetsInBefore + static_cast<int>(simulator->Messages().size());
    f.packetsOut = packetsOut;
    return f;
}
