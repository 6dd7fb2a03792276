// Faults of the display and of the line, with the real DLL under Wine: the
// display pulled out mid-session, a display that never answers, noise on
// the line, a display that answers one byte at a time.
#include <random>
#include <thread>

#include "E2eSupport.h"

namespace e2e {
namespace {

// A command may take at most the longest write time-out (100 ms a byte of
// the largest packet, 172 bytes) plus Wine's own start-up of the call.
const int CommandLimitMs = 100 * 172 + 1 + 3000;

class FaultE2eTest : public E2eTest {
protected:
    Bytes Shown() const
    {
        return display->With([](const DisplaySimulator& s) { return s.Cells(); });
    }
    bool WaitShown(const Bytes& cells, int timeoutMs = 5000)
    {
        return display->WaitFor([&](const DisplaySimulator& s) { return s.Cells() == cells; }, timeoutMs);
    }
};

// The cable is pulled mid-session and plugged back while the host calls
// only BrlTimer (every 20 ms) and the display calls: the write that finds
// the display gone fails, the port is let go, BrlTimer tries it again a
// second after the loss and a second after each failed attempt, and the
// display comes back with the host's cells and keys, without BrlInit or a
// sleep and wake.
TEST_F(FaultE2eTest, UnpluggedDisplayIsSoughtByTheTimerAndComesBackWithTheCurrentCells)
{
    StartDisplay(40, FullReply(40));
    StartHost();
    ASSERT_EQ(1, Do("trace-opens").result);
    InitReady(40);
    EXPECT_EQ(1, Do("display 01").result);
    Bytes cells(45, 0);
    cells[5] = 0x01;
    ASSERT_TRUE(WaitShown(cells)) << "expected " << Hex(cells) << ", got " << Hex(Shown());
    DisplaySends({ 0x1B, 0x4B }); // half a key packet, then the cable goes
    EXPECT_TRUE(Do("timer").keys.empty());
    display->Unplug();

    struct Step {
        std::string command;
        int expected; // -1: no defined result
    };
    const Step whileGone[] = {
        { "display 02", 0 }, // the write fails: the display is gone, the port let go
        { "display 02", 1 }, // the same cells again: nothing to send
        { "status 04", 1 },  // no port: the cells are kept
        { "refresh", 1 },
        { "display 03", 1 },
        { "timer", -1 },
    };
    std::vector<PortCall> trace;
    for (const auto& s : whileGone) {
        auto r = Do(s.command, CommandLimitMs);
        ASSERT_TRUE(r.ok) << "expected '" << s.command << "' to return within " << CommandLimitMs << " ms";
        if (s.expected >= 0) {
            EXPECT_EQ(s.expected, r.result) << s.command;
        }
        EXPECT_TRUE(r.keys.empty()) << s.command;
        for (const auto& c : PortCalls(r))
            trace.push_back(c);
    }
    ASSERT_EQ(1u, trace.size()) << "expected COM5 closed once, got:\n" << Describe(trace);
    EXPECT_FALSE(trace[0].open);
    EXPECT_EQ("COM5", trace[0].name);
    EXPECT_EQ(0, OpenersOf(display->SlavePath())) << "expected the port released";
    unsigned long lostAt = trace[0].tick;

    // Gone for 2.5 s of the host's timer: two or three attempts a second
    // apart, none of which keeps the port.
    auto r = Do("timer-for 2500 20", 10000);
    EXPECT_GT(r.result, 0);
    auto gone = PortCalls(r);
    auto attempts = Opens(gone);
    ASSERT_GE(attempts.size(), 2u) << "expected attempts to open COM5 a second apart, got:\n" << Describe(gone);
    ASSERT_LE(attempts.size(), 3u) << Describe(gone);
    std::string reason;
    EXPECT_TRUE(EachClosedBeforeTheNext(gone, false, reason)) << reason << ":\n" << Describe(gone);
    unsigned long previous = lostAt;
    for (const auto& c : attempts) {
        EXPECT_EQ("COM5", c.name);
        EXPECT_GE(static_cast<uint32_t>(c.tick - previous), 1000u)
            << "expected a second of ticks since the loss or the last attempt:\n" << Describe(gone);
        previous = c.tick;
    }
    trace.insert(trace.end(), gone.begin(), gone.end());

    // Plugged back: within 1.5 s of the timer the display shows the cells
    // the host set while it was away, in one packet, with no identification.
    display->Plug();
    size_t mark = Received().size();
    r = Do("timer-for 1500 20", 10000);
    auto back = PortCalls(r);
    trace.insert(trace.end(), back.begin(), back.end());
    ASSERT_FALSE(Opens(back).empty()) << "expected COM5 opened again";
    EXPECT_TRUE(EachClosedBeforeTheNext(back, true, reason)) << reason << ":\n" << Describe(back);
    EXPECT_GE(static_cast<uint32_t>(Opens(back).front().tick - previous), 1000u) << Describe(back);
    Bytes current(45, 0);
    current[0] = 0x04;
    current[5] = 0x03;
    ASSERT_TRUE(WaitShown(current)) << "expected the cells the host set while the display was gone, "
                                    << Hex(current) << ", got " << Hex(Shown());
    EXPECT_EQ(Hex(CellPacket(current)), Hex(ReceivedSince(mark))) << "one packet on reopening, no identification";

    // The parser kept its half packet; the next complete packet after a
    // resynchronising byte is reported.
    DisplaySends({ 0x00, 0x00, 0x1B, 0x43, 0x06 });
    EXPECT_EQ(std::vector<std::string>{ "80000081 1" }, Do("timer").keys)
        << "expected the old half packet to end with 00 00 and the routing packet reported";
    EXPECT_GT(OpenersOf(display->SlavePath()), 0);
    printf("[ trace    ] %s: the display lost at tick %lu, then:\n%s", ArchName(), lostAt, Describe(trace).c_str());
}

TEST_F(FaultE2eTest, UnpluggedWhileAsleepWakesWithoutAPortAndRecovers)
{
    InitReady(20);
    Do("display 11 22");
    Do("sleep 1");
    display->Unplug();
    EXPECT_EQ(1, Do("sleep 0", CommandLimitMs).result);
    EXPECT_EQ(1, Do("display 33").result);
    EXPECT_EQ(0, Do("init COM5:38400,n,8,1", CommandLimitMs).result) << "no display to open";
    display->Plug();
    Do("sleep 1");
    Do("sleep 0");
    Bytes cells(25, 0);
    cells[5] = 0x33;
    EXPECT_TRUE(WaitShown(cells)) << "expected " << Hex(cells) << ", got " << Hex(Shown());
}

TEST_F(FaultE2eTest, SilentDisplayFailsInitKeepsThePortUntilTerminateAndCanBeRetried)
{
    StartDisplay(40, FullReply(40));
    display->Change([](DisplaySimulator& s) {
        s.SetAnswerQueries(false);
        return 0;
    });
    StartHost();
    auto r = Do("init COM5:38400,n,8,1", 15000);
    ASSERT_TRUE(r.ok) << "expected BrlInit to give up after its 2 s wait";
    EXPECT_EQ(0, r.result);
    EXPECT_GT(OpenersOf(display->SlavePath()), 0) << "a failed identification keeps the port";
    EXPECT_TRUE(Do("timer").keys.empty());
    EXPECT_EQ(0, Do("init COM5:38400,n,8,1").result) << "refused while the port is open";
    Do("terminate");
    EXPECT_EQ(0, OpenersOf(display->SlavePath())) << "expected the port released";
    display->Change([](DisplaySimulator& s) {
        s.SetAnswerQueries(true);
        return 0;
    });
    EXPECT_EQ(0x0528, Do("init COM5:38400,n,8,1").result);
}

// Noise that cannot form a packet: any byte after an ESC that would start
// one (ESC, 'K', 'C') is replaced.
Bytes Noise(std::mt19937& random, size_t length)
{
    Bytes noise;
    for (size_t i = 0; i < length; ++i) {
        uint8_t b = static_cast<uint8_t>(random());
        if (!noise.empty() && noise.back() == 0x1B && (b == 0x1B || b == 'K' || b == 'C'))
            b = 0x00;
        noise.push_back(b);
    }
    if (!noise.empty() && noise.back() == 0x1B)
        noise.back() = 0x00;
    return noise;
}

Bytes RandomPacket(std::mt19937& random)
{
    for (;;) {
        Bytes p = random() % 2 ? Bytes{ 0x1B, 'K', static_cast<uint8_t>(random() % 64), static_cast<uint8_t>(random() % 32) }
                               : Bytes{ 0x1B, 'C', static_cast<uint8_t>(random()) };
        if (!KeyReport(p).empty())
            return p;
    }
}

TEST_F(FaultE2eTest, LineNoiseBetweenPacketsGivesNoSpuriousCallsAndLosesNoPacket)
{
    InitReady(40);
    std::mt19937 random(6);
    for (int round = 0; round < 60; ++round) {
        Bytes noise = Noise(random, 1 + random() % 60);
        Bytes packet = RandomPacket(random);
        Bytes line = noise;
        line.insert(line.end(), packet.begin(), packet.end());
        DisplaySends(line);
        auto r = Do("timer-until 1 3000");
        ASSERT_EQ(std::vector<std::string>{ KeyReport(packet) }, r.keys)
            << "round " << round << ": line " << Hex(line);
        // Noise alone: nothing.
        DisplaySends(Noise(random, 1 + random() % 30));
        EXPECT_TRUE(Do("timer").keys.empty()) << "round " << round;
    }
}

TEST_F(FaultE2eTest, DisplayAnsweringOneByteAtATimeIsIdentified)
{
    struct Case {
        int textCells;
        Bytes reply;
        int gapUs;
        int expected;
    };
    const Case cases[] = {
        { 80, FullReply(80), 20000, 0x0550 },         // 15 bytes over 0.3 s
        { 40, { 0x3F, 0x01, 0x00 }, 300000, 0x0528 }, // 3 bytes over 0.6 s of the 2 s
        { 20, { 0x00, 0x3F, 0x05, 0x3F, 0x07, 0x00 }, 50000, 0x0514 },
    };
    for (const auto& c : cases) {
        StartDisplay(c.textCells, c.reply);
        int gap = c.gapUs;
        display->Change([gap](DisplaySimulator& s) {
            s.SetByteGap(gap);
            return 0;
        });
        StartHost();
        auto r = Do("init COM5:38400,n,8,1", 15000);
        EXPECT_EQ(c.expected, r.result) << "reply " << Hex(c.reply) << " a byte every " << gap << " us";
        Do("terminate");
        TearDown();
    }
}

TEST_F(FaultE2eTest, KeyPacketsArrivingOneByteAtATimeAreEachReportedOnce)
{
    InitReady(40);
    display->Change([](DisplaySimulator& s) {
        s.SetByteGap(700);
        return 0;
    });
    std::mt19937 random(7);
    Bytes line;
    std::vector<std::string> expected;
    for (int i = 0; i < 40; ++i) {
        Bytes p = RandomPacket(random);
        line.insert(line.end(), p.begin(), p.end());
        expected.push_back(KeyReport(p));
    }
    // The host polls while the bytes trickle in.
    std::thread sender([&] { display->SendNow(line); });
    auto r = Do("timer-until 40 20000", 30000);
    sender.join();
    EXPECT_EQ(40, r.result);
    EXPECT_EQ(expected, r.keys);
}

} // namespace
} // namespace e2e
