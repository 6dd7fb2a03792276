// Faults of the line that only the driver's fields show; the others, seen
// through the exports alone, are export scenarios (tests/scenarios/FaultScenarios.cpp).
#include <gtest/gtest.h>

#include "DriverTestSupport.h"

namespace {

using namespace testsupport;

class FaultInjectionTest : public DriverTest {};

TEST_F(FaultInjectionTest, CtsHeldOffDuringIdentificationFailsInitWithoutReading)
{
    FakeDevice& d = AddDisplay("COM1", 40);
    d.ctsHeldOff = true;
    DWORD before = Double().clock.Now();
    EXPECT_EQ(0, BrlInit("COM1:38400,n,8,1", RecordKey));
    EXPECT_EQ(102u, Double().clock.Now() - before) << "the short write time-out of the 2-byte query, no read wait";
    EXPECT_EQ(0, d.readCalls);
    EXPECT_EQ(1, d.clearCommErrorCalls);
    EXPECT_TRUE(d.written.empty());
    EXPECT_EQ(0, driver->textCells);
    BrlTerminate();
    EXPECT_FALSE(d.isOpen);
}

} // namespace
