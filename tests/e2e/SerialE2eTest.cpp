// The real DLL under Wine on a pty-backed COM port.
#include <termios.h>
#include <unistd.h>

#include "E2eSupport.h"

namespace e2e {
namespace {

class SerialE2eTest : public E2eTest {};

TEST_F(SerialE2eTest, IdentifiesEachModelThroughTheSerialPath)
{
    struct Case {
        int textCells;
        Bytes reply;
        int expected;
    };
    const Case cases[] = {
        { 20, FullReply(20), 0x0514 },
        { 40, { 0x3F, 0x01, 0x00 }, 0x0528 }, // a short reply: the full wait
        { 80, FullReply(80), 0x0550 },
        { 40, { 0x3F, 0x03, 0x00 }, 0 },      // no model
    };
    for (const auto& c : cases) {
        StartDisplay(c.textCells, c.reply);
        StartHost();
        auto r = Do("init COM5:38400,n,8,1");
        EXPECT_EQ(c.expected, r.result) << "reply " << Hex(c.reply);
        ASSERT_TRUE(WaitReceived(5));
        EXPECT_EQ("1B 3F 1B 49 00", Hex(Received())) << "the query and the sequence after it";
        Do("terminate");
        TearDown();
    }
}

TEST_F(SerialE2eTest, LineSettingsReachThePortWhateverTheModeString)
{
    // The display's line is fixed: the mode string after the name is ignored.
    for (const char* name : { "COM5:9600,e,7,2", "COM5:9600,n,8,1" }) {
        InitReady(40, name);
        termios t;
        ASSERT_TRUE(display->LineSettings(t));
        EXPECT_EQ(B38400, cfgetospeed(&t)) << name;
        EXPECT_EQ(static_cast<tcflag_t>(CS8), t.c_cflag & CSIZE) << name;
        EXPECT_EQ(0u, t.c_cflag & PARENB) << name;
        EXPECT_EQ(0u, t.c_cflag & CSTOPB) << name;
        EXPECT_EQ(static_cast<tcflag_t>(CRTSCTS), t.c_cflag & CRTSCTS) << name << ": expected CTS output flow control";
        Do("terminate");
        TearDown();
    }
}

TEST_F(SerialE2eTest, PlainPortNameOpensTheFixedLine)
{
    InitReady(20, "COM5");
    termios t;
    ASSERT_TRUE(display->LineSettings(t));
    EXPECT_EQ(B38400, cfgetospeed(&t));
}

TEST_F(SerialE2eTest, CellPacketArrivesByteForByte)
{
    InitReady(20);
    size_t mark = Received().size();
    auto r = Do("status 08 40 c3");
    EXPECT_EQ(1, r.result);
    r = Do("display 01 80 c3 ff");
    EXPECT_EQ(1, r.result);
    Bytes cells(25, 0);
    cells[0] = 0x08;
    cells[1] = 0x40;
    cells[2] = 0xC3;
    Bytes first = CellPacket(cells);
    cells[5] = 0x01;
    cells[6] = 0x80;
    cells[7] = 0xC3;
    cells[8] = 0xFF;
    Bytes second = CellPacket(cells);
    Bytes expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    ASSERT_TRUE(WaitReceived(mark + expected.size()));
    EXPECT_EQ(Hex(expected), Hex(ReceivedSince(mark)));
    EXPECT_EQ(Hex(cells), Hex(display->With([](const DisplaySimulator& s) { return s.Cells(); })));
}

TEST_F(SerialE2eTest, SleepReleasesThePortAndWakeReopensItAndResends)
{
    InitReady(40);
    Do("display 0f f0");
    ASSERT_TRUE(WaitReceived(5 + 47));
    EXPECT_EQ(1, OpenersOf(display->SlavePath()) > 0 ? 1 : 0) << "the host holds the port";
    size_t mark = Received().size();
    EXPECT_EQ(1, Do("sleep 1").result);
    Bytes blank = CellPacket(Bytes(45, 0));
    ASSERT_TRUE(WaitReceived(mark + blank.size()));
    EXPECT_EQ(Hex(blank), Hex(ReceivedSince(mark))) << "blanked before the port goes";
    EXPECT_EQ(0, OpenersOf(display->SlavePath())) << "expected the port released while asleep";

    EXPECT_EQ(1, Do("display 55").result) << "cells shown while asleep are kept";
    mark = Received().size();
    EXPECT_EQ(1, Do("sleep 0").result);
    Bytes cells(45, 0);
    cells[5] = 0x55;
    Bytes packet = CellPacket(cells);
    ASSERT_TRUE(WaitReceived(mark + packet.size()));
    EXPECT_EQ(Hex(packet), Hex(ReceivedSince(mark))) << "expected the current cells on waking, no identification";
    EXPECT_GT(OpenersOf(display->SlavePath()), 0) << "expected the port open again";
}

TEST_F(SerialE2eTest, TerminateBlanksAndReleasesAndASecondInitIsRefused)
{
    InitReady(40);
    EXPECT_EQ(0, Do("init COM5:38400,n,8,1").result) << "a second init while the port is open";
    Do("display 01");
    ASSERT_TRUE(WaitReceived(5 + 47));
    size_t mark = Received().size();
    Do("terminate");
    Bytes blank = CellPacket(Bytes(45, 0));
    ASSERT_TRUE(WaitReceived(mark + blank.size()));
    EXPECT_EQ(Hex(blank), Hex(ReceivedSince(mark)));
    EXPECT_EQ(0, OpenersOf(display->SlavePath()));
    Do("terminate");
    EXPECT_EQ(0x0528, Do("init COM5:38400,n,8,1").result) << "init after terminate identifies afresh";
}

TEST_F(SerialE2eTest, ComPortsAboveNineWorkByTheirPlainNames)
{
    StartDisplay(40, FullReply(40), "COM10");
    InitReady(40, "COM10");
    size_t mark = Received().size();
    EXPECT_EQ(1, Do("display 0f f0").result);
    Bytes cells(45, 0);
    cells[5] = 0x0F;
    cells[6] = 0xF0;
    Bytes packet = CellPacket(cells);
    ASSERT_TRUE(WaitReceived(mark + packet.size()));
    EXPECT_EQ(Hex(packet), Hex(ReceivedSince(mark)));
    EXPECT_GT(OpenersOf(display->SlavePath()), 0) << "expected COM10 held";
    EXPECT_EQ(1, Do("sleep 1").result);
    EXPECT_EQ(0, OpenersOf(display->SlavePath())) << "expected COM10 released while asleep";
    mark = Received().size();
    EXPECT_EQ(1, Do("sleep 0").result);
    ASSERT_TRUE(WaitReceived(mark + 47));
    EXPECT_GT(OpenersOf(display->SlavePath()), 0) << "expected COM10 reopened on waking";
    Do("terminate");
    EXPECT_EQ(0, OpenersOf(display->SlavePath())) << "expected COM10 released";
    TearDown();

    // A mode string after the name, and the name in lower case.
    StartDisplay(20, FullReply(20), "COM12");
    InitReady(20, "com12:38400,n,8,1");
    termios t;
    ASSERT_TRUE(display->LineSettings(t));
    EXPECT_EQ(B38400, cfgetospeed(&t));
    Do("terminate");
    // Cut to 39 characters and prefixed: a port that does not exist.
    EXPECT_EQ(0, Do("init COM1234567890123456789012345678901234567890").result);
    EXPECT_EQ(0, OpenersOf(display->SlavePath()));
}

TEST_F(SerialE2eTest, SilentDisplayFailsInitAfterTheWait)
{
    StartDisplay(40, {});
    display->Change([](DisplaySimulator& s) {
        s.SetAnswerQueries(false);
        return 0;
    });
    StartHost();
    EXPECT_EQ(0, Do("init COM5:38400,n,8,1", 15000).result);
    EXPECT_EQ(1, Do("refresh").result);
    ASSERT_TRUE(WaitReceived(7));
    EXPECT_EQ("1B 3F 1B 49 00 1B 42", Hex(Received())) << "refresh without a model sends the bare header";
}

TEST_F(SerialE2eTest, BadArgumentsNeverCrashTheHost)
{
    InitReady(80);
    EXPECT_EQ(0, Do("display-null 5").result);
    EXPECT_EQ(0, Do("status-null 5").result);
    EXPECT_EQ(1, Do("display-null 0").result);
    EXPECT_EQ(1, Do("display-count 2147483647 01").result);
    EXPECT_EQ(1, Do("display-count -2147483647 01").result);
    EXPECT_EQ(1, Do("status-null -1").result);
    EXPECT_EQ(0, Do("init " + std::string(300, 'C')).result);
}

// The write that finds the display gone fails and lets the port go; the
// port was gone when the host slept, so nothing was blanked, and the wake
// shows the host's cells on the display plugged back in.
TEST_F(SerialE2eTest, UnpluggedDisplayFailsOneWriteAndComesBackOnAWake)
{
    InitReady(40);
    Do("display 01");
    ASSERT_TRUE(WaitReceived(5 + 47));
    display->Unplug();
    EXPECT_EQ(0, Do("display 02").result) << "expected a failed write once the display is gone";
    Do("timer");
    EXPECT_EQ(1, Do("refresh").result) << "expected the port released: nothing to send";
    display->Plug();
    Do("sleep 1");
    size_t mark = Received().size();
    Do("sleep 0");
    Bytes cells(45, 0);
    cells[5] = 0x02;
    Bytes packet = CellPacket(cells);
    ASSERT_TRUE(WaitReceived(mark + packet.size()));
    EXPECT_EQ(Hex(packet), Hex(ReceivedSince(mark))) << "expected the host's cells on the reconnected display";
    mark = Received().size();
    EXPECT_EQ(1, Do("display 02").result);
    EXPECT_EQ(1, Do("refresh").result);
    ASSERT_TRUE(WaitReceived(mark + packet.size()));
    EXPECT_EQ(Hex(packet), Hex(ReceivedSince(mark))) << "expected the refresh alone: the cells had not changed";
}

// BrlInit("auto") past absent ports and a silent one: COM2 is a pty that
// never answers, the display is on COM12. COM6 to COM9 and COM11 are absent
// as on Windows (their open fails); COM1, COM3, COM4, COM5 and COM10 are
// registered with nothing behind them, which Wine opens and the driver
// lets go when they refuse their settings.
TEST_F(SerialE2eTest, AutoFindsTheDisplayPastAbsentPortsAndASilentOne)
{
    for (const char* port : { "COM1", "COM3", "COM4", "COM5", "COM10" })
        unlink(Prefix().LinkFor(port).c_str());
    DisplaySimulator::Config silentConfig;
    silentConfig.textCells = 40;
    PtyDisplay silent(silentConfig, Prefix().LinkFor("COM2"));
    silent.Change([](DisplaySimulator& s) {
        s.SetAnswerQueries(false);
        return 0;
    });
    StartDisplay(40, FullReply(40), "COM12");
    StartHost();
    ASSERT_EQ(1, Do("trace-opens").result);
    auto r = Do("init auto", 15000);
    EXPECT_EQ(0x0528, r.result);
    auto calls = PortCalls(r);

    std::vector<std::string> expected, got;
    for (int n = 1; n <= 12; ++n)
        expected.push_back((n < 10 ? "COM" : "\\\\.\\COM") + std::to_string(n));
    for (const auto& c : Opens(calls))
        got.push_back(c.name);
    EXPECT_EQ(expected, got) << "COM1 to COM12 in order, none after the display:\n" << Describe(calls);
    std::string reason;
    EXPECT_TRUE(EachClosedBeforeTheNext(calls, true, reason)) << reason << ":\n" << Describe(calls);
    // BrlInit returns once the bytes are written; the displays' threads
    // may not have read them yet.
    auto five = [](const DisplaySimulator& s) { return s.Received().size() >= 5; };
    silent.WaitFor(five, 2000);
    EXPECT_EQ("1B 3F 1B 49 00", Hex(silent.With([](const DisplaySimulator& s) { return s.Received(); })));
    EXPECT_EQ(0, OpenersOf(silent.SlavePath())) << "expected the silent port released";
    WaitReceived(5);
    EXPECT_EQ("1B 3F 1B 49 00", Hex(Received()));
    printf("[ trace    ] %s: BrlInit(\"auto\"):\n%s", ArchName(), Describe(calls).c_str());

    // The name kept is COM12: a wake opens it and nothing else.
    Do("sleep 1");
    r = Do("sleep 0");
    calls = PortCalls(r);
    ASSERT_EQ(1u, calls.size()) << Describe(calls);
    EXPECT_EQ("\\\\.\\COM12", calls[0].name);
    EXPECT_TRUE(calls[0].ok);
}

} // namespace
} // namespace e2e
