#include "BrailleDriver.h"

#include <new>
#include <string.h>
#include <windows.h>

#include "../ports/Port.h"
#include "../ports/SerialPort.h"
#include "../ports/SerialPortOrder.h"

BrailleDriver* g_activeDriver = NULL;

BrailleDriver::BrailleDriver()
    : port(NULL), textCells(0), statusCells(0), keyCallback(NULL), sleeping(0), eventSent(1), recovery(0),
      lostTick(0)
{
    memset(cells, 0, sizeof cells);
    memset(sentCells, 0, sizeof sentCells);
    memset(portName, 0, sizeof portName);
    memset(keyStateNow, 0, sizeof keyStateNow);
    memset(keyStateLatched, 0, sizeof keyStateLatched);
    g_activeDriver = this;
}

// The display is left as it is, but the port is released: a host that
// unloads the library without BrlTerminate must be able to open the port
// again after loading it anew.
BrailleDriver::~BrailleDriver()
{
    delete port;
    port = NULL;
    if (g_activeDriver == this)
        g_activeDriver = NULL;
}

void BrailleDriver::ClosePort()
{
    Port* closing = port;
    port = NULL;
    delete closing;
}

int BrailleDriver::Open(const char* name)
{
    if (port != NULL)
        return 0;
    return AdoptPort(new (std::nothrow) SerialPort(), name);
}

int BrailleDriver::AdoptPort(Port* created, const char* name)
{
    port = created;
    if (port == NULL)
        return 0;
    int result = port->Open(name);
    if (result == 0)
        ClosePort();
    return result;
}

bool BrailleDriver::IsAutoName(const char* name)
{
    const char* automatic = "auto";
    for (int i = 0; i < 4; ++i)
        if (name[i] == '\0' || (name[i] | 0x20) != automatic[i])
            return false;
    return name[4] == '\0';
}

int BrailleDriver::Init(const char* name, KeyCallback callback)
{
    keyCallback = callback;
    // A BrlInit refused because a port is open leaves that port and its
    // recovery alone. Any other ends the search for a lost display, and
    // only its own success starts recovery again: after a failed BrlInit
    // no port may open behind the host's back, or its next BrlInit would
    // be refused.
    if (port == NULL)
        recovery = 0;
    if (name == NULL)
        return 0;

    // Names longer than the field are cut; the terminator always fits.
    int i = 0;
    for (; i < PortNameSize - 1 && name[i] != '\0'; ++i)
        portName[i] = name[i];
    memset(portName + i, 0, PortNameSize - i);

    if (IsAutoName(portName)) {
        if (port != NULL || !FindDisplay())
            return 0;
    } else {
        if (!Open(portName))
            return 0;
        if (!Identify(IdentifyTimeoutMs))
            return 0;
    }
    recovery = 1;
    return statusCells * 256 + textCells;
}

// Each port is opened as its plain COMn name opens it: one that is absent
// or held by another program fails at once, one that is there but silent
// costs one identification window and is closed before the next is tried.
// LPT ports are never tried: a printer there would print the query.
int BrailleDriver::FindDisplay()
{
    SerialPortOrder order;
    for (int position = 0; position < SerialPortOrder::PortCount; ++position) {
        char name[SerialPortOrder::NameSize];
        SerialPortOrder::Name(order.At(position), name);
        if (!Open(name))
            continue;
        if (Identify(IdentifyTimeoutMs)) {
            memcpy(portName, name, sizeof name);
            return 1;
        }
        ClosePort();
    }
    return 0;
}

void BrailleDriver::Terminate()
{
    // The host has let the display go: a lost one is not sought any more.
    recovery = 0;
    if (port == NULL)
        return;
    if (textCells > 0)
        Clear();
    ClosePort();
}

int BrailleDriver::Refresh() { return ReleaseIfLost(WriteCells()); }

int BrailleDriver::ReleaseIfLost(int result)
{
    if (recovery == 0 || port == NULL || !port->Lost())
        return result;
    // The call that found it out still reports its failure; from here on
    // the host's calls keep the cells and succeed, as with no port.
    ClosePort();
    lostTick = GetTickCount();
    return result;
}

void BrailleDriver::Reopen()
{
    // Show the cells the host left behind, including any it displayed
    // while the link was asleep or the display away: one cell packet, no
    // identification, whose 2-second window has no place in BrlTimer.
    if (Open(portName))
        ReleaseIfLost(WriteCells());
    if (port == NULL)
        lostTick = GetTickCount();
}

int BrailleDriver::Display(const unsigned char* src, int count)
{
    if (textCells == 0)
        return 1;
    int room = CellBufferSize - statusCells;
    if (count > room)
        count = room;
    if (count > 0 && src == NULL)
        return 0;

    memset(cells + statusCells, 0, room);
    if (count > 0)
        memcpy(cells + statusCells, src, count);

    if (memcmp(cells, sentCells, CellBufferSize) == 0)
        return 1;
    memcpy(sentCells, cells, CellBufferSize);
    return ReleaseIfLost(WriteCells());
}

int BrailleDriver::DisplayStatus(const unsigned char* src, int count)
{
    int n = count < statusCells ? count : statusCells;
    if (n > 0 && src == NULL)
        return 0;

    if (statusCells > 0)
        memset(cells, 0, statusCells);
    if (n > 0)
        memcpy(cells, src, n);

    if (memcmp(cells, sentCells, statusCells) == 0)
        return 1;
    memcpy(sentCells, cells, CellBufferSize);
    return ReleaseIfLost(WriteStatusCells());
}

int BrailleDriver::Clear()
{
    if (textCells == 0)
        return 1;
    memset(cells, 0, sizeof cells);
    if (memcmp(cells, sentCells, CellBufferSize) == 0)
        return 1;
    memcpy(sentCells, cells, CellBufferSize);
    return ReleaseIfLost(WriteCells());
}

int BrailleDriver::WriteStatusCells() { return WriteCells(); }

int BrailleDriver::Sleep(int flag)
{
    if (flag == sleeping)
        return 1;
    sleeping = flag;
    if (flag != 0) {
        if (port != NULL) {
            Clear();
            ClosePort();
        }
        return 1;
    }
    // A wake whose reopen fails leaves recovery to BrlTimer.
    if (port == NULL)
        Reopen();
    return 1;
}

void BrailleDriver::Poll()
{
    if (sleeping != 0)
        return;
    if (port == NULL) {
        // Unsigned differences: a wrap of the counter changes nothing.
        if (recovery == 0 || GetTickCount() - lostTick < ReopenIntervalMs)
            return;
        Reopen();
        if (port == NULL)
            return;
    }
    // A display switched on again is shown the cells the host last gave,
    // with nothing done by the host. A failure here is the port's to keep:
    // it is released after the read, as a failed read is.
    if (textCells > 0 && port->Back())
        WriteCells();
    unsigned char buffer[PollReadSize];
    int count = port->Read(buffer, PollReadSize, 0);
    if (count > PollReadSize)
        count = PollReadSize;
    // Bytes read before the device went are off the line: they are parsed
    // all the same.
    ReleaseIfLost(count);
    // The port is not touched again: a key callback may release it.
    for (int i = 0; i < count; ++i)
        ProcessInputByte(buffer[i]);
}
