// Faults of the line and of the system, seen through the exports: every
// failure comes back as 0 (or is absorbed where the call's result has no
// meaning), nothing is left open that the driver does not hold, and what the
// host asked for is shown once the line works again.
#include <gtest/gtest.h>

#include "DriverTestSupport.h"

namespace {

using namespace testsupport;

// Keys 1 and 36: key code 0x80000124.
Bytes KeyPacket() { return { 0x1B, 0x4B, 0x01, 0x01 }; }

class FaultInjectionTest : public DriverTest {
protected:
    std::vector<Bytes> Packets(const FakeDevice& d) { return CellPackets(d); }
    // A new driver and double for the next case of a table.
    void Fresh()
    {
        driver.reset();
        EXPECT_EQ(0, Double().openHandles) << "handles left open by the last case";
        DriverTest::SetUp();
    }
};

// The display holds CTS off: every write runs into its time-out and the
// driver acknowledges the error on the line.
TEST_F(FaultInjectionTest, CtsHeldOffFailsEachWriteAfterItsTimeoutAndClearsTheError)
{
    FakeDevice& d = ReadyDisplay(40);
    d.ctsHeldOff = true;
    Bytes text = { 0x01, 0x02 };

    struct Step {
        const char* what;
        std::function<int()> call;
        int expected;
        DWORD waited;     // the write time-out of the one packet: 100 * n + 1
        int clearErrors;  // ClearCommError calls it makes
    };
    const Step steps[] = {
        { "display", [&] { return BrlDisplay(text.data(), 2); }, 0, 100 * 47 + 1, 1 },
        { "display of the same cells", [&] { return BrlDisplay(text.data(), 2); }, 1, 0, 0 },
        { "status", [&] { return BrlDisplayStatus(text.data(), 1); }, 0, 100 * 47 + 1, 1 },
        { "refresh", [&] { return BrlRefresh(); }, 0, 100 * 47 + 1, 1 },
        { "clear", [&] { return BrlClear(); }, 0, 100 * 47 + 1, 1 },
        { "timer", [&] { return BrlTimer(), 1; }, 1, 1, 0 },
    };
    for (const auto& s : steps) {
        int errorsBefore = d.clearCommErrorCalls;
        DWORD before = Double().clock.Now();
        EXPECT_EQ(s.expected, s.call()) << s.what;
        EXPECT_EQ(s.waited, Double().clock.Now() - before) << s.what;
        EXPECT_EQ(s.clearErrors, d.clearCommErrorCalls - errorsBefore) << s.what;
    }
    EXPECT_TRUE(d.written.empty()) << "expected nothing on the line, got " << Hex(d.written);
    EXPECT_TRUE(d.isOpen) << "a failed write keeps the port";

    // The line is back: one refresh shows what the host asked for last.
    d.ctsHeldOff = false;
    EXPECT_EQ(1, BrlDisplay(text.data(), 2));
    EXPECT_EQ(1, BrlRefresh());
    auto packets = Packets(d);
    ASSERT_EQ(2u, packets.size()) << "display after clear, then refresh";
    Bytes expected(45, 0);
    expected[5] = 0x01;
    expected[6] = 0x02;
    EXPECT_EQ(Hex(expected), Hex(packets[1]));
}

TEST_F(FaultInjectionTest, CtsHeldOffDuringIdentificationFailsInitWithoutReading)
{
    FakeDevice& d = AddDisplay("COM1", 40);
    d.ctsHeldOff = true;
    DWORD before = Double().clock.Now();
    EXPECT_EQ(0, BrlInit("COM1:38400,n,8,1", RecordKey));
    EXPECT_EQ(201u, Double().clock.Now() - before) << "the 2-byte query's write time-out, no read wait";
    EXPECT_EQ(0, d.readCalls);
    EXPECT_EQ(1, d.clearCommErrorCalls);
    EXPECT_TRUE(d.written.empty());
    EXPECT_EQ(0, driver->textCells);
    BrlTerminate();
    EXPECT_FALSE(d.isOpen);
}

TEST_F(FaultInjectionTest, CtsHeldOffStillLetsSleepAndTerminateReleaseThePort)
{
    for (bool terminate : { false, true }) {
        Fresh();
        FakeDevice& d = ReadyDisplay(40);
        Bytes text = { 0x7F };
        BrlDisplay(text.data(), 1);
        d.ctsHeldOff = true;
        if (terminate)
            BrlTerminate();
        else
            EXPECT_EQ(1, BrlSleep(1));
        EXPECT_FALSE(d.isOpen) << (terminate ? "terminate" : "sleep");
        EXPECT_EQ(nullptr, driver->port);
        EXPECT_EQ(1, d.clearCommErrorCalls) << "the blanking write failed";
        EXPECT_EQ(0, Double().openHandles);
    }
}

struct RefusedStep {
    const char* what;
    bool refuseOpen;
    bool refuseTimeouts;
};

// The port cannot be had, at start-up or on waking: the driver ends up
// without a port and without a handle, and tries again on the next wake.
TEST_F(FaultInjectionTest, RefusedOpenOrTimeoutsLeaveNoPortAndNoHandle)
{
    const RefusedStep cases[] = {
        { "CreateFileA refused", true, false },
        { "SetCommTimeouts refused", false, true },
    };
    for (const auto& c : cases) {
        Fresh();
        FakeDevice& d = AddDisplay("COM1", 40);
        d.refuseOpen = c.refuseOpen;
        d.refuseTimeouts = c.refuseTimeouts;
        EXPECT_EQ(0, BrlInit("COM1:38400,n,8,1", RecordKey)) << c.what;
        EXPECT_EQ(nullptr, driver->port) << c.what;
        EXPECT_EQ(0, Double().openHandles) << c.what;
        EXPECT_TRUE(d.written.empty()) << c.what;
        Bytes text = { 0x01 };
        EXPECT_EQ(1, BrlDisplay(text.data(), 1)) << c.what << ": nothing identified, nothing to send";

        // Now the port works at start-up and fails on waking.
        d.refuseOpen = false;
        d.refuseTimeouts = false;
        ASSERT_EQ(0x0528, BrlInit("COM1:38400,n,8,1", RecordKey)) << c.what;
        BrlSleep(1);
        d.refuseOpen = c.refuseOpen;
        d.refuseTimeouts = c.refuseTimeouts;
        EXPECT_EQ(1, BrlSleep(0)) << c.what;
        EXPECT_EQ(nullptr, driver->port) << c.what;
        EXPECT_EQ(0, Double().openHandles) << c.what;
        Bytes later = { 0x33 };
        EXPECT_EQ(1, BrlDisplay(later.data(), 1)) << c.what << ": buffered";
        BrlTimer();

        d.refuseOpen = false;
        d.refuseTimeouts = false;
        d.written.clear();
        BrlSleep(1);
        BrlSleep(0);
        auto packets = Packets(d);
        ASSERT_EQ(1u, packets.size()) << c.what;
        EXPECT_EQ(0x33, packets[0][5]) << c.what << ": the cells shown while the port was gone";
        BrlTerminate();
    }
}

// A read fails after part of the reply has come in: the driver goes on
// with what it has and still sends the sequence after the query.
TEST_F(FaultInjectionTest, ReadFailingMidIdentificationLeavesThePortOpenAndSendsTheSequence)
{
    struct Case {
        size_t chunk;  // bytes per ReadFile before the failing one
        int expected;
    };
    const Case cases[] = {
        { 2, 0 },      // 3F 01 alone: too short
        { 3, 0x0528 }, // 3F 01 00 came in whole
    };
    for (const auto& c : cases) {
        Fresh();
        FakeDevice& d = AddDisplay("COM1", 40);
        d.maxReadChunk = c.chunk;
        d.failReadAtCall = 1;
        EXPECT_EQ(c.expected, BrlInit("COM1:38400,n,8,1", RecordKey)) << "chunk " << c.chunk;
        EXPECT_EQ("1B 3F 1B 49 00", Hex(d.written)) << "chunk " << c.chunk;
        EXPECT_EQ(1, d.clearCommErrorCalls);
        EXPECT_TRUE(d.isOpen) << "a failed identification keeps the port";
        BrlTerminate();
    }
}

TEST_F(FaultInjectionTest, ReadFailingMidPollLosesNoKey)
{
    FakeDevice& d = ReadyDisplay(40);
    d.readsPerTick = 4; // several reads fit into one tick
    d.maxReadChunk = 2;
    d.Send(KeyPacket());
    d.failReadAtCall = d.readCalls + 1; // the second read of the next poll
    BrlTimer();
    EXPECT_TRUE(RecordedKeys().empty()) << "half a packet so far";
    EXPECT_EQ(1, d.clearCommErrorCalls);
    BrlTimer();
    ASSERT_EQ(1u, RecordedKeys().size());
    EXPECT_EQ((KeyCall{ 0x80000124u, 0 }), RecordedKeys()[0]);
}

TEST_F(FaultInjectionTest, ReadsFailingForAWhileHoldTheKeysUntilTheyWork)
{
    FakeDevice& d = ReadyDisplay(40);
    d.Send(KeyPacket());
    d.failAllReads = true;
    for (int i = 0; i < 5; ++i)
        BrlTimer();
    EXPECT_TRUE(RecordedKeys().empty());
    EXPECT_EQ(5, d.clearCommErrorCalls);
    d.failAllReads = false;
    BrlTimer();
    EXPECT_EQ(1u, RecordedKeys().size()) << "the packet waited in the line";
}

} // namespace
