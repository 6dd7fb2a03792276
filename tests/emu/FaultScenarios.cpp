// Faults of the line and of the system, seen through the exports: every
// failure comes back as 0 (or is absorbed where the call's result has no
// meaning), nothing is left open that the driver does not hold, and what the
// host asked for is shown once the line works again.
#include "ExportScenario.h"

namespace {

using namespace testsupport;

// Keys 1 and 36: key code 0x80000124.
Bytes KeyPacket() { return { 0x1B, 0x4B, 0x01, 0x01 }; }

class FaultInjection : public emu::ExportScenario {
public:
    using ExportScenario::ExportScenario;

protected:
    std::vector<Bytes> Packets(const FakeDevice& d) { return CellPackets(d); }
    // A new driver and double for the next case of a table.
    void Fresh()
    {
        host.Detach();
        EXPECT_EQ(0, Double().openHandles) << "handles left open by the last case";
        SetUp();
    }
};

struct RefusedStep {
    const char* what;
    bool refuseOpen;
    bool refuseTimeouts;
};

// The display holds CTS off: every write runs into its time-out and the
// driver acknowledges the error on the line.
SCENARIO(FaultInjection, CtsHeldOffFailsEachWriteAfterItsTimeoutAndClearsTheError)
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
        { "display", [&] { return host.Display(text, 2); }, 0, 100 * 47 + 1, 1 },
        { "display of the same cells", [&] { return host.Display(text, 2); }, 1, 0, 0 },
        { "status", [&] { return host.DisplayStatus(text, 1); }, 0, 100 * 47 + 1, 1 },
        { "refresh", [&] { return host.Refresh(); }, 0, 100 * 47 + 1, 1 },
        { "clear", [&] { return host.Clear(); }, 0, 100 * 47 + 1, 1 },
        { "timer", [&] { return host.Timer(), 1; }, 1, 1, 0 },
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
    EXPECT_EQ(1, host.Display(text, 2));
    EXPECT_EQ(1, host.Refresh());
    auto packets = Packets(d);
    ASSERT_EQ(2u, packets.size()) << "display after clear, then refresh";
    Bytes expected(45, 0);
    expected[5] = 0x01;
    expected[6] = 0x02;
    EXPECT_EQ(Hex(expected), Hex(packets[1]));
}

SCENARIO(FaultInjection, CtsHeldOffStillLetsSleepAndTerminateReleaseThePort)
{
    for (bool terminate : { false, true }) {
        Fresh();
        FakeDevice& d = ReadyDisplay(40);
        Bytes text = { 0x7F };
        host.Display(text, 1);
        d.ctsHeldOff = true;
        if (terminate)
            host.Terminate();
        else
            EXPECT_EQ(1, host.Sleep(1));
        EXPECT_FALSE(d.isOpen) << (terminate ? "terminate" : "sleep");
        EXPECT_EQ(1, d.clearCommErrorCalls) << "the blanking write failed";
        EXPECT_EQ(0, Double().openHandles);
    }
}

// The port cannot be had, at start-up or on waking: the driver ends up
// without a port and without a handle, and tries again on the next wake.
SCENARIO(FaultInjection, RefusedOpenOrTimeoutsLeaveNoPortAndNoHandle)
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
        EXPECT_EQ(0, host.Init("COM1:38400,n,8,1", RecordKey)) << c.what;
        EXPECT_EQ(0, Double().openHandles) << c.what;
        EXPECT_TRUE(d.written.empty()) << c.what;
        Bytes text = { 0x01 };
        EXPECT_EQ(1, host.Display(text, 1)) << c.what << ": nothing identified, nothing to send";

        // Now the port works at start-up and fails on waking.
        d.refuseOpen = false;
        d.refuseTimeouts = false;
        ASSERT_EQ(0x0528, host.Init("COM1:38400,n,8,1", RecordKey)) << c.what;
        host.Sleep(1);
        d.refuseOpen = c.refuseOpen;
        d.refuseTimeouts = c.refuseTimeouts;
        EXPECT_EQ(1, host.Sleep(0)) << c.what;
        EXPECT_EQ(0, Double().openHandles) << c.what;
        Bytes later = { 0x33 };
        EXPECT_EQ(1, host.Display(later, 1)) << c.what << ": buffered";
        host.Timer();

        d.refuseOpen = false;
        d.refuseTimeouts = false;
        d.written.clear();
        host.Sleep(1);
        host.Sleep(0);
        auto packets = Packets(d);
        ASSERT_EQ(1u, packets.size()) << c.what;
        EXPECT_EQ(0x33, packets[0][5]) << c.what << ": the cells shown while the port was gone";
        host.Terminate();
    }
}

// A read fails after part of the reply has come in: the driver goes on
// with what it has and still sends the sequence after the query.
SCENARIO(FaultInjection, ReadFailingMidIdentificationLeavesThePortOpenAndSendsTheSequence)
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
        EXPECT_EQ(c.expected, host.Init("COM1:38400,n,8,1", RecordKey)) << "chunk " << c.chunk;
        EXPECT_EQ("1B 3F 1B 49 00", Hex(d.written)) << "chunk " << c.chunk;
        EXPECT_EQ(1, d.clearCommErrorCalls);
        EXPECT_TRUE(d.isOpen) << "a failed identification keeps the port";
        host.Terminate();
    }
}

SCENARIO(FaultInjection, ReadFailingMidPollLosesNoKey)
{
    FakeDevice& d = ReadyDisplay(40);
    d.readsPerTick = 4; // several reads fit into one tick
    d.maxReadChunk = 2;
    d.Send(KeyPacket());
    d.failReadAtCall = d.readCalls + 1; // the second read of the next poll
    host.Timer();
    EXPECT_TRUE(RecordedKeys().empty()) << "half a packet so far";
    EXPECT_EQ(1, d.clearCommErrorCalls);
    host.Timer();
    ASSERT_EQ(1u, RecordedKeys().size());
    EXPECT_EQ((KeyCall{ 0x80000124u, 0 }), RecordedKeys()[0]);
}

SCENARIO(FaultInjection, ReadsFailingForAWhileHoldTheKeysUntilTheyWork)
{
    FakeDevice& d = ReadyDisplay(40);
    d.Send(KeyPacket());
    d.failAllReads = true;
    for (int i = 0; i < 5; ++i)
        host.Timer();
    EXPECT_TRUE(RecordedKeys().empty());
    EXPECT_EQ(5, d.clearCommErrorCalls);
    d.failAllReads = false;
    host.Timer();
    EXPECT_EQ(1u, RecordedKeys().size()) << "the packet waited in the line";
}

} // namespace
