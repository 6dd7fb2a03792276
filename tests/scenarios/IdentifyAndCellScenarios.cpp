// Identification of the three models and the cell packet on the wire.
#include "ExportScenario.h"

namespace {

using namespace testsupport;

SCENARIO_GROUP(Identify);
SCENARIO_GROUP(CellPacket);

struct ReplyCase {
    const char* what;
    Bytes reply;
    int expectedResult; // BrlInit's result
};

SCENARIO(Identify, ModelRepliesSetTheCellCounts)
{
    const ReplyCase cases[] = {
        { "20 cells", { 0x3F, 0x00, 0x00 }, 0x0514 },
        { "20 cells, second code", { 0x3F, 0x07, 0x00 }, 0x0514 },
        { "40 cells", { 0x3F, 0x01, 0x00 }, 0x0528 },
        { "40 cells, second code", { 0x3F, 0x08, 0x00 }, 0x0528 },
        { "80 cells", { 0x3F, 0x02, 0x00 }, 0x0550 },
        { "80 cells, second code", { 0x3F, 0x09, 0x00 }, 0x0550 },
        { "two bytes are too few", { 0x3F, 0x01 }, 0 },
        { "no reply", {}, 0 },
        { "first ? names no model", { 0x00, 0x3F, 0x05, 0x3F, 0x08 }, 0x0528 },
        { "second ? matches", { 0x3F, 0x3F, 0x02 }, 0x0550 },
        { "code 3 is no model", { 0x3F, 0x03, 0x00 }, 0 },
        { "? in the last byte is not looked at", { 0x00, 0x00, 0x3F }, 0 },
        { "answer late in the 15 bytes", { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x3F, 0x01 }, 0x0528 },
        { "answer beyond the 15 bytes", { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x3F, 0x01 }, 0 },
        { "first hit wins", { 0x3F, 0x09, 0x3F, 0x00 }, 0x0550 },
    };
    // Each reply on a new driver, and after an 80-cell display was
    // identified and terminated: a failure keeps the counts it found.
    for (int earlier : { 0, 80 }) {
        for (const auto& c : cases) {
            SetUp();
            FakeDevice& d = Double().AddDevice("COM1");
            if (earlier) {
                win32double::AnswerQueryWith(d, ModelReply(earlier));
                ASSERT_EQ(0x0500 + earlier, host.Init("COM1:38400,n,8,1", RecordKey));
                host.Terminate();
                d.written.clear();
            }
            std::string what = std::string(c.what) + (earlier ? ", after 80 cells" : "");
            win32double::AnswerQueryWith(d, c.reply);
            EXPECT_EQ(c.expectedResult, host.Init("COM1:38400,n,8,1", RecordKey)) << what;
            EXPECT_EQ("1B 3F 1B 49 00", Hex(d.written)) << what;
            EXPECT_TRUE(d.isOpen) << "a failed identification leaves the port open: " << what;
            // The counts it found, or kept, size the packet a refresh sends:
            // 1B 42 and the status and text cells, or the bare header.
            size_t text = c.expectedResult ? size_t(c.expectedResult & 0xFF) : size_t(earlier);
            EXPECT_EQ(1, host.Refresh()) << what;
            EXPECT_EQ(5 + 2 + (text ? 5 + text : 0), d.written.size()) << what;
            TearDown();
        }
    }
}

SCENARIO(Identify, ShortReplyIsExaminedOnlyAfterTheFullWait)
{
    FakeDevice& d = AddDisplay("COM1", 40);
    DWORD start = Double().clock.Now();
    EXPECT_EQ(0x0528, host.Init("COM1:38400,n,8,1", RecordKey));
    EXPECT_EQ(2001u, Double().clock.Now() - start);
    ASSERT_EQ(2u, d.writes.size());
    EXPECT_EQ("1B 3F", Hex(d.writes[0])) << "the query is one write of two bytes";
    EXPECT_EQ("1B 49 00", Hex(d.writes[1])) << "the sequence after it is three bytes, zero included";
    EXPECT_EQ(start, d.writeTimes[0]);
    EXPECT_EQ(start + 2001, d.writeTimes[1]) << "expected 1B 49 00 after the wait, got it "
                                             << d.writeTimes[1] - start << " ms after the query";
}

SCENARIO(Identify, FifteenBytesEndTheWaitAtOnce)
{
    FakeDevice& d = Double().AddDevice("COM1");
    Bytes reply(15, 0x00);
    reply[0] = 0x3F;
    reply[1] = 0x02;
    win32double::AnswerQueryWith(d, reply);
    DWORD start = Double().clock.Now();
    EXPECT_EQ(0x0550, host.Init("COM1:38400,n,8,1", RecordKey));
    EXPECT_EQ(1u, Double().clock.Now() - start);
}

SCENARIO(Identify, FailedQueryWriteSendsNothingMore)
{
    FakeDevice& d = AddDisplay();
    d.failWrites = true;
    EXPECT_EQ(0, host.Init("COM1:38400,n,8,1", RecordKey));
    EXPECT_EQ(0, d.readCalls) << "nothing is read after a failed query";
    EXPECT_TRUE(d.isOpen) << "a failure inside BrlInit releases nothing";
    d.failWrites = false;
    EXPECT_TRUE(d.written.empty());
    host.Terminate();
}

SCENARIO(Identify, SilentDisplayFailsAfterTheWaitAndTheAfterQuerySequenceStillGoes)
{
    FakeDevice& d = Double().AddDevice("COM1");
    DWORD start = Double().clock.Now();
    EXPECT_EQ(0, host.Init("COM1:38400,n,8,1", RecordKey));
    EXPECT_EQ(2001u, Double().clock.Now() - start);
    EXPECT_EQ("1B 3F 1B 49 00", Hex(d.written));
}

SCENARIO(CellPacket, WorstCasePacketDoublesEveryEscape)
{
    FakeDevice& d = ReadyDisplay(20);
    Bytes cells(20, 0xC3);
    Bytes status(5, 0xC3);
    ASSERT_EQ(1, host.DisplayStatus(status, 5));
    d.written.clear();
    d.writes.clear();
    ASSERT_EQ(1, host.Display(cells, 20));
    ASSERT_EQ(1u, d.writes.size()) << "one packet, one write";
    Bytes expected = { 0x1B, 0x42 };
    for (int i = 0; i < 25; ++i) {
        expected.push_back(0x1B);
        expected.push_back(0x1B);
    }
    EXPECT_EQ(52u, d.writes[0].size());
    EXPECT_EQ(Hex(expected), Hex(d.writes[0]));
}

SCENARIO(CellPacket, PacketCarriesStatusThenTextEncoded)
{
    FakeDevice& d = ReadyDisplay(20);
    Bytes status = { 0x08, 0x40 };
    Bytes text = { 0x01, 0x80, 0xC3 };
    host.DisplayStatus(status, 2);
    host.Display(text, 3);
    ASSERT_EQ(2u, d.writes.size());
    Bytes expected = { 0x1B, 0x42, 0x80, 0x08, 0, 0, 0, 0x01, 0x10, 0x1B, 0x1B };
    expected.resize(2 + 5 + 3 + 1 + 17, 0x00);
    EXPECT_EQ(Hex(expected), Hex(d.writes[1]));
    // The display side decodes it back to what the host gave.
    auto packets = CellPackets(d, 25);
    ASSERT_EQ(2u, packets.size());
    Bytes shown = packets[1];
    EXPECT_EQ(Hex(Bytes({ 0x08, 0x40, 0, 0, 0, 0x01, 0x80, 0xC3 })), Hex(Bytes(shown.begin(), shown.begin() + 8)));
}

SCENARIO(CellPacket, LargestModelPacketIsAtMost172Bytes)
{
    FakeDevice& d = ReadyDisplay(80);
    Bytes cells(200, 0xC3);
    Bytes status(5, 0xC3);
    host.DisplayStatus(status, 5);
    host.Display(cells, 200);
    ASSERT_EQ(2u, d.writes.size());
    EXPECT_EQ(172u, d.writes[1].size());
}

SCENARIO(CellPacket, RefreshWithoutIdentificationSendsTheBareHeader)
{
    FakeDevice& d = Double().AddDevice("COM1"); // never answers
    EXPECT_EQ(0, host.Init("COM1:38400,n,8,1", RecordKey));
    d.written.clear();
    EXPECT_EQ(1, host.Refresh());
    EXPECT_EQ("1B 42", Hex(d.written));
    Bytes cells(10, 0xFF);
    EXPECT_EQ(1, host.Display(cells, 10));
    EXPECT_EQ(1, host.DisplayStatus(cells, 10));
    EXPECT_EQ(1, host.Clear());
    EXPECT_EQ("1B 42", Hex(d.written)) << "display calls send nothing before identification";
}

SCENARIO(CellPacket, RefreshWithoutPortSendsNothingAndSucceeds)
{
    EXPECT_EQ(1, host.Refresh());
    EXPECT_TRUE(Double().openedNames.empty());
}

SCENARIO(CellPacket, WriteFailureIsTheResult)
{
    FakeDevice& d = ReadyDisplay(40);
    d.failWrites = true;
    Bytes cells(40, 0x07);
    EXPECT_EQ(0, host.Display(cells, 40));
    EXPECT_FALSE(d.isOpen) << "a device that refuses a write is gone: its port is released";
    EXPECT_EQ(1, host.Refresh()) << "no port: nothing to send";
    d.failWrites = false;
    EXPECT_EQ(1, host.Display(cells, 40)) << "sent cells are remembered even when the write failed";
    EXPECT_TRUE(d.written.empty());
}

} // namespace
