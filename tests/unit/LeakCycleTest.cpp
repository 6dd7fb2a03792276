// Many sleep/wake and terminate/init cycles leave nothing behind: one open
// handle while the driver holds a port, none otherwise, and (under the
// sanitizers) no unreachable allocation, so no port object was lost.
#include <gtest/gtest.h>

#include "DriverTestSupport.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRLWIN32_HAVE_LSAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define BRLWIN32_HAVE_LSAN 1
#endif
#ifdef BRLWIN32_HAVE_LSAN
#include <sanitizer/lsan_interface.h>
#endif

namespace {

using namespace testsupport;

// 0 when nothing unreachable is left on the heap; always 0 without LSan.
int LeakedNow()
{
#ifdef BRLWIN32_HAVE_LSAN
    return __lsan_do_recoverable_leak_check();
#else
    return 0;
#endif
}

class LeakCycleTest : public DriverTest {};

TEST_F(LeakCycleTest, ThousandSleepWakeCyclesKeepOnePortAndOneHandle)
{
    FakeDevice& d = ReadyDisplay(40);
    Bytes text = { 0x01, 0x02, 0x03 };
    for (int i = 0; i < 1000; ++i) {
        text[0] = static_cast<uint8_t>(i);
        ASSERT_EQ(1, BrlDisplay(text.data(), 3)) << "cycle " << i;
        ASSERT_EQ(1, BrlSleep(1)) << "cycle " << i;
        ASSERT_EQ(nullptr, driver->port) << "cycle " << i;
        ASSERT_EQ(0, Double().openHandles) << "cycle " << i;
        ASSERT_EQ(1, BrlSleep(0)) << "cycle " << i;
        ASSERT_NE(nullptr, driver->port) << "cycle " << i;
        ASSERT_EQ(1, Double().openHandles) << "cycle " << i;
    }
    EXPECT_EQ(1001, d.openCount);
    EXPECT_EQ(1000, d.closeCount);
    EXPECT_EQ(0, LeakedNow());
}

TEST_F(LeakCycleTest, TwoHundredTerminateInitCyclesKeepOnePortAndOneHandle)
{
    FakeDevice& d = ReadyDisplay(40);
    for (int i = 0; i < 200; ++i) {
        BrlTerminate();
        ASSERT_EQ(nullptr, driver->port) << "cycle " << i;
        ASSERT_EQ(0, Double().openHandles) << "cycle " << i;
        ASSERT_EQ(0x0528, BrlInit("COM1:38400,n,8,1", RecordKey)) << "cycle " << i;
        ASSERT_EQ(1, Double().openHandles) << "cycle " << i;
        // A second init while open is refused without a second port.
        ASSERT_EQ(0, BrlInit("COM1:38400,n,8,1", RecordKey)) << "cycle " << i;
        ASSERT_EQ(1, Double().openHandles) << "cycle " << i;
    }
    EXPECT_EQ(201, d.openCount);
    EXPECT_EQ(200, d.closeCount);
    EXPECT_EQ(0, LeakedNow());
}

// Failed opens (refused device, refused time-outs) create and destroy a
// port object each time; none may survive.
TEST_F(LeakCycleTest, FailedOpensLeaveNoPortObjectBehind)
{
    FakeDevice& d = AddDisplay("COM1", 40);
    for (int i = 0; i < 200; ++i) {
        d.refuseOpen = i % 2 == 0;
        d.refuseTimeouts = i % 2 == 1;
        ASSERT_EQ(0, BrlInit("COM1:38400,n,8,1", RecordKey)) << "cycle " << i;
        ASSERT_EQ(nullptr, driver->port) << "cycle " << i;
        ASSERT_EQ(0, Double().openHandles) << "cycle " << i;
    }
    EXPECT_EQ(100, d.openCount) << "only the refused time-outs got a handle";
    EXPECT_EQ(100, d.closeCount);
    EXPECT_EQ(0, LeakedNow());
}

} // namespace
