// Port selection in the driver as it is built for a processor without port
// instructions (ARM64): the kernel device on the NT family as everywhere,
// and on a 95/98 answer, which no such Windows gives, nothing at all.
#include <gtest/gtest.h>

#include <string>

#include "DriverTestSupport.h"
#include "ports/DeviceParallelPort.h"
#include "ports/FixedSerialPort.h"

namespace {

using namespace testsupport;

class PortSelectionWithoutRegistersTest : public DriverTest {
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        for (const char* name : { "COM1", "\\\\.\\QZPAR1" })
            Double().AddDevice(name);
    }
};

struct SelectionCase {
    const char* name;
    DWORD platform;
    int opened;
    const char* transport;  // what driver->port is afterwards
    const char* device;     // the one name CreateFileA was asked for, or ""
    int versionQueries;
};

TEST_F(PortSelectionWithoutRegistersTest, LptIsTheKernelDeviceOrNothing)
{
    const DWORD Nt = VER_PLATFORM_WIN32_NT, Win9x = VER_PLATFORM_WIN32_WINDOWS;
    const SelectionCase cases[] = {
        { "LPT1", Nt, 1, "DeviceParallelPort", "\\\\.\\QZPAR1", 1 },
        { "lpt1", Nt, 1, "DeviceParallelPort", "\\\\.\\QZPAR1", 1 },
        { "LPT1", Win9x, 0, "no port", "", 1 },
        { "LPT1", VER_PLATFORM_WIN32s, 0, "no port", "", 1 },
        { "COM1", Win9x, 1, "FixedSerialPort", "COM1", 0 },
    };
    for (const auto& c : cases) {
        SetUp();
        Double().platformId = c.platform;
        std::string what = std::string("'") + c.name + "' on platform " + std::to_string(c.platform);
        EXPECT_EQ(c.opened, driver->Open(c.name)) << what;
        std::string transport = "another transport";
        if (driver->port == nullptr)
            transport = "no port";
        else if (dynamic_cast<DeviceParallelPort*>(driver->port) != nullptr)
            transport = "DeviceParallelPort";
        else if (dynamic_cast<FixedSerialPort*>(driver->port) != nullptr)
            transport = "FixedSerialPort";
        EXPECT_EQ(c.transport, transport) << what;
        std::string opened = Double().openedNames.empty() ? "" : Double().openedNames.front();
        EXPECT_EQ(c.device, opened) << what;
        EXPECT_GE(1u, Double().openedNames.size()) << what;
        EXPECT_EQ(c.versionQueries, Double().versionQueries) << what;
        TearDown();
    }
}

} // namespace
