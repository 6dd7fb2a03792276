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

} // namespace

int main(int argc, char** argv)
{
    Target target;
    bool known = argc >= 2 && TargetFor(argv[1], target);
    int next = 2;
    if (known && argc > next + 1 && std::string(argv[next]) == "--dll") {
        target.dll = argv[next + 1];
        next += 2;
    }
    if (!known || argc > next + 1) {
        fprintf(stderr, "usage: wine_benchmark x86|x64 [--dll PATH] [FIGURES_FILE] (x64 needs "
                        "BRLWIN32_WIN64_BUILD_DIR)\n");
        return 2;
    }
    std::string figuresPath = argc > next ? argv[next] : "";
    const std::string& work = target.work;
    WinePrefix::Options options;
    options.arch = target.arch;
    options.comPorts = { { ComPort, work + "/" + ComPort } };
    // Every other number below COM256 is absent: COM1 to COM4 paths with
    // nothing there, the rest the prefix's absent-port directory.
    options.absentComPortsUpTo = LastComPort - 1;
    WinePrefix prefix(work + "/wine", work, options);
    g_prefix = &prefix;
    std::string error;
    if (!prefix.Prepare(error))
        Fail(error);
    // Wine's registry maps COM1 to COM255 only; \\.\COM256 is found
    // through the prefix's dosdevices link, made here while the server that
    // read the registry runs on.
    const std::string lastPort = "COM" + std::to_string(LastComPort);
    const std::string lastLink = prefix.Dir() + "/dosdevices/com" + std::to_string(LastComPort);
    unlink(lastLink.c_str());
    if (symlink((work + "/" + lastPort).c_str(), lastLink.c_str()) != 0)
        Fail("cannot link " + lastLink);
    // Left a directory by a run that stopped in the scan below.
    rmdir((work + "/" + ComPort).c_str());

    Figures fig;
    {
        DisplaySimulator::Config config;
        config.textCells = TextCells; // answers the query with 3F 02 00, as the display does
        PtyDisplay display(config, prefix.LinkFor(ComPort));
        HostProcess host(prefix, target.buildDir + "/benchmarks/host/benchhost.exe",
                         WinePrefix::WindowsPath(target.dll));
        std::string ready;
        if (!host.ReadLine(ready, 60000) || ready.rfind("ready ", 0) != 0)
            Fail("expected 'ready FREQUENCY' from the host, got '" + ready + "'", &host);
        double frequency = std::atof(ready.c_str() + 6);
        double nsPerTick = 1e9 / frequency;
        fig.Add("QueryPerformanceFrequency (Hz)", frequency, "%.0f");

        ClockSync s0 = Sync(host, nsPerTick, 300);
        fig.Add("clock sync round trip, best (us)", s0.rttNs / 1e3);
        fig.Add("QPC - CLOCK_MONOTONIC (us)", s0.coarseOffsetNs / 1e3);
        fig.Add("QPC - CLOCK_MONOTONIC_RAW (us)", s0.offsetNs / 1e3);

        // BrlInit as a host sees it: the display answers in 3 bytes, the
        // driver waits out the 2000 ms for the other 12.
        std::string name = std::string(ComPort) + ":38400,n,8,1";
        auto r = Do(host, "init " + name);
        if (r.result != 0x0550)
            Fail("expected BrlInit = 1360 (0x0550), got " + std::to_string(r.result), &host);
        fig.Add("BrlInit, 3-byte model answer (ms)", static_cast<double>(Values(r, "init-ticks", host)[0]) * nsPerTick / 1e6);
        Do(host, "terminate");
        display.Change([](DisplaySimulator& d) {
            DisplaySimulator::Bytes full(15, 0x00);
            full[0] = 0x3F;
            full[1] = static_cast<uint8_t>(DisplaySimulator::ModelCode(TextCells));
            d.SetReply(full);
        });
        r = Do(host, "init " + name);
        if (r.result != 0x0550)
            Fail("expected BrlInit = 1360 (0x0550), got " + std::to_string(r.result), &host);
        fig.Add("BrlInit, 15-byte answer (ms)", static_cast<double>(Values(r, "init-ticks", host)[0]) * nsPerTick / 1e6);

        // Refreshes: 87-byte packets (80 + 5 cells, no ESC among them) and
        // the 172-byte worst case (every cell doubled).
        const size_t common = 2 + 85, worst = 2 + 2 * 85;
        const double lineCommon = LineBytesPerSecond / common, lineWorst = LineBytesPerSecond / worst;
        // The first packet of each mode sets the cells up; the burst follows it.
        Do(host, "burst 1 display");
        BurstResult d = Burst(host, display, 3000, "display", common, nsPerTick);
        fig.Add("line limit, 87-byte packets (1/s)", lineCommon, "%.2f");
        fig.Add("BrlDisplay (changed) calls per second", d.callsPerSecond, "%.0f");
        fig.Add("  ratio to line limit", d.callsPerSecond / lineCommon, "%.0f");
        fig.Add("  delivered to the display (1/s)", d.deliveredPerSecond, "%.0f");
        fig.Add("  delivered, ratio to line limit", d.deliveredPerSecond / lineCommon, "%.0f");
        fig.Add("  bytes at the display / minimum", static_cast<double>(d.bytes) / (3000.0 * common), "%.4f");
        BurstResult f = Burst(host, display, 3000, "refresh", common, nsPerTick);
        fig.Add("BrlRefresh calls per second", f.callsPerSecond, "%.0f");
        fig.Add("  ratio to line limit", f.callsPerSecond / lineCommon, "%.0f");
        fig.Add("  delivered to the display (1/s)", f.deliveredPerSecond, "%.0f");
        Do(host, "burst 1 worst");
        BurstResult w = Burst(host, display, 3000, "worst", worst, nsPerTick);
        fig.Add("line limit, 172-byte packets (1/s)", lineWorst, "%.2f");
        fig.Add("BrlRefresh worst case per second", w.callsPerSecond, "%.0f");
        fig.Add("  ratio to line limit", w.callsPerSecond / lineWorst, "%.0f");
        fig.Add("  delivered to the display (1/s)", w.deliveredPerSecond, "%.0f");

        // Idle BrlTimer: nothing waiting; the read polls for up to one tick.
        pid_t server = PrefixProcess(prefix.Dir(), "wineserver");
        pid_t hostPid = PrefixProcess(prefix.Dir(), "benchhost.exe");
        if (hostPid <= 0)
            Fail("expected the process benchhost.exe in " + prefix.Dir() + ", found none", &host);
        long long hostCpu0 = CpuTicks(hostPid), serverCpu0 = CpuTicks(server);
        r = Do(host, "idle 3000", 60000);
        long long hostCpu1 = CpuTicks(hostPid), serverCpu1 = CpuTicks(server);
        double idleWallUs = static_cast<double>(Values(r, "idle-ticks", host)[0]) * nsPerTick / 1e3 / 3000;
        double idleCpuUs = static_cast<double>(Values(r, "idle-cpu-100ns", host)[0]) / 10.0 / 3000;
        auto calls = Values(r, "idle-call-ticks", host);
        fig.Add("idle BrlTimer, wall per call (us)", idleWallUs);
        fig.Add("idle BrlTimer, CPU per call (us)", idleCpuUs);
        double tickUs = 1e6 / static_cast<double>(sysconf(_SC_CLK_TCK));
        fig.Add("idle BrlTimer, host process CPU per call (us)",
                static_cast<double>(hostCpu1 - hostCpu0) * tickUs / 3000);
        if (server > 0)
            fig.Add("idle BrlTimer, wineserver CPU per call (us)",
                    static_cast<double>(serverCpu1 - serverCpu0) * tickUs / 3000);
        fig.Add("idle BrlTimer, median call (us)", static_cast<double>(calls[0]) * nsPerTick / 1e3);
        fig.Add("idle BrlTimer, p99 call (us)", static_cast<double>(calls[1]) * nsPerTick / 1e3);
        fig.Add("idle BrlTimer, longest call (us)", static_cast<double>(calls[2]) * nsPerTick / 1e3);

        // Key latency: the host calls BrlTimer every 10 ms; the display sends
        // key packets at times that fall anywhere in the period.
        const int keyCount = 300, periodMs = 10;
        std::vector<int64_t> sentAt(keyCount);
        std::thread sender([&] {
            std::mt19937 rng(12345);
            std::uniform_int_distribution<int> gapUs(12000, 37000);
            // A first key the host must read: then its loop is running.
            display.SendNow(DisplaySimulator::KeyPacket(0x01, 0x00));
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (display.Pending() != 0 && std::chrono::steady_clock::now() < deadline)
                usleep(200);
            for (int i = 0; i < keyCount; ++i) {
                usleep(static_cast<useconds_t>(gapUs(rng)));
                auto packet = DisplaySimulator::KeyPacket(0x00, static_cast<uint8_t>(1u << (i % 5)));
                sentAt[static_cast<size_t>(i)] = Now(CLOCK_MONOTONIC_RAW);
                display.SendNow(packet);
            }
        });
        r = Do(host, "keys " + std::to_string(keyCount + 1) + " " + std::to_string(periodMs) + " 60000", 90000);
        sender.join();
        ClockSync s1 = Sync(host, nsPerTick, 300);
        if (r.result != keyCount + 1 || r.keys.size() != static_cast<size_t>(keyCount + 1))
            Fail("expected " + std::to_string(keyCount + 1) + " key callbacks, got " + std::to_string(r.keys.size()),
                 &host);
        std::vector<double> latencyMs, waitMs, inCallMs;
        for (int i = 0; i < keyCount; ++i) {
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
                     &host);
            // The offset moves linearly between the two syncs (drift).
            double hostNs = static_cast<double>(ticks) * nsPerTick;
            double t = static_cast<double>(sentAt[static_cast<size_t>(i)] - s0.at) / static_cast<double>(s1.at - s0.at);
            double offset = s0.offsetNs + t * (s1.offsetNs - s0.offsetNs);
            double sent = static_cast<double>(sentAt[static_cast<size_t>(i)]);
            latencyMs.push_back((hostNs - offset - sent) / 1e6);
            waitMs.push_back((static_cast<double>(callStart) * nsPerTick - offset - sent) / 1e6);
            inCallMs.push_back(static_cast<double>(ticks - callStart) * nsPerTick / 1e6);
        }
        auto timerCalls = Values(r, "timer-calls", host)[0];
        auto timerCpu = Values(r, "timer-cpu-100ns", host)[0];
        auto timerWall = Values(r, "timer-wall-ticks", host)[0];
        auto timerTicks = Values(r, "timer-ticks", host);
        auto late = Values(r, "timer-late-ticks", host);
        fig.Add("clock drift over the key run (us)", (s1.offsetNs - s0.offsetNs) / 1e3);
        fig.Add("clock sync uncertainty, +/- (us)", std::max(s0.rttNs, s1.rttNs) / 2 / 1e3);
        fig.Add("host timer period, mean (ms)",
                static_cast<double>(timerTicks[1] - timerTicks[0]) * nsPerTick / 1e6 / static_cast<double>(timerCalls - 1));
        fig.Add("key latency, median (ms)", Percentile(latencyMs, 50));
        fig.Add("key latency, p99 (ms)", Percentile(latencyMs, 99));
        fig.Add("key latency, min (ms)", Percentile(latencyMs, 0.0001));
        fig.Add("key latency, max (ms)", Percentile(latencyMs, 100));
        fig.Add("  of it waiting for BrlTimer, median (ms)", Percentile(waitMs, 50));
        fig.Add("  of it waiting for BrlTimer, p99 (ms)", Percentile(waitMs, 99));
        fig.Add("  of it inside BrlTimer, median (ms)", Percentile(inCallMs, 50));
        fig.Add("  of it inside BrlTimer, p99 (ms)", Percentile(inCallMs, 99));
        fig.Add("host timer lateness, median (ms)", static_cast<double>(late[0]) * nsPerTick / 1e6);
        fig.Add("host timer lateness, p99 (ms)", static_cast<double>(late[1]) * nsPerTick / 1e6);
        fig.Add("host timer lateness, max (ms)", static_cast<double>(late[2]) * nsPerTick / 1e6);
        double loopNs = static_cast<double>(timerTicks[1] - timerTicks[0]) * nsPerTick;
        fig.Add("BrlTimer wall per call in the 10 ms loop (us)",
                static_cast<double>(timerWall) * nsPerTick / 1e3 / static_cast<double>(timerCalls));
        fig.Add("BrlTimer thread CPU per call in the loop (us)",
                static_cast<double>(timerCpu) / 10.0 / static_cast<double>(timerCalls));
        fig.Add("BrlTimer wall share of a 10 ms period (%)",
                static_cast<double>(timerWall) * nsPerTick * 100.0 / loopNs);

        Do(host, "terminate");
        if (host.Quit() != 0)
            Fail("expected the host to end cleanly", &host);
    }
    {
        // BrlInit("auto") against BrlInit("COM256"), the same display
        // answering at once in all 15 bytes, so that no identification
        // window is waited out: the difference is the scan of the 255
        // absent ports. COM7's display is gone; its path is made a
        // directory too, for the length of the scan.
        const std::string com7 = work + "/" + ComPort;
        unlink(com7.c_str());
        mkdir(com7.c_str(), 0755);
        DisplaySimulator::Config config;
        config.textCells = TextCells;
        config.reply = DisplaySimulator::Bytes(15, 0x00);
        config.reply[0] = 0x3F;
        config.reply[1] = static_cast<uint8_t>(DisplaySimulator::ModelCode(TextCells));
        PtyDisplay display(config, work + "/" + lastPort);
        HostProcess host(prefix, target.buildDir + "/benchmarks/host/benchhost.exe",
                         WinePrefix::WindowsPath(target.dll));
        std::string ready;
        if (!host.ReadLine(ready, 60000) || ready.rfind("ready ", 0) != 0)
            Fail("expected 'ready FREQUENCY' from the host, got '" + ready + "'", &host);
        double nsPerTick = 1e9 / std::atof(ready.c_str() + 6);
        std::vector<double> named, automatic;
        for (int round = 0; round < AutoRounds; ++round)
            for (const std::string& name : { lastPort, std::string("auto") }) {
                auto r = Do(host, "init " + name);
                if (r.result != 0x0550)
                    Fail("expected BrlInit(\"" + name + "\") = 1360 (0x0550), got " + std::to_string(r.result),
                         &host);
                double ms = static_cast<double>(Values(r, "init-ticks", host)[0]) * nsPerTick / 1e6;
                (name == "auto" ? automatic : named).push_back(ms);
                Do(host, "terminate");
            }
        double autoMs = Percentile(automatic, 50), namedMs = Percentile(named, 50);
        fig.Add("BrlInit(\"COM256\"), 15-byte answer, median (ms)", namedMs);
        fig.Add("BrlInit(\"auto\"), COM1-COM255 absent, display on COM256, median (ms)", autoMs);
        fig.Add("  the scan on top of the identification (ms)", autoMs - namedMs);
        fig.Add("  per absent port (us)", (autoMs - namedMs) * 1000.0 / (LastComPort - 1));
        fig.Add("  slowest BrlInit(\"auto\") of the rounds (ms)", Percentile(automatic, 100));
        if (host.Quit() != 0)
            Fail("expected the host to end cleanly", &host);
        rmdir(com7.c_str());
    }
    prefix.Shutdown();
    g_prefix = nullptr;

    if (!figuresPath.empty()) {
        std::ofstream out(figuresPath);
        for (const auto& row : fig.rows)
            out << row.first << "\t" << row.second << "\n";
    }
    return 0;
}
