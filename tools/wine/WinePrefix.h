// A private Wine prefix for the demo, the virtual display, the tests, the
// kit's checks and the benchmarks: 32-bit or 64-bit, with COM ports mapped
// to Linux paths (ptys or links to them), Windows versions reported to
// programs by file name, and optionally the stand-in kernel device
// installed as a service. COM1 to COM4, which
// Wine would map to the machine's /dev/ttyS*, are always mapped to paths in
// the work directory (LinkFor) unless the options map them elsewhere.
//
//   WinePrefix::Options o;
//   o.arch = WinePrefix::Arch::X64;
//   o.comPorts = { { "COM5", "/work/COM5" } };
//   WinePrefix prefix(dir, workDir, o);
//   if (!prefix.Prepare(error)) ...;   // boots the prefix, writes the registry,
//                                      // leaves a persistent server running
//   prefix.Run({ "host.exe", "COM5" }, log, 10000);
//   prefix.Shutdown();                 // stops the service and every server
//
// Prepare() leaves a persistent wineserver (and, with the service, the
// winedevice.exe processes that host it) so that programs start fast and a
// loaded kernel driver stays loaded between them. Shutdown() ends all of
// them; the destructor does not, because a prefix is shared by the test
// programs of one CTest run. Runners that are not C++ use the wine-prefix
// command (WinePrefixTool.cpp), which does the same.
//
// Every program starts through tools/wine-run, which picks the loader of the
// prefix's architecture and refuses the 32-bit one where this machine runs
// no 32-bit programs; Runnable() tells beforehand, so that a test can skip.
#ifndef BRLWIN32_WINE_PREFIX_H
#define BRLWIN32_WINE_PREFIX_H

#include <sys/types.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

class WinePrefix {
public:
    enum class Arch { X86, X64 };

    struct Service {
        std::string name;                              // empty: no service
        std::string sysPath;                           // Linux path of the driver image
        std::map<std::string, std::string> parameters; // REG_SZ values of its Parameters key
    };

    struct Options {
        Arch arch = Arch::X86;
        // {"COM5", "/path"}: Wine opens /path for COM5.
        std::vector<std::pair<std::string, std::string>> comPorts;
        // {"host95.exe", "win95"}: the version Wine reports to that program.
        std::vector<std::pair<std::string, std::string>> appVersions;
        Service service;
        // COM5 up to this number, where not asked for above, name one
        // directory (AbsentPortPath), which CreateFileA does not open: an
        // absent port, as on Windows. Wine would otherwise give the
        // machine's own serial port the lowest free number, and a scan
        // (BrlInit("auto")) would send its query there.
        int absentComPortsUpTo = 0;
        // Limit of each Wine step of Prepare().
        int stepTimeoutMs = 120000;
    };

    // dir: the prefix; workDir: where setup logs and host output go.
    WinePrefix(std::string dir, std::string workDir, Options options);

    // Creates the prefix if needed, writes the registry entries, restarts the
    // server when they changed (Wine reads ports and services at start-up),
    // keeps it persistent and starts the service. On false, error says why.
    bool Prepare(std::string& error);
    // Stops the service and this prefix's server, and waits until the server
    // and every program of the prefix have gone.
    void Shutdown();

    // Sets WINEPREFIX, WINEARCH and friends in this process, for children.
    void Export() const;
    // Whether programs of arch can run on this machine; if not, why not.
    // The answer of tools/can-run-32bit, asked once per process.
    static bool Runnable(Arch arch, std::string& why);
    // The command line that starts a Wine program (a Windows program, or
    // wineboot, cmd, reg, net, wineserver) for this prefix's architecture.
    std::vector<std::string> Command(const std::vector<std::string>& program) const;
    static std::vector<std::string> Command(const char* wineArch, const std::vector<std::string>& program);

    // Starts the Wine program argv in this prefix with standard output and
    // error appended to logPath and no standard input, in workingDir when it
    // is given (Wine's current folder is then that folder on drive Z:).
    pid_t Spawn(const std::vector<std::string>& argv, const std::string& logPath,
                const std::string& workingDir = "") const;
    // The same for a program of wineArch in the prefix that this process's
    // environment already names (WINEPREFIX): a runner started by a script
    // that set the prefix up.
    static pid_t SpawnInEnvironment(const char* wineArch, const std::vector<std::string>& argv,
                                    const std::string& logPath, const std::string& workingDir = "");
    // Spawn and Wait: the exit code, or -1 when it had to be killed at the limit.
    int Run(const std::vector<std::string>& argv, const std::string& logPath, int timeoutMs) const;
    static int Wait(pid_t pid, int timeoutMs);

    // The reg.exe command that maps comPort to linuxPath. Wine reads the map
    // when its server starts.
    static std::vector<std::string> PortEntry(const std::string& comPort, const std::string& linuxPath);
    // Maps one more COM port in a prefix that is already in use, as the
    // virtual display does with its pty, and stops the prefix's server so
    // that the next program starts one that reads the map: reg.exe's exit
    // code (the server is left alone when it is not 0), or -1.
    int MapComPort(const std::string& comPort, const std::string& linuxPath, const std::string& logPath) const;

    // The Linux path that a COM port of the options, or a pinned one, is
    // mapped to.
    std::string LinkFor(const std::string& comPort) const;
    // The directory that absentComPortsUpTo's ports name.
    std::string AbsentPortPath() const { return work + "/absent-port"; }
    const std::string& Dir() const { return dir; }
    const std::string& WorkDir() const { return work; }
    Arch GetArch() const { return options.arch; }
    // "win32" or "win64", as WINEARCH spells them.
    const char* WineArch() const { return options.arch == Arch::X64 ? "win64" : "win32"; }

    // Z:\... form of a Linux path.
    static std::string WindowsPath(const std::string& linuxPath);

private:
    enum { PinnedComPorts = 4 };

    bool WriteSetupScript(const std::string& path) const;
    // Forks and starts the Wine program; in the child, prefix (when given)
    // exports its environment first.
    static pid_t Launch(const WinePrefix* prefix, const char* wineArch, const std::vector<std::string>& argv,
                        const std::string& logPath, const std::string& workingDir);

    std::string dir;
    std::string work;
    Options options;
};

#endif
