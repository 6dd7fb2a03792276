// Unloading the real DLL under Wine: the Wine process's handle count and
// the pty, seen from Linux, show the port going with the library. Sleep/wake
// and terminate/init cycles are counted in tests/unit/LeakCycleTest.cpp.
#include "E2eSupport.h"

namespace e2e {
namespace {

class LeakE2eTest : public E2eTest {
protected:
    int Handles() { return Do("handles").result; }
};

// The DLL's entry point builds the driver when it is loaded and destroys it
// when it is unloaded: a host that unloads without BrlTerminate leaves the
// display as it is but gets the port back, and the DLL loaded again starts
// from nothing.
TEST_F(LeakE2eTest, UnloadingReleasesThePortAndReloadingStartsAfresh)
{
    InitReady(40);
    Do("display 01 02");
    ASSERT_TRUE(WaitReceived(5 + 47));
    for (int i = 0; i < 5; ++i) {
        size_t mark = Received().size();
        int before = Handles();
        ASSERT_EQ(1, Do("reload").result);
        EXPECT_EQ(0, OpenersOf(display->SlavePath())) << "cycle " << i << ": expected the pty closed by the unload";
        EXPECT_EQ(before - 1, Handles()) << "cycle " << i << ": expected only the port's handle gone";
        EXPECT_EQ("", Hex(ReceivedSince(mark))) << "cycle " << i << ": expected no blanking on unload";
        EXPECT_EQ(1, Do("display 01 02").result) << "a new driver has no display yet";
        ASSERT_EQ(0x0528, Do("init COM5:38400,n,8,1").result) << "cycle " << i;
        Do("display 01 02");
        ASSERT_TRUE(WaitReceived(mark + 5 + 47)) << "cycle " << i << ": expected the query and a cell packet";
    }
}

} // namespace
} // namespace e2e
