// Faults of the line and of the system, seen through the exports: every
// failure comes back as 0 (or is absorbed where the call's result has no
// meaning), nothing is left open that the driver does not hold, and what the
// host asked for is shown once the line works again.
#include <gtest/gtest.h>

#include <algorithm>

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
    // CreateFileA calls so far, of every name.
    size_t Opens() { return Double().openedNames.size(); }
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

// --- A display that goes away and comes back

// The host calls only BrlTimer and the display calls. The script runs at a
// clock far from the counter's wrap and across it: every interval is an
// unsigned difference of ticks.
TEST_F(FaultInjectionTest, LostDisplayIsReleasedSoughtOnceASecondAndShownAgainByTheTimer)
{
    for (DWORD base : { 10000u, 0xFFFFFFFFu - 999 }) {
        Fresh();
        FakeDevice& d = ReadyDisplay(40);
        Bytes one = { 0x01 }, two = { 0x02 }, status = { 0x05 };
        ASSERT_EQ(1, BrlDisplay(one.data(), 1));
        d.Send({ 0x1B, 0x4B }); // half a key packet, then the cable goes
        BrlTimer();
        Double().clock.Set(base);
        d.gone = true;

        struct Step {
            const char* what;
            DWORD at;                      // ticks after base
            std::function<void()> change;  // what happens to the device first
            std::function<int()> call;
            int expected;                  // -1: no defined result
            size_t opens;                  // CreateFileA calls since the loss
            bool open;                     // the driver holds the device afterwards
            size_t packets;                // cell packets the device has received
        };
        auto display = [](const Bytes& b) { return [&b] { return BrlDisplay(b.data(), int(b.size())); }; };
        auto timer = [] { return BrlTimer(), -1; };
        const Step steps[] = {
            { "the write that finds the display gone", 0, nullptr, display(two), 0, 0, false, 1 },
            { "the same cells again", 0, nullptr, display(two), 1, 0, false, 1 },
            { "status cells, kept", 0, nullptr, [&] { return BrlDisplayStatus(status.data(), 1); }, 1, 0, false, 1 },
            { "refresh with no port", 0, nullptr, [] { return BrlRefresh(); }, 1, 0, false, 1 },
            { "timer within the second", 999, nullptr, timer, -1, 0, false, 1 },
            { "timer a second after the loss", 1000, nullptr, timer, -1, 1, false, 1 },
            { "timer at once after a failed attempt", 1000, nullptr, timer, -1, 1, false, 1 },
            { "timer a second after it", 2000, nullptr, timer, -1, 2, false, 1 },
            { "back, but refusing the first write", 3000, [&] {
                  d.gone = false;
                  d.failWrites = true;
              }, timer, -1, 3,
              false, 1 },
            { "lost again: the attempts go on", 3999, nullptr, timer, -1, 3, false, 1 },
            { "back for good", 4000, [&] { d.failWrites = false; }, timer, -1, 4, true, 2 },
            { "the next timer only reads", 4020, nullptr, timer, -1, 4, true, 2 },
        };
        size_t before = Opens();
        for (const auto& s : steps) {
            std::string what = std::string(s.what) + " (base " + std::to_string(base) + ")";
            Double().clock.Set(base + s.at);
            if (s.change)
                s.change();
            int result = s.call();
            if (s.expected >= 0) {
                EXPECT_EQ(s.expected, result) << what;
            }
            EXPECT_EQ(s.opens, Opens() - before) << what;
            EXPECT_EQ(s.open, d.isOpen) << what;
            EXPECT_EQ(s.packets, CellPackets(d).size()) << what << ": only cell packets, never a query";
        }
        ASSERT_LE(4u, Double().openedNames.size());
        EXPECT_EQ(std::vector<std::string>(4, "COM1"),
                  std::vector<std::string>(Double().openedNames.end() - 4, Double().openedNames.end()));
        auto packets = CellPackets(d);
        ASSERT_EQ(2u, packets.size());
        Bytes shown(45, 0);
        shown[0] = 0x05;
        shown[5] = 0x02;
        EXPECT_EQ(Hex(shown), Hex(packets[1])) << "the cells the host set while the display was away";

        // The parser kept its half packet; keys reach the callback again.
        d.Send({ 0x01, 0x01 });
        BrlTimer();
        EXPECT_EQ(std::vector<KeyCall>{ (KeyCall{ 0x80000124u, 0 }) }, RecordedKeys());
        BrlTerminate();
    }
}

// Only a device that has gone is let go; a slow or noisy line keeps its
// port.
TEST_F(FaultInjectionTest, OnlyAGoneDeviceIsLost)
{
    struct Case {
        const char* what;
        const char* portName;
        const char* device;
        std::function<void(FakeDevice&)> fault;
        bool byWrite; // found by BrlDisplay (else by BrlTimer's read)
        int expected;
        bool lost;
    };
    const char* const kernelDevice = "\\\\.\\QZPAR1";
    const Case cases[] = {
        { "serial, write refused", "COM1", "COM1", [](FakeDevice& d) { d.failWrites = true; }, true, 0, true },
        { "serial, unplugged, found by a write", "COM1", "COM1", [](FakeDevice& d) { d.gone = true; }, true, 0, true },
        { "serial, CTS held off", "COM1", "COM1", [](FakeDevice& d) { d.ctsHeldOff = true; }, true, 0, false },
        { "serial, read failed, line error cleared", "COM1", "COM1", [](FakeDevice& d) { d.failAllReads = true; },
          false, 1, false },
        { "serial, read failed, error not even cleared", "COM1", "COM1",
          [](FakeDevice& d) { d.failAllReads = d.failClearCommError = true; }, false, 1, true },
        { "serial, unplugged, found by a read", "COM1", "COM1", [](FakeDevice& d) { d.gone = true; }, false, 1, true },
        { "kernel device, write refused", "LPT1", kernelDevice, [](FakeDevice& d) { d.failWrites = true; }, true, 0,
          true },
        { "kernel device, reads failing", "LPT1", kernelDevice, [](FakeDevice& d) { d.failAllReads = true; }, false,
          1, false },
    };
    for (const auto& c : cases) {
        Fresh();
        FakeDevice& d = AddDisplay(c.device, 40);
        ASSERT_EQ(0x0528, BrlInit(c.portName, RecordKey)) << c.what;
        c.fault(d);
        Bytes text = { 0x01 };
        int result = c.byWrite ? BrlDisplay(text.data(), 1) : (BrlTimer(), 1);
        EXPECT_EQ(c.expected, result) << c.what;
        EXPECT_EQ(!c.lost, d.isOpen) << c.what;
        size_t opens = Opens();
        Double().clock.Advance(1000);
        BrlTimer();
        EXPECT_EQ(c.lost ? opens + 1 : opens, Opens()) << c.what << ": a lost port is sought, a kept one is not";
        BrlTerminate();
    }
}

// Attempts run only while the host keeps the display: awake, after a
// successful BrlInit and before BrlTerminate.
TEST_F(FaultInjectionTest, NoAttemptWhileAsleepAfterTerminateOrAfterAFailedInit)
{
    struct Case {
        const char* what;
        bool identified;                  // the last BrlInit succeeded before the display went
        std::function<void()> then;       // what the host does after the loss
        size_t attempts;                  // opens by three timers a second apart
    };
    const Case cases[] = {
        { "awake", true, nullptr, 3 },
        { "asleep", true, [] { BrlSleep(1); }, 0 },
        { "terminated", true, [] { BrlTerminate(); }, 0 },
        { "a failed BrlInit after the loss", true, [] { EXPECT_EQ(0, BrlInit("COM1", RecordKey)); }, 0 },
        { "a failed BrlInit(\"auto\") after the loss", true, [] { EXPECT_EQ(0, BrlInit("auto", RecordKey)); }, 0 },
        { "a wake that fails", true, [this] {
              BrlSleep(1);
              size_t before = Opens();
              EXPECT_EQ(1, BrlSleep(0));
              EXPECT_EQ(before + 1, Opens()) << "the wake tries at once";
          }, 3 },
        { "a BrlInit that failed to identify", false, nullptr, 0 },
    };
    for (const auto& c : cases) {
        Fresh();
        FakeDevice& d = c.identified ? AddDisplay("COM1", 40) : Double().AddDevice("COM1");
        EXPECT_EQ(c.identified ? 0x0528 : 0, BrlInit("COM1", RecordKey)) << c.what;
        d.gone = true;
        Bytes text = { 0x01 };
        BrlDisplay(text.data(), 1);
        BrlRefresh();
        BrlTimer();
        if (c.then)
            c.then();
        size_t before = Opens();
        for (int i = 0; i < 3; ++i) {
            Double().clock.Advance(1000);
            BrlTimer();
        }
        EXPECT_EQ(c.attempts, Opens() - before) << c.what;
        if (!c.identified) {
            EXPECT_TRUE(d.isOpen) << c.what << ": a failure inside BrlInit releases nothing";
        }
        BrlTerminate();
    }
}

} // namespace
