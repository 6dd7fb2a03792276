// Shared set-up for tests that drive the driver through its exports against
// the Win32 double: the native unit tests and the export scenarios beside
// this file, which the emulated-processor layer (tests/emu) also runs
// against each built DLL.
#ifndef BRLWIN32_DRIVER_TEST_SUPPORT_H
#define BRLWIN32_DRIVER_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "HostStreamDecoder.h"
#include "Win32Double.h"
#include "brlwin32.h"
#include "ports/Port.h"
#include "protocol/EscProtocolDriver.h"

namespace testsupport {

using win32double::Bytes;
using win32double::FakeDevice;
using win32double::Win32Double;

struct KeyCall {
    unsigned int code;
    unsigned int argument;
    bool operator==(const KeyCall& o) const { return code == o.code && argument == o.argument; }
};

inline std::ostream& operator<<(std::ostream& os, const KeyCall& c)
{
    char b[48];
    snprintf(b, sizeof b, "{%08X, %u}", c.code, c.argument);
    return os << b;
}

std::vector<KeyCall>& RecordedKeys();
// Runs after each recorded call; lets a test re-enter the exports.
std::function<void(const KeyCall&)>& OnKey();
void BRLCALLBACK RecordKey(unsigned int code, unsigned int argument);

std::string Hex(const Bytes& bytes);

inline Bytes ModelReply(int textCells)
{
    return { 0x3F, static_cast<uint8_t>(textCells == 20 ? 0 : textCells == 40 ? 1 : 2), 0x00 };
}

// A scripted Port standing in for any transport: the driver sees only what
// Read returns. claimed, when set, is the count Read reports whatever it
// stored: a transport that gets its count wrong.
class ScriptedPort : public Port {
public:
    explicit ScriptedPort(Bytes in) : input(std::move(in)) {}
    int Open(const char*) override { return 1; }
    int WriteByte(unsigned char) override { return 1; }
    int Write(const unsigned char*, int) override { return 1; }
    int Read(unsigned char* buffer, int length, unsigned int) override
    {
        int n = 0;
        while (n < length && pos < input.size())
            buffer[n++] = input[pos++];
        return claimed >= 0 ? claimed : n;
    }
    Bytes input;
    size_t pos = 0;
    int claimed = -1;
};

// A pointer argument as a host passes it: the bytes it points at, or null.
// An emulated host copies exactly these bytes into the guest, so that a
// read beyond them faults.
struct HostBuffer {
    HostBuffer(std::nullptr_t) {}
    HostBuffer(const Bytes& bytes) : data(bytes.data()), size(bytes.size()) {}
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// A host program's view of the library: attaching and detaching it, and the
// eight exports. NativeHost is the driver linked into the test; the
// emulated-processor layer (tests/emu) has one that runs a built DLL.
class Host {
public:
    virtual ~Host() = default;
    virtual void Attach() = 0;
    virtual void Detach() = 0; // nothing when not attached
    virtual int Init(const char* portName, KeyCallback callback) = 0;
    virtual int Terminate() = 0;
    virtual int Display(HostBuffer cells, int count) = 0;
    virtual int DisplayStatus(HostBuffer cells, int count) = 0;
    virtual int Clear() = 0;
    virtual int Refresh() = 0;
    virtual int Sleep(int flag) = 0;
    virtual int Timer() = 0;
    // The library stopped at a fault it has reported, and stays so after
    // detaching: what it holds then proves nothing more.
    virtual bool Broken() const { return false; }
    // The library carries the register transport of the 95/98 family: built
    // for a processor with port instructions, or natively against the
    // simulated port.
    virtual bool PortRegisters() const { return true; }
};

class NativeHost : public Host {
public:
    // The driver object, constructed as attaching the DLL constructs it.
    std::unique_ptr<EscProtocolDriver> driver;

    void Attach() override { driver = std::make_unique<EscProtocolDriver>(); }
    void Detach() override { driver.reset(); }
    int Init(const char* portName, KeyCallback callback) override { return BrlInit(portName, callback); }
    int Terminate() override { return BrlTerminate(); }
    int Display(HostBuffer cells, int count) override { return BrlDisplay(cells.data, count); }
    int DisplayStatus(HostBuffer cells, int count) override { return BrlDisplayStatus(cells.data, count); }
    int Clear() override { return BrlClear(); }
    int Refresh() override { return BrlRefresh(); }
    int Sleep(int flag) override { return BrlSleep(flag); }
    int Timer() override { return BrlTimer(); }
};

// Tests through a host's eight exports against the Win32 double: each test
// attaches the library afresh and, detaching it, finds no handle open and
// no heap block left.
class ExportTest : public ::testing::Test {
protected:
    explicit ExportTest(std::unique_ptr<Host> attached) : hostObject(std::move(attached)), host(*hostObject) {}

    void SetUp() override
    {
        host.Detach();
        Win32Double::Get().Reset();
        RecordedKeys().clear();
        OnKey() = nullptr;
        host.Attach();
    }
    void TearDown() override
    {
        host.Detach();
        OnKey() = nullptr;
        if (host.Broken())
            return;
        EXPECT_EQ(0, Win32Double::Get().openHandles) << "handles left open";
        EXPECT_EQ(0u, Win32Double::Get().heap.Blocks()) << "heap blocks left allocated";
        EXPECT_EQ(0, Win32Double::Get().heap.badFrees) << "blocks freed that the heap never handed out";
    }

    Win32Double& Double() { return Win32Double::Get(); }

    // A serial device with a display of this many text cells behind it.
    FakeDevice& AddDisplay(const std::string& name = "COM1", int textCells = 40)
    {
        FakeDevice& d = Double().AddDevice(name);
        win32double::AnswerQueryWith(d, ModelReply(textCells));
        return d;
    }

    // Opens COM1 with a display of this many text cells and forgets the
    // identification bytes, so that a test sees only what follows.
    FakeDevice& ReadyDisplay(int textCells = 40)
    {
        FakeDevice& d = AddDisplay("COM1", textCells);
        int result = host.Init("COM1:38400,n,8,1", RecordKey);
        EXPECT_EQ(0x0500 + textCells, result);
        d.written.clear();
        d.writes.clear();
        d.writeTimes.clear();
        return d;
    }

    // The cell packets the device received since its last clear, decoded.
    std::vector<Bytes> CellPackets(const FakeDevice& d, int cellCount = 45)
    {
        HostStreamDecoder decoder(cellCount);
        std::vector<HostStreamDecoder::Message> out;
        decoder.Feed(d.written.data(), d.written.size(), out);
        decoder.Finish(out);
        std::vector<Bytes> packets;
        for (const auto& m : out) {
            EXPECT_EQ(HostStreamDecoder::Message::Cells, m.kind) << m.Describe(5);
            packets.push_back(m.cells);
        }
        return packets;
    }

private:
    std::unique_ptr<Host> hostObject;

protected:
    Host& host;
};

// The driver linked into the test, for tests that also reach into its
// fields or give it a port of their own.
class DriverTest : public ExportTest {
protected:
    DriverTest() : ExportTest(std::make_unique<NativeHost>()), driver(static_cast<NativeHost&>(host).driver) {}

    std::unique_ptr<EscProtocolDriver>& driver;
};

} // namespace testsupport

#endif
