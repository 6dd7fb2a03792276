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
    // CreateFileA calls so far, of every name.
    size_t Opens() { return Double().openedNames.size(); }
};

struct RefusedStep {
    const char* what;
    bool refuseOpen;
    bool refuseTimeouts;
};

// The display holds CTS off on a port whose modem status cannot be read
// (some virtual ports, a pty under Wine): nothing tells the driver that the
// display is away, so every write runs into the port's own time-out and the
// driver acknowledges the error on the line.
SCENARIO(FaultInjection, CtsHeldOffOnALineThatCannotSayFailsEachWriteAfterItsTimeout)
{
    FakeDevice& d = AddDisplay("COM1", 40);
    d.failModemStatus = true;
    ASSERT_EQ(0x0528, host.Init("COM1", RecordKey));
    d.written.clear();
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

// BrlSleep(1) and BrlTerminate blank a display that is not there: the
// blanking packet gets the short time-out, or none once the display is
// known to be away, and the port is released all the same.
SCENARIO(FaultInjection, CtsHeldOffStillLetsSleepAndTerminateReleaseThePort)
{
    for (bool terminate : { false, true })
        for (bool away : { false, true }) {
            std::string what = std::string(terminate ? "terminate" : "sleep") + (away ? ", away" : "");
            Fresh();
            FakeDevice& d = ReadyDisplay(40);
            Bytes text = { 0x7F }, other = { 0x3F };
            host.Display(text, 1);
            d.ctsHeldOff = true;
            if (away) {
                EXPECT_EQ(0, host.Display(other, 1)) << what;
            }
            DWORD before = Double().clock.Now();
            if (terminate) {
                host.Terminate();
            } else {
                EXPECT_EQ(1, host.Sleep(1));
            }
            EXPECT_EQ(away ? 0u : 100u + 47, Double().clock.Now() - before) << what;
            EXPECT_FALSE(d.isOpen) << what;
            EXPECT_EQ(1, d.clearCommErrorCalls) << what << ": one packet timed out";
            EXPECT_EQ(1u, CellPackets(d).size()) << what << ": only the first display went out";
            EXPECT_EQ(0, Double().openHandles);
        }
}

// --- A display switched off and on again

// One step of a host's session on the double's clock: the clock is set to
// `at` ticks after the start, the device changed, the call made.
struct TimedStep {
    const char* what;
    DWORD at;
    std::function<void(FakeDevice&)> change;
    std::function<int()> call;
    int expected;   // -1: no defined result
    DWORD held;     // how long the call held the host
    int looks;      // GetCommModemStatus calls it made
    size_t packets; // cell packets the display has received so far
};

class SwitchedOffDisplay : public FaultInjection {
public:
    using FaultInjection::FaultInjection;

protected:
    std::function<int()> Shows(const Bytes& cells)
    {
        return [this, &cells] { return host.Display(cells, int(cells.size())); };
    }
    std::function<int()> Timer()
    {
        return [this] { return host.Timer(), -1; };
    }
    void Run(FakeDevice& d, DWORD start, const std::vector<TimedStep>& steps, const std::string& label)
    {
        for (const auto& s : steps) {
            std::string what = label + ": " + s.what;
            Double().clock.Set(start + s.at);
            if (s.change)
                s.change(d);
            int looks = d.modemStatusCalls;
            int result = s.call();
            if (s.expected >= 0) {
                EXPECT_EQ(s.expected, result) << what;
            }
            EXPECT_EQ(s.held, Double().clock.Now() - (start + s.at)) << what << ": ms the host was held";
            EXPECT_EQ(s.looks, d.modemStatusCalls - looks) << what << ": looks at the line";
            EXPECT_EQ(s.packets, CellPackets(d).size()) << what;
        }
    }
    // The packet of five status cells and 40 text cells, text[0] first.
    static Bytes Shown(uint8_t status, uint8_t text)
    {
        Bytes shown(45, 0);
        shown[0] = status;
        shown[5] = text;
        return shown;
    }
};

// The host calls only the display calls and BrlTimer; the display is
// switched off, then on. Its bytes that a timed-out write left queued
// would reach it later, unless purged.
SCENARIO(SwitchedOffDisplay, HoldsTheHostAMomentAndComesBackByItself)
{
    FakeDevice& d = ReadyDisplay(40);
    d.keepsUnsent = true;
    Bytes one = { 0x01 }, two = { 0x02 }, three = { 0x03 }, status = { 0x05 };
    auto off = [](FakeDevice& f) { f.ctsHeldOff = true; };
    auto on = [](FakeDevice& f) { f.ctsHeldOff = false; };
    const DWORD shortWrite = 100 + 47; // 100 ms and 1 ms a byte of the 47-byte packet
    Run(d, 10000,
        {
            { "cells, the display on", 0, nullptr, Shows(one), 1, 0, 1, 1 },
            { "switched off: the packet that finds it out", 10, off, Shows(two), 0, shortWrite, 1, 1 },
            { "the same cells", 200, nullptr, Shows(two), 1, 0, 0, 1 },
            { "changed cells while away", 210, nullptr, Shows(three), 0, 0, 1, 1 },
            { "status cells while away", 220, nullptr, [&] { return host.DisplayStatus(status, 1); }, 0, 0, 1, 1 },
            { "refresh while away", 230, nullptr, [this] { return host.Refresh(); }, 0, 0, 1, 1 },
            { "timer while away: a look and a read", 240, nullptr, Timer(), -1, 1, 1, 1 },
            { "timer seconds later: a line that says is never tried blind", 9000, nullptr, Timer(), -1, 1, 1, 1 },
            { "switched on: the timer shows the cells", 9500, on, Timer(), -1, 1, 1, 2 },
            { "the next timer only reads", 9520, nullptr, Timer(), -1, 1, 0, 2 },
            { "the same cells again", 9530, nullptr, Shows(three), 1, 0, 0, 2 },
        },
        "a line that reports CTS");
    auto packets = CellPackets(d);
    ASSERT_EQ(2u, packets.size());
    EXPECT_EQ(Hex(Shown(0x05, 0x03)), Hex(packets[1])) << "what the host gave last, and no stale byte before it";
    EXPECT_TRUE(d.isOpen) << "a display switched off keeps its port";
}

// A driver that reports CTS off whatever the line does cannot say when the
// display is back: BrlTimer tries the cells now and then, under the short
// time-out, and a packet that goes out whole ends the wait.
SCENARIO(SwitchedOffDisplay, OnALineThatNeverShowsCtsTheTimerTriesEveryTwoSeconds)
{
    // The second base puts the counter's wrap between a try falling due
    // and the timer that makes it.
    for (DWORD base : { 10000u, 0xFFFFFFFFu - 2149 }) {
        Fresh();
        FakeDevice& d = AddDisplay("COM1", 40);
        d.reportsCtsOff = true;
        ASSERT_EQ(0x0528, host.Init("COM1", RecordKey));
        d.written.clear();
        Bytes one = { 0x01 }, two = { 0x02 }, three = { 0x03 };
        auto off = [](FakeDevice& f) { f.ctsHeldOff = true; };
        auto on = [](FakeDevice& f) { f.ctsHeldOff = false; };
        const DWORD shortWrite = 147;
        // The first failure ends at 147, so a try is due from 2147; the
        // one at 2160 fails and ends at 2307, so the next is due at 4307.
        Run(d, base,
            {
                { "cells: the status says off, the line sends", 0, nullptr, Shows(one), 1, 0, 1, 1 },
                { "switched off", 0, off, Shows(two), 0, shortWrite, 1, 1 },
                { "timer within two seconds", 2146, nullptr, Timer(), -1, 1, 1, 1 },
                { "timer past two seconds: a try", 2160, nullptr, Timer(), -1, shortWrite + 1, 1, 1 },
                { "switched on, timer before the next try", 4306, on, Timer(), -1, 1, 1, 1 },
                { "changed cells wait for the timer", 4306, nullptr, Shows(three), 0, 0, 1, 1 },
                { "the next try goes out whole", 4307, nullptr, Timer(), -1, 1, 1, 2 },
                { "back: cells go as they always did", 4310, nullptr, Shows(one), 1, 0, 1, 3 },
            },
            "base " + std::to_string(base));
        auto packets = CellPackets(d);
        ASSERT_EQ(3u, packets.size());
        EXPECT_EQ(Hex(Shown(0, 0x03)), Hex(packets[1])) << "the try showed the cells the host gave while away";
        host.Terminate();
    }
}

// A display that holds CTS off only while it works, for less than the
// short time-out, loses nothing: the packet goes out when CTS comes on,
// whatever the port says of its lines.
SCENARIO(SwitchedOffDisplay, FlowControlPausesChangeNothing)
{
    struct Case {
        const char* what;
        std::function<void(FakeDevice&)> port;
        DWORD pause;
        int expected;
    };
    auto reportsCts = [](FakeDevice&) {};
    auto reportsOff = [](FakeDevice& d) { d.reportsCtsOff = true; };
    auto cannotSay = [](FakeDevice& d) { d.failModemStatus = true; };
    const Case cases[] = {
        { "a line that reports CTS, no pause", reportsCts, 0, 1 },
        { "a line that reports CTS, a pause of 60 ms", reportsCts, 60, 1 },
        { "a line that reports CTS, a pause as long as the short time-out", reportsCts, 147, 1 },
        { "a line that reports CTS, a pause 1 ms longer", reportsCts, 148, 0 },
        { "a line that reports CTS off, a pause of 60 ms", reportsOff, 60, 1 },
        { "a line that cannot say, a pause of 2 s: the port's own time-out", cannotSay, 2000, 1 },
    };
    for (const auto& c : cases) {
        Fresh();
        FakeDevice& d = AddDisplay("COM1", 40);
        c.port(d);
        ASSERT_EQ(0x0528, host.Init("COM1", RecordKey)) << c.what;
        d.written.clear();
        Bytes cells = { 0x11 };
        d.HoldCtsOffUntil(Double().clock.Now() + c.pause);
        DWORD before = Double().clock.Now();
        EXPECT_EQ(c.expected, host.Display(cells, 1)) << c.what;
        EXPECT_EQ(c.expected ? c.pause : 147, Double().clock.Now() - before) << c.what;
        EXPECT_EQ(size_t(c.expected), CellPackets(d).size()) << c.what;
        host.Terminate();
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

// --- A display that goes away and comes back

// The host calls only BrlTimer and the display calls. The script runs at a
// clock far from the counter's wrap and across it: every interval is an
// unsigned difference of ticks.
SCENARIO(FaultInjection, LostDisplayIsReleasedSoughtOnceASecondAndShownAgainByTheTimer)
{
    for (DWORD base : { 10000u, 0xFFFFFFFFu - 999 }) {
        Fresh();
        FakeDevice& d = ReadyDisplay(40);
        Bytes one = { 0x01 }, two = { 0x02 }, status = { 0x05 };
        ASSERT_EQ(1, host.Display(one, 1));
        d.Send({ 0x1B, 0x4B }); // half a key packet, then the cable goes
        host.Timer();
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
        auto display = [this](const Bytes& b) { return [this, &b] { return host.Display(b, int(b.size())); }; };
        auto timer = [this] { return host.Timer(), -1; };
        const Step steps[] = {
            { "the write that finds the display gone", 0, nullptr, display(two), 0, 0, false, 1 },
            { "the same cells again", 0, nullptr, display(two), 1, 0, false, 1 },
            { "status cells, kept", 0, nullptr, [&] { return host.DisplayStatus(status, 1); }, 1, 0, false, 1 },
            { "refresh with no port", 0, nullptr, [this] { return host.Refresh(); }, 1, 0, false, 1 },
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
        host.Timer();
        EXPECT_EQ(std::vector<KeyCall>{ (KeyCall{ 0x80000124u, 0 }) }, RecordedKeys());
        host.Terminate();
    }
}

// Only a device that has gone is let go; a slow or noisy line keeps its
// port.
SCENARIO(FaultInjection, OnlyAGoneDeviceIsLost)
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
        { "serial, modem status failing where it worked", "COM1", "COM1",
          [](FakeDevice& d) { d.failModemStatus = true; }, true, 0, true },
        { "serial, away, then its modem status fails: found by the timer's look", "COM1", "COM1",
          [this](FakeDevice& d) {
              d.ctsHeldOff = true;
              Bytes cells = { 0x09 };
              EXPECT_EQ(0, host.Display(cells, 1));
              d.failModemStatus = true;
          },
          false, 1, true },
        { "kernel device, write refused", "LPT1", kernelDevice, [](FakeDevice& d) { d.failWrites = true; }, true, 0,
          true },
        { "kernel device, reads failing", "LPT1", kernelDevice, [](FakeDevice& d) { d.failAllReads = true; }, false,
          1, false },
    };
    for (const auto& c : cases) {
        Fresh();
        FakeDevice& d = AddDisplay(c.device, 40);
        ASSERT_EQ(0x0528, host.Init(c.portName, RecordKey)) << c.what;
        c.fault(d);
        Bytes text = { 0x01 };
        int result = c.byWrite ? host.Display(text, 1) : (host.Timer(), 1);
        EXPECT_EQ(c.expected, result) << c.what;
        EXPECT_EQ(!c.lost, d.isOpen) << c.what;
        size_t opens = Opens();
        Double().clock.Advance(1000);
        host.Timer();
        EXPECT_EQ(c.lost ? opens + 1 : opens, Opens()) << c.what << ": a lost port is sought, a kept one is not";
        host.Terminate();
    }
}

// Attempts run only while the host keeps the display: awake, after a
// successful BrlInit and before BrlTerminate.
SCENARIO(FaultInjection, NoAttemptWhileAsleepAfterTerminateOrAfterAFailedInit)
{
    struct Case {
        const char* what;
        bool identified;                  // the last BrlInit succeeded before the display went
        std::function<void()> then;       // what the host does after the loss
        size_t attempts;                  // opens by three timers a second apart
    };
    const Case cases[] = {
        { "awake", true, nullptr, 3 },
        { "asleep", true, [this] { host.Sleep(1); }, 0 },
        { "terminated", true, [this] { host.Terminate(); }, 0 },
        { "a failed BrlInit after the loss", true, [this] { EXPECT_EQ(0, host.Init("COM1", RecordKey)); }, 0 },
        { "a failed BrlInit(\"auto\") after the loss", true, [this] { EXPECT_EQ(0, host.Init("auto", RecordKey)); },
          0 },
        { "a wake that fails", true, [this] {
              host.Sleep(1);
              size_t before = Opens();
              EXPECT_EQ(1, host.Sleep(0));
              EXPECT_EQ(before + 1, Opens()) << "the wake tries at once";
          }, 3 },
        { "a BrlInit that failed to identify", false, nullptr, 0 },
    };
    for (const auto& c : cases) {
        Fresh();
        FakeDevice& d = c.identified ? AddDisplay("COM1", 40) : Double().AddDevice("COM1");
        EXPECT_EQ(c.identified ? 0x0528 : 0, host.Init("COM1", RecordKey)) << c.what;
        d.gone = true;
        Bytes text = { 0x01 };
        host.Display(text, 1);
        host.Refresh();
        host.Timer();
        if (c.then)
            c.then();
        size_t before = Opens();
        for (int i = 0; i < 3; ++i) {
            Double().clock.Advance(1000);
            host.Timer();
        }
        EXPECT_EQ(c.attempts, Opens() - before) << c.what;
        if (!c.identified) {
            EXPECT_TRUE(d.isOpen) << c.what << ": a failure inside BrlInit releases nothing";
        }
        host.Terminate();
    }
}

} // namespace
