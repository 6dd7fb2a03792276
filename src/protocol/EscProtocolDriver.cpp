#include "EscProtocolDriver.h"

#include <new>
#include <string.h>
#include <windows.h>

#include "../ports/DeviceParallelPort.h"
#include "../ports/DirectParallelPort.h"
#include "../ports/FixedSerialPort.h"

namespace {

const unsigned char Esc = 0x1B;
const unsigned char CmdQuery = '?';      // 0x3F
const unsigned char CmdCells = 'B';      // 0x42
const unsigned char CmdAfterQuery = 'I'; // 0x49
const unsigned char CmdKeys = 'K';       // 0x4B
const unsigned char CmdRouting = 'C';    // 0x43
const unsigned char ModelAnswer = '?';

const unsigned char QueryMessage[] = { Esc, CmdQuery };
const unsigned char AfterQueryMessage[] = { Esc, CmdAfterQuery, 0x00 };

enum { IdentifyReadSize = 15, PacketBufferSize = 200, StatusCellCount = DisplayStatusCells };

struct Model {
    unsigned char code;
    int textCells;
};

const Model Models[] = {
    { 0x00, 20 }, { 0x07, 20 },
    { 0x01, 40 }, { 0x08, 40 },
    { 0x02, 80 }, { 0x09, 80 },
};

// Host dot order to the display's: bits 0, 1, 2 and 5 stay, 3 -> 7,
// 4 -> 6, 6 -> 3, 7 -> 4.
const unsigned char CellBitTarget[8] = { 0, 1, 2, 7, 6, 5, 3, 4 };

// Every cell value already moved into the display's order: a packet is
// sent on each change of the display, and a lookup per cell keeps an
// 85-cell packet well under a microsecond.
struct WireTable {
    unsigned char wire[256];
    WireTable()
    {
        for (int c = 0; c < 256; ++c)
            wire[c] = EscProtocolDriver::EncodeCell((unsigned char)c);
    }
};
const WireTable Wire;

// Key index latched by each bit of the key bytes; -1: the bit names no key.
const int FirstKeyByteKeys[8] = { 36, 35, 34, 33, 32, 31, -1, -1 };
const int SecondKeyByteKeys[8] = { 1, 2, 3, 4, 5, -1, -1, -1 };

// Routing bytes 0 to 5 name keys 61 to 66; the rest wrap round the key
// table from 129, so 133 names key 0 and 134 to 255 name keys 1 to 122.
struct RoutingTable {
    unsigned char keyIndex[256];
    RoutingTable()
    {
        for (int r = 0; r < 256; ++r)
            keyIndex[r] = (unsigned char)(r < 6 ? 61 + r : (r + 123) % 256);
    }
};
const RoutingTable Routing;

// Code bytes of the key code: indices up to 128 stand for themselves; the
// two higher ranges share one code byte each and carry the index in the
// argument.
struct KeyCodeRange {
    int firstIndex;
    int lastIndex;
    unsigned int codeByte;  // 0: the key index itself
    int argumentOffset;     // argument = index - offset; 0: no argument
};
const KeyCodeRange KeyCodeRanges[] = {
    { 0, 128, 0x00, 0 },
    { 129, 228, 0x81, 128 },
    { 229, 255, 0x82, 28 },
};

const unsigned int KeyCodeMarker = 0x80000000u;

} // namespace

EscProtocolDriver::EscProtocolDriver() : parserState(StateIdle) {}

EscProtocolDriver::~EscProtocolDriver() {}

// Systems of both families check the size field; this is the plain record.
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes");

// Folded by hand: the C library's tolower depends on the host's locale.
static char FoldToLower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

// LPTn is the parallel port, reached through its registers where the system
// allows that and through the kernel device on the NT family; every other
// name is a COM port at the display's fixed line settings. On a processor
// without port instructions there is no register transport, and an LPT
// name on a system of the 95/98 family opens nothing.
Port* EscProtocolDriver::CreatePort(const char* name)
{
    if (FoldToLower(name[0]) != 'l')
        return new (std::nothrow) FixedSerialPort();

    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return NULL;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
        return new (std::nothrow) DeviceParallelPort();
    return NewDirectParallelPort();
}

int EscProtocolDriver::Open(const char* name)
{
    if (port != NULL || name == NULL)
        return 0;
    // "auto" is a search that only BrlInit makes. Stored, it means that no
    // display was found: a wake or a reopen has no port to try.
    if (IsAutoName(name))
        return 0;
    return AdoptPort(CreatePort(name), name);
}

unsigned char EscProtocolDriver::EncodeCell(unsigned char cell)
{
    unsigned char encoded = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (cell & (1u << bit))
            encoded |= (unsigned char)(1u << CellBitTarget[bit]);
    return encoded;
}

int EscProtocolDriver::Identify(int timeoutMs)
{
    port->Flush();
    if (!port->Write(QueryMessage, sizeof QueryMessage))
        return 0;

    unsigned char reply[IdentifyReadSize];
    int n = port->Read(reply, IdentifyReadSize, (unsigned int)timeoutMs);
    // A transport that claims more than it could store must not send the
    // scan past the buffer.
    if (n > IdentifyReadSize)
        n = IdentifyReadSize;

    // The display expects this after every query, whatever it answered.
    port->Write(AfterQueryMessage, sizeof AfterQueryMessage);

    if (n < 3)
        return 0;
    for (int i = 0; i + 1 < n; ++i) {
        if (reply[i] != ModelAnswer)
            continue;
        for (const Model& model : Models) {
            if (model.code == reply[i + 1]) {
                textCells = model.textCells;
                statusCells = StatusCellCount;
                return 1;
            }
        }
    }
    return 0;
}

int EscProtocolDriver::WriteCells()
{
    if (port == NULL)
        return 1;

    unsigned char packet[PacketBufferSize];
    int length = 0;
    packet[length++] = Esc;
    packet[length++] = CmdCells;

    int total = statusCells + textCells;
    if (total > CellBufferSize)
        total = CellBufferSize;
    for (int i = 0; i < total && length + 2 <= PacketBufferSize; ++i) {
        unsigned char encoded = Wire.wire[cells[i]];
        packet[length++] = encoded;
        if (encoded == Esc)
            packet[length++] = Esc;
    }
    return port->Write(packet, length);
}

void EscProtocolDriver::ProcessInputByte(int value)
{
    unsigned char byte = (unsigned char)value;
    switch (parserState) {
    case StateIdle:
        if (byte == Esc)
            parserState = StateEscape;
        break;
    case StateEscape:
        if (byte == Esc)
            break;
        if (byte == CmdKeys)
            parserState = StateKeyFirst;
        else if (byte == CmdRouting)
            parserState = StateRouting;
        else
            parserState = StateIdle;
        break;
    // Inside a packet every byte is data, 0x1B included: the display does
    // not double ESC in key and routing bytes.
    case StateKeyFirst:
        HandleFirstKeyByte(byte);
        parserState = StateKeySecond;
        break;
    case StateKeySecond:
        // Back to idle first: the callback may poll again from inside.
        parserState = StateIdle;
        HandleSecondKeyByte(byte);
        ReportKeys();
        break;
    case StateRouting:
        parserState = StateIdle;
        HandleRoutingByte(byte);
        ReportKeys();
        break;
    default:
        parserState = StateIdle;
        break;
    }
}

void EscProtocolDriver::LatchKey(int keyIndex)
{
    keyStateLatched[keyIndex] = 1;
    keyStateNow[keyIndex] = 0; // the display reports presses only
    eventSent = 0;
}

void EscProtocolDriver::HandleFirstKeyByte(unsigned char byte)
{
    for (int bit = 0; bit < 8; ++bit)
        if ((byte & (1u << bit)) && FirstKeyByteKeys[bit] >= 0)
            LatchKey(FirstKeyByteKeys[bit]);
}

void EscProtocolDriver::HandleSecondKeyByte(unsigned char byte)
{
    for (int bit = 0; bit < 8; ++bit)
        if ((byte & (1u << bit)) && SecondKeyByteKeys[bit] >= 0)
            LatchKey(SecondKeyByteKeys[bit]);
}

void EscProtocolDriver::HandleRoutingByte(unsigned char byte) { LatchKey(Routing.keyIndex[byte]); }

bool EscProtocolDriver::HasPendingKeys() const
{
    for (int k = 0; k < KeyTableSize; ++k)
        if (keyStateLatched[k] > keyStateNow[k])
            return true;
    return false;
}

void EscProtocolDriver::ReportKeys()
{
    if (eventSent == 0 && HasPendingKeys()) {
        unsigned int keyCode = 0;
        unsigned int argument = 0;
        for (int k = 0; k < KeyTableSize; ++k) {
            if (keyStateLatched[k] == 0)
                continue;
            for (const KeyCodeRange& range : KeyCodeRanges) {
                if (k < range.firstIndex || k > range.lastIndex)
                    continue;
                unsigned int codeByte = range.codeByte ? range.codeByte : (unsigned int)k;
                keyCode = (keyCode << 8) | codeByte;
                if (range.codeByte)
                    argument = (unsigned int)(k - range.argumentOffset);
            }
        }
        // Latches go before the callback runs, so a callback that polls
        // again cannot report this packet twice.
        eventSent = 1;
        memcpy(keyStateLatched, keyStateNow, sizeof keyStateLatched);
        KeyCallback callback = keyCallback;
        if (keyCode != 0 && callback != NULL)
            callback(keyCode | KeyCodeMarker, argument);
        return;
    }
    // Nothing to report: eventSent keeps its value.
    memcpy(keyStateLatched, keyStateNow, sizeof keyStateLatched);
}
