#include <gtest/gtest.h>

#include "DriverTestSupport.h"
#include "HostSession.h"

namespace {

using namespace testsupport;
using hostsession::HostCall;

class WireEfficiencyTest : public DriverTest {
protected:
    void Replay(const std::vector<HostCall>& session)
    {
        for (const auto& call : session) {
            const unsigned char* data = call.cells.empty() ? nullptr : call.cells.data();
            int count = static_cast<int>(call.cells.size());
            switch (call.kind) {
            case HostCall::Display:
                ASSERT_EQ(1, BrlDisplay(data, count));
                break;
            case HostCall::DisplayStatus:
                ASSERT_EQ(1, BrlDisplayStatus(data, count));
                break;
            case HostCall::Clear:
                ASSERT_EQ(1, BrlClear());
                break;
            }
        }
    }
};

TEST_F(WireEfficiencyTest, SessionIsMostlyRepeatsAndReachesEveryCell)
{
    // Otherwise the ratio below would prove little.
    auto session = hostsession::RecordedSession(4000, 80, 7);
    auto cost = hostsession::WireMinimum(session, 80);
    EXPECT_EQ(4000u, session.size());
    EXPECT_GT(cost.repeats, 1600) << "expected many repeats";
    EXPECT_GT(cost.packets, 1000) << "expected many changes";
    long escapes = 0;
    for (const auto& shown : cost.shown)
        escapes += std::count(shown.begin(), shown.end(), 0xC3);
    EXPECT_GT(escapes, 1000) << "expected doubled ESC bytes in the packets";
    EXPECT_EQ(session.size(), hostsession::RecordedSession(4000, 80, 7).size());
    EXPECT_EQ(cost.bytes, hostsession::WireMinimum(hostsession::RecordedSession(4000, 80, 7), 80).bytes)
        << "expected the same session from the same seed";
}

TEST_F(WireEfficiencyTest, DriverSendsExactlyTheProtocolMinimum)
{
    const struct {
        int textCells;
        uint32_t seed;
    } cases[] = { { 20, 1 }, { 40, 2 }, { 80, 3 }, { 80, 4 } };
    for (const auto& c : cases) {
        SetUp();
        FakeDevice& d = ReadyDisplay(c.textCells);
        auto session = hostsession::RecordedSession(3000, c.textCells, c.seed);
        auto minimum = hostsession::WireMinimum(session, c.textCells);
        Replay(session);
        EXPECT_EQ(minimum.packets, static_cast<long>(d.writes.size()))
            << "expected one write per change, none per repeat (" << c.textCells << " cells)";
        EXPECT_EQ(minimum.bytes, static_cast<long>(d.written.size()))
            << "expected bytes written / protocol minimum = 1 (" << c.textCells << " cells)";
        auto packets = CellPackets(d, 5 + c.textCells);
        ASSERT_EQ(minimum.shown.size(), packets.size());
        for (size_t i = 0; i < packets.size(); ++i)
            ASSERT_EQ(Hex(minimum.shown[i]), Hex(packets[i])) << "packet " << i << " (" << c.textCells << " cells)";
        TearDown();
    }
}

TEST_F(WireEfficiencyTest, RepeatsCostNothingOnTheWire)
{
    FakeDevice& d = ReadyDisplay(80);
    std::vector<uint8_t> line(80, 0xC3);
    std::vector<uint8_t> status(5, 0x11);
    ASSERT_EQ(1, BrlDisplay(line.data(), 80));
    ASSERT_EQ(1, BrlDisplayStatus(status.data(), 5));
    size_t before = d.written.size();
    for (int i = 0; i < 1000; ++i) {
        BrlDisplay(line.data(), 80);
        BrlDisplayStatus(status.data(), 5);
    }
    EXPECT_EQ(before, d.written.size()) << "expected no bytes for 2000 repeated calls";
    EXPECT_EQ(2u * (2u + 5u + 2u * 80u), before) << "expected two packets of 167 bytes (80 doubled ESCs each)";
}

} // namespace
