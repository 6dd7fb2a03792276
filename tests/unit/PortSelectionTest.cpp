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

TEST_F(PortSelectionTest, NtFamilyNeverTouchesTheRegisters)
{
    Double().platformId = VER_PLATFORM_WIN32_NT;
    FakeDevice* device = Double().Find("\\\\.\\QZPAR1");
    win32double::AnswerQueryWith(*device, ModelReply(40));
    EXPECT_EQ(0x0528, BrlInit("LPT1", RecordKey));
    device->Send({ 0x1B, 0x4B, 0x00, 0x10 });
    BrlTimer();
    BrlTerminate();
    EXPECT_TRUE(ParallelPortDouble::Get().accesses.empty());
    ASSERT_LE(5u, device->written.size());
    EXPECT_EQ("1B 3F 1B 49 00", Hex(Bytes(device->written.begin(), device->written.begin() + 5)));
    ASSERT_EQ(1u, RecordedKeys().size());
    EXPECT_EQ((KeyCall{ 0x80000005u, 0 }), RecordedKeys()[0]);
    EXPECT_EQ(1u, device->ioctls.size());
    EXPECT_EQ(1, device->closeCount);
}

TEST_F(PortSelectionTest, Win9xFamilyNeverOpensTheKernelDevice)
{
    Double().platformId = VER_PLATFORM_WIN32_WINDOWS;
    EXPECT_EQ(1, driver->Open("LPT1"));
    EXPECT_TRUE(Double().openedNames.empty());
    EXPECT_FALSE(ParallelPortDouble::Get().accesses.empty());
}

TEST_F(PortSelectionTest, FailedVersionQueryCreatesNothing)
{
    Double().failVersionQuery = true;
    EXPECT_EQ(0, BrlInit("LPT1", RecordKey));
    EXPECT_EQ(nullptr, driver->port);
    EXPECT_EQ(1, Double().versionQueries);
    EXPECT_TRUE(Double().openedNames.empty());
    EXPECT_TRUE(ParallelPortDouble::Get().accesses.empty());
}

TEST_F(PortSelectionTest, FailedOpenDestroysTheTransport)
{
    Double().platformId = VER_PLATFORM_WIN32_NT;
    EXPECT_EQ(0, BrlInit("LPT9", RecordKey));
    EXPECT_EQ(nullptr, driver->port);
    EXPECT_EQ("\\\\.\\QZPAR9", Double().openedNames.back());
    EXPECT_EQ(0, BrlInit("COM7", RecordKey));
    EXPECT_EQ(nullptr, driver->port);
    EXPECT_EQ(0, Double().openHandles);
}

TEST_F(PortSelectionTest, ModeStringNoLongerSetsTheLine)
{
    FakeDevice* d = Double().Find("COM1");
    win32double::AnswerQueryWith(*d, ModelReply(40));
    EXPECT_EQ(0x0528, BrlInit("COM1:9600,n,8,1", RecordKey));
    EXPECT_EQ("COM1", Double().openedNames.back());
    EXPECT_EQ("", Double().lastCommDefinition) << "BuildCommDCBA is not asked";
    EXPECT_EQ(38400u, d->dcb.BaudRate);
    EXPECT_EQ(8, d->dcb.ByteSize);
    EXPECT_EQ(NOPARITY, d->dcb.Parity);
    EXPECT_EQ(ONESTOPBIT, d->dcb.StopBits);
    EXPECT_EQ(1u, d->dcb.fOutxCtsFlow);
    EXPECT_EQ(static_cast<DWORD>(RTS_CONTROL_ENABLE), d->dcb.fRtsControl);
}

TEST_F(PortSelectionTest, NullNameOpensNothing)
{
    EXPECT_EQ(0, driver->Open(nullptr));
    EXPECT_EQ(nullptr, driver->port);
    EXPECT_TRUE(Double().openedNames.empty());
}

} // namespace

namespace {

using namespace testsupport;
using paralleldouble::ParallelPortDouble;

// BrlInit("auto"): COM1 to COM256 in order, each opened as its plain name
// opens it, the first whose display answers kept. Driven through the
// exports alone.
class AutoScanTest : public DriverTest {
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        ParallelPortDouble::Get().Reset();
    }
    // The names CreateFileA gets for COM1 to COMlast.
    static std::vector<std::string> ScanNames(int last)
    {
        std::vector<std::string> names;
        for (int n = 1; n <= last; ++n)
            names.push_back((n < 10 ? "COM" : "\\\\.\\COM") + std::to_string(n));
        return names;
    }
};

enum PortKind { Busy, Silent, Answers20, Answers40 };

TEST_F(AutoScanTest, TriesComPortsInOrderAndKeepsTheFirstThatAnswers)
{
    struct PortAt {
        const char* device;
        PortKind kind;
    };
    struct Case {
        const char* what;
        std::vector<PortAt> ports; // every other name is absent
        int expected;
        int lastTried;         // COM1 to this one are tried, none after it
        DWORD windows;         // identification windows waited out
        const char* reopened;  // what a wake opens: the name kept; null: none
    };
    const Case cases[] = {
        { "busy, silent, then two displays",
          { { "COM1", Busy }, { "COM2", Silent }, { "COM3", Answers20 }, { "COM4", Answers40 } }, 0x0514, 3, 2,
          "COM3" },
        { "a silent port and the display above COM9",
          { { "\\\\.\\COM10", Silent }, { "\\\\.\\COM12", Answers40 }, { "\\\\.\\COM13", Answers20 } }, 0x0528, 12,
          2, "\\\\.\\COM12" },
        { "the display on the last port", { { "\\\\.\\COM256", Answers40 } }, 0x0528, 256, 1, "\\\\.\\COM256" },
        { "nothing answers", { { "COM7", Silent }, { "\\\\.\\COM99", Silent } }, 0, 256, 2, nullptr },
        { "a display behind the plain name COM10 is a file's, not the port's", { { "COM10", Answers40 } }, 0, 256, 0,
          nullptr },
        { "LPT1 is never probed", { { "\\\\.\\QZPAR1", Answers40 } }, 0, 256, 0, nullptr },
    };
    for (const auto& c : cases) {
        SetUp();
        std::vector<FakeDevice*> devices;
        for (const auto& p : c.ports) {
            FakeDevice& d = Double().AddDevice(p.device);
            d.refuseOpen = p.kind == Busy;
            if (p.kind == Answers20 || p.kind == Answers40)
                win32double::AnswerQueryWith(d, ModelReply(p.kind == Answers20 ? 20 : 40));
            devices.push_back(&d);
        }
        DWORD start = Double().clock.Now();
        EXPECT_EQ(c.expected, BrlInit("auto", RecordKey)) << c.what;
        EXPECT_EQ(c.windows * 2001, Double().clock.Now() - start) << c.what << ": absent and busy ports cost no wait";
        EXPECT_EQ(ScanNames(c.lastTried), Double().openedNames) << c.what;
        EXPECT_GE(1, Double().maxOpenHandles) << c.what << ": a silent port is closed before the next is tried";
        for (size_t i = 0; i < c.ports.size(); ++i)
            if (c.ports[i].kind == Silent) {
                EXPECT_FALSE(devices[i]->isOpen) << c.what << ": " << c.ports[i].device;
            }
        EXPECT_EQ(c.expected ? 1 : 0, Double().openHandles) << c.what;
        EXPECT_EQ(0, Double().versionQueries) << c.what << ": no parallel transport";
        EXPECT_TRUE(ParallelPortDouble::Get().accesses.empty()) << c.what;

        // The name kept is the one reopened, without a scan; "auto" kept
        // opens nothing.
        BrlSleep(1);
        size_t before = Double().openedNames.size();
        BrlSleep(0);
        std::vector<std::string> wake(Double().openedNames.begin() + long(before), Double().openedNames.end());
        EXPECT_EQ(c.reopened ? std::vector<std::string>{ c.reopened } : std::vector<std::string>{}, wake) << c.what;
        BrlSleep(1);
        TearDown();
    }
}

TEST_F(AutoScanTest, OnlyTheWordAutoInAnyCaseScans)
{
    const struct {
        const char* name;
        std::vector<std::string> opened; // empty: the scan
    } cases[] = {
        { "auto", {} }, { "AUTO", {} }, { "Auto", {} }, { "aUtO", {} },
        { "auto:", { "auto" } }, { "autox", { "autox" } }, { "auto ", { "auto " } }, { "aut", { "aut" } },
        { "", { "" } },
    };
    for (const auto& c : cases) {
        SetUp();
        AddDisplay("COM2", 40);
        int result = BrlInit(c.name, RecordKey);
        std::string what = std::string("'") + c.name + "'";
        if (c.opened.empty()) {
            EXPECT_EQ(0x0528, result) << what;
            EXPECT_EQ(ScanNames(2), Double().openedNames) << what;
        } else {
            EXPECT_EQ(0, result) << what;
            EXPECT_EQ(c.opened, Double().openedNames) << what << " opens what a plain name opens";
        }
        BrlTerminate();
        TearDown();
    }
}

// "auto" stored by a refused BrlInit opens nothing on a wake or a reopen,
// and a display found by a scan is sought again by its own name.
TEST_F(AutoScanTest, StoredAutoNeverScansAgain)
{
    FakeDevice& d = AddDisplay("\\\\.\\COM12", 40);
    ASSERT_EQ(0x0528, BrlInit("auto", RecordKey));
    d.gone = true;
    Bytes text = { 0x01 };
    EXPECT_EQ(0, BrlDisplay(text.data(), 1));
    size_t before = Double().openedNames.size();
    Double().clock.Advance(1000);
    BrlTimer();
    EXPECT_EQ(std::vector<std::string>{ "\\\\.\\COM12" },
              std::vector<std::string>(Double().openedNames.begin() + long(before), Double().openedNames.end()))
        << "the reopen tries the port found, not a scan";

    d.gone = false;
    Double().clock.Advance(1000);
    BrlTimer();
    ASSERT_TRUE(d.isOpen);
    DWORD start = Double().clock.Now();
    before = Double().openedNames.size();
    EXPECT_EQ(0, BrlInit("auto", RecordKey)) << "refused while a port is open";
    EXPECT_EQ(before, Double().openedNames.size()) << "at once, without a scan";
    EXPECT_EQ(start, Double().clock.Now());

    // The stored name is "auto" now: a wake and the reopens that follow it
    // fail at once.
    BrlSleep(1);
    BrlSleep(0);
    Double().clock.Advance(1000);
    BrlTimer();
    EXPECT_EQ(before, Double().openedNames.size()) << "\"auto\" is never opened outside BrlInit";
    EXPECT_FALSE(d.isOpen);
}

} // namespace
