// The real DLL under Wine, driven by benchhost.exe, against the display
// simulated on a pty mapped to COM7: BrlInit's duration, the refresh rate
// against the 38400-baud line, key latency with a 10 ms host timer, the
// cost of an idle BrlTimer, and BrlInit("auto") with the display on COM256
// behind 255 absent ports. All figures of one DLL come from one run.
//
//   wine_benchmark x86|x64 [--dll PATH] [FIGURES_FILE]
//
// x86 runs the 32-bit benchhost.exe and DLL in a 32-bit prefix, x64 the
// 64-bit ones in a 64-bit prefix: the same measurements, so that the two
// DLLs can be compared figure by figure. --dll runs another DLL of that
// processor in place of the build's, such as the x86 sources built for the
// i686 beside the product built for the 386. Each architecture has its own work
// directory and prefix, and the prefix's servers are stopped at the end.
//
// Times on the Windows side are QueryPerformanceCounter ticks; they are
// related to CLOCK_MONOTONIC here by round trips of the "clock" command
// (the reading with the shortest round trip wins, before and after the key
// run), so that no assumption about Wine's counter is needed; how far the
// counter is from CLOCK_MONOTONIC and CLOCK_MONOTONIC_RAW is reported.
// Under Wine 8 the counter was found to be CLOCK_MONOTONIC_RAW in 100 ns
// units (the offset is reported every run), so the display's time stamps
// are taken on that clock; the measured offset is applied all the same.
#include <dirent.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "DisplaySimulator.h"
#include "HostProcess.h"
#include "PtyDisplay.h"
#include "WinePrefix.h"

namespace {

const char* const ComPort = "COM7";
// BrlInit("auto") tries COM1 to COM256; the display sits on the last.
const int LastComPort = 256;
const int AutoRounds = 7;
const double LineBytesPerSecond = 3840.0; // 38400 baud, 10 bits a byte
const int TextCells = 80;

struct Target {
    WinePrefix::Arch arch;
    std::string buildDir; // the cross build tree of that architecture
    std::string work;
    std::string dll;      // the DLL the host loads
};

// The build tree and work directory of an architecture; false when the
// name is unknown or that architecture was not built.
bool TargetFor(const std::string& name, Target& target)
{
    if (name == "x86")
        target = { WinePrefix::Arch::X86, BENCH_BUILD_X86, std::string(BENCH_WORK_DIR "/x86"), "" };
    else if (name == "x64")
        target = { WinePrefix::Arch::X64, BENCH_BUILD_X64, std::string(BENCH_WORK_DIR "/x64"), "" };
    else
        return false;
    target.dll = target.buildDir + "/brlwin32.dll";
    return !target.buildDir.empty();
}

int64_t Now(clockid_t clock)
{
    timespec t;
    clock_gettime(clock, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The prefix in use, so that a failed run stops its servers too.
WinePrefix* g_prefix = nullptr;

[[noreturn]] void Fail(const std::string& what, const HostProcess* host = nullptr)
{
    fprintf(stderr, "wine_benchmark: %s\n", what.c_str());
    if (host)
        fprintf(stderr, "host transcript:\n%s\n", host->Transcript().c_str());
    if (g_prefix)
        g_prefix->Shutdown();
    exit(1);
}

// The value after "name " in the reply's lines.
std::vector<long long> Values(const HostProcess::Reply& reply, const std::string& name, const HostProcess& host)
{
    for (const auto& line : reply.lines) {
        if (line.rfind(name + " ", 0) != 0)
            continue;
        std::istringstream in(line.substr(name.size() + 1));
        std::vector<long long> v;
        long long x;
        while (in >> x)
            v.push_back(x);
        return v;
    }
    Fail("expected a line '" + name + " ...', got none", &host);
}

HostProcess::Reply Do(HostProcess& host, const std::string& command, int timeoutMs = 30000)
{
    auto r = host.Command(command, timeoutMs);
    if (!r.ok)
        Fail("expected a result for '" + command + "', got none", &host);
    return r;
}

struct ClockSync {
    double offsetNs = 0;    // host time - CLOCK_MONOTONIC_RAW
    double coarseOffsetNs = 0; // host time - CLOCK_MONOTONIC
    double rttNs = 1e18;
    int64_t at = 0;         // CLOCK_MONOTONIC_RAW of the sample
};

ClockSync Sync(HostProcess& host, double nsPerTick, int rounds)
{
    ClockSync best;
    for (int i = 0; i < rounds; ++i) {
        int64_t m0 = Now(CLOCK_MONOTONIC), r0 = Now(CLOCK_MONOTONIC_RAW);
        auto reply = Do(host, "clock");
        int64_t r1 = Now(CLOCK_MONOTONIC_RAW), m1 = Now(CLOCK_MONOTONIC);
        double hostNs = static_cast<double>(Values(reply, "clock", host)[0]) * nsPerTick;
        double rtt = static_cast<double>(m1 - m0);
        if (rtt < best.rttNs) {
            best.rttNs = rtt;
            best.coarseOffsetNs = hostNs - (static_cast<double>(m0) + static_cast<double>(m1)) / 2;
            best.offsetNs = hostNs - (static_cast<double>(r0) + static_cast<double>(r1)) / 2;
            best.at = (r0 + r1) / 2;
        }
    }
    return best;
}

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(v.size()))) - 1;
    return v[std::min(i, v.size() - 1)];
}

struct Figures {
    std::vector<std::pair<std::string, std::string>> rows;
    void Add(const std::string& name, double value, const char* format = "%.3f")
    {
        char b[64];
        snprintf(b, sizeof b, format, value);
        rows.push_back({ name, b });
        printf("%-40s %s\n", name.c_str(), b);
        fflush(stdout);
    }
};

struct BurstResult {
    double callsPerSecond;
    double deliveredPerSecond;
    long bytes;
};

// Waits until what the host wrote last has all reached the display.
size_t Settled(const PtyDisplay& display)
{
    size_t last = SIZE_MAX;
    for (int i = 0; i < 100; ++i) {
        size_t now = display.With([](const DisplaySimulator& s) { return s.Received().size(); });
        if (now == last)
            return now;
        last = now;
        usleep(50000);
    }
    Fail("expected the bytes to the display to come to rest");
}

BurstResult Burst(HostProcess& host, PtyDisplay& display, int n, const std::string& mode, size_t packetBytes,
                  double nsPerTick)
{
    size_t before = Settled(display);
    int64_t start = Now(CLOCK_MONOTONIC);
    auto r = Do(host, "burst " + std::to_string(n) + " " + mode);
    if (r.result != n)
        Fail("expected " + std::to_string(n) + " successful calls, got " + std::to_string(r.result), &host);
    double seconds = static_cast<double>(Values(r, "burst-ticks", host)[0]) * nsPerTick / 1e9;
    size_t wanted = before + packetBytes * static_cast<size_t>(n);
    if (!display.WaitFor([wanted](const DisplaySimulator& s) { return s.Received().size() >= wanted; }, 60000))
        Fail("expected " + std::to_string(wanted - before) + " bytes at the display for '" + mode + "', got " +
             std::to_string(display.With([](const DisplaySimulator& s) { return s.Received().size(); }) - before));
    int64_t end = Now(CLOCK_MONOTONIC);
    size_t got = Settled(display) - before; // none may be extra
    if (got != packetBytes * static_cast<size_t>(n))
        Fail("expected " + std::to_string(packetBytes * n) + " bytes for '" + mode + "', got " + std::to_string(got));
    return { n / seconds, n / (static_cast<double>(end - start) / 1e9), static_cast<long>(got) };
}

// utime + stime of a process, in clock ticks; 0 when it is gone.
long long CpuTicks(pid_t pid)
{
    if (pid <= 0)
        return 0;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t paren = text.rfind(')');
    if (paren == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(paren + 2));
    std::string f;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14)
            utime = std::atoll(f.c_str());
        if (i == 15)
            stime = std::atoll(f.c_str());
    }
    return utime + stime;
}

// The process of this prefix whose name starts with namePrefix: the
// wineserver (it does the serial reads for the host), or the host itself,
// found by its name whichever loader started it.
pid_t PrefixProcess(const std::string& prefixDir, const std::string& namePrefix)
{
    DIR* proc = opendir("/proc");
    if (!proc)
        return -1;
    pid_t found = -1;
    std::string want = "WINEPREFIX=" + prefixDir;
    while (dirent* p = readdir(proc)) {
        if (p->d_name[0] < '0' || p->d_name[0] > '9')
            continue;
        std::string base = std::string("/proc/") + p->d_name;
        std::ifstream comm(base + "/comm");
        std::string name;
        std::getline(comm, name);
        if (name.rfind(namePrefix, 0) != 0)
            continue;
        std::ifstream env(base + "/environ");
        std::string entry;
        while (std::getline(env, entry, '\0'))
            if (entry == want)
                found = static_cast<pid_t>(std::atoi(p->d_name));
    }
    closedir(proc);
    return found;
}

// "COM" and the number, as the host names a port.
std::string ComName(int number)
{
    return "COM" + std::to_string(number);
}

// The command line: the architecture, the DLL it runs and where the figures
// go ("" for none); false when it does not read as the usage says.
bool ParseArguments(int argc, char** argv, Target& target, std::string& figuresPath)
{
    bool known = argc >= 2 && TargetFor(argv[1], target);
    int next = 2;
    if (known && argc > next + 1 && std::string(argv[next]) == "--dll") {
        target.dll = argv[next + 1];
        next += 2;
    }
    if (!known || argc > next + 1)
        return false;
    figuresPath = argc > next ? argv[next] : "";
    return true;
}

WinePrefix::Options PrefixOptions(const Target& target)
{
    WinePrefix::Options options;
    options.arch = target.arch;
    options.comPorts = { { ComPort, target.work + "/" + ComPort } };
    // Every other number below COM256 is absent: COM1 to COM4 paths with
    // nothing there, the rest the prefix's absent-port directory.
    options.absentComPortsUpTo = LastComPort - 1;
    return options;
}

void PreparePrefix(WinePrefix& prefix, const std::string& work)
{
    std::string error;
    if (!prefix.Prepare(error))
        Fail(error);
    // Wine's registry maps COM1 to COM255 only; \\.\COM256 is found
    // through the prefix's dosdevices link, made here while the server that
    // read the registry runs on.
    const std::string lastLink = prefix.Dir() + "/dosdevices/com" + std::to_string(LastComPort);
    unlink(lastLink.c_str());
    if (symlink((work + "/" + ComName(LastComPort)).c_str(), lastLink.c_str()) != 0)
        Fail("cannot link " + lastLink);
    // Left a directory by a run that stopped in the scan of BrlInit("auto").
    rmdir((work + "/" + ComPort).c_str());
}

// The model answer in all 15 bytes at once, so that BrlInit waits out no
// identification window.
DisplaySimulator::Bytes FullModelAnswer()
{
    DisplaySimulator::Bytes full(15, 0x00);
    full[0] = 0x3F;
    full[1] = static_cast<uint8_t>(DisplaySimulator::ModelCode(TextCells));
    return full;
}

// The frequency that the host's "ready FREQUENCY" line gives.
double ReadyFrequency(HostProcess& host)
{
    std::string ready;
    if (!host.ReadLine(ready, 60000) || ready.rfind("ready ", 0) != 0)
        Fail("expected 'ready FREQUENCY' from the host, got '" + ready + "'", &host);
    return std::atof(ready.c_str() + 6);
}

// One benchhost.exe against a display on a pty, and the figures its
// measurements add to. The display comes first: the port must be there
// when the host opens it.
struct Session {
    Session(const DisplaySimulator::Config& config, const std::string& portPath, const WinePrefix& prefix,
            const Target& target, Figures& figures)
        : display(config, portPath),
          host(prefix, target.buildDir + "/benchmarks/host/benchhost.exe", WinePrefix::WindowsPath(target.dll)),
          frequency(ReadyFrequency(host)), nsPerTick(1e9 / frequency), fig(figures)
    {
    }

    PtyDisplay display;
    HostProcess host;
    double frequency; // of the host's QueryPerformanceCounter
    double nsPerTick;
    Figures& fig;
};

void QuitHost(HostProcess& host)
{
    if (host.Quit() != 0)
        Fail("expected the host to end cleanly", &host);
}

// How long BrlInit(name) took the host, in ms; call is how a failure names
// the call.
double InitMs(Session& s, const std::string& name, const std::string& call)
{
    auto r = Do(s.host, "init " + name);
    if (r.result != 0x0550)
        Fail("expected " + call + " = 1360 (0x0550), got " + std::to_string(r.result), &s.host);
    return static_cast<double>(Values(r, "init-ticks", s.host)[0]) * s.nsPerTick / 1e6;
}

ClockSync SyncClocks(Session& s)
{
    ClockSync sync = Sync(s.host, s.nsPerTick, 300);
    s.fig.Add("clock sync round trip, best (us)", sync.rttNs / 1e3);
    s.fig.Add("QPC - CLOCK_MONOTONIC (us)", sync.coarseOffsetNs / 1e3);
    s.fig.Add("QPC - CLOCK_MONOTONIC_RAW (us)", sync.offsetNs / 1e3);
    return sync;
}

// BrlInit as a host sees it: the display answers in 3 bytes, the driver
// waits out the 2000 ms for the other 12; then the display answers in all 15.
void MeasureInit(Session& s)
{
    std::string name = std::string(ComPort) + ":38400,n,8,1";
    s.fig.Add("BrlInit, 3-byte model answer (ms)", InitMs(s, name, "BrlInit"));
    Do(s.host, "terminate");
    s.display.Change([](DisplaySimulator& d) { d.SetReply(FullModelAnswer()); });
    s.fig.Add("BrlInit, 15-byte answer (ms)", InitMs(s, name, "BrlInit"));
}

// Refreshes: 87-byte packets (80 + 5 cells, no ESC among them) and the
// 172-byte worst case (every cell doubled).
void MeasureRefresh(Session& s)
{
    const size_t common = 2 + 85, worst = 2 + 2 * 85;
    const double lineCommon = LineBytesPerSecond / common, lineWorst = LineBytesPerSecond / worst;
    Figures& fig = s.fig;
    // The first packet of each mode sets the cells up; the burst follows it.
    Do(s.host, "burst 1 display");
    BurstResult d = Burst(s.host, s.display, 3000, "display", common, s.nsPerTick);
    fig.Add("line limit, 87-byte packets (1/s)", lineCommon, "%.2f");
    fig.Add("BrlDisplay (changed) calls per second", d.callsPerSecond, "%.0f");
    fig.Add("  ratio to line limit", d.callsPerSecond / lineCommon, "%.0f");
    fig.Add("  delivered to the display (1/s)", d.deliveredPerSecond, "%.0f");
    fig.Add("  delivered, ratio to line limit", d.deliveredPerSecond / lineCommon, "%.0f");
    fig.Add("  bytes at the display / minimum", static_cast<double>(d.bytes) / (3000.0 * common), "%.4f");
    BurstResult f = Burst(s.host, s.display, 3000, "refresh", common, s.nsPerTick);
    fig.Add("BrlRefresh calls per second", f.callsPerSecond, "%.0f");
    fig.Add("  ratio to line limit", f.callsPerSecond / lineCommon, "%.0f");
    fig.Add("  delivered to the display (1/s)", f.deliveredPerSecond, "%.0f");
    Do(s.host, "burst 1 worst");
    BurstResult w = Burst(s.host, s.display, 3000, "worst", worst, s.nsPerTick);
    fig.Add("line limit, 172-byte packets (1/s)", lineWorst, "%.2f");
    fig.Add("BrlRefresh worst case per second", w.callsPerSecond, "%.0f");
    fig.Add("  ratio to line limit", w.callsPerSecond / lineWorst, "%.0f");
    fig.Add("  delivered to the display (1/s)", w.deliveredPerSecond, "%.0f");
}

// Idle BrlTimer: nothing waiting; the read polls for up to one tick.
void MeasureIdleTimer(Session& s, const std::string& prefixDir)
{
    pid_t server = PrefixProcess(prefixDir, "wineserver");
    pid_t hostPid = PrefixProcess(prefixDir, "benchhost.exe");
    if (hostPid <= 0)
        Fail("expected the process benchhost.exe in " + prefixDir + ", found none", &s.host);
    long long hostCpu0 = CpuTicks(hostPid), serverCpu0 = CpuTicks(server);
    auto r = Do(s.host, "idle 3000", 60000);
    long long hostCpu1 = CpuTicks(hostPid), serverCpu1 = CpuTicks(server);
    double idleWallUs = static_cast<double>(Values(r, "idle-ticks", s.host)[0]) * s.nsPerTick / 1e3 / 3000;
    double idleCpuUs = static_cast<double>(Values(r, "idle-cpu-100ns", s.host)[0]) / 10.0 / 3000;
    auto calls = Values(r, "idle-call-ticks", s.host);
    Figures& fig = s.fig;
    fig.Add("idle BrlTimer, wall per call (us)", idleWallUs);
    fig.Add("idle BrlTimer, CPU per call (us)", idleCpuUs);
    double tickUs = 1e6 / static_cast<double>(sysconf(_SC_CLK_TCK));
    fig.Add("idle BrlTimer, host process CPU per call (us)", static_cast<double>(hostCpu1 - hostCpu0) * tickUs / 3000);
    if (server > 0)
        fig.Add("idle BrlTimer, wineserver CPU per call (us)",
                static_cast<double>(serverCpu1 - serverCpu0) * tickUs / 3000);
    fig.Add("idle BrlTimer, median call (us)", static_cast<double>(calls[0]) * s.nsPerTick / 1e3);
    fig.Add("idle BrlTimer, p99 call (us)", static_cast<double>(calls[1]) * s.nsPerTick / 1e3);
    fig.Add("idle BrlTimer, longest call (us)", static_cast<double>(calls[2]) * s.nsPerTick / 1e3);
}

// The key run: the host calls BrlTimer every 10 ms; the display sends key
// packets at times that fall anywhere in the period.
const int KeyCount = 300;
const int KeyPeriodMs = 10;

// Plays the display's side of the key run, noting on CLOCK_MONOTONIC_RAW
// when each of the KeyCount keys went out.
void SendKeys(PtyDisplay& display, std::vector<int64_t>& sentAt)
{
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> gapUs(12000, 37000);
    // A first key the host must read: then its loop is running.
    display.SendNow(DisplaySimulator::KeyPacket(0x01, 0x00));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (display.Pending() != 0 && std::chrono::steady_clock::now() < deadline)
        usleep(200);
    for (int i = 0; i < KeyCount; ++i) {
        usleep(static_cast<useconds_t>(gapUs(rng)));
        auto packet = DisplaySimulator::KeyPacket(0x00, static_cast<uint8_t>(1u << (i % 5)));
        sentAt[static_cast<size_t>(i)] = Now(CLOCK_MONOTONIC_RAW);
        display.SendNow(packet);
    }
}

// Where each key's time went, in ms: all of it, the part before the
// BrlTimer call that delivered it, and the part inside that call.
struct KeyTimes {
    std::vector<double> latencyMs, waitMs, inCallMs;
};

KeyTimes KeyLatencies(Session& s, const HostProcess::Reply& r, const std::vector<int64_t>& sentAt,
                      const ClockSync& s0, const ClockSync& s1)
{
    KeyTimes times;
    for (int i = 0; i < KeyCount; ++i) {
        std::istringstream in(r.keys[static_cast<size_t>(i + 1)]);
        int index;
        std::string code;
        unsigned arg;
        long long ticks, callStart;
        in >> index >> code >> arg >> ticks >> callStart;
        char want[16];
        snprintf(want, sizeof want, "%08X", 0x80000000u | (1u + static_cast<unsigned>(i % 5)));
        if (code != want)
            Fail("expected key code " + std::string(want) + " for key " + std::to_string(i) + ", got " + code,
                 &s.host);
        // The offset moves linearly between the two syncs (drift).
        double hostNs = static_cast<double>(ticks) * s.nsPerTick;
        double t = static_cast<double>(sentAt[static_cast<size_t>(i)] - s0.at) / static_cast<double>(s1.at - s0.at);
        double offset = s0.offsetNs + t * (s1.offsetNs - s0.offsetNs);
        double sent = static_cast<double>(sentAt[static_cast<size_t>(i)]);
        times.latencyMs.push_back((hostNs - offset - sent) / 1e6);
        times.waitMs.push_back((static_cast<double>(callStart) * s.nsPerTick - offset - sent) / 1e6);
        times.inCallMs.push_back(static_cast<double>(ticks - callStart) * s.nsPerTick / 1e6);
    }
    return times;
}

void AddKeyFigures(Session& s, const HostProcess::Reply& r, const KeyTimes& times, const ClockSync& s0,
                   const ClockSync& s1)
{
    auto timerCalls = Values(r, "timer-calls", s.host)[0];
    auto timerCpu = Values(r, "timer-cpu-100ns", s.host)[0];
    auto timerWall = Values(r, "timer-wall-ticks", s.host)[0];
    auto timerTicks = Values(r, "timer-ticks", s.host);
    auto late = Values(r, "timer-late-ticks", s.host);
    const double nsPerTick = s.nsPerTick;
    Figures& fig = s.fig;
    fig.Add("clock drift over the key run (us)", (s1.offsetNs - s0.offsetNs) / 1e3);
    fig.Add("clock sync uncertainty, +/- (us)", std::max(s0.rttNs, s1.rttNs) / 2 / 1e3);
    fig.Add("host timer period, mean (ms)",
            static_cast<double>(timerTicks[1] - timerTicks[0]) * nsPerTick / 1e6 / static_cast<double>(timerCalls - 1));
    fig.Add("key latency, median (ms)", Percentile(times.latencyMs, 50));
    fig.Add("key latency, p99 (ms)", Percentile(times.latencyMs, 99));
    fig.Add("key latency, min (ms)", Percentile(times.latencyMs, 0.0001));
    fig.Add("key latency, max (ms)", Percentile(times.latencyMs, 100));
    fig.Add("  of it waiting for BrlTimer, median (ms)", Percentile(times.waitMs, 50));
    fig.Add("  of it waiting for BrlTimer, p99 (ms)", Percentile(times.waitMs, 99));
    fig.Add("  of it inside BrlTimer, median (ms)", Percentile(times.inCallMs, 50));
    fig.Add("  of it inside BrlTimer, p99 (ms)", Percentile(times.inCallMs, 99));
    fig.Add("host timer lateness, median (ms)", static_cast<double>(late[0]) * nsPerTick / 1e6);
    fig.Add("host timer lateness, p99 (ms)", static_cast<double>(late[1]) * nsPerTick / 1e6);
    fig.Add("host timer lateness, max (ms)", static_cast<double>(late[2]) * nsPerTick / 1e6);
    double loopNs = static_cast<double>(timerTicks[1] - timerTicks[0]) * nsPerTick;
    fig.Add("BrlTimer wall per call in the 10 ms loop (us)",
            static_cast<double>(timerWall) * nsPerTick / 1e3 / static_cast<double>(timerCalls));
    fig.Add("BrlTimer thread CPU per call in the loop (us)",
            static_cast<double>(timerCpu) / 10.0 / static_cast<double>(timerCalls));
    fig.Add("BrlTimer wall share of a 10 ms period (%)", static_cast<double>(timerWall) * nsPerTick * 100.0 / loopNs);
}

// s0 is the clock reading from before the run; the one after is taken here.
void MeasureKeys(Session& s, const ClockSync& s0)
{
    std::vector<int64_t> sentAt(KeyCount);
    std::thread sender([&] { SendKeys(s.display, sentAt); });
    auto r = Do(s.host, "keys " + std::to_string(KeyCount + 1) + " " + std::to_string(KeyPeriodMs) + " 60000", 90000);
    sender.join();
    ClockSync s1 = Sync(s.host, s.nsPerTick, 300);
    if (r.result != KeyCount + 1 || r.keys.size() != static_cast<size_t>(KeyCount + 1))
        Fail("expected " + std::to_string(KeyCount + 1) + " key callbacks, got " + std::to_string(r.keys.size()),
             &s.host);
    AddKeyFigures(s, r, KeyLatencies(s, r, sentAt, s0, s1), s0, s1);
}

// The display on COM7, answering the model query in 3 bytes as the display
// does: BrlInit, refreshes, an idle BrlTimer and key latency, all from one
// host.
void MeasureOnComPort(const WinePrefix& prefix, const Target& target, Figures& fig)
{
    DisplaySimulator::Config config;
    config.textCells = TextCells; // answers the query with 3F 02 00, as the display does
    Session s(config, prefix.LinkFor(ComPort), prefix, target, fig);
    fig.Add("QueryPerformanceFrequency (Hz)", s.frequency, "%.0f");
    ClockSync beforeKeys = SyncClocks(s);
    MeasureInit(s);
    MeasureRefresh(s);
    MeasureIdleTimer(s, prefix.Dir());
    MeasureKeys(s, beforeKeys);
    Do(s.host, "terminate");
    QuitHost(s.host);
}

// BrlInit("auto") against BrlInit("COM256"), the same display answering at
// once in all 15 bytes, so that no identification window is waited out:
// the difference is the scan of the 255 absent ports. COM7's display is
// gone; its path is made a directory too, for the length of the scan.
void MeasureAutoScan(const WinePrefix& prefix, const Target& target, Figures& fig)
{
    const std::string com7 = target.work + "/" + ComPort;
    const std::string lastPort = ComName(LastComPort);
    unlink(com7.c_str());
    mkdir(com7.c_str(), 0755);
    DisplaySimulator::Config config;
    config.textCells = TextCells;
    config.reply = FullModelAnswer();
    Session s(config, target.work + "/" + lastPort, prefix, target, fig);
    std::vector<double> named, automatic;
    for (int round = 0; round < AutoRounds; ++round)
        for (const std::string& name : { lastPort, std::string("auto") }) {
            double ms = InitMs(s, name, "BrlInit(\"" + name + "\")");
            (name == "auto" ? automatic : named).push_back(ms);
            Do(s.host, "terminate");
        }
    double autoMs = Percentile(automatic, 50), namedMs = Percentile(named, 50);
    fig.Add("BrlInit(\"COM256\"), 15-byte answer, median (ms)", namedMs);
    fig.Add("BrlInit(\"auto\"), COM1-COM255 absent, display on COM256, median (ms)", autoMs);
    fig.Add("  the scan on top of the identification (ms)", autoMs - namedMs);
    fig.Add("  per absent port (us)", (autoMs - namedMs) * 1000.0 / (LastComPort - 1));
    fig.Add("  slowest BrlInit(\"auto\") of the rounds (ms)", Percentile(automatic, 100));
    QuitHost(s.host);
    rmdir(com7.c_str());
}

// One row a figure, its name and value apart by a tab.
void WriteFigures(const std::string& path, const Figures& fig)
{
    std::ofstream out(path);
    for (const auto& row : fig.rows)
        out << row.first << "\t" << row.second << "\n";
}

} // namespace

int main(int argc, char** argv)
{
    Target target;
    std::string figuresPath;
    if (!ParseArguments(argc, argv, target, figuresPath)) {
        fprintf(stderr, "usage: wine_benchmark x86|x64 [--dll PATH] [FIGURES_FILE] (x64 needs "
                        "BRLWIN32_WIN64_BUILD_DIR)\n");
        return 2;
    }
    WinePrefix prefix(target.work + "/wine", target.work, PrefixOptions(target));
    g_prefix = &prefix;
    PreparePrefix(prefix, target.work);

    Figures fig;
    MeasureOnComPort(prefix, target, fig);
    MeasureAutoScan(prefix, target, fig);
    prefix.Shutdown();
    g_prefix = nullptr;

    if (!figuresPath.empty())
        WriteFigures(figuresPath, fig);
    return 0;
}
