// The parallel port through the real DLL under Wine, on both families. On
// the NT family the DLL talks to the stand-in kernel device (tests/kmdriver)
// with a display simulator behind its FIFOs; on the 95/98 family the host
// runs as Windows 98 and its exception handler emulates the DLL's port
// instructions against a simulated port with a display behind it. One
// prefix holds both, so each family can show that it leaves the other's
// way alone.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "E2eSupport.h"
#include "FifoDisplay.h"
#include "KernelDeviceBridge.h"
#include "PtyDisplay.h"

namespace e2e {
namespace {

const int Cells20 = 0x0514, Cells40 = 0x0528;
const char* const QueryAndAfter = "1B 3F 1B 49 00";

// The Windows versions Wine can report, each to its own copy of the host:
// Wine picks the version by the program's file name.
const struct WindowsVersion {
    const char* setting;
    int platformId; // 1: the 95/98 family, 2: the NT family
    bool has64Bit;  // a 64-bit edition exists
} Versions[] = {
    { "win95", 1, false }, { "win98", 1, false }, { "winme", 1, false }, { "nt40", 2, false },
    { "win2k", 2, false }, { "winxp", 2, true },  { "win7", 2, true },   { "win10", 2, true },
};

std::string ParallelWorkDir() { return std::string(PARALLEL_WORK_DIR "/") + ArchName(); }

std::string HostFor(const std::string& setting) { return ParallelWorkDir() + "/e2ehost-" + setting + ".exe"; }

// A serial display beside the parallel ones, on the prefix's COM5.
std::string Com5Link() { return ParallelWorkDir() + "/COM5"; }

KernelDeviceBridge& Bridge()
{
    static KernelDeviceBridge::Options options = [] {
        KernelDeviceBridge::Options o;
        o.devices = "12";
        o.arch = IsX64() ? WinePrefix::Arch::X64 : WinePrefix::Arch::X86;
        o.comPorts = { { "COM5", Com5Link() } };
        for (const auto& v : Versions)
            o.appVersions.push_back({ "e2ehost-" + std::string(v.setting) + ".exe", v.setting });
        return o;
    }();
    static KernelDeviceBridge bridge(ParallelWorkDir() + "/wine", ParallelWorkDir() + "/device",
                                     WindowsBuildDir() + "/tests/kmdriver/qzpar_standin.sys", options);
    return bridge;
}

bool IsOpenOrClose(const std::string& line)
{
    for (const char* kind : { "create", "ioctl", "close", "refused" })
        if (line.compare(0, strlen(kind), kind) == 0)
            return true;
    return false;
}

std::string Hex40(int first)
{
    std::string s;
    for (int i = 0; i < 40; ++i)
        s += (i ? " " : "") + Hex({ static_cast<uint8_t>(first + i * 7) });
    return s;
}

Bytes Cells40From(int first)
{
    Bytes cells(5, 0); // the status cells, still blank
    for (int i = 0; i < 40; ++i)
        cells.push_back(static_cast<uint8_t>(first + i * 7));
    return cells;
}

class ParallelE2eTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ready = false;
        if (WindowsBuildDir().empty())
            GTEST_SKIP() << "no " << ArchName() << " build to test";
        std::string why = WhyNotRunnable();
        if (!why.empty())
            GTEST_SKIP() << "the " << ArchName() << " DLL's Wine end-to-end tests: " << why;
        ASSERT_TRUE(Bridge().start()) << Bridge().error();
        for (const auto& v : Versions) {
            std::ifstream in(HostExe(), std::ios::binary);
            std::ofstream out(HostFor(v.setting), std::ios::binary | std::ios::trunc);
            out << in.rdbuf();
            out.close();
            ASSERT_TRUE(out) << "cannot copy the host to " << HostFor(v.setting);
        }
        ready = true;
    }

    static void TearDownTestSuite()
    {
        if (WhyNotRunnable().empty())
            Bridge().stop();
    }

    void SetUp() override
    {
        ASSERT_TRUE(ready) << "the stand-in device did not start";
        for (char d : { '1', '2' })
            logMark[d - '1'] = Bridge().logLines(d).size();
    }

    void TearDown() override
    {
        if (host) {
            EXPECT_EQ(0, host->Quit()) << host->Transcript();
            host.reset();
        }
        displays[0].reset();
        displays[1].reset();
    }

    // The host as Wine's default system (the NT family) or under a version
    // setting of its own.
    void StartHost(const std::string& setting = "")
    {
        host = std::make_unique<HostProcess>(Bridge().prefix(), setting.empty() ? HostExe() : HostFor(setting),
                                             WinePrefix::WindowsPath(DllPath()));
        ASSERT_TRUE(host->Ready()) << host->Transcript();
    }

    // A display behind \\.\QZPARd.
    FifoDisplay& DeviceDisplay(char d, int textCells, bool answers = true)
    {
        DisplaySimulator::Config config;
        config.textCells = textCells;
        config.reply = FullReply(textCells);
        config.answerQueries = answers;
        auto& slot = displays[d - '1'];
        slot.reset();
        slot = std::make_unique<FifoDisplay>(config, Bridge().toSimFd(d), Bridge().fromSimFd(d));
        return *slot;
    }

    HostProcess::Reply Do(const std::string& command, int timeoutMs = 10000)
    {
        auto r = host->Command(command, timeoutMs);
        EXPECT_TRUE(r.ok) << "expected a result for '" << command << "', got:\n" << host->Transcript();
        return r;
    }

    // What the emulated port's display latched, as hex.
    std::string LptReceived()
    {
        auto r = Do("lpt-received");
        return r.lines.empty() ? "" : r.lines.back().substr(std::string("lpt received").size());
    }

    // The device's opens, configuration requests and closes since the test
    // began; waits (bounded) for the expected ones, since a close reaches
    // the device after CloseHandle has returned.
    std::vector<std::string> OpensAndCloses(char d, size_t expected = 0)
    {
        std::vector<std::string> got;
        for (int i = 0; i < 100; ++i) {
            got.clear();
            auto log = Bridge().logLines(d);
            for (size_t n = logMark[d - '1']; n < log.size(); ++n)
                if (IsOpenOrClose(log[n]))
                    got.push_back(log[n]);
            if (got.size() >= expected)
                break;
            usleep(50000);
        }
        return got;
    }

    static bool ready;
    size_t logMark[2] = {};
    std::unique_ptr<FifoDisplay> displays[2];
    std::unique_ptr<HostProcess> host;
};

bool ParallelE2eTest::ready = false;

const char* const NoWin98On64Bit = "no 64-bit Windows is of the 95/98 family";

const std::string Configure = "ioctl 00222004 len=8 00000000 00000064";

TEST_F(ParallelE2eTest, NtFamilyDrivesTheDisplayThroughTheKernelDevice)
{
    FifoDisplay& display = DeviceDisplay('1', 40);
    StartHost();
    // A port on the emulated registers too, to show they are never touched.
    Do("lpt-attach 40");

    EXPECT_EQ(Cells40, Do("init LPT1").result);
    EXPECT_EQ((std::vector<std::string>{ "create", Configure }), OpensAndCloses('1', 2))
        << "one open and one configuration request with the block {0, 100}";
    ASSERT_TRUE(display.WaitReceived(5, 5000));
    EXPECT_EQ(QueryAndAfter, Hex(display.Received()));

    EXPECT_EQ(1, Do("display " + Hex40(0x11)).result);
    Bytes expected = CellPacket(Cells40From(0x11));
    ASSERT_TRUE(display.WaitReceived(5 + expected.size(), 5000));
    Bytes received = display.Received();
    EXPECT_EQ(Hex(expected), Hex(Bytes(received.begin() + 5, received.end())));

    const struct {
        Bytes packet;
        std::string key;
    } keys[] = {
        { { 0x1B, 0x4B, 0x01, 0x01 }, "80000124 0" },
        { { 0x1B, 0x43, 0x55 }, "80000081 80" },
        { { 0x1B, 0x4B, 0x1B, 0x1B }, "A0212324 0" },
    };
    for (const auto& k : keys) {
        display.SendNow(k.packet);
        auto r = Do("timer-until 1 5000");
        EXPECT_EQ(std::vector<std::string>{ k.key }, r.keys) << "packet " << Hex(k.packet);
    }

    EXPECT_EQ(1, Do("sleep 1").result);
    EXPECT_EQ((std::vector<std::string>{ "create", Configure, "close" }), OpensAndCloses('1', 3))
        << "sleeping closes the device";
    EXPECT_EQ(1, Do("sleep 0").result);
    EXPECT_EQ(1, Do("terminate").result);
    EXPECT_EQ((std::vector<std::string>{ "create", Configure, "close", "create", Configure, "close" }),
              OpensAndCloses('1', 6))
        << "waking opens and configures it again, terminating closes it";

    auto count = Do("lpt-count");
    EXPECT_EQ(0, count.result) << "no port instruction on the NT family: " << count.lines.back();
    EXPECT_EQ("", LptReceived());
}

const std::string LongName = "LPT" + std::string(72, 'x') + "2";
const std::string LongerThanKept = "LPT" + std::string(75, 'y') + "1" + std::string(120, '9');

TEST_F(ParallelE2eTest, NtFamilyOpensTheDeviceNamedByThePortsLastCharacter)
{
    DeviceDisplay('1', 40);
    DeviceDisplay('2', 20);
    StartHost();
    const struct {
        const char* name;
        int result;
    } cases[] = {
        { "LPT1", Cells40 }, { "lpt2", Cells20 }, { "LPT9", 0 }, { "LPT1:", 0 }, { "L", 0 },
        // Far longer than the device name and path: only the last character
        // counts, of the name as the driver keeps it (79 characters).
        { LongName.c_str(), Cells20 }, { LongerThanKept.c_str(), Cells40 },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.result, Do(std::string("init ") + c.name).result) << c.name;
        Do("terminate");
    }
    const std::vector<std::string> twice = { "create", Configure, "close", "create", Configure, "close" };
    EXPECT_EQ(twice, OpensAndCloses('1', 6));
    EXPECT_EQ(twice, OpensAndCloses('2', 6));
}

TEST_F(ParallelE2eTest, NtFamilySilentDisplayKeepsTheDeviceUntilTerminate)
{
    DeviceDisplay('1', 40, false);
    StartHost();
    EXPECT_EQ(0, Do("init LPT1").result);
    EXPECT_EQ(0, Do("init LPT1").result) << "a second init while the device is open fails at once";
    EXPECT_EQ((std::vector<std::string>{ "create", Configure }), OpensAndCloses('1', 2))
        << "a display that does not answer leaves the device open, and it is opened once";

    EXPECT_EQ(1, Do("terminate").result);
    EXPECT_EQ((std::vector<std::string>{ "create", Configure, "close" }), OpensAndCloses('1', 3))
        << "terminate closes it";
    DeviceDisplay('1', 40);
    EXPECT_EQ(Cells40, Do("init LPT1").result) << "the device is free for the next open";
    Do("terminate");
}

TEST_F(ParallelE2eTest, Win98FamilyDrivesTheDisplayThroughThePortRegisters)
{
    if (IsX64())
        GTEST_SKIP() << NoWin98On64Bit;
    StartHost("win98");
    Do("lpt-attach 40 " + Hex(FullReply(40)));

    EXPECT_EQ(Cells40, Do("init LPT1").result);
    EXPECT_EQ(" " + std::string(QueryAndAfter), LptReceived()) << "the query and the sequence after it, strobed";

    EXPECT_EQ(1, Do("display " + Hex40(0x21)).result);
    EXPECT_EQ(" " + std::string(QueryAndAfter) + " " + Hex(CellPacket(Cells40From(0x21))), LptReceived());

    const struct {
        std::string packet;
        std::string key;
    } keys[] = {
        { "1B 4B 01 01", "80000124 0" },
        { "1B 43 55", "80000081 80" },
        { "1B 4B 1B 1B", "A0212324 0" },
    };
    for (const auto& k : keys) {
        Do("lpt-send " + k.packet);
        auto r = Do("timer");
        EXPECT_EQ(std::vector<std::string>{ k.key }, r.keys) << "packet " << k.packet << " as nibbles";
    }

    EXPECT_EQ(1, Do("terminate").result);
    auto count = Do("lpt-count");
    ASSERT_FALSE(count.lines.empty());
    EXPECT_GT(count.result, 0);
    EXPECT_NE(std::string::npos, count.lines.back().find("control 0C"))
        << "Select In raised when the port is released: " << count.lines.back();
    EXPECT_TRUE(OpensAndCloses('1').empty()) << "the 95/98 family never opens the kernel device";
}

TEST_F(ParallelE2eTest, Win98FamilyUsesTheFirstPortForAnyParallelName)
{
    if (IsX64())
        GTEST_SKIP() << NoWin98On64Bit;
    StartHost("win98");
    for (const char* name : { "LPT1", "lpt2", "LPT1:", "L" }) {
        Do("lpt-attach 20 " + Hex(FullReply(20)));
        EXPECT_EQ(Cells20, Do(std::string("init ") + name).result) << name;
        EXPECT_EQ(" " + std::string(QueryAndAfter), LptReceived()) << name;
        Do("terminate");
    }
    EXPECT_TRUE(OpensAndCloses('1').empty());
    EXPECT_TRUE(OpensAndCloses('2').empty());
}

TEST_F(ParallelE2eTest, Win98FamilyWithNothingAttachedFailsAfterTheTimeOut)
{
    if (IsX64())
        GTEST_SKIP() << NoWin98On64Bit;
    StartHost("win98");
    Do("lpt-attach 0");
    EXPECT_EQ(0, Do("init LPT1").result);
    int polled = Do("lpt-count").result;
    EXPECT_GT(polled, 100) << "the status lines were polled for the whole wait";
    EXPECT_EQ(1, Do("display 01 02").result) << "nothing is open: the call is accepted and does nothing";
    EXPECT_EQ(polled, Do("lpt-count").result) << "no register touched after the failed open";
    EXPECT_TRUE(OpensAndCloses('1').empty());
}

// Every version Wine can report (of the 64-bit DLL: those with a 64-bit
// edition), one host copy each: LPT1 reaches the
// registers on the 95/98 family and the kernel device on the NT family, and
// COM5 the serial port on all. The two parallel displays are of different
// sizes, so the cell counts alone tell which way the driver went.
TEST_F(ParallelE2eTest, EveryWindowsVersionPicksItsParallelTransportAndKeepsTheSerialOne)
{
    DisplaySimulator::Config serialConfig;
    serialConfig.textCells = 80;
    serialConfig.reply = FullReply(80);
    PtyDisplay serial(serialConfig, Com5Link());
    for (const auto& v : Versions) {
        if (IsX64() && !v.has64Bit)
            continue;
        SCOPED_TRACE(v.setting);
        bool registers = v.platformId == 1;
        logMark[0] = Bridge().logLines('1').size();
        DeviceDisplay('1', 40);
        StartHost(v.setting);
        auto version = Do("version");
        EXPECT_EQ(v.platformId, version.result) << (version.lines.empty() ? "" : version.lines.back());
        Do("lpt-attach 20 " + Hex(FullReply(20)));

        int parallel = Do("init LPT1").result;
        EXPECT_EQ(registers ? Cells20 : Cells40, parallel);
        EXPECT_EQ(1, Do("terminate").result);
        int instructions = Do("lpt-count").result;
        if (registers) {
            EXPECT_GT(instructions, 0);
            EXPECT_TRUE(OpensAndCloses('1').empty()) << "the kernel device is never opened";
        } else {
            EXPECT_EQ(0, instructions) << "no port instruction";
            EXPECT_EQ((std::vector<std::string>{ "create", Configure, "close" }), OpensAndCloses('1', 3));
        }

        int serialResult = Do("init COM5").result;
        EXPECT_EQ(0x0550, serialResult) << "the serial display";
        EXPECT_EQ(1, Do("terminate").result);
        EXPECT_EQ(0, host->Quit()) << host->Transcript();
        host.reset();
        // What each setting saw, for the record.
        std::printf("%-6s %s: LPT1 = 0x%04X (%d port instructions, %zu device requests), COM5 = 0x%04X\n",
                    v.setting, version.lines.empty() ? "?" : version.lines.back().c_str(), parallel, instructions,
                    OpensAndCloses('1').size(), serialResult);
    }
}

} // namespace
} // namespace e2e
