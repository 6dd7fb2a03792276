// The simulator's reference report (used by the end-to-end tests to say what
// the host must hear) and the driver agree on every key and routing packet.
#include <gtest/gtest.h>

#include "DisplaySimulator.h"
#include "DriverTestSupport.h"

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
    }
    EXPECT_GT(reported, 2000);
}

} // namespace
