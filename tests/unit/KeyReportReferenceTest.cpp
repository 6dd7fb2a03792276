// The simulator's reference report (used by the end-to-end tests to say what
// the host must hear) and the driver agree on every key and routing packet,
// and brlcheck, taking the report apart as the host guide's key table says,
// names the keys the packet named.
#include <gtest/gtest.h>

#include "DisplaySimulator.h"
#include "DriverTestSupport.h"
#include "KeyReport.h"

namespace {

using namespace testsupport;

class KeyReportReferenceTest : public DriverTest {};

TEST_F(KeyReportReferenceTest, ReferenceAndDriverAgreeOnEveryPacket)
{
    FakeDevice& d = ReadyDisplay(40);
    std::vector<Bytes> packets;
    for (int k1 = 0; k1 < 256; k1 += (k1 < 64 ? 1 : 61))
        for (int k2 = 0; k2 < 256; k2 += (k2 < 32 ? 1 : 31))
            packets.push_back(DisplaySimulator::KeyPacket(static_cast<uint8_t>(k1), static_cast<uint8_t>(k2)));
    for (int r = 0; r < 256; ++r)
        packets.push_back(DisplaySimulator::RoutingPacket(static_cast<uint8_t>(r)));

    int reported = 0;
    for (const auto& p : packets) {
        RecordedKeys().clear();
        d.Send(p);
        BrlTimer();
        uint32_t code = 0, argument = 0;
        bool expected = DisplaySimulator::ReportFor(p, code, argument);
        if (!expected) {
            EXPECT_TRUE(RecordedKeys().empty()) << "packet " << Hex(p);
            continue;
        }
        reported++;
        ASSERT_EQ(1u, RecordedKeys().size()) << "packet " << Hex(p);
        EXPECT_EQ((KeyCall{ code, argument }), RecordedKeys()[0]) << "packet " << Hex(p);

        // Only the four highest keys fit in a report.
        std::vector<int> named = DisplaySimulator::KeysNamed(p);
        named.erase(named.begin(), named.end() - std::min<long>(4, static_cast<long>(named.size())));
        KeyReport keys(RecordedKeys()[0].code, RecordedKeys()[0].argument);
        std::vector<int> told;
        for (int i = 0; i < keys.Count(); ++i)
            told.push_back(static_cast<int>(keys.Index(i)));
        EXPECT_EQ(named, told) << "packet " << Hex(p);
        unsigned cell = named.size() == 1 && named[0] >= 129 && named[0] <= 228 ? named[0] - 128 : 0;
        EXPECT_EQ(cell, keys.RoutingCell()) << "packet " << Hex(p);
    }
    EXPECT_GT(reported, 2000);
}

} // namespace
