#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "DriverTestSupport.h"
#include "ports/DeviceParallelPort.h"

namespace {

using testsupport::Bytes;
using testsupport::Hex;
using win32double::FakeDevice;
using win32double::Win32Double;

class DeviceParallelPortTest : public ::testing::Test {
protected:
    void SetUp() override { Win32Double::Get().Reset(); }
    void TearDown() override { EXPECT_EQ(0, Win32Double::Get().openHandles) << "handles left open"; }
    Win32Double& W() { return Win32Double::Get(); }
};

struct NameCase {
    std::string portString;
    std::string path;
};

TEST_F(DeviceParallelPortTest, DeviceIsTheTemplateWithThePortsLastCharacter)
{
    const NameCase cases[] = {
        { "LPT1", "\\\\.\\QZPAR1" },
        { "LPT2", "\\\\.\\QZPAR2" },
        { "lpt3", "\\\\.\\QZPAR3" },
        { "LPT1:", "\\\\.\\QZPAR:" },
        { "L", "\\\\.\\QZPARL" },
        { "LPT1:38400,n,8,1", "\\\\.\\QZPAR1" },
        { std::string(300, 'L') + "7", "\\\\.\\QZPAR7" },
        // No last character: the terminator takes its place.
        { "", "\\\\.\\QZPAR" },
    };
    for (const auto& c : cases) {
        W().Reset();
        DeviceParallelPort port;
        EXPECT_EQ(0, port.Open(c.portString.c_str())) << "no device: " << c.portString.size();
        ASSERT_EQ(1u, W().openedNames.size()) << c.portString;
        EXPECT_EQ(c.path, W().openedNames[0]) << c.portString.substr(0, 20);
        EXPECT_EQ(INVALID_HANDLE_VALUE, port.handle);
    }
}

TEST_F(DeviceParallelPortTest, OpenSendsTheConfigurationRequestOnce)
{
    FakeDevice& d = W().AddDevice("\\\\.\\QZPAR2");
    {
        DeviceParallelPort port;
        ASSERT_EQ(1, port.Open("LPT2"));
        EXPECT_EQ(GENERIC_READ | GENERIC_WRITE, d.lastOpenAccess);
        EXPECT_EQ(0u, d.lastOpenShare);
        EXPECT_EQ(static_cast<DWORD>(OPEN_EXISTING), d.lastOpenDisposition);
        EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), d.lastOpenFlags);
        ASSERT_EQ(1u, d.ioctls.size());
        const auto& request = d.ioctls[0];
        EXPECT_EQ(0x222004u, request.code) << "the control code the kernel device knows";
        EXPECT_EQ("00 00 00 00 64 00 00 00", Hex(request.in)) << "0 and 100, little-endian";
        EXPECT_TRUE(request.outNull);
        EXPECT_EQ(0u, request.outSize);
        EXPECT_TRUE(request.returnedSupplied);
        EXPECT_TRUE(d.written.empty()) << "opening sends nothing to the display";
    }
    EXPECT_EQ(1, d.closeCount);
    EXPECT_EQ(1u, d.ioctls.size());
}

TEST_F(DeviceParallelPortTest, OpenDeviceTakesTheNameAsGiven)
{
    FakeDevice& d = W().AddDevice("\\\\.\\QZPAR5");
    DeviceParallelPort port;
    EXPECT_EQ(1, port.OpenDevice("QZPAR5"));
    EXPECT_EQ(1, d.openCount);
    port.Close();
    EXPECT_EQ(INVALID_HANDLE_VALUE, port.handle);
    EXPECT_EQ(1, d.closeCount);
    port.Close();
    EXPECT_EQ(1, d.closeCount) << "closing twice closes once";
}

TEST_F(DeviceParallelPortTest, LongDeviceNamesAreCutToThePath)
{
    DeviceParallelPort port;
    std::string name(200, 'Q');
    EXPECT_EQ(0, port.OpenDevice(name.c_str()));
    ASSERT_EQ(1u, W().openedNames.size());
    EXPECT_EQ("\\\\.\\" + std::string(59, 'Q'), W().openedNames[0]) << "63 characters and the terminator";
}

TEST_F(DeviceParallelPortTest, MissingOrBusyDeviceFailsAndDestroyingClosesNothing)
{
    FakeDevice& busy = W().AddDevice("\\\\.\\QZPAR1");
    busy.refuseOpen = true;
    for (const char* name : { "LPT9", "LPT1" }) {
        {
            DeviceParallelPort port;
            EXPECT_EQ(0, port.Open(name)) << name;
            EXPECT_EQ(INVALID_HANDLE_VALUE, port.handle);
        }
    }
    EXPECT_EQ(0, busy.closeCount);
    EXPECT_EQ(0, W().closeHandleCalls) << "not even with the invalid handle";
    EXPECT_TRUE(busy.ioctls.empty()) << "no request without a handle";
    EXPECT_EQ(0u, W().strayIoctls.size()) << "expected no request on the invalid handle";
}

TEST_F(DeviceParallelPortTest, RejectedConfigurationIsNotNoticed)
{
    FakeDevice& d = W().AddDevice("\\\\.\\QZPAR1");
    d.failIoctls = true;
    DeviceParallelPort port;
    EXPECT_EQ(1, port.Open("LPT1"));
    EXPECT_EQ(1u, d.ioctls.size());
    EXPECT_NE(INVALID_HANDLE_VALUE, port.handle);
    const unsigned char bytes[] = { 0x1B, 0x3F };
    EXPECT_EQ(1, port.Write(bytes, 2)) << "the device still moves bytes";
}

TEST_F(DeviceParallelPortTest, WritesOnAPortThatIsNotOpenSucceedWithoutSending)
{
    DeviceParallelPort port;
    const unsigned char bytes[] = { 1, 2, 3 };
    EXPECT_EQ(1, port.WriteByte(7));
    EXPECT_EQ(1, port.Write(bytes, 3));
    unsigned char buffer[4];
    EXPECT_EQ(0, port.Read(buffer, 4, 2000));
    EXPECT_EQ(1000u, W().clock.Now()) << "nothing to wait for";
}

TEST_F(DeviceParallelPortTest, WritesReportWholeSuccessOnly)
{
    FakeDevice& d = W().AddDevice("\\\\.\\QZPAR1");
    DeviceParallelPort port;
    ASSERT_EQ(1, port.Open("LPT1"));
    const unsigned char bytes[] = { 0x1B, 0x42, 0x00 };
    EXPECT_EQ(1, port.Write(bytes, 3));
    EXPECT_EQ(1, port.WriteByte(0x55));
    ASSERT_EQ(2u, d.writes.size());
    EXPECT_EQ("1B 42 00", Hex(d.writes[0])) << "one call for the whole packet";
    EXPECT_EQ("55", Hex(d.writes[1]));
    EXPECT_EQ(0, port.Write(bytes, -1));

    d.ctsHeldOff = true; // the call returns without having written
    EXPECT_EQ(0, port.Write(bytes, 3));
    EXPECT_EQ(0, port.WriteByte(1));
    EXPECT_EQ(0, port.Lost()) << "a short write is no loss";
    d.ctsHeldOff = false;
    d.failWrites = true;
    EXPECT_EQ(0, port.Write(bytes, 3));
    EXPECT_EQ(1, port.Lost()) << "a write the device refused";
    EXPECT_EQ(0, port.WriteByte(1));
    EXPECT_EQ(0, d.clearCommErrorCalls) << "a device has no comm errors to clear";

    FakeDevice& other = W().AddDevice("\\\\.\\QZPAR2");
    other.failWrites = true;
    DeviceParallelPort single;
    ASSERT_EQ(1, single.Open("LPT2"));
    EXPECT_EQ(0, single.WriteByte(1));
    EXPECT_EQ(1, single.Lost()) << "WriteByte finds the loss on its own";
}

TEST_F(DeviceParallelPortTest, ReadWithoutTimeoutMakesOneCall)
{
    FakeDevice& d = W().AddDevice("\\\\.\\QZPAR1");
    DeviceParallelPort port;
    ASSERT_EQ(1, port.Open("LPT1"));
    unsigned char buffer[80];
    d.readsPerTick = 1000; // the tick counter stays put
    EXPECT_EQ(0, port.Read(buffer, 80, 0));
    EXPECT_EQ(1, d.readCalls);

    d.Send({ 1, 2, 3, 4, 5 });
    d.maxReadChunk = 2;
    EXPECT_EQ(2, port.Read(buffer, 80, 0)) << "what the one call delivered";
    EXPECT_EQ(2, d.readCalls);
    EXPECT_EQ(0, port.Read(buffer, 0, 0));
    EXPECT_EQ(2, d.readCalls) << "nothing wanted, no call";
}

TEST_F(DeviceParallelPortTest, ReadCollectsPiecesUntilFull)
{
    FakeDevice& d = W().AddDevice("\\\\.\\QZPAR1");
    DeviceParallelPort port;
    ASSERT_EQ(1, port.Open("LPT1"));
    unsigned char buffer[15];
    d.maxReadChunk = 4;
    Bytes fifteen;
    for (uint8_t i = 0; i < 15; ++i)
        fifteen.push_back(static_cast<uint8_t>(0x30 + i));
    d.Send(fifteen);
    DWORD start = W().clock.Now();
    EXPECT_EQ(15, port.Read(buffer, 15, 2000));
    EXPECT_EQ(4, d.readCalls) << "4 + 4 + 4 + 3";
    EXPECT_EQ(4u, W().clock.Now() - start) << "returns as soon as the last piece is in";
    EXPECT_EQ(Hex(fifteen), Hex(Bytes(buffer, buffer + 15)));
}

TEST_F(DeviceParallelPortTest, FourBytesThenSilenceReturnFourAfterTheTimeout)
{
    FakeDevice& d = W().AddDevice("\\\\.\\QZPAR1");
    DeviceParallelPort port;
    ASSERT_EQ(1, port.Open("LPT1"));
    unsigned char buffer[15];
    for (DWORD startAt : { 1000u, 0xFFFFFFFFu - 500 }) {
        W().clock.Set(startAt);
        d.Send({ 0x3F, 0x01, 0x00, 0x07 });
        EXPECT_EQ(4, port.Read(buffer, 15, 2000));
        EXPECT_EQ(2001u, W().clock.Now() - startAt) << "measured across the counter's wrap";
    }
}

TEST_F(DeviceParallelPortTest, FailedReadsAddNothingAndDoNotEndTheLoop)
{
    FakeDevice& d = W().AddDevice("\\\\.\\QZPAR1");
    DeviceParallelPort port;
    ASSERT_EQ(1, port.Open("LPT1"));
    unsigned char buffer[15];
    d.maxReadChunk = 2;
    d.Send({ 0x3F, 0x01, 0x00 });
    d.failReadAtCall = 0;
    EXPECT_EQ(3, port.Read(buffer, 15, 2000)) << "the bytes after the failure are still read";
    EXPECT_EQ(0x3F, buffer[0]);
    EXPECT_EQ(0x00, buffer[2]);

    d.failAllReads = true;
    d.Send({ 0x55 });
    DWORD start = W().clock.Now();
    int calls = d.readCalls;
    EXPECT_EQ(0, port.Read(buffer, 15, 100));
    EXPECT_EQ(101u, W().clock.Now() - start);
    EXPECT_EQ(101, d.readCalls - calls);
    EXPECT_EQ(0, port.Lost()) << "failed reads say nothing about the device";
}

} // namespace
