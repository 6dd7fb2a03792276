#include "SerialPort.h"

// The records go to the system as they are, on both processors: their sizes
// are the platform's, not the compiler's choice.
static_assert(sizeof(DCB) == 28, "DCB is 28 bytes on x86 and x64");
static_assert(sizeof(COMMTIMEOUTS) == 20, "COMMTIMEOUTS is 20 bytes on x86 and x64");

SerialPort::SerialPort()
    : handle(NULL), lost(0), statusRead(0), ctsSeen(0), away(0), lastTry(0), nextLine(LineNotLooked)
{
}

SerialPort::~SerialPort() { Close(); }

void SerialPort::CutDeviceName(const char* portString, char (&deviceName)[DeviceNameSize])
{
    int n = lstrlenA(portString) + 1;
    for (int i = 0; portString[i] != '\0'; ++i) {
        if (portString[i] == ':') {
            n = i + 1;
            break;
        }
    }
    if (n > DeviceNameSize)
        n = DeviceNameSize;
    lstrcpynA(deviceName, portString, n);
}

HANDLE SerialPort::CreateDevice(const char* deviceName)
{
    // COM10 and above, which USB serial adapters often get, are reached
    // through the device namespace.
    char path[DevicePathSize];
    return CreateFileA(ComDevicePath(deviceName, path, DevicePathSize), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
}

int SerialPort::ApplyTimeouts(DWORD perByteMs, DWORD constantMs)
{
    // Reads return at once with whatever has arrived. The port's own write
    // time-out, 100 * n + 1 ms, lets a display hold CTS off for as long as
    // it likes while it works; only a packet that meets CTS off gets less.
    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = perByteMs;
    timeouts.WriteTotalTimeoutConstant = constantMs;
    return SetCommTimeouts(handle, &timeouts) ? 1 : 0;
}

int SerialPort::Open(const char* portName)
{
    char deviceName[DeviceNameSize];
    CutDeviceName(portName, deviceName);

    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!BuildCommDCBA(portName, &dcb))
        return 0;

    HANDLE device = CreateDevice(deviceName);
    if (device == INVALID_HANDLE_VALUE)
        return 0;
    handle = device;

    // A port that refuses the settings still moves bytes; only the
    // time-outs decide whether it is usable.
    SetCommState(handle, &dcb);
    return ApplyTimeouts();
}

// A packet of one byte: the same write, the same failures.
int SerialPort::WriteByte(unsigned char byte) { return SerialPort::Write(&byte, 1); }

int SerialPort::LookAtLine()
{
    DWORD status = 0;
    if (!GetCommModemStatus(handle, &status)) {
        // A pulled adapter fails every call on its handle. A driver that
        // never reports the lines is sent to as it always was.
        if (statusRead == 0)
            return CannotSay;
        lost = 1;
        return DeviceGone;
    }
    statusRead = 1;
    if ((status & MS_CTS_ON) == 0)
        return CtsOff;
    ctsSeen = 1;
    return CtsOn;
}

int SerialPort::Write(const unsigned char* bytes, int length)
{
    if (handle == NULL)
        return 1;
    if (length < 0)
        return 0;
    int line = nextLine != LineNotLooked ? nextLine : LookAtLine();
    nextLine = LineNotLooked;
    if (line == DeviceGone)
        return 0;
    // The display is away and its line still held off: the host gets its
    // 0 at once, not after another time-out.
    if (away && line == CtsOff)
        return 0;

    // The status alone never drops a packet: some drivers report CTS off
    // and send all the same. What did not go out in the short time-out is
    // the evidence.
    bool shortTimeout = line == CtsOff || line == Retry;
    if (shortTimeout)
        ApplyTimeouts(1, HeldOffWriteMs);
    DWORD written = 0;
    BOOL sent = WriteFile(handle, bytes, (DWORD)length, &written, NULL);
    if (shortTimeout)
        ApplyTimeouts();
    if (sent && written == (DWORD)length) {
        away = 0;
        return 1;
    }
    if (!sent) {
        lost = 1;
    } else {
        // Timed out. Whatever is still queued would reach the display when
        // it comes back, as cells the host has long replaced.
        PurgeComm(handle, PURGE_TXABORT | PURGE_TXCLEAR);
        // Only a line that reports CTS can say when the display is back.
        away = statusRead;
        lastTry = GetTickCount();
    }
    DWORD errors = 0;
    ClearCommError(handle, &errors, NULL);
    return 0;
}

int SerialPort::Back()
{
    if (away == 0)
        return 0;
    int line = LookAtLine();
    if (line == CtsOn) {
        nextLine = CtsOn;
        return 1;
    }
    // A line that has never shown CTS on cannot say when the display is
    // back: it is tried now and then, under the short time-out.
    if (line == CtsOff && ctsSeen == 0 && GetTickCount() - lastTry >= RetryIntervalMs) {
        nextLine = Retry;
        return 1;
    }
    return 0;
}

int SerialPort::Read(unsigned char* buffer, int length, unsigned int timeoutMs)
{
    int count = 0;
    DWORD start = GetTickCount();
    while (count < length) {
        DWORD got = 0;
        if (!ReadFile(handle, buffer + count, (DWORD)(length - count), &got, NULL)) {
            // A line error is cleared here and the line goes on; a device
            // that has gone refuses even that.
            DWORD errors = 0;
            if (!ClearCommError(handle, &errors, NULL))
                lost = 1;
            // Bytes stored before the failure are off the line already:
            // report them rather than lose a key press or a model reply.
            return count;
        }
        if (got > (DWORD)(length - count))
            got = (DWORD)(length - count);
        count += (int)got;
        if (GetTickCount() - start > timeoutMs)
            break;
    }
    return count;
}

void SerialPort::Flush() {}

int SerialPort::Lost() { return lost; }

void SerialPort::Close()
{
    if (handle != NULL)
        CloseHandle(handle);
    handle = NULL;
}
