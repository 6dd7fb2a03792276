// End-to-end check of the stand-in device: installs qzpar_standin.sys in a
// private prefix, runs devprobe.exe against QZPAR1 and QZPAR2, plays the
// display on the Linux side and checks what the program saw and what the
// device logged.
//
//   kmdriver_selftest [--arch win32|win64] <prefix-dir> <work-dir> <qzpar_standin.sys> <devprobe.exe>
//
// The architecture is the prefix's and the two files' (default win32). Where
// this machine cannot run programs of it, the test is skipped (exit 77).
#include "KernelDeviceBridge.h"

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

int g_failures = 0;

std::string hex(const std::vector<uint8_t>& bytes)
{
    std::string out;
    char b[4];
    for (uint8_t v : bytes) {
        std::snprintf(b, sizeof b, "%s%02x", out.empty() ? "" : " ", v);
        out += b;
    }
    return out.empty() ? "(nothing)" : out;
}

void check(bool ok, const std::string& what, const std::string& expected, const std::string& got)
{
    if (ok) {
        std::printf("ok   %s\n", what.c_str());
        return;
    }
    ++g_failures;
    std::printf("FAIL %s: expected %s, got %s\n", what.c_str(), expected.c_str(), got.c_str());
}

std::string slurp(const std::string& path)
{
    std::string all;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            all.append(buffer, n);
        std::fclose(f);
    }
    return all;
}

// devprobe prints "key: value" lines.
std::map<std::string, std::string> parseProbe(const std::string& text)
{
    std::map<std::string, std::string> out;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t colon = line.find(": ");
        if (colon != std::string::npos)
            out[line.substr(0, colon)] = line.substr(colon + 2);
    }
    return out;
}

bool startsWith(const std::string& s, const std::string& prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

void checkField(const std::map<std::string, std::string>& probe, const std::string& key,
                const std::string& expectedPrefix, const std::string& device)
{
    auto it = probe.find(key);
    std::string got = it == probe.end() ? "(no line)" : "\"" + it->second + "\"";
    check(it != probe.end() && startsWith(it->second, expectedPrefix),
          device + " devprobe " + key, "\"" + expectedPrefix + "...\"", got);
}

// The wanted lines must appear in this order; others may come in between.
void checkLogOrder(const std::vector<std::string>& log, const std::vector<std::string>& wanted,
                   const std::string& device)
{
    size_t next = 0;
    for (const std::string& line : log)
        if (next < wanted.size() && line == wanted[next])
            ++next;
    std::string all;
    for (const std::string& line : log)
        all += (all.empty() ? "" : " | ") + line;
    check(next == wanted.size(), device + " log order",
          next < wanted.size() ? "line \"" + wanted[next] + "\" (in order)" : "", "log: " + all);
}

void probeDevice(KernelDeviceBridge& bridge, const std::string& probeExe, char device,
                 const std::vector<uint8_t>& answer)
{
    const std::string name = std::string("QZPAR") + device;
    const std::string out = bridge.workDir() + "/devprobe-" + name + ".out";
    pid_t pid = bridge.spawnWine({KernelDeviceBridge::windowsPath(probeExe), name}, out);
    check(pid > 0, name + " spawn devprobe", "a process", "fork failure");
    if (pid <= 0)
        return;

    // Wine start-up of the probe dominates this limit.
    std::vector<uint8_t> query = bridge.readFromDll(2, 20000, device);
    check(query == std::vector<uint8_t>{0x1b, 0x3f}, name + " bytes written by the program",
          "1b 3f", hex(query));
    check(bridge.sendToDll(answer, device), name + " answer sent", "FIFO write", "failure");

    int code = KernelDeviceBridge::waitProcess(pid, 30000);
    std::string text = slurp(out);
    check(code == 0, name + " devprobe exit code", "0", std::to_string(code) + ", output:\n" + text);

    std::map<std::string, std::string> probe = parseProbe(text);
    checkField(probe, "open", "ok \\\\.\\" + name, name);
    checkField(probe, "ioctl", "ok error=0", name);
    checkField(probe, "write", "ok 2", name);
    checkField(probe, "read", std::to_string(answer.size()) + " " + hex(answer), name);
    checkField(probe, "other-ioctl", "refused error=1", name);
    checkField(probe, "missing", "invalid error=2", name);
    checkField(probe, "result", "ok", name);
    // A second user is refused at the open (Windows) or at every request (Wine).
    if (probe["second-open"] != "handle") {
        checkField(probe, "second-open", "refused", name);
    } else {
        checkField(probe, "second-ioctl", "refused", name);
        checkField(probe, "second-write", "refused", name);
    }

    check(bridge.waitForLogLine("close", 10000, device), name + " close in the log", "line \"close\"",
          "none within 10000 ms");
    std::vector<std::string> log = bridge.logLines(device);
    checkLogOrder(log,
                  {"ready " + name, "create", "ioctl 00222004 len=8 00000000 00000064",
                   "write 2 1b 3f", "fromsim " + std::to_string(answer.size()),
                   "read " + std::to_string(answer.size()), "create refused", "close"},
                  name);
    size_t emptyReadLines = 0;
    for (const std::string& line : log)
        emptyReadLines += (line == "read 0");
    check(emptyReadLines == 0, name + " empty reads not logged one by one", "0 \"read 0\" lines",
          std::to_string(emptyReadLines));
    check(log.size() < 30, name + " log stays compact", "fewer than 30 lines",
          std::to_string(log.size()));
}

} // namespace

int main(int argc, char** argv)
{
    KernelDeviceBridge::Options options;
    options.devices = "12";
    if (argc > 2 && std::string(argv[1]) == "--arch") {
        std::string arch = argv[2];
        if (arch != "win32" && arch != "win64")
            argc = 0;
        options.arch = arch == "win64" ? WinePrefix::Arch::X64 : WinePrefix::Arch::X86;
        argv += 2;
        argc -= 2;
    }
    if (argc != 5) {
        std::fprintf(stderr, "usage: kmdriver_selftest [--arch win32|win64] <prefix-dir> <work-dir> "
                             "<qzpar_standin.sys> <devprobe.exe>\n");
        return 2;
    }
    std::string why;
    if (!WinePrefix::Runnable(options.arch, why)) {
        std::printf("skipped: %s\n", why.c_str());
        return 77;
    }
    KernelDeviceBridge bridge(argv[1], argv[2], argv[3], options);

    if (!bridge.start()) {
        std::printf("FAIL start: expected the driver loaded, got: %s\n", bridge.error().c_str());
        return 1;
    }
    std::printf("ok   driver started in %s\n", bridge.prefixDir().c_str());

    probeDevice(bridge, argv[4], '1', {0x3f, 0x01, 0x00});
    // A second program in the same session: the driver must still be loaded
    // and the bytes must stay on their own device.
    probeDevice(bridge, argv[4], '2', {0x3f, 0x02, 0x00});
    std::vector<uint8_t> stray = bridge.readFromDll(1, 0, '1');
    check(stray.empty(), "QZPAR1 saw nothing of QZPAR2's traffic", "(nothing)", hex(stray));

    bridge.stop();
    std::vector<std::string> log = bridge.logLines('1');
    check(!log.empty() && log.back() == "unload", "QZPAR1 unload logged at stop",
          "last line \"unload\"", log.empty() ? "(empty log)" : "\"" + log.back() + "\"");

    if (g_failures) {
        std::printf("selftest: %d check(s) failed\n", g_failures);
        return 1;
    }
    std::printf("selftest: all checks passed\n");
    return 0;
}
