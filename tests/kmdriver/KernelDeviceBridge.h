// Linux side of the stand-in parallel device (qzpar_standin.sys) for tests
// that run the DLL under Wine.
//
// The bridge installs the stand-in driver as a kernel service in a private
// 32-bit Wine prefix and connects each device QZPARc to two FIFOs: what the
// Windows program writes to \\.\QZPARc comes out of toSimFd(c); what a test
// writes to fromSimFd(c) is what the program's next reads return. The driver
// also writes one line per request to a log file (see QzparStandin.c for the
// line formats), which logLines() returns.
//
// Typical use:
//
//   KernelDeviceBridge bridge(prefixDir, workDir, sysPath);
//   if (!bridge.start()) fail(bridge.error());
//   pid_t host = bridge.spawnWine({"Z:\\...\\host.exe", "LPT1"}, workDir + "/host.out");
//   std::vector<uint8_t> query = bridge.readFromDll(2, 10000);   // 1b 3f
//   bridge.sendToDll({0x3f, 0x01, 0x00});
//   int code = KernelDeviceBridge::waitProcess(host, 15000);
//   bridge.waitForLogLine("close", 5000);
//   bridge.stop();                                               // or let the destructor do it
//
// Keeping the driver alive: Wine unloads a kernel driver when the last
// ordinary process of the prefix exits. start() therefore leaves the
// prefix's wineserver persistent (wineserver -p), so the driver stays loaded
// between test programs, and the device keeps whatever bytes were queued
// and its single-user state. Run Windows programs through spawnWine() or
// runWine() (same WINEPREFIX, WINEARCH=win32) and never call
// `wineserver -k` on the prefix in between.
//
// Stopping: stop() (also run by the destructor) sends `net stop`, which
// unloads the driver ("unload" in the log), then `wineserver -k` for this
// prefix only, and closes the FIFO ends. By hand: WINEPREFIX=<prefix>
// wineserver -k.
//
// Every wait is bounded; a Wine program that outlives its limit is killed.
// Wine's own output goes to files under the work directory, never to a pipe:
// Wine's background processes inherit the pipe and would keep it open.
//
// Environment: WINE and WINESERVER override the binaries (default "wine",
// "wineserver"); WINEDEBUG is passed on if set, else "-all".
#ifndef KMDRIVER_KERNEL_DEVICE_BRIDGE_H
#define KMDRIVER_KERNEL_DEVICE_BRIDGE_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class KernelDeviceBridge {
public:
    struct Options {
        std::string serviceName = "QzparStandin";
        // Last characters of the devices to create: "12" gives QZPAR1 and QZPAR2.
        std::string devices = "1";
        // Limit for each Wine step of start(): prefix creation, registry, net start.
        int stepTimeoutMs = 90000;
        // COM ports to map to Linux paths (a pty or a link to one), as
        // {"COM5", "/path"}; the server restart of start() makes Wine see them.
        std::vector<std::pair<std::string, std::string>> comPorts;
        // Windows versions that Wine reports to programs of a given file
        // name, as {"host95.exe", "win95"}.
        std::vector<std::pair<std::string, std::string>> appVersions;
    };

    // prefixDir is created as a win32 prefix when it has no system.reg yet.
    // workDir holds the FIFOs, the log and Wine's output files. sysPath is
    // the built qzpar_standin.sys. All three are Linux paths.
    KernelDeviceBridge(std::string prefixDir, std::string workDir, std::string sysPath);
    KernelDeviceBridge(std::string prefixDir, std::string workDir, std::string sysPath,
                       Options options);
    ~KernelDeviceBridge();

    KernelDeviceBridge(const KernelDeviceBridge&) = delete;
    KernelDeviceBridge& operator=(const KernelDeviceBridge&) = delete;

    // Fresh FIFOs and log, registry entries, server restart, net start; true
    // once every device has logged "ready QZPARc". On false, error() says why.
    bool start();
    void stop();
    const std::string& error() const { return error_; }

    // Linux ends of the FIFOs, non-blocking, close-on-exec, opened for
    // reading and writing so neither side ever sees end-of-file. -1 for a
    // device that was not configured or before start().
    int toSimFd(char device = '1') const;   // read here what the program wrote
    int fromSimFd(char device = '1') const; // write here what the program is to read

    // Reads from toSimFd until `count` bytes are in or `timeoutMs` passed;
    // returns what came.
    std::vector<uint8_t> readFromDll(size_t count, int timeoutMs, char device = '1') const;
    bool sendToDll(const std::vector<uint8_t>& bytes, char device = '1') const;

    // The driver's log, one entry per line, without the newline.
    std::vector<std::string> logLines(char device = '1') const;
    // Waits (bounded) until a line equal to `line` is in the log.
    bool waitForLogLine(const std::string& line, int timeoutMs, char device = '1') const;
    std::string logPath(char device = '1') const;

    // Starts `wine args...` in this prefix with stdout and stderr to outputPath.
    pid_t spawnWine(const std::vector<std::string>& args, const std::string& outputPath) const;
    // spawnWine + waitProcess.
    int runWine(const std::vector<std::string>& args, const std::string& outputPath,
                int timeoutMs) const;
    // Exit code of the process, or -1 if it had to be killed at the limit
    // (or died of a signal).
    static int waitProcess(pid_t pid, int timeoutMs);

    // Z:\... form of a Linux path, for handing paths to Windows programs.
    static std::string windowsPath(const std::string& linuxPath);

    const std::string& prefixDir() const { return prefix_; }
    const std::string& workDir() const { return work_; }

private:
    struct Device {
        char letter;
        int toSim = -1;
        int fromSim = -1;
    };

    pid_t spawn(const std::string& program, const std::vector<std::string>& args,
                const std::string& outputPath) const;
    bool runStep(const std::string& program, const std::vector<std::string>& args,
                 const std::string& outputName, const char* what);
    bool makeFifos();
    bool writeInstallScript(const std::string& path) const;
    const Device* find(char device) const;
    void closeFds();

    std::string prefix_;
    std::string work_;
    std::string sys_;
    Options options_;
    std::vector<Device> devices_;
    std::string error_;
    bool started_ = false;
};

#endif
