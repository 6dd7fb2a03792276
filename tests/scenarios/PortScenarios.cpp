// Port selection on both Windows families, and the whole driver over the
// parallel port's registers with a display behind the simulated port.
#include <algorithm>

#include "DisplaySimulator.h"
#include "ExportScenario.h"
#include "ParallelPortDouble.h"

namespace {

using namespace testsupport;
using paralleldouble::Access;
using paralleldouble::ParallelPortDouble;

// Devices that open but never answer, for the choice of transport.
class PortSelection : public emu::ExportScenario {
public:
    using ExportScenario::ExportScenario;

protected:
    void SetUp() override
    {
        ExportScenario::SetUp();
        ParallelPortDouble::Get().Reset();
        for (const char* name : { "COM1", "com2", "", "\\\\.\\QZPAR1" })
            Double().AddDevice(name);
    }
};

// The 95/98 family with a display of this family behind the simulated
// parallel port, speaking the nibble handshake.
class ParallelDisplay : public emu::ExportScenario {
public:
    using ExportScenario::ExportScenario;
    static constexpr bool UsesPortRegisters = true;

protected:
    void SetUp() override
    {
        ExportScenario::SetUp();
        ParallelPortDouble::Get().Reset();
        Double().platformId = VER_PLATFORM_WIN32_WINDOWS;
        display.reset();
    }
    void TearDown() override
    {
        ExportScenario::TearDown();
        ParallelPortDouble::Get().onByte = nullptr;
    }

    ParallelPortDouble& P() { return ParallelPortDouble::Get(); }

    DisplaySimulator& Attach(int textCells = 40)
    {
        DisplaySimulator::Config config;
        config.textCells = textCells;
        display = std::make_unique<DisplaySimulator>(config, [](const Bytes& bytes) {
            ParallelPortDouble::Get().Send(bytes);
        });
        P().onByte = [this](uint8_t byte) { display->FromHost(&byte, 1); };
        return *display;
    }

    std::unique_ptr<DisplaySimulator> display;
};

SCENARIO_GROUP(PortNames);

// Each kind of name reaches its device on both families: COM ports by their
// name, those above COM9 through the device namespace; LPT ports through the
// kernel device on the NT family and through the registers on the 95/98
// family. The 95/98 family has no 64-bit Windows, but the x64 DLL carries
// the register transport all the same, and it runs here. The ARM64 DLL has
// no port instructions and so no register transport: there a 95/98 answer,
// which no Windows on ARM gives, leaves an LPT name nothing to open.
SCENARIO(PortNames, ReachTheirDevicesOnBothFamilies)
{
    const DWORD Nt = VER_PLATFORM_WIN32_NT, Win9x = VER_PLATFORM_WIN32_WINDOWS;
    const struct {
        const char* name;
        DWORD platform;
        const char* device; // null: the registers
    } cases[] = {
        { "COM3", Nt, "COM3" },
        { "COM3:38400,n,8,1", Win9x, "COM3" },
        { "COM12:38400,n,8,1", Nt, "\\\\.\\COM12" },
        { "com10", Win9x, "\\\\.\\com10" },
        { "LPT1", Nt, "\\\\.\\QZPAR1" },
        { "LPT2", Nt, "\\\\.\\QZPAR2" },
        { "LPT1", Win9x, nullptr },
    };
    for (const auto& c : cases) {
        SetUp();
        ParallelPortDouble::Get().Reset();
        Double().platformId = c.platform;
        DisplaySimulator registers(DisplaySimulator::Config(), [](const Bytes& bytes) {
            ParallelPortDouble::Get().Send(bytes);
        });
        ParallelPortDouble::Get().onByte = [&registers](uint8_t byte) { registers.FromHost(&byte, 1); };
        FakeDevice* device = c.device ? &AddDisplay(c.device, 40) : nullptr;
        std::string what = std::string(c.name) + (c.platform == Nt ? " on the NT family" : " on the 95/98 family");
        if (device == nullptr && !host.PortRegisters()) {
            EXPECT_EQ(0, host.Init(c.name, RecordKey)) << what;
            EXPECT_EQ(1, Double().versionQueries) << what << ": the family is still asked";
            EXPECT_TRUE(Double().openedNames.empty()) << what;
            ParallelPortDouble::Get().onByte = nullptr;
            TearDown();
            continue;
        }

        EXPECT_EQ(0x0528, host.Init(c.name, RecordKey)) << what;
        EXPECT_EQ("1B 3F 1B 49 00", Hex(device ? device->written : registers.Received())) << what;
        Bytes key = DisplaySimulator::KeyPacket(0x00, 0x10);
        if (device)
            device->Send(key);
        else
            registers.Send(key);
        host.Timer();
        EXPECT_EQ(std::vector<KeyCall>({ { 0x80000005u, 0 } }), RecordedKeys()) << what;
        EXPECT_EQ(device ? 1u : 0u, Double().openedNames.size()) << what;
        EXPECT_EQ(device == nullptr, !ParallelPortDouble::Get().accesses.empty())
            << what << ": the registers are for LPT ports on the 95/98 family alone";
        host.Terminate();
        EXPECT_TRUE(device == nullptr || !device->isOpen) << what;
        ParallelPortDouble::Get().onByte = nullptr;
        TearDown();
    }
}

SCENARIO(PortSelection, NtFamilyNeverTouchesTheRegisters)
{
    Double().platformId = VER_PLATFORM_WIN32_NT;
    FakeDevice* device = Double().Find("\\\\.\\QZPAR1");
    win32double::AnswerQueryWith(*device, ModelReply(40));
    EXPECT_EQ(0x0528, host.Init("LPT1", RecordKey));
    device->Send({ 0x1B, 0x4B, 0x00, 0x10 });
    host.Timer();
    host.Terminate();
    EXPECT_TRUE(ParallelPortDouble::Get().accesses.empty());
    ASSERT_LE(5u, device->written.size());
    EXPECT_EQ("1B 3F 1B 49 00", Hex(Bytes(device->written.begin(), device->written.begin() + 5)));
    ASSERT_EQ(1u, RecordedKeys().size());
    EXPECT_EQ((KeyCall{ 0x80000005u, 0 }), RecordedKeys()[0]);
    EXPECT_EQ(1u, device->ioctls.size());
    EXPECT_EQ(1, device->closeCount);
}

SCENARIO(PortSelection, FailedVersionQueryCreatesNothing)
{
    Double().failVersionQuery = true;
    EXPECT_EQ(0, host.Init("LPT1", RecordKey));
    EXPECT_EQ(1, Double().versionQueries);
    EXPECT_TRUE(Double().openedNames.empty());
    EXPECT_TRUE(ParallelPortDouble::Get().accesses.empty());
}

SCENARIO(PortSelection, FailedOpenDestroysTheTransport)
{
    Double().platformId = VER_PLATFORM_WIN32_NT;
    EXPECT_EQ(0, host.Init("LPT9", RecordKey));
    ASSERT_FALSE(Double().openedNames.empty());
    EXPECT_EQ("\\\\.\\QZPAR9", Double().openedNames.back());
    EXPECT_EQ(0, host.Init("COM7", RecordKey));
    EXPECT_EQ(0, Double().openHandles);
}

SCENARIO(PortSelection, ModeStringNoLongerSetsTheLine)
{
    FakeDevice* d = Double().Find("COM1");
    win32double::AnswerQueryWith(*d, ModelReply(40));
    EXPECT_EQ(0x0528, host.Init("COM1:9600,n,8,1", RecordKey));
    ASSERT_FALSE(Double().openedNames.empty());
    EXPECT_EQ("COM1", Double().openedNames.back());
    EXPECT_EQ("", Double().lastCommDefinition) << "BuildCommDCBA is not asked";
    EXPECT_EQ(38400u, d->dcb.BaudRate);
    EXPECT_EQ(8, d->dcb.ByteSize);
    EXPECT_EQ(NOPARITY, d->dcb.Parity);
    EXPECT_EQ(ONESTOPBIT, d->dcb.StopBits);
    EXPECT_EQ(1u, d->dcb.fOutxCtsFlow);
    EXPECT_EQ(static_cast<DWORD>(RTS_CONTROL_ENABLE), d->dcb.fRtsControl);
}

SCENARIO(ParallelDisplay, InitIdentifiesEveryModelThroughTheRegisters)
{
    for (int cells : { 20, 40, 80 }) {
        SetUp();
        DisplaySimulator& d = Attach(cells);
        DWORD start = Double().clock.Now();
        EXPECT_EQ(0x0500 + cells, host.Init("LPT1", RecordKey)) << cells;
        EXPECT_EQ("1B 3F 1B 49 00", Hex(d.Received())) << "expected the query and the after-query sequence";
        EXPECT_EQ(2001u, Double().clock.Now() - start) << "the 3-byte answer is short of 15: the full wait";
        EXPECT_TRUE(P().toHost.empty()) << "the answer was taken";
        EXPECT_TRUE(Double().openedNames.empty()) << "no kernel device on this family";
        TearDown();
    }
}

SCENARIO(ParallelDisplay, CellsArriveAsStrobedBytesAndShowOnTheDisplay)
{
    DisplaySimulator& d = Attach(40);
    ASSERT_EQ(0x0528, host.Init("LPT1", RecordKey));
    P().received.clear();
    Bytes status = { 0x01, 0x02, 0x03, 0x04, 0x05 };
    Bytes text = { 0xFF, 0x1B, 0x08, 0x80 };
    EXPECT_EQ(1, host.DisplayStatus(status, 5));
    EXPECT_EQ(1, host.Display(text, 4));
    // Laid into a buffer of the display's size: GCC 12 at -O2 (the
    // benchmark tree) takes growing a copy of status for an array overrun.
    Bytes expected(45, 0);
    std::copy(status.begin(), status.end(), expected.begin());
    std::copy(text.begin(), text.end(), expected.begin() + 5);
    EXPECT_EQ(Hex(expected), Hex(d.Cells()));
    EXPECT_EQ(2, d.Count(HostStreamDecoder::Message::Cells));
    EXPECT_EQ(0, d.Count(HostStreamDecoder::Message::Malformed));
    // Host cell 0x1B goes out as C3, so nothing is doubled: two packets of
    // 2 + 45 bytes, one strobe pulse each.
    ASSERT_EQ(2u * 47u, P().received.size());
    EXPECT_EQ("1B 42 01 02 03 04 05 FF C3 80 10",
              Hex(Bytes(P().received.begin() + 47, P().received.begin() + 58)));
    // A refresh is a packet, but not a change of what the display shows.
    EXPECT_EQ(1, host.Refresh());
    EXPECT_EQ(3, d.Count(HostStreamDecoder::Message::Cells));
    EXPECT_EQ(2, d.CellChanges());
}

SCENARIO(ParallelDisplay, KeyAndRoutingPacketsComeBackAsNibbles)
{
    DisplaySimulator& d = Attach(40);
    ASSERT_EQ(0x0528, host.Init("LPT1", RecordKey));
    d.Send(DisplaySimulator::KeyPacket(0x01, 0x01));
    d.Send(DisplaySimulator::RoutingPacket(0x06));
    EXPECT_EQ(1, host.Timer());
    ASSERT_EQ(2u, RecordedKeys().size());
    EXPECT_EQ((KeyCall{ 0x80000124u, 0 }), RecordedKeys()[0]);
    EXPECT_EQ((KeyCall{ 0x80000081u, 1 }), RecordedKeys()[1]);
    EXPECT_TRUE(P().toHost.empty());
}

SCENARIO(ParallelDisplay, IdlePollMakesOneStatusTest)
{
    Attach(40);
    ASSERT_EQ(0x0528, host.Init("LPT1", RecordKey));
    int reads = P().statusReads;
    DWORD now = Double().clock.Now();
    host.Timer();
    EXPECT_EQ(1, P().statusReads - reads);
    EXPECT_EQ(now + 1, Double().clock.Now()) << "only the one status read moved the clock";
    EXPECT_TRUE(RecordedKeys().empty());
}

SCENARIO(ParallelDisplay, TerminateBlanksThenRaisesSelectIn)
{
    DisplaySimulator& d = Attach(40);
    ASSERT_EQ(0x0528, host.Init("LPT1", RecordKey));
    Bytes text = { 0x3F };
    host.Display(text, 1);
    P().accesses.clear();
    host.Terminate();
    EXPECT_EQ(Hex(Bytes(45, 0)), Hex(d.Cells()));
    ASSERT_LE(2u, P().accesses.size());
    const Access& last = P().accesses.back();
    EXPECT_EQ(paralleldouble::Describe(paralleldouble::Out(paralleldouble::ControlRegister, 0x0C)),
              paralleldouble::Describe(last));
}

SCENARIO(ParallelDisplay, SleepAndWakeMakeANewPortAndResend)
{
    DisplaySimulator& d = Attach(40);
    ASSERT_EQ(0x0528, host.Init("LPT2", RecordKey));
    EXPECT_EQ(1, host.Sleep(1));
    EXPECT_EQ(0x0C, P().control & 0x0C) << "Select In raised when the port went";
    Bytes text = { 0x07 };
    host.Display(text, 1);
    EXPECT_EQ(0, d.Count(HostStreamDecoder::Message::Cells)) << "nothing goes out while asleep";
    EXPECT_EQ(1, host.Sleep(0));
    EXPECT_EQ(0x04, P().control & 0x0C) << "reopened: Init on, Select In off";
    EXPECT_EQ(0x07, d.Cells()[5]);
    EXPECT_EQ(1, d.Count(HostStreamDecoder::Message::Cells)) << "the buffered cells, on waking";
}

SCENARIO(ParallelDisplay, NothingAttachedFailsInitAfterItsTimeout)
{
    P().attached = false; // status and control read all ones
    DWORD start = Double().clock.Now();
    EXPECT_EQ(0, host.Init("LPT1", RecordKey));
    EXPECT_EQ(2001u, Double().clock.Now() - start);
    EXPECT_TRUE(Double().openedNames.empty());
}

SCENARIO(ParallelDisplay, DisplayThatDoesNotAnswerFailsInit)
{
    DisplaySimulator& d = Attach(40);
    d.SetAnswerQueries(false);
    EXPECT_EQ(0, host.Init("LPT1", RecordKey));
    EXPECT_EQ("1B 3F 1B 49 00", Hex(d.Received()));
}

// BrlInit("auto"): COM1 to COM256, ascending where Windows names no device
// (as on the 95/98 family), each opened as its plain name opens it, the
// first whose display answers kept. Driven through the exports alone.
class AutoScan : public emu::ExportScenario {
public:
    using ExportScenario::ExportScenario;

protected:
    void SetUp() override
    {
        ExportScenario::SetUp();
        ParallelPortDouble::Get().Reset();
    }
    // The name CreateFileA gets for COMn.
    static std::string ScanName(int n) { return (n < 10 ? "COM" : "\\\\.\\COM") + std::to_string(n); }
    // The names CreateFileA gets for COM1 to COMlast.
    static std::vector<std::string> ScanNames(int last)
    {
        std::vector<std::string> names;
        for (int n = 1; n <= last; ++n)
            names.push_back(ScanName(n));
        return names;
    }
};

enum PortKind { Busy, Silent, Answers20, Answers40 };

SCENARIO(AutoScan, TriesComPortsInOrderAndKeepsTheFirstThatAnswers)
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
        EXPECT_EQ(c.expected, host.Init("auto", RecordKey)) << c.what;
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
        host.Sleep(1);
        size_t before = Double().openedNames.size();
        host.Sleep(0);
        std::vector<std::string> wake(Double().openedNames.begin() + long(before), Double().openedNames.end());
        EXPECT_EQ(c.reopened ? std::vector<std::string>{ c.reopened } : std::vector<std::string>{}, wake) << c.what;
        host.Sleep(1);
        TearDown();
    }
}

// On the NT family the scan tries the ports whose device the system names
// first, then those it names none for, then the Bluetooth links, whose
// opens block while Windows seeks their far end. On the 95/98 family,
// whose KERNEL32 has no QueryDosDeviceA, the order is the plain one.
SCENARIO(AutoScan, NamedPortsFirstAndBluetoothLinksLast)
{
    struct PortAt {
        int number;
        const char* device; // what QueryDosDeviceA names; null: none
        PortKind kind;
        bool ctsOff;        // nothing attached: a built-in port holds CTS off
        DWORD openBlocks;   // a Bluetooth link connecting, then refusing
    };
    struct Case {
        const char* what;
        DWORD platform;
        std::vector<PortAt> ports; // every other name is absent
        int expected;
        std::vector<int> tried;    // in order; a 0 stands for every port not named in the list
        DWORD held;
    };
    const PortAt builtIn = { 1, "\\Device\\Serial0", Silent, true, 0 };
    const PortAt phone = { 3, "\\Device\\BthModem0", Busy, false, 10000 };
    const PortAt gps = { 4, "\\Device\\BthModem1", Busy, false, 10000 };
    const PortAt usb = { 7, "\\Device\\VCP0", Answers40, false, 0 };
    const Case cases[] = {
        // COM1's query meets CTS off and gets the short time-out: 102 ms.
        { "a laptop: the USB display before two Bluetooth links", VER_PLATFORM_WIN32_NT,
          { builtIn, phone, gps, usb }, 0x0528, { 1, 7 }, 102 + 2001 },
        { "the same laptop on the 95/98 family", VER_PLATFORM_WIN32_WINDOWS, { builtIn, phone, gps, usb }, 0x0528,
          { 1, 2, 3, 4, 5, 6, 7 }, 102 + 10000 + 10000 + 2001 },
        { "a display on a port with no name, after the named ones",
          VER_PLATFORM_WIN32_NT,
          { { 2, "\\Device\\Serial1", Silent, false, 0 }, { 3, "\\Device\\BthModem0", Answers20, false, 0 },
            { 5, nullptr, Answers40, false, 0 } },
          0x0528, { 2, 1, 4, 5 }, 2001 + 2001 },
        { "a display on a Bluetooth link alone, in any case of its name", VER_PLATFORM_WIN32_NT,
          { { 12, "\\DEVICE\\bthmodem7", Answers20, false, 0 } }, 0x0514, { 0, 12 }, 2001 },
    };
    auto scanNames = [](const std::vector<int>& tried) {
        std::vector<std::string> names;
        for (int n : tried) {
            if (n != 0) {
                names.push_back(ScanName(n));
                continue;
            }
            for (int other = 1; other <= 256; ++other)
                if (std::find(tried.begin(), tried.end(), other) == tried.end())
                    names.push_back(ScanName(other));
        }
        return names;
    };
    for (const auto& c : cases) {
        SetUp();
        Double().platformId = c.platform;
        for (const auto& p : c.ports) {
            FakeDevice& d = Double().AddDevice(ScanName(p.number));
            d.refuseOpen = p.kind == Busy;
            d.ctsHeldOff = p.ctsOff;
            d.openDelay = p.openBlocks;
            if (p.kind == Answers20 || p.kind == Answers40)
                win32double::AnswerQueryWith(d, ModelReply(p.kind == Answers20 ? 20 : 40));
            if (p.device)
                Double().dosDevices["COM" + std::to_string(p.number)] = p.device;
        }
        DWORD start = Double().clock.Now();
        EXPECT_EQ(c.expected, host.Init("auto", RecordKey)) << c.what;
        EXPECT_EQ(c.held, Double().clock.Now() - start) << c.what;
        EXPECT_EQ(scanNames(c.tried), Double().openedNames) << c.what;
        EXPECT_EQ(c.platform == VER_PLATFORM_WIN32_NT ? 256 : 0, Double().dosDeviceQueries)
            << c.what << ": QueryDosDeviceA is looked up, never imported";
        EXPECT_EQ(std::vector<std::string>{ "QueryDosDeviceA" }, Double().procLookups) << c.what << ": once a scan";
        EXPECT_EQ(1, Double().openHandles) << c.what;
        host.Terminate();
        TearDown();
    }
}

SCENARIO(AutoScan, OnlyTheWordAutoInAnyCaseScans)
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
        int result = host.Init(c.name, RecordKey);
        std::string what = std::string("'") + c.name + "'";
        if (c.opened.empty()) {
            EXPECT_EQ(0x0528, result) << what;
            EXPECT_EQ(ScanNames(2), Double().openedNames) << what;
        } else {
            EXPECT_EQ(0, result) << what;
            EXPECT_EQ(c.opened, Double().openedNames) << what << " opens what a plain name opens";
        }
        host.Terminate();
        TearDown();
    }
}

// "auto" stored by a refused BrlInit opens nothing on a wake or a reopen,
// and a display found by a scan is sought again by its own name.
SCENARIO(AutoScan, StoredAutoNeverScansAgain)
{
    FakeDevice& d = AddDisplay("\\\\.\\COM12", 40);
    ASSERT_EQ(0x0528, host.Init("auto", RecordKey));
    d.gone = true;
    Bytes text = { 0x01 };
    EXPECT_EQ(0, host.Display(text, 1));
    size_t before = Double().openedNames.size();
    Double().clock.Advance(1000);
    host.Timer();
    EXPECT_EQ(std::vector<std::string>{ "\\\\.\\COM12" },
              std::vector<std::string>(Double().openedNames.begin() + long(before), Double().openedNames.end()))
        << "the reopen tries the port found, not a scan";

    d.gone = false;
    Double().clock.Advance(1000);
    host.Timer();
    ASSERT_TRUE(d.isOpen);
    DWORD start = Double().clock.Now();
    before = Double().openedNames.size();
    EXPECT_EQ(0, host.Init("auto", RecordKey)) << "refused while a port is open";
    EXPECT_EQ(before, Double().openedNames.size()) << "at once, without a scan";
    EXPECT_EQ(start, Double().clock.Now());

    // The stored name is "auto" now: a wake and the reopens that follow it
    // fail at once.
    host.Sleep(1);
    host.Sleep(0);
    Double().clock.Advance(1000);
    host.Timer();
    EXPECT_EQ(before, Double().openedNames.size()) << "\"auto\" is never opened outside BrlInit";
    EXPECT_FALSE(d.isOpen);
}

} // namespace
