#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "DriverTestSupport.h"
#include "ports/FixedSerialPort.h"
#include "ports/SerialPort.h"

namespace {

using testsupport::Bytes;
using testsupport::Hex;
using win32double::FakeDevice;
using win32double::Win32Double;

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { Win32Double::Get().Reset(); }
    void TearDown() override { EXPECT_EQ(0, Win32Double::Get().openHandles); }
    Win32Double& W() { return Win32Double::Get(); }
};

uint32_t FlagsWord(const DCB& dcb)
{
    uint32_t word;
    memcpy(&word, reinterpret_cast<const char*>(&dcb) + 8, 4);
    return word;
}

struct NameCase {
    std::string portString;
    std::string opened; // what CreateFileA receives
};

// The device name is the text before the first ':', at most 39 characters;
// COM ports above 9 exist only in the device namespace.
TEST_F(SerialPortTest, DeviceNameIsTheTextBeforeTheFirstColon)
{
    const NameCase cases[] = {
        { "COM2:38400,n,8,1", "COM2" },
        { "COM1", "COM1" },
        { "com9", "com9" },
        { "COM3:9600,n,8,1", "COM3" },
        { "COM10", "\\\\.\\COM10" },
        { "com12:38400,n,8,1", "\\\\.\\com12" },
        { "Com99", "\\\\.\\Com99" },
        { "COM10X", "COM10X" },
        { "COM1X0", "COM1X0" },
        { "COM", "COM" },
        { "CON10", "CON10" },
        { "\\\\.\\COM3", "\\\\.\\COM3" },
        { std::string(60, 'X'), std::string(39, 'X') },
        { "COM4:a:b", "COM4" },
        // Cut to COM and 36 digits, then prefixed: 43 characters, no overrun.
        { "COM1234567890123456789012345678901234567890", "\\\\.\\COM123456789012345678901234567890123456" },
        { "COM" + std::string(70, '7') + ":38400,n,8,1", "\\\\.\\COM" + std::string(36, '7') },
    };
    for (const auto& c : cases) {
        W().Reset();
        {
            FixedSerialPort port;
            EXPECT_EQ(0, port.Open(c.portString.c_str())) << c.portString << ": no such device";
        }
        ASSERT_EQ(1u, W().openedNames.size()) << c.portString;
        EXPECT_EQ(c.opened, W().openedNames[0]) << c.portString;
        if (c.portString.find(":38400") == std::string::npos)
            continue;
        // The mode-string line opens the same name and reads the whole string.
        W().Reset();
        {
            SerialPort port;
            EXPECT_EQ(0, port.Open(c.portString.c_str())) << c.portString;
        }
        EXPECT_EQ(c.portString, W().lastCommDefinition);
        ASSERT_EQ(1u, W().openedNames.size()) << c.portString;
        EXPECT_EQ(c.opened, W().openedNames[0]) << c.portString;
    }
}

TEST_F(SerialPortTest, ModeStringSetsTheLineThroughBuildCommDcb)
{
    FakeDevice& d = W().AddDevice("COM3");
    SerialPort port;
    ASSERT_EQ(1, port.Open("COM3:9600,e,7,2"));
    EXPECT_EQ("COM3:9600,e,7,2", W().lastCommDefinition) << "the whole string goes to BuildCommDCBA";
    EXPECT_EQ(9600u, d.dcb.BaudRate);
    EXPECT_EQ(7, d.dcb.ByteSize);
    EXPECT_EQ(EVENPARITY, d.dcb.Parity);
    EXPECT_EQ(TWOSTOPBITS, d.dcb.StopBits);
    EXPECT_EQ(28u, d.dcb.DCBlength);
    EXPECT_EQ(0, d.dcb.fOutxCtsFlow) << "fields BuildCommDCBA leaves alone stay zero";
    EXPECT_EQ(0, d.getCommStateCalls);
}

TEST_F(SerialPortTest, UnreadableModeStringOpensNothing)
{
    W().AddDevice("COM1");
    SerialPort port;
    EXPECT_EQ(0, port.Open("COM1:fast"));
    EXPECT_TRUE(W().openedNames.empty());
}

TEST_F(SerialPortTest, FixedLineIgnoresTheModeString)
{
    FakeDevice& d = W().AddDevice("COM3");
    d.reportedDcb.fOutxDsrFlow = 1;
    d.reportedDcb.XonChar = 0x11;
    d.reportedDcb.fRtsControl = 2;
    FixedSerialPort port;
    ASSERT_EQ(1, port.Open("COM3:9600,e,7,2"));
    EXPECT_EQ(38400u, d.dcb.BaudRate);
    EXPECT_EQ(8, d.dcb.ByteSize);
    EXPECT_EQ(NOPARITY, d.dcb.Parity);
    EXPECT_EQ(ONESTOPBIT, d.dcb.StopBits);
    EXPECT_EQ(1, d.getCommStateCalls);
    EXPECT_EQ(1, d.dcb.fOutxDsrFlow) << "fields not set keep what GetCommState said";
    EXPECT_EQ(0x11, d.dcb.XonChar);
    uint32_t flags = FlagsWord(d.dcb);
    EXPECT_EQ(0x1u, flags & 0x1u) << "fBinary";
    EXPECT_EQ(0x4u, flags & 0x4u) << "fOutxCtsFlow";
    EXPECT_EQ(0x1000u, flags & 0x3000u) << "fRtsControl enable: bit 12 set, bit 13 clear";
}

TEST_F(SerialPortTest, BothLinesSetTheSameTimeoutsAndOpenExclusively)
{
    for (int fixed = 0; fixed < 2; ++fixed) {
        W().Reset();
        FakeDevice& d = W().AddDevice("COM1");
        {
            SerialPort plain;
            FixedSerialPort fixedPort;
            Port& port = fixed ? static_cast<Port&>(fixedPort) : plain;
            ASSERT_EQ(1, port.Open("COM1:38400,n,8,1"));
            EXPECT_EQ(MAXDWORD, d.timeouts.ReadIntervalTimeout);
            EXPECT_EQ(0u, d.timeouts.ReadTotalTimeoutMultiplier);
            EXPECT_EQ(0u, d.timeouts.ReadTotalTimeoutConstant);
            EXPECT_EQ(100u, d.timeouts.WriteTotalTimeoutMultiplier);
            EXPECT_EQ(1u, d.timeouts.WriteTotalTimeoutConstant);
            EXPECT_EQ(GENERIC_READ | GENERIC_WRITE, d.lastOpenAccess);
            EXPECT_EQ(0u, d.lastOpenShare);
            EXPECT_EQ(static_cast<DWORD>(OPEN_EXISTING), d.lastOpenDisposition);
            EXPECT_EQ(0u, d.lastOpenFlags);
        }
        EXPECT_EQ(1, d.closeCount) << "destroying an open port closes it";
    }
}

TEST_F(SerialPortTest, RefusedTimeoutsFailTheOpenButKeepTheHandleUntilDestroyed)
{
    FakeDevice& d = W().AddDevice("COM1");
    d.refuseTimeouts = true;
    {
        FixedSerialPort port;
        EXPECT_EQ(0, port.Open("COM1"));
        EXPECT_TRUE(d.isOpen);
    }
    EXPECT_FALSE(d.isOpen);
}

// A port that refuses the line settings still moves bytes: only the
// time-outs decide the open.
TEST_F(SerialPortTest, RefusedLineSettingsDoNotFailTheOpen)
{
    const struct {
        bool fixed, refuseGet, refuseSet;
    } cases[] = { { false, false, true }, { true, true, false }, { true, false, true }, { true, true, true } };
    for (const auto& c : cases) {
        W().Reset();
        FakeDevice& d = W().AddDevice("COM1");
        d.failGetCommState = c.refuseGet;
        d.failSetCommState = c.refuseSet;
        SerialPort plain;
        FixedSerialPort fixedPort;
        Port& port = c.fixed ? static_cast<Port&>(fixedPort) : plain;
        std::string what = std::string(c.fixed ? "fixed" : "mode string") + (c.refuseGet ? ", get refused" : "") +
                           (c.refuseSet ? ", set refused" : "");
        EXPECT_EQ(1, port.Open("COM1:38400,n,8,1")) << what;
        EXPECT_EQ(1, d.setCommStateCalls) << what;
        EXPECT_TRUE(d.timeoutsSet) << what;
    }
}

TEST_F(SerialPortTest, MissingOrBusyDeviceFailsAndReleasesNothing)
{
    FakeDevice& busy = W().AddDevice("COM2");
    busy.refuseOpen = true;
    const uint8_t bytes[] = { 1, 2, 3 };
    for (int fixed = 0; fixed < 2; ++fixed) {
        for (const char* name : { "COM9:38400,n,8,1", "COM2:38400,n,8,1" }) {
            SerialPort plain;
            FixedSerialPort fixedPort;
            Port& port = fixed ? static_cast<Port&>(fixedPort) : plain;
            EXPECT_EQ(0, port.Open(name)) << name;
            // No handle is held, so writes succeed without a call.
            EXPECT_EQ(1, port.Write(bytes, 3)) << name;
            EXPECT_EQ(1, port.WriteByte(7)) << name;
        }
    }
    EXPECT_EQ(0, busy.closeCount);
    EXPECT_EQ(0, W().closeHandleCalls) << "not even with the invalid handle";
}

TEST_F(SerialPortTest, ClosedPortWritesSucceedWithoutSendingAndReadsFail)
{
    SerialPort port;
    const uint8_t bytes[] = { 1, 2, 3 };
    EXPECT_EQ(1, port.WriteByte(7));
    EXPECT_EQ(1, port.Write(bytes, 3));
    uint8_t buffer[4];
    EXPECT_EQ(0, port.Read(buffer, 4, 0));
}

TEST_F(SerialPortTest, WritesReportWholeSuccessOnly)
{
    FakeDevice& d = W().AddDevice("COM1");
    SerialPort port;
    ASSERT_EQ(1, port.Open("COM1:38400,n,8,1"));
    const uint8_t bytes[] = { 0x1B, 0x42, 0x00 };
    EXPECT_EQ(1, port.Write(bytes, 3));
    EXPECT_EQ(1, port.Write(bytes, 0)) << "an empty write succeeds";
    EXPECT_EQ(1, port.WriteByte(0x55));
    EXPECT_EQ("1B 42 00 55", Hex(d.written));
    EXPECT_EQ(0, d.clearCommErrorCalls);

    d.ctsHeldOff = true; // the display never lets the bytes go
    DWORD before = W().clock.Now();
    EXPECT_EQ(0, port.Write(bytes, 3));
    EXPECT_EQ(103u, W().clock.Now() - before) << "a packet that meets CTS off waits 100 ms and 1 ms a byte";
    EXPECT_EQ(0, port.WriteByte(1)) << "the display is away: nothing goes until CTS is on";
    EXPECT_EQ(103u, W().clock.Now() - before);
    EXPECT_EQ(1, d.clearCommErrorCalls);
    EXPECT_EQ(0, port.Lost()) << "a write that timed out is no loss: a display that is off holds CTS";
    d.ctsHeldOff = false;
    d.failWrites = true;
    EXPECT_EQ(0, port.Write(bytes, 3));
    EXPECT_EQ(2, d.clearCommErrorCalls);
    EXPECT_EQ(1, port.Lost()) << "a write the system refused: the device is gone";

    // Either write operation finds the loss on its own.
    FakeDevice& other = W().AddDevice("COM2");
    other.failWrites = true;
    SerialPort single;
    ASSERT_EQ(1, single.Open("COM2:38400,n,8,1"));
    EXPECT_EQ(0, single.WriteByte(1));
    EXPECT_EQ(1, single.Lost());
}

// The line a packet meets decides its write time-out: CTS on keeps the
// port's own, CTS off gets a short one. Only a packet that did not go out
// whole makes the display away; then the next one goes only if CTS is on.
TEST_F(SerialPortTest, PacketMeetingCtsOffGetsAShortTimeOutAndOnlyOneNotSentMakesTheDisplayAway)
{
    struct Case {
        const char* what;
        std::function<void(FakeDevice&)> line;
        int result;
        DWORD held;          // what the 3-byte write took
        DWORD perByte;       // the write time-out it ran under
        size_t purges;       // PurgeComm calls, each of TXABORT | TXCLEAR
        int nextResult;      // a second write at once, the line unchanged
        DWORD nextHeld;
    };
    const Case cases[] = {
        { "CTS on", nullptr, 1, 0, 100, 0, 1, 0 },
        { "CTS off for 104 ms: longer than the short time-out",
          [](FakeDevice& d) { d.HoldCtsOffUntil(Win32Double::Get().clock.Now() + 104); }, 0, 103, 1, 1, 0, 0 },
        { "CTS held off: the display is switched off", [](FakeDevice& d) { d.ctsHeldOff = true; }, 0, 103, 1, 1, 0,
          0 },
        { "a status that cannot be read: CTS held off waits as it always did",
          [](FakeDevice& d) { d.failModemStatus = d.ctsHeldOff = true; }, 0, 301, 100, 1, 0, 301 },
    };
    const uint8_t bytes[] = { 0x1B, 0x42, 0x00 };
    for (const auto& c : cases) {
        W().Reset();
        FakeDevice& d = W().AddDevice("COM1");
        d.keepsUnsent = true;
        FixedSerialPort port;
        ASSERT_EQ(1, port.Open("COM1")) << c.what;
        if (c.line)
            c.line(d);
        DWORD before = W().clock.Now();
        EXPECT_EQ(c.result, port.Write(bytes, 3)) << c.what;
        EXPECT_EQ(c.held, W().clock.Now() - before) << c.what;
        ASSERT_EQ(1u, d.writeTimeouts.size()) << c.what;
        EXPECT_EQ(c.perByte, d.writeTimeouts.back().WriteTotalTimeoutMultiplier) << c.what;
        EXPECT_EQ(c.perByte == 1 ? 100u : 1u, d.writeTimeouts.back().WriteTotalTimeoutConstant) << c.what;
        EXPECT_EQ(100u, d.timeouts.WriteTotalTimeoutMultiplier) << c.what << ": the port's own time-outs are back";
        EXPECT_EQ(1u, d.timeouts.WriteTotalTimeoutConstant) << c.what;
        EXPECT_EQ(std::vector<DWORD>(c.purges, PURGE_TXABORT | PURGE_TXCLEAR), d.purges) << c.what;
        EXPECT_TRUE(d.unsent.empty()) << c.what << ": no stale byte left to reach the display";
        EXPECT_EQ(0, port.Lost()) << c.what << ": a write that timed out is no loss";
        before = W().clock.Now();
        EXPECT_EQ(c.nextResult, port.Write(bytes, 3)) << c.what << ", the next packet";
        EXPECT_EQ(c.nextHeld, W().clock.Now() - before) << c.what << ", the next packet";
    }
}

TEST_F(SerialPortTest, ReadOfNothingWantedMakesNoCall)
{
    FakeDevice& d = W().AddDevice("COM1");
    SerialPort port;
    ASSERT_EQ(1, port.Open("COM1:38400,n,8,1"));
    uint8_t buffer[4];
    EXPECT_EQ(0, port.Read(buffer, 0, 2000));
    EXPECT_EQ(0, d.readCalls);
}

TEST_F(SerialPortTest, ReadWithoutTimeoutTakesWhatArrivesWithinOneTick)
{
    FakeDevice& d = W().AddDevice("COM1");
    SerialPort port;
    ASSERT_EQ(1, port.Open("COM1:38400,n,8,1"));
    uint8_t buffer[80];
    d.readsPerTick = 3; // the tick counter moves on at every third read

    EXPECT_EQ(0, port.Read(buffer, 80, 0)) << "silent port";
    EXPECT_EQ(3, d.readCalls) << "reads until the counter moved";

    d.Send({ 1, 2, 3, 4, 5, 6, 7 });
    d.maxReadChunk = 2;
    EXPECT_EQ(6, port.Read(buffer, 80, 0)) << "three reads of two within the tick";
    EXPECT_EQ(6, buffer[5]);
    EXPECT_EQ(1, port.Read(buffer, 80, 0));
    EXPECT_EQ(7, buffer[0]);
}

TEST_F(SerialPortTest, ReadCollectsUntilFullOrTimedOut)
{
    FakeDevice& d = W().AddDevice("COM1");
    SerialPort port;
    ASSERT_EQ(1, port.Open("COM1:38400,n,8,1"));
    uint8_t buffer[15];

    // 3 bytes and then silence: the whole time-out passes.
    d.Send({ 0x3F, 0x01, 0x00 });
    DWORD start = W().clock.Now();
    EXPECT_EQ(3, port.Read(buffer, 15, 2000));
    EXPECT_EQ(2001u, W().clock.Now() - start);

    // 15 bytes in pieces: returns as soon as the last is in.
    d.maxReadChunk = 4;
    d.Send(Bytes(15, 0x20));
    start = W().clock.Now();
    EXPECT_EQ(15, port.Read(buffer, 15, 2000));
    EXPECT_EQ(4u, W().clock.Now() - start);

    // Bytes that arrive late, but in time.
    d.SendAt(W().clock.Now() + 1500, Bytes(15, 0x21));
    EXPECT_EQ(15, port.Read(buffer, 15, 2000));
    EXPECT_EQ(0x21, buffer[14]);
}

TEST_F(SerialPortTest, TimeoutIsMeasuredAcrossTheTickCounterWrap)
{
    FakeDevice& d = W().AddDevice("COM1");
    SerialPort port;
    ASSERT_EQ(1, port.Open("COM1:38400,n,8,1"));
    uint8_t buffer[15];
    W().clock.Set(0xFFFFFFFFu - 500);
    d.Send({ 0x3F, 0x01, 0x00 });
    DWORD start = W().clock.Now();
    EXPECT_EQ(3, port.Read(buffer, 15, 2000));
    EXPECT_EQ(2001u, W().clock.Now() - start) << "stopped at the wrap instead of after 2000 ms";
}

TEST_F(SerialPortTest, FailedReadKeepsTheBytesAlreadyStored)
{
    FakeDevice& d = W().AddDevice("COM1");
    SerialPort port;
    ASSERT_EQ(1, port.Open("COM1:38400,n,8,1"));
    uint8_t buffer[15];
    d.maxReadChunk = 2;
    d.Send({ 0x3F, 0x01, 0x00, 0x55 });
    d.failReadAtCall = 1;
    EXPECT_EQ(2, port.Read(buffer, 15, 2000)) << "the bytes of the first call were lost";
    EXPECT_EQ(0x3F, buffer[0]);
    EXPECT_EQ(0x01, buffer[1]);
    EXPECT_EQ(1, d.clearCommErrorCalls);
    EXPECT_EQ(2, d.readCalls) << "reading stops at the failure";
    EXPECT_EQ(0, port.Lost()) << "a line error that ClearCommError clears is no loss";

    d.failAllReads = true;
    EXPECT_EQ(0, port.Read(buffer, 15, 2000));
    EXPECT_EQ(2, d.clearCommErrorCalls);
    EXPECT_EQ(0, port.Lost());

    d.failClearCommError = true; // not even the error can be acknowledged
    EXPECT_EQ(0, port.Read(buffer, 15, 2000));
    EXPECT_EQ(1, port.Lost());
}

} // namespace
