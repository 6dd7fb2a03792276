#include <gtest/gtest.h>

#include <climits>

#include "DriverTestSupport.h"

namespace {

using namespace testsupport;

class IdentifyTest : public DriverTest {};

struct ReplyCase {
    const char* what;
    Bytes reply;
    int expectedResult; // BrlInit's result
};

TEST_F(IdentifyTest, ModelRepliesSetTheCellCounts)
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
                ASSERT_EQ(0x0500 + earlier, BrlInit("COM1:38400,n,8,1", RecordKey));
                BrlTerminate();
                d.written.clear();
            }
            std::string what = std::string(c.what) + (earlier ? ", after 80 cells" : "");
            win32double::AnswerQueryWith(d, c.reply);
            EXPECT_EQ(c.expectedResult, BrlInit("COM1:38400,n,8,1", RecordKey)) << what;
            int text = c.expectedResult ? c.expectedResult & 0xFF : earlier;
            EXPECT_EQ(text, driver->textCells) << what;
            EXPECT_EQ(text ? 5 : 0, driver->statusCells) << what;
            EXPECT_EQ("1B 3F 1B 49 00", Hex(d.written)) << what;
            EXPECT_TRUE(d.isOpen) << "a failed identification leaves the port open: " << what;
            TearDown();
        }
    }
}

TEST_F(IdentifyTest, ShortReplyIsExaminedOnlyAfterTheFullWait)
{
    FakeDevice& d = AddDisplay("COM1", 40);
    DWORD start = Double().clock.Now();
    EXPECT_EQ(0x0528, BrlInit("COM1:38400,n,8,1", RecordKey));
    EXPECT_EQ(2001u, Double().clock.Now() - start);
    ASSERT_EQ(2u, d.writes.size());
    EXPECT_EQ("1B 3F", Hex(d.writes[0])) << "the query is one write of two bytes";
    EXPECT_EQ("1B 49 00", Hex(d.writes[1])) << "the sequence after it is three bytes, zero included";
    EXPECT_EQ(start, d.writeTimes[0]);
    EXPECT_EQ(start + 2001, d.writeTimes[1]) << "expected 1B 49 00 after the wait, got it "
                                             << d.writeTimes[1] - start << " ms after the query";
}

TEST_F(IdentifyTest, FifteenBytesEndTheWaitAtOnce)
{
    FakeDevice& d = Double().AddDevice("COM1");
    Bytes reply(15, 0x00);
    reply[0] = 0x3F;
    reply[1] = 0x02;
    win32double::AnswerQueryWith(d, reply);
    DWORD start = Double().clock.Now();
    EXPECT_EQ(0x0550, BrlInit("COM1:38400,n,8,1", RecordKey));
    EXPECT_EQ(1u, Double().clock.Now() - start);
}

TEST_F(IdentifyTest, FailedQueryWriteSendsNothingMore)
{
    FakeDevice& d = AddDisplay();
    d.failWrites = true;
    EXPECT_EQ(0, BrlInit("COM1:38400,n,8,1", RecordKey));
    EXPECT_EQ(0, d.readCalls) << "nothing is read after a failed query";
    EXPECT_TRUE(d.isOpen) << "a failure inside BrlInit releases nothing";
    d.failWrites = false;
    EXPECT_TRUE(d.written.empty());
    BrlTerminate();
}

TEST_F(IdentifyTest, SilentDisplayFailsAfterTheWaitAndTheAfterQuerySequenceStillGoes)
{
    FakeDevice& d = Double().AddDevice("COM1");
    DWORD start = Double().clock.Now();
    EXPECT_EQ(0, BrlInit("COM1:38400,n,8,1", RecordKey));
    EXPECT_EQ(2001u, Double().clock.Now() - start);
    EXPECT_EQ("1B 3F 1B 49 00", Hex(d.written));
}

// A transport that reports more than it stored: only the 15 bytes of the
// reply buffer are looked at, as if 15 had been reported.
TEST_F(IdentifyTest, ReplyIsScannedWithinItsFifteenBytesWhateverTheTransportClaims)
{
    Bytes questionLast(15, 0x00);
    questionLast[14] = 0x3F;
    const struct {
        const char* what;
        Bytes stored;
        int claimed;
        int textCells;
    } cases[] = {
        { "? as the 15th byte, 16 claimed", questionLast, 16, 0 },
        { "? as the 15th byte, INT_MAX claimed", questionLast, INT_MAX, 0 },
        { "answer first, 1000 claimed", { 0x3F, 0x01, 0x00 }, 1000, 40 },
    };
    for (const auto& c : cases) {
        SetUp();
        auto* port = new ScriptedPort(c.stored);
        port->claimed = c.claimed;
        driver->port = port;
        EXPECT_EQ(c.textCells ? 1 : 0, driver->Identify(2000)) << c.what;
        EXPECT_EQ(c.textCells, driver->textCells) << c.what;
        TearDown();
    }
}

struct EncodeCase {
    uint8_t cell;
    uint8_t wire;
};

TEST(CellEncoding, EachBitGoesToItsWirePosition)
{
    const EncodeCase cases[] = {
        { 0x01, 0x01 }, { 0x02, 0x02 }, { 0x04, 0x04 }, { 0x08, 0x80 }, { 0x10, 0x40 },
        { 0x20, 0x20 }, { 0x40, 0x08 }, { 0x80, 0x10 }, { 0x00, 0x00 }, { 0xFF, 0xFF },
        { 0xC3, 0x1B },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.wire, EscProtocolDriver::EncodeCell(c.cell)) << "cell " << int(c.cell);
    int escapes = 0;
    for (int v = 0; v < 256; ++v)
        escapes += EscProtocolDriver::EncodeCell(static_cast<uint8_t>(v)) == 0x1B;
    EXPECT_EQ(1, escapes) << "only 0xC3 encodes as ESC";
}

class CellPacketTest : public DriverTest {};

TEST_F(CellPacketTest, WorstCasePacketDoublesEveryEscape)
{
    FakeDevice& d = ReadyDisplay(20);
    Bytes cells(20, 0xC3);
    Bytes status(5, 0xC3);
    ASSERT_EQ(1, BrlDisplayStatus(status.data(), 5));
    d.written.clear();
    d.writes.clear();
    ASSERT_EQ(1, BrlDisplay(cells.data(), 20));
    ASSERT_EQ(1u, d.writes.size()) << "one packet, one write";
    Bytes expected = { 0x1B, 0x42 };
    for (int i = 0; i < 25; ++i) {
        expected.push_back(0x1B);
        expected.push_back(0x1B);
    }
    EXPECT_EQ(52u, d.writes[0].size());
    EXPECT_EQ(Hex(expected), Hex(d.writes[0]));
}

TEST_F(CellPacketTest, PacketCarriesStatusThenTextEncoded)
{
    FakeDevice& d = ReadyDisplay(20);
    Bytes status = { 0x08, 0x40 };
    Bytes text = { 0x01, 0x80, 0xC3 };
    BrlDisplayStatus(status.data(), 2);
    BrlDisplay(text.data(), 3);
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

TEST_F(CellPacketTest, LargestModelPacketIsAtMost172Bytes)
{
    FakeDevice& d = ReadyDisplay(80);
    Bytes cells(200, 0xC3);
    Bytes status(5, 0xC3);
    BrlDisplayStatus(status.data(), 5);
    BrlDisplay(cells.data(), 200);
    ASSERT_EQ(2u, d.writes.size());
    EXPECT_EQ(172u, d.writes[1].size());
}

TEST_F(CellPacketTest, RefreshWithoutIdentificationSendsTheBareHeader)
{
    FakeDevice& d = Double().AddDevice("COM1"); // never answers
    EXPECT_EQ(0, BrlInit("COM1:38400,n,8,1", RecordKey));
    d.written.clear();
    EXPECT_EQ(1, BrlRefresh());
    EXPECT_EQ("1B 42", Hex(d.written));
    Bytes cells(10, 0xFF);
    EXPECT_EQ(1, BrlDisplay(cells.data(), 10));
    EXPECT_EQ(1, BrlDisplayStatus(cells.data(), 10));
    EXPECT_EQ(1, BrlClear());
    EXPECT_EQ("1B 42", Hex(d.written)) << "display calls send nothing before identification";
}

TEST_F(CellPacketTest, RefreshWithoutPortSendsNothingAndSucceeds)
{
    EXPECT_EQ(1, BrlRefresh());
    EXPECT_TRUE(Double().openedNames.empty());
}

TEST_F(CellPacketTest, WriteFailureIsTheResult)
{
    FakeDevice& d = ReadyDisplay(40);
    d.failWrites = true;
    Bytes cells(40, 0x07);
    EXPECT_EQ(0, BrlDisplay(cells.data(), 40));
    EXPECT_FALSE(d.isOpen) << "a device that refuses a write is gone: its port is released";
    EXPECT_EQ(1, BrlRefresh()) << "no port: nothing to send";
    d.failWrites = false;
    EXPECT_EQ(1, BrlDisplay(cells.data(), 40)) << "sent cells are remembered even when the write failed";
    EXPECT_TRUE(d.written.empty());
}

} // namespace
