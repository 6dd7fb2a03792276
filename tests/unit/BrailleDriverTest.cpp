#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "DriverTestSupport.h"

namespace {

using namespace testsupport;

class BrailleDriverTest : public DriverTest {};

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

TEST_F(BrailleDriverTest, MissingPortFailsInit)
{
    EXPECT_EQ(0, BrlInit("COM200:38400,n,8,1", RecordKey));
    EXPECT_EQ(nullptr, driver->port);
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
