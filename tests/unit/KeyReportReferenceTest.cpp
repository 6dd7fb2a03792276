// brlcheck takes a key report apart as the host guide's key table says and
// must name the keys that the packet named. The simulator's reference report
// stands for the driver's here: the emulated layer's KeyReportReference
// scenario shows that the two agree on every packet, for every DLL.
#include <gtest/gtest.h>

#include <algorithm>

#include "DisplaySimulator.h"
#include "HexText.h"
#include "KeyReport.h"

namespace {

TEST(KeyReportReferenceTest, BrlcheckNamesTheKeysOfEveryReport)
{
    const std::vector<DisplaySimulator::Bytes> packets = DisplaySimulator::KeyAndRoutingSweep();

    int reported = 0;
    for (const auto& p : packets) {
        uint32_t code = 0, argument = 0;
        if (!DisplaySimulator::ReportFor(p, code, argument))
            continue;
        reported++;
        // Only the four highest keys fit in a report.
        std::vector<int> named = DisplaySimulator::KeysNamed(p);
        named.erase(named.begin(), named.end() - std::min<long>(4, static_cast<long>(named.size())));
        KeyReport keys(code, argument);
        std::vector<int> told;
        for (int i = 0; i < keys.Count(); ++i)
            told.push_back(static_cast<int>(keys.Index(i)));
        EXPECT_EQ(named, told) << "packet " << HexText(p);
        unsigned cell = named.size() == 1 && named[0] >= 129 && named[0] <= 228 ? named[0] - 128 : 0;
        EXPECT_EQ(cell, keys.RoutingCell()) << "packet " << HexText(p);
    }
    EXPECT_GT(reported, 2000);
}

} // namespace
