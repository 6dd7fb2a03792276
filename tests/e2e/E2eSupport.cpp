#include "E2eSupport.h"

#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "CellCodec.h"
#include "HexText.h"

namespace e2e {

std::string Hex(const Bytes& bytes) { return HexText(bytes); }

Bytes CellPacket(const Bytes& cells)
{
    Bytes p = { 0x1B, 0x42 };
    for (uint8_t c : cells) {
        uint8_t w = CellCodec::ToWire(c);
        p.push_back(w);
        if (w == 0x1B)
            p.push_back(w);
    }
    return p;
}

Bytes FullReply(int textCells)
{
    Bytes r(15, 0x00);
    r[0] = 0x3F;
    r[1] = static_cast<uint8_t>(DisplaySimulator::ModelCode(textCells));
    return r;
}

std::string KeyReport(const Bytes& packet)
{
    uint32_t code = 0, argument = 0;
    if (!DisplaySimulator::ReportFor(packet, code, argument))
        return "";
    char b[32];
    snprintf(b, sizeof b, "%08X %u", code, argument);
    return b;
}

int OpenersOf(const std::string& path)
{
    int count = 0;
    DIR* proc = opendir("/proc");
    if (!proc)
        return -1;
    std::string self = std::to_string(getpid());
    while (dirent* p = readdir(proc)) {
        if (p->d_name[0] < '0' || p->d_name[0] > '9' || self == p->d_name)
            continue;
        std::string fdDir = std::string("/proc/") + p->d_name + "/fd";
        DIR* fds = opendir(fdDir.c_str());
        if (!fds)
            continue;
        while (dirent* f = readdir(fds)) {
            char target[PATH_MAX];
            ssize_t n = readlink((fdDir + "/" + f->d_name).c_str(), target, sizeof target - 1);
            if (n > 0) {
                target[n] = '\0';
                count += path == target;
            }
        }
        closedir(fds);
    }
    closedir(proc);
    return count;
}

std::vector<PortCall> PortCalls(const HostProcess::Reply& reply)
{
    std::vector<PortCall> calls;
    for (const auto& line : reply.lines) {
        char name[128], result[8] = "";
        unsigned long tick = 0;
        if (sscanf(line.c_str(), "open %127s %lu %7s", name, &tick, result) == 3)
            calls.push_back({ true, name, tick, std::string(result) == "ok" });
        else if (sscanf(line.c_str(), "close %127s %lu", name, &tick) == 2)
            calls.push_back({ false, name, tick, true });
    }
    return calls;
}

std::string Describe(const std::vector<PortCall>& calls)
{
    std::string text;
    for (const auto& c : calls)
        text += (c.open ? "open " : "close ") + c.name + " at " + std::to_string(c.tick) +
                (c.open ? (c.ok ? " ok" : " failed") : "") + "\n";
    return text;
}

std::vector<PortCall> Opens(const std::vector<PortCall>& calls)
{
    std::vector<PortCall> opens;
    for (const auto& c : calls)
        if (c.open)
            opens.push_back(c);
    return opens;
}

bool EachClosedBeforeTheNext(const std::vector<PortCall>& calls, bool keepLast, std::string& reason)
{
    const PortCall* held = nullptr;
    for (const auto& c : calls) {
        if (c.open && held) {
            reason = held->name + " still open when " + c.name + " was opened";
            return false;
        }
        if (c.open && c.ok)
            held = &c;
        if (!c.open) {
            if (!held || held->name != c.name) {
                reason = "close of " + c.name + ", which was not the port open";
                return false;
            }
            held = nullptr;
        }
    }
    if (held && !keepLast) {
        reason = held->name + " left open";
        return false;
    }
    if (!held && keepLast) {
        reason = "no port left open at the end";
        return false;
    }
    return true;
}

bool IsX64()
{
    const char* arch = getenv("BRLWIN32_E2E_ARCH");
    return arch != nullptr && std::string(arch) == "x64";
}

const char* ArchName() { return IsX64() ? "x64" : "x86"; }

std::string WindowsBuildDir() { return IsX64() ? E2E_BUILD_X64 : E2E_BUILD_X86; }

std::string HostExe() { return WindowsBuildDir() + "/tests/e2e/host/e2ehost.exe"; }

std::string DllPath() { return WindowsBuildDir() + "/brlwin32.dll"; }

std::string ArchWorkDir() { return std::string(E2E_WORK_DIR "/") + ArchName(); }

WinePrefix& Prefix()
{
    static WinePrefix prefix = [] {
        WinePrefix::Options o;
        o.arch = IsX64() ? WinePrefix::Arch::X64 : WinePrefix::Arch::X86;
        // COM10 and above exist only in the device namespace, which plain
        // names do not reach.
        for (const char* port : { "COM5", "COM10", "COM12" })
            o.comPorts.push_back({ port, ArchWorkDir() + "/" + port });
        // Every number up to the highest a test uses is taken, so that
        // BrlInit("auto") meets no real port before its display.
        o.absentComPortsUpTo = 12;
        return WinePrefix(ArchWorkDir() + "/wine", ArchWorkDir(), o);
    }();
    return prefix;
}

std::string WhyNotRunnable()
{
    std::string why;
    return WinePrefix::Runnable(IsX64() ? WinePrefix::Arch::X64 : WinePrefix::Arch::X86, why) ? "" : why;
}

// A failure in SetUpTestSuite would show as every test skipped, so it is
// kept and reported by each test instead.
static std::string g_prefixError;

void E2eTest::SetUpTestSuite()
{
    if (WindowsBuildDir().empty() || !WhyNotRunnable().empty())
        return;
    if (!Prefix().Prepare(g_prefixError) && g_prefixError.empty())
        g_prefixError = "the prefix could not be prepared";
}

void E2eTest::SetUp()
{
    if (WindowsBuildDir().empty())
        GTEST_SKIP() << "no " << ArchName() << " build to test";
    std::string why = WhyNotRunnable();
    if (!why.empty())
        GTEST_SKIP() << "the " << ArchName() << " DLL's Wine end-to-end tests: " << why;
    ASSERT_EQ("", g_prefixError) << "expected the Wine prefix ready";
}

void E2eTest::TearDown()
{
    if (host) {
        int code = host->Quit();
        if (expectCleanExit) {
            EXPECT_EQ(0, code) << "expected the host to end cleanly, got exit " << code << "; transcript:\n"
                               << host->Transcript();
        }
        host.reset();
    }
    display.reset();
}

void E2eTest::StartDisplay(int textCells, const Bytes& reply, const std::string& comPort)
{
    DisplaySimulator::Config config;
    config.textCells = textCells;
    config.reply = reply;
    display = std::make_unique<PtyDisplay>(config, Prefix().LinkFor(comPort));
}

void E2eTest::StartHost()
{
    host = std::make_unique<HostProcess>(Prefix(), HostExe(), WinePrefix::WindowsPath(DllPath()));
    ASSERT_TRUE(host->Ready()) << "expected the host to load the DLL; got:\n" << host->Transcript();
}

void E2eTest::InitReady(int textCells, const std::string& name)
{
    if (!display)
        StartDisplay(textCells, FullReply(textCells));
    if (!host)
        StartHost();
    auto r = Do("init " + name);
    ASSERT_TRUE(r.ok) << host->Transcript();
    ASSERT_EQ(0x0500 + textCells, r.result) << "expected the model's cell counts";
    // The query and the sequence after it, so that later marks start after them.
    ASSERT_TRUE(WaitReceived(5)) << "expected 1B 3F 1B 49 00, got " << Hex(Received());
}

HostProcess::Reply E2eTest::Do(const std::string& command, int timeoutMs)
{
    auto r = host->Command(command, timeoutMs);
    EXPECT_TRUE(r.ok) << "expected a result for '" << command << "', got:\n" << host->Transcript();
    for (const auto& line : r.lines)
        EXPECT_EQ(std::string::npos, line.find("stack broken")) << line;
    return r;
}

void E2eTest::DisplaySends(const Bytes& bytes)
{
    ASSERT_TRUE(display->Send(bytes)) << "the pty did not queue " << Hex(bytes);
}

Bytes E2eTest::Received() const
{
    return display->With([](const DisplaySimulator& s) { return s.Received(); });
}

Bytes E2eTest::ReceivedSince(size_t offset) const
{
    Bytes all = Received();
    return offset < all.size() ? Bytes(all.begin() + static_cast<long>(offset), all.end()) : Bytes();
}

bool E2eTest::WaitReceived(size_t count, int timeoutMs)
{
    return display->WaitFor([count](const DisplaySimulator& s) { return s.Received().size() >= count; },
                            timeoutMs);
}

} // namespace e2e
