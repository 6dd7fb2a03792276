#include <gtest/gtest.h>

#include <string>

#include "DriverTestSupport.h"
#include "ParallelPortDouble.h"
#include "ports/DeviceParallelPort.h"
#include "ports/DirectParallelPort.h"
#include "ports/FixedSerialPort.h"

namespace {

using namespace testsupport;
using paralleldouble::ParallelPortDouble;

enum Transport { None, Serial, Direct, Device };

const char* TransportName(Transport t)
{
    switch (t) {
    case Serial: return "FixedSerialPort";
    case Direct: return "DirectParallelPort";
    case Device: return "DeviceParallelPort";
    default: return "no port";
    }
}

Transport TransportOf(Port* port)
{
    if (port == nullptr)
        return None;
    if (dynamic_cast<FixedSerialPort*>(port))
        return Serial;
    if (dynamic_cast<DirectParallelPort*>(port))
        return Direct;
    if (dynamic_cast<DeviceParallelPort*>(port))
        return Device;
    return None;
}

class PortSelectionTest : public DriverTest {
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        ParallelPortDouble::Get().Reset();
        for (const char* name : { "COM1", "com2", "", "\\\\.\\QZPAR1" })
            Double().AddDevice(name);
    }
};

struct SelectionCase {
    const char* name;
    DWORD platform;
    Transport expected;
    int versionQueries;
};

TEST_F(PortSelectionTest, FirstLetterAndFamilyPickTheTransport)
{
    const DWORD Nt = VER_PLATFORM_WIN32_NT, Win9x = VER_PLATFORM_WIN32_WINDOWS;
    const SelectionCase cases[] = {
        { "LPT1", Nt, Device, 1 },    { "lpt1", Nt, Device, 1 },   { "LPT1", Win9x, Direct, 1 },
        { "lpt1", Win9x, Direct, 1 }, { "Lxyz", Win9x, Direct, 1 }, { "LPT1", VER_PLATFORM_WIN32s, Direct, 1 },
        { "COM1", Nt, Serial, 0 },    { "COM1", Win9x, Serial, 0 }, { "com2:", Nt, Serial, 0 },
        { "com2:", Win9x, Serial, 0 }, { "", Nt, Serial, 0 },        { "", Win9x, Serial, 0 },
    };
    for (const auto& c : cases) {
        SetUp();
        Double().platformId = c.platform;
        std::string what = std::string("'") + c.name + "' on platform " + std::to_string(c.platform);
        EXPECT_EQ(1, driver->Open(c.name)) << what;
        EXPECT_EQ(TransportName(c.expected), std::string(TransportName(TransportOf(driver->port)))) << what;
        EXPECT_EQ(c.versionQueries, Double().versionQueries) << what;
        if (c.versionQueries) {
            EXPECT_EQ(148u, Double().lastVersionInfoSize) << what;
        }
        driver->Open(c.name);
        EXPECT_EQ(0, driver->Open(c.name)) << "a second port is never opened: " << what;
        TearDown();
    }
}

TEST_F(PortSelectionTest, Win9xFamilyNeverOpensTheKernelDevice)
{
    Double().platformId = VER_PLATFORM_WIN32_WINDOWS;
    EXPECT_EQ(1, driver->Open("LPT1"));
    EXPECT_TRUE(Double().openedNames.empty());
    EXPECT_FALSE(ParallelPortDouble::Get().accesses.empty());
}

TEST_F(PortSelectionTest, NullNameOpensNothing)
{
    EXPECT_EQ(0, driver->Open(nullptr));
    EXPECT_EQ(nullptr, driver->port);
    EXPECT_TRUE(Double().openedNames.empty());
}

} // namespace
