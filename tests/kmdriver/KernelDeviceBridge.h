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
// The prefix side (creation, registry, service, servers) is WinePrefix's:
// start() prepares the prefix with the driver as a service and leaves its
// server persistent, so the driver stays loaded between test programs (Wine
// unloads a kernel driver when the last ordinary process exits) and the
// device keeps whatever bytes were queued and its single-user state. Run
// Windows programs through spawnWine() or runWine() (or prefix().Spawn) and
// never stop the server in between.
//
// Stopping: stop() (also run by the destructor) stops the service (the log
// says "unload"), then the prefix's server and every program of the prefix,
// and closes the FIFO ends.
//
// Every wait is bounded; a Wine program that outlives its limit is killed.
// Wine's own output goes to files under the work directory, never to a pipe:
// Wine's background processes inherit the pipe and would keep it open.
#ifndef KMDRIVER_KERNEL_DEVICE_BRIDGE_H
#define KMDRIVER_KERNEL_DEVICE_BRIDGE_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "WinePrefix.h"

class KernelDeviceBridge {
public:
    struct Options {
        std::string serviceName = "QzparStandin";
        // Last characters of the devices to create: "12" gives QZPAR1 and QZPAR2.
        std::string devices = "1";
        // Limit for each Wine step of start(): prefix creation, registry, net start.
        int stepTimeoutMs = 90000;
        // The prefix's processor; the driver image must be built for it.
        WinePrefix::Arch arch = WinePrefix::Arch::X86;
        // More of the prefix, for tests that need it beside the device.
        std::vector<std::pair<std::string, std::string>> comPorts;
        std::vector<std::pair<std::string, std::string>> appVersions;
    };

    // prefixDir is created (for options.arch) when it has no system.reg yet.
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

    // Starts the Wine program args... in this prefix with stdout and stderr to outputPath.
    pid_t spawnWine(const std::vector<std::string>& args, const std::string& outputPath) const;
    // spawnWine + waitProcess.
    int runWine(const std::vector<std::string>& args, const std::string& outputPath,
                int timeoutMs) const;
    // Exit code of the process, or -1 if it had to be killed at the limit
    // (or died of a signal).
    static int waitProcess(pid_t pid, int timeoutMs) { return WinePrefix::Wait(pid, timeoutMs); }

    // Z:\... form of a Linux path, for handing paths to Windows programs.
    static std::string windowsPath(const std::string& linuxPath) { return WinePrefix::WindowsPath(linuxPath); }

    const WinePrefix& prefix() const { return prefix_; }
    const std::string& prefixDir() const { return prefix_.Dir(); }
    const std::string& workDir() const { return work_; }

private:
    struct Device {
        char letter;
        int toSim = -1;
        int fromSim = -1;
    };

    bool makeFifos();
    const Device* find(char device) const;
    void closeFds();

    std::string work_;
    std::string sys_;
    Options options_;
    WinePrefix prefix_;
    std::vector<Device> devices_;
    std::string error_;
    bool started_ = false;
};

#endif
