#include <gtest/gtest.h>

#include <algorithm>

#include "HostSession.h"

namespace {

// The recorded session itself; the driver's replay of it is an export
// scenario (tests/scenarios/DriverScenarios.cpp).
TEST(WireEfficiencyTest, SessionIsMostlyRepeatsAndReachesEveryCell)
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

} // namespace
