#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "DriverTestSupport.h"

namespace {

using namespace testsupport;

class BrailleDriverTest : public DriverTest {};

TEST_F(BrailleDriverTest, SameCellsTwiceSendOnePacketButRefreshAlwaysSends)
{
    FakeDevice& d = ReadyDisplay();
    Bytes cells = { 0x01, 0x03, 0x09 };
    EXPECT_EQ(1, BrlDisplay(cells.data(), 3));
    EXPECT_EQ(1, BrlDisplay(cells.data(), 3));
    EXPECT_EQ(1u, d.writes.size());
    EXPECT_EQ(1, BrlRefresh());
    EXPECT_EQ(1, BrlRefresh());
    ASSERT_EQ(3u, d.writes.size());
    EXPECT_EQ(d.writes[0], d.writes[2]);
}

// Cells beyond the text cells are stored and compared though never sent: a
// change there alone sends a packet, the same on the wire as the last one.
TEST_F(BrailleDriverTest, ChangeDetectionComparesTheWholeBuffer)
{
    Bytes forty(40, 0x01), fortyOne(41, 0x01), beyondOnly(41, 0x00);
    beyondOnly[40] = 0x09;
    auto show = [](const Bytes& cells) { return [&cells] { return BrlDisplay(cells.data(), int(cells.size())); }; };
    const struct {
        const char* what;
        std::vector<std::function<int()>> calls;
        size_t packets;
    } cases[] = {
        { "41 cells, then the same 40", { show(fortyOne), show(forty) }, 2 },
        { "41 cells twice", { show(fortyOne), show(fortyOne) }, 1 },
        { "a cell beyond the text alone, then clear", { show(beyondOnly), [] { return BrlClear(); } }, 2 },
    };
    for (const auto& c : cases) {
        SetUp();
        FakeDevice& d = ReadyDisplay();
        for (const auto& call : c.calls)
            EXPECT_EQ(1, call()) << c.what;
        auto packets = CellPackets(d);
        EXPECT_EQ(c.packets, packets.size()) << c.what;
        for (const auto& packet : packets)
            EXPECT_EQ(Hex(packets[0]), Hex(packet)) << c.what << ": the text cells did not change";
        TearDown();
    }
}

TEST_F(BrailleDriverTest, FewerCellsBlankTheRestOfTheTextButNotTheStatus)
{
    FakeDevice& d = ReadyDisplay();
    Bytes status = { 0x11, 0x22, 0x33, 0x44, 0x55 };
    Bytes full(40, 0xFF);
    Bytes few = { 0x07, 0x07 };
    BrlDisplayStatus(status.data(), 5);
    BrlDisplay(full.data(), 40);
    BrlDisplay(few.data(), 2);
    auto packets = CellPackets(d);
    ASSERT_EQ(3u, packets.size());
    Bytes expected = status;
    expected.insert(expected.end(), { 0x07, 0x07 });
    expected.resize(45, 0x00);
    EXPECT_EQ(Hex(expected), Hex(packets[2]));
}

TEST_F(BrailleDriverTest, StatusUsesOnlyTheStatusCellsAndRepeatsSendNothing)
{
    FakeDevice& d = ReadyDisplay();
    Bytes status = { 1, 2, 3, 4, 5, 6, 7, 8 };
    EXPECT_EQ(1, BrlDisplayStatus(status.data(), 8));
    EXPECT_EQ(1, BrlDisplayStatus(status.data(), 8));
    EXPECT_EQ(1, BrlDisplayStatus(status.data(), 5));
    auto packets = CellPackets(d);
    ASSERT_EQ(1u, packets.size());
    EXPECT_EQ("01 02 03 04 05 00", Hex(Bytes(packets[0].begin(), packets[0].begin() + 6)));
    Bytes two = { 9, 9 };
    BrlDisplayStatus(two.data(), 2);
    packets = CellPackets(d);
    ASSERT_EQ(2u, packets.size());
    EXPECT_EQ("09 09 00 00 00", Hex(Bytes(packets[1].begin(), packets[1].begin() + 5)));
}

TEST_F(BrailleDriverTest, ClearBlanksEverythingOnce)
{
    FakeDevice& d = ReadyDisplay();
    Bytes status = { 1, 1, 1, 1, 1 };
    Bytes text = { 2, 2 };
    BrlDisplayStatus(status.data(), 5);
    BrlDisplay(text.data(), 2);
    EXPECT_EQ(1, BrlClear());
    EXPECT_EQ(1, BrlClear());
    auto packets = CellPackets(d);
    ASSERT_EQ(3u, packets.size());
    EXPECT_EQ(Hex(Bytes(45, 0)), Hex(packets[2]));
}

TEST_F(BrailleDriverTest, ClearOfABlankDisplaySendsNothing)
{
    FakeDevice& d = ReadyDisplay();
    EXPECT_EQ(1, BrlClear());
    EXPECT_TRUE(d.writes.empty());
}

TEST_F(BrailleDriverTest, CallsBeforeInitSucceedWithoutSending)
{
    Bytes cells(10, 0xFF);
    EXPECT_EQ(1, BrlDisplay(cells.data(), 10));
    EXPECT_EQ(1, BrlDisplayStatus(cells.data(), 10));
    EXPECT_EQ(1, BrlClear());
    EXPECT_EQ(1, BrlRefresh());
    BrlTimer();
    BrlTerminate();
    EXPECT_EQ(1, BrlSleep(1));
    EXPECT_EQ(1, BrlSleep(0)) << "waking with no name tries to open it and fails";
    EXPECT_EQ(nullptr, driver->port);
    for (const auto& name : Double().openedNames)
        EXPECT_EQ("", name) << "only the empty stored name may be tried";
}

TEST_F(BrailleDriverTest, SleepReleasesThePortAndWakeReopensByNameAndResends)
{
    FakeDevice& d = ReadyDisplay();
    Bytes text = { 0x0F, 0xF0 };
    BrlDisplay(text.data(), 2);
    EXPECT_EQ(1, BrlSleep(1));
    EXPECT_FALSE(d.isOpen);
    EXPECT_EQ(1, BrlSleep(1)) << "second sleep does nothing";
    EXPECT_EQ(1, d.closeCount);
    auto packets = CellPackets(d);
    ASSERT_EQ(2u, packets.size()) << "the display is blanked before the port goes";
    EXPECT_EQ(Hex(Bytes(45, 0)), Hex(packets[1]));

    // Cells shown while asleep are buffered and appear on waking.
    Bytes later = { 0x55 };
    EXPECT_EQ(1, BrlDisplay(later.data(), 1));
    EXPECT_EQ(2u, d.writes.size());
    EXPECT_EQ(1, BrlSleep(0));
    EXPECT_TRUE(d.isOpen);
    EXPECT_EQ(2, d.openCount);
    EXPECT_EQ(std::string("COM1"), Double().openedNames.back());
    packets = CellPackets(d);
    ASSERT_EQ(3u, packets.size());
    EXPECT_EQ(0x55, packets[2][5]);
    EXPECT_EQ(40, driver->textCells) << "counts survive sleep; no new identification";
    EXPECT_EQ(3u, d.writes.size());
}

TEST_F(BrailleDriverTest, WakeWithoutBlankingSendsBlankCells)
{
    FakeDevice& d = ReadyDisplay();
    BrlSleep(1);
    BrlSleep(0);
    auto packets = CellPackets(d);
    ASSERT_EQ(1u, packets.size());
    EXPECT_EQ(Hex(Bytes(45, 0)), Hex(packets[0]));
}

TEST_F(BrailleDriverTest, FailedWakeBuffersUntilTheNextWake)
{
    FakeDevice& d = ReadyDisplay();
    BrlSleep(1);
    d.refuseOpen = true;
    EXPECT_EQ(1, BrlSleep(0));
    EXPECT_EQ(nullptr, driver->port);
    Bytes text = { 0x42 };
    EXPECT_EQ(1, BrlDisplay(text.data(), 1));
    d.refuseOpen = false;
    BrlSleep(1);
    BrlSleep(0);
    auto packets = CellPackets(d);
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(0x42, packets.back()[5]);
}

TEST_F(BrailleDriverTest, TimerWhileAsleepReadsNothing)
{
    FakeDevice& d = ReadyDisplay();
    BrlSleep(1);
    d.Send({ 0x1B, 0x4B, 0x01, 0x00 });
    int reads = d.readCalls;
    BrlTimer();
    EXPECT_EQ(reads, d.readCalls);
    EXPECT_TRUE(RecordedKeys().empty());
}

TEST_F(BrailleDriverTest, TerminateBlanksReleasesAndKeepsState)
{
    FakeDevice& d = ReadyDisplay();
    Bytes text = { 0x01 };
    BrlDisplay(text.data(), 1);
    BrlTerminate();
    EXPECT_FALSE(d.isOpen);
    BrlTerminate();
    EXPECT_EQ(1, d.closeCount);
    EXPECT_EQ(1, BrlSleep(0));
    EXPECT_EQ(1, d.openCount) << "waking a driver that was not asleep opens nothing";
    auto packets = CellPackets(d);
    ASSERT_EQ(2u, packets.size());
    EXPECT_EQ(Hex(Bytes(45, 0)), Hex(packets[1]));
    EXPECT_EQ(40, driver->textCells);
    EXPECT_STREQ("COM1:38400,n,8,1", driver->portName);
}

TEST_F(BrailleDriverTest, TerminateWithoutIdentificationDoesNotBlank)
{
    FakeDevice& d = Double().AddDevice("COM1");
    EXPECT_EQ(0, BrlInit("COM1:38400,n,8,1", RecordKey));
    d.written.clear();
    BrlTerminate();
    EXPECT_TRUE(d.written.empty());
    EXPECT_FALSE(d.isOpen);
}

TEST_F(BrailleDriverTest, SecondInitIsRefusedButTakesTheNewNameAndCallback)
{
    ReadyDisplay();
    FakeDevice& other = AddDisplay("COM2");
    EXPECT_EQ(0, BrlInit("COM2:38400,n,8,1", nullptr));
    EXPECT_EQ(0, other.openCount);
    EXPECT_EQ(nullptr, driver->keyCallback);
    BrlSleep(1);
    BrlSleep(0);
    EXPECT_EQ(1, other.openCount) << "waking opens the name given last";
}

TEST_F(BrailleDriverTest, SleepingSurvivesTerminateAndInit)
{
    FakeDevice& d = ReadyDisplay();
    BrlSleep(1);
    BrlTerminate();
    EXPECT_EQ(0x0528, BrlInit("COM1:38400,n,8,1", RecordKey));
    d.Send({ 0x1B, 0x4B, 0x01, 0x00 });
    BrlTimer();
    EXPECT_TRUE(RecordedKeys().empty()) << "still asleep";
    int opens = d.openCount;
    size_t writes = d.writes.size();
    EXPECT_EQ(1, BrlSleep(0));
    EXPECT_EQ(opens, d.openCount) << "the port is open: waking only clears the flag";
    EXPECT_EQ(writes, d.writes.size()) << "and sends nothing";
    BrlTimer();
    EXPECT_EQ(1u, RecordedKeys().size());
}

TEST_F(BrailleDriverTest, InitAfterTerminateIdentifiesAfresh)
{
    FakeDevice& d = ReadyDisplay();
    BrlTerminate();
    win32double::AnswerQueryWith(d, ModelReply(80));
    EXPECT_EQ(0x0550, BrlInit("COM1:38400,n,8,1", RecordKey));
}

TEST_F(BrailleDriverTest, MissingPortFailsInit)
{
    EXPECT_EQ(0, BrlInit("COM7:38400,n,8,1", RecordKey));
    EXPECT_EQ(nullptr, driver->port);
}

// Hosts may pass anything; nothing may be written outside the driver's
// buffers and the results must be those the driver defines or 0.
TEST_F(BrailleDriverTest, NullNameIsRefused)
{
    EXPECT_EQ(0, BrlInit(nullptr, RecordKey));
    EXPECT_TRUE(Double().openedNames.empty());
    EXPECT_EQ(nullptr, driver->port);

    // The callback is replaced all the same: keys now go nowhere.
    FakeDevice& d = ReadyDisplay();
    EXPECT_EQ(0, BrlInit(nullptr, nullptr));
    d.Send({ 0x1B, 0x4B, 0x01, 0x00 });
    BrlTimer();
    EXPECT_TRUE(RecordedKeys().empty()) << "expected no call, got " << RecordedKeys().size();
}

TEST_F(BrailleDriverTest, LongNamesAreCutTo79Characters)
{
    std::string name = "COM1:38400,n,8,1" + std::string(200, ' ');
    EXPECT_EQ(0, BrlInit(name.c_str(), RecordKey)) << "no display on COM1";
    EXPECT_EQ(79u, strlen(driver->portName));
    EXPECT_EQ(name.substr(0, 79), std::string(driver->portName));

    std::string longDevice(300, 'C');
    Double().AddDevice(std::string(39, 'C'));
    BrlInit(longDevice.c_str(), RecordKey);
    EXPECT_EQ(79u, strlen(driver->portName));
}

TEST_F(BrailleDriverTest, NullCellPointersAreRefusedWithoutChange)
{
    FakeDevice& d = ReadyDisplay();
    EXPECT_EQ(0, BrlDisplay(nullptr, 3));
    EXPECT_EQ(0, BrlDisplayStatus(nullptr, 3));
    EXPECT_TRUE(d.writes.empty());
    EXPECT_EQ(1, BrlDisplay(nullptr, 0)) << "nothing to read: blank text";
    EXPECT_EQ(1, BrlDisplayStatus(nullptr, -5));
}

TEST_F(BrailleDriverTest, HugeAndNegativeCountsStayInsideTheBuffer)
{
    FakeDevice& d = ReadyDisplay(80);
    // Guard bytes around the source catch reads beyond what is stored.
    Bytes big(4096, 0x3C);
    EXPECT_EQ(1, BrlDisplay(big.data(), INT_MAX));
    auto packets = CellPackets(d, 85);
    ASSERT_EQ(1u, packets.size());
    EXPECT_EQ(0x3C, packets[0][84]);
    EXPECT_EQ(0x00, packets[0][0]);
    EXPECT_EQ(1, BrlDisplay(big.data(), INT_MIN));
    EXPECT_EQ(1, BrlDisplayStatus(big.data(), INT_MAX));
    EXPECT_EQ(1, BrlDisplayStatus(big.data(), INT_MIN));
    packets = CellPackets(d, 85);
    ASSERT_EQ(4u, packets.size());
    EXPECT_EQ(Hex(Bytes(85, 0)), Hex(packets[1]));
    EXPECT_EQ(0x3C, packets[2][4]);
    EXPECT_EQ(Hex(Bytes(85, 0)), Hex(packets[3]));
}

TEST_F(BrailleDriverTest, ExportsWithoutADriverFail)
{
    driver.reset();
    Bytes cells(4, 1);
    EXPECT_EQ(0, BrlInit("COM1", RecordKey));
    EXPECT_EQ(0, BrlDisplay(cells.data(), 4));
    EXPECT_EQ(0, BrlDisplayStatus(cells.data(), 4));
    EXPECT_EQ(0, BrlClear());
    EXPECT_EQ(0, BrlRefresh());
    EXPECT_EQ(0, BrlSleep(1));
    EXPECT_EQ(0, BrlTimer());
    EXPECT_EQ(0, BrlTerminate());
}

TEST_F(BrailleDriverTest, DestroyingTheDriverReleasesAnOpenPortWithoutBlanking)
{
    FakeDevice& d = ReadyDisplay();
    Bytes text = { 0x01 };
    BrlDisplay(text.data(), 1);
    d.writes.clear();
    driver.reset();
    EXPECT_FALSE(d.isOpen);
    EXPECT_TRUE(d.writes.empty());
    EXPECT_EQ(nullptr, g_activeDriver);
}

} // namespace
