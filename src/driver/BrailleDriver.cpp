#include "BrailleDriver.h"

#include <new>
#include <string.h>

#include "../ports/Port.h"
#include "../ports/SerialPort.h"

BrailleDriver* g_activeDriver = NULL;

BrailleDriver::BrailleDriver()
    : port(NULL), textCells(0), statusCells(0), keyCallback(NULL), sleeping(0), eventSent(1)
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

int BrailleDriver::Init(const char* name, KeyCallback callback)
{
    keyCallback = callback;
    if (name == NULL)
        return 0;

    // Names longer than the field are cut; the terminator always fits.
    int i = 0;
    for (; i < PortNameSize - 1 && name[i] != '\0'; ++i)
        portName[i] = name[i];
    memset(portName + i, 0, PortNameSize - i);

    if (!Open(portName))
        return 0;
    if (!Identify(IdentifyTimeoutMs))
        return 0;
    return statusCells * 256 + textCells;
}

void BrailleDriver::Terminate()
{
    if (port == NULL)
        return;
    if (textCells > 0)
        Clear();
    ClosePort();
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
    return WriteCells();
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
    return WriteStatusCells();
}

int BrailleDriver::Clear()
{
    if (textCells == 0)
        return 1;
    memset(cells, 0, sizeof cells);
    if (memcmp(cells, sentCells, CellBufferSize) == 0)
        return 1;
    memcpy(sentCells, cells, CellBufferSize);
    return WriteCells();
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
    if (port == NULL) {
        // Show the cells the host left behind, including any it displayed
        // while the link was asleep.
        Open(portName);
        WriteCells();
    }
    return 1;
}

void BrailleDriver::Poll()
{
    if (sleeping != 0 || port == NULL)
        return;
    unsigned char buffer[PollReadSize];
    int count = port->Read(buffer, PollReadSize, 0);
    if (count > PollReadSize)
        count = PollReadSize;
    // The port is not touched again: a key callback may release it.
    for (int i = 0; i < count; ++i)
        ProcessInputByte(buffer[i]);
}
