// The whole driver over the parallel port's registers, with a display of
// this family behind the simulated port speaking the nibble handshake.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "DisplaySimulator.h"
#include "DriverTestSupport.h"
#include "ParallelPortDouble.h"
#include "ports/DirectParallelPort.h"

namespace {

using namespace testsupport;
using paralleldouble::Access;
using paralleldouble::ParallelPortDouble;

class ParallelDisplayTest : public DriverTest {
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        ParallelPortDouble::Get().Reset();
        Double().platformId = VER_PLATFORM_WIN32_WINDOWS;
        display.reset();
    }
    void TearDown() override
    {
        DriverTest::TearDown();
        ParallelPortDouble::Get().onByte = nullptr;
    }

    ParallelPortDouble& P() { return ParallelPortDouble::Get(); }

    DisplaySimulator& Attach(int textCells = 40)
    {
        DisplaySimulator::Config config;
        config.textCells = textCells;
        display = std::make_unique<DisplaySimulator>(config, [](const Bytes& bytes) {
            ParallelPortDouble::Get().Send(bytes);
        });
        P().onByte = [this](uint8_t byte) { display->FromHost(&byte, 1); };
        return *display;
    }

    std::unique_ptr<DisplaySimulator> display;
};

TEST_F(ParallelDisplayTest, InitIdentifiesEveryModelThroughTheRegisters)
{
    for (int cells : { 20, 40, 80 }) {
        SetUp();
        DisplaySimulator& d = Attach(cells);
        DWORD start = Double().clock.Now();
        EXPECT_EQ(0x0500 + cells, BrlInit("LPT1", RecordKey)) << cells;
        EXPECT_EQ("1B 3F 1B 49 00", Hex(d.Received())) << "expected the query and the after-query sequence";
        EXPECT_EQ(2001u, Double().clock.Now() - start) << "the 3-byte answer is short of 15: the full wait";
        EXPECT_TRUE(P().toHost.empty()) << "the answer was taken";
        EXPECT_TRUE(Double().openedNames.empty()) << "no kernel device on this family";
        EXPECT_NE(nullptr, dynamic_cast<DirectParallelPort*>(driver->port));
        TearDown();
    }
}

TEST_F(ParallelDisplayTest, CellsArriveAsStrobedBytesAndShowOnTheDisplay)
{
    DisplaySimulator& d = Attach(40);
    ASSERT_EQ(0x0528, BrlInit("LPT1", RecordKey));
    P().received.clear();
    Bytes status = { 0x01, 0x02, 0x03, 0x04, 0x05 };
    Bytes text = { 0xFF, 0x1B, 0x08, 0x80 };
    EXPECT_EQ(1, BrlDisplayStatus(status.data(), 5));
    EXPECT_EQ(1, BrlDisplay(text.data(), 4));
    // Laid into a buffer of the display's size: GCC 12 at -O2 (the
    // benchmark tree) takes growing a copy of status for an array overrun.
    Bytes expected(45, 0);
    std::copy(status.begin(), status.end(), expected.begin());
    std::copy(text.begin(), text.end(), expected.begin() + 5);
    EXPECT_EQ(Hex(expected), Hex(d.Cells()));
    EXPECT_EQ(2, d.Count(HostStreamDecoder::Message::Cells));
    EXPECT_EQ(0, d.Count(HostStreamDecoder::Message::Malformed));
    // Host cell 0x1B goes out as C3, so nothing is doubled: two packets of
    // 2 + 45 bytes, one strobe pulse each.
    ASSERT_EQ(2u * 47u, P().received.size());
    EXPECT_EQ("1B 42 01 02 03 04 05 FF C3 80 10",
              Hex(Bytes(P().received.begin() + 47, P().received.begin() + 58)));
    // A refresh is a packet, but not a change of what the display shows.
    EXPECT_EQ(1, BrlRefresh());
    EXPECT_EQ(3, d.Count(HostStreamDecoder::Message::Cells));
    EXPECT_EQ(2, d.CellChanges());
}

TEST_F(ParallelDisplayTest, KeyAndRoutingPacketsComeBackAsNibbles)
{
    DisplaySimulator& d = Attach(40);
    ASSERT_EQ(0x0528, BrlInit("LPT1", RecordKey));
    d.Send(DisplaySimulator::KeyPacket(0x01, 0x01));
    d.Send(DisplaySimulator::RoutingPacket(0x06));
    EXPECT_EQ(1, BrlTimer());
    ASSERT_EQ(2u, RecordedKeys().size());
    EXPECT_EQ((KeyCall{ 0x80000124u, 0 }), RecordedKeys()[0]);
    EXPECT_EQ((KeyCall{ 0x80000081u, 1 }), RecordedKeys()[1]);
    EXPECT_TRUE(P().toHost.empty());
}

TEST_F(ParallelDisplayTest, IdlePollMakesOneStatusTest)
{
    Attach(40);
    ASSERT_EQ(0x0528, BrlInit("LPT1", RecordKey));
    int reads = P().statusReads;
    DWORD now = Double().clock.Now();
    BrlTimer();
    EXPECT_EQ(1, P().statusReads - reads);
    EXPECT_EQ(now + 1, Double().clock.Now()) << "only the one status read moved the clock";
    EXPECT_TRUE(RecordedKeys().empty());
}

TEST_F(ParallelDisplayTest, TerminateBlanksThenRaisesSelectIn)
{
    DisplaySimulator& d = Attach(40);
    ASSERT_EQ(0x0528, BrlInit("LPT1", RecordKey));
    Bytes text = { 0x3F };
    BrlDisplay(text.data(), 1);
    P().accesses.clear();
    BrlTerminate();
    EXPECT_EQ(Hex(Bytes(45, 0)), Hex(d.Cells()));
    EXPECT_EQ(nullptr, driver->port);
    ASSERT_LE(2u, P().accesses.size());
    const Access& last = P().accesses.back();
    EXPECT_EQ(paralleldouble::Describe(paralleldouble::Out(paralleldouble::ControlRegister, 0x0C)),
              paralleldouble::Describe(last));
}

TEST_F(ParallelDisplayTest, SleepAndWakeMakeANewPortAndResend)
{
    DisplaySimulator& d = Attach(40);
    ASSERT_EQ(0x0528, BrlInit("LPT2", RecordKey));
    EXPECT_EQ(1, BrlSleep(1));
    EXPECT_EQ(0x0C, P().control & 0x0C) << "Select In raised when the port went";
    Bytes text = { 0x07 };
    BrlDisplay(text.data(), 1);
    EXPECT_EQ(0, d.Count(HostStreamDecoder::Message::Cells)) << "nothing goes out while asleep";
    EXPECT_EQ(1, BrlSleep(0));
    EXPECT_EQ(0x04, P().control & 0x0C) << "reopened: Init on, Select In off";
    EXPECT_EQ(0x07, d.Cells()[5]);
    EXPECT_EQ(1, d.Count(HostStreamDecoder::Message::Cells)) << "the buffered cells, on waking";
}

// The registers cannot tell that a display has gone: the port stays as it
// is, nothing is sought, and the display shows the cells once it is back
// and they are sent again.
TEST_F(ParallelDisplayTest, DetachedDisplayIsNeverLost)
{
    DisplaySimulator& d = Attach(40);
    ASSERT_EQ(0x0528, BrlInit("LPT1", RecordKey));
    P().attached = false;
    P().onByte = nullptr;
    Bytes text = { 0x07 };
    EXPECT_EQ(1, BrlDisplay(text.data(), 1));
    int queries = Double().versionQueries;
    for (int i = 0; i < 3; ++i) {
        Double().clock.Advance(1000);
        BrlTimer();
    }
    EXPECT_EQ(queries, Double().versionQueries) << "no transport was made again";
    P().attached = true;
    P().onByte = [this](uint8_t byte) { display->FromHost(&byte, 1); };
    EXPECT_EQ(1, BrlRefresh());
    EXPECT_EQ(0x07, d.Cells()[5]) << "the same port object carries the cells";
}

TEST_F(ParallelDisplayTest, NothingAttachedFailsInitAfterItsTimeout)
{
    P().attached = false; // status and control read all ones
    DWORD start = Double().clock.Now();
    EXPECT_EQ(0, BrlInit("LPT1", RecordKey));
    EXPECT_EQ(2001u, Double().clock.Now() - start);
    EXPECT_EQ(0, driver->textCells);
    EXPECT_TRUE(Double().openedNames.empty());
}

TEST_F(ParallelDisplayTest, DisplayThatDoesNotAnswerFailsInit)
{
    DisplaySimulator& d = Attach(40);
    d.SetAnswerQueries(false);
    EXPECT_EQ(0, BrlInit("LPT1", RecordKey));
    EXPECT_EQ("1B 3F 1B 49 00", Hex(d.Received()));
}

} // namespace
