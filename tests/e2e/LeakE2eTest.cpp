// Sleep/wake and terminate/init cycles of the real DLL under Wine: the
// host's handle count does not grow and the pty is closed after every
// release of the port.
#include "E2eSupport.h"

namespace e2e {
namespace {

class LeakE2eTest : public E2eTest {
protected:
    int Handles() { return Do("handles").result; }
};

TEST_F(LeakE2eTest, SleepWakeCyclesReleaseThePortEachTimeAndLeakNoHandle)
{
    InitReady(40);
    Do("display 01 02 03");
    // Each release, checked from the Linux side.
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(1, Do("sleep 1").result);
        ASSERT_EQ(0, OpenersOf(display->SlavePath())) << "cycle " << i << ": expected the pty closed while asleep";
        ASSERT_EQ(1, Do("sleep 0").result);
        ASSERT_GT(OpenersOf(display->SlavePath()), 0) << "cycle " << i << ": expected the pty open again";
    }
    int before = Handles();
    Do("sleep 1");
    ASSERT_EQ(before - 1, Handles()) << "expected the count to see the port's handle go";
    Do("sleep 0");
    ASSERT_EQ(before, Handles());
    EXPECT_EQ(1000, Do("sleep-cycles 1000", 120000).result);
    int after = Handles();
    EXPECT_LE(after, before) << "expected no handle to outlive its cycle: " << before << " before, " << after
                             << " after 1000 cycles";
    Do("sleep 1");
    EXPECT_EQ(0, OpenersOf(display->SlavePath()));
    Do("sleep 0");
    EXPECT_GT(OpenersOf(display->SlavePath()), 0);
}

TEST_F(LeakE2eTest, TerminateInitCyclesReleaseThePortEachTimeAndLeakNoHandle)
{
    InitReady(40);
    for (int i = 0; i < 10; ++i) {
        Do("terminate");
        ASSERT_EQ(0, OpenersOf(display->SlavePath())) << "cycle " << i << ": expected the pty closed";
        ASSERT_EQ(0x0528, Do("init COM5:38400,n,8,1").result) << "cycle " << i;
    }
    int before = Handles();
    Do("terminate");
    ASSERT_EQ(before - 1, Handles()) << "expected the count to see the port's handle go";
    Do("init COM5:38400,n,8,1");
    EXPECT_EQ(200, Do("init-cycles 200 COM5:38400,n,8,1", 120000).result);
    int after = Handles();
    EXPECT_LE(after, before) << "expected no handle to outlive its cycle: " << before << " before, " << after
                             << " after 200 cycles";
    Do("terminate");
    EXPECT_EQ(0, OpenersOf(display->SlavePath())) << "expected the pty closed after the last release";
}

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
