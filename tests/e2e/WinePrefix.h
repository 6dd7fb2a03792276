// A private 32-bit Wine prefix for the end-to-end tests, with COM ports
// mapped to pty links that the tests create.
#ifndef BRLWIN32_E2E_WINE_PREFIX_H
#define BRLWIN32_E2E_WINE_PREFIX_H

#include <sys/types.h>

#include <string>
#include <vector>

class WinePrefix {
public:
    // dir: the prefix; workDir: where links and logs go.
    WinePrefix(std::string dir, std::string workDir);

    // Creates the prefix if needed and maps each COM port to workDir/<name>.
    // Leaves a persistent server running with Wine's own services started,
    // so later programs start fast and inherit none of our descriptors.
    bool Prepare(const std::vector<std::string>& comPorts, std::string& error);
    // Stops this prefix's server.
    void Shutdown();

    // Sets WINEPREFIX and friends in this process, for children.
    void Export() const;
    // The Linux path that COMn is mapped to.
    std::string LinkFor(const std::string& comPort) const { return work + "/" + comPort; }
    const std::string& Dir() const { return dir; }
    const std::string& WorkDir() const { return work; }

    // Runs a command (argv[0] searched in PATH) with output to logPath;
    // returns its exit code or -1 when it had to be killed at the limit.
    int Run(const std::vector<std::string>& argv, const std::string& logPath, int timeoutMs) const;
    static int Wait(pid_t pid, int timeoutMs);

    // Z:\... form of a Linux path.
    static std::string WindowsPath(const std::string& linuxPath);

private:
    std::string dir;
    std::string work;
};

#endif
