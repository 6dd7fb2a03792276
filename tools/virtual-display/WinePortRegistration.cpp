#include "WinePortRegistration.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

WinePortRegistration::WinePortRegistration(const std::string& winePrefix, int number, const std::string& log)
    : prefix(winePrefix), comNumber(number), logPath(log)
{
}

std::string WinePortRegistration::Arch() const
{
    // A prefix that exists has its architecture, which Wine wrote into its
    // registry, and naming another one makes Wine refuse it. Only a prefix
    // that Wine is about to create takes WINEARCH, or else 32-bit, as the x86
    // DLL needs.
    std::ifstream reg(prefix + "/system.reg");
    std::string line;
    while (std::getline(reg, line))
        if (line.rfind("#arch=", 0) == 0)
            return line.substr(6);
    const char* arch = getenv("WINEARCH");
    return arch && *arch ? arch : "win32";
}

int WinePortRegistration::Run(const std::vector<std::string>& program) const
{
    // Every Wine program starts through the project's starter, which picks
    // the loader of the prefix's architecture.
    std::vector<std::string> command = { BRLWIN32_TOOLS_DIR "/wine-run", Arch() };
    command.insert(command.end(), program.begin(), program.end());
    std::vector<char*> argv;
    for (const auto& a : command)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        setenv("WINEPREFIX", prefix.c_str(), 1);
        setenv("WINEDEBUG", "-all", 1);
        // Wine's output goes to a file: a pipe would be held open by the
        // server it starts.
        int fd = open(logPath.empty() ? "/dev/null" : logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        int null = open("/dev/null", O_RDONLY);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
        if (null >= 0)
            dup2(null, 0);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(child, &status, 0) < 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool WinePortRegistration::Register(const std::string& devicePath, std::string& error) const
{
    std::string name = PortName();
    int rc = Run({ "reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", name, "/t", "REG_SZ", "/d", devicePath, "/f" });
    if (rc != 0) {
        error = "wine reg add for " + name + " failed (exit " + std::to_string(rc) + ")";
        return false;
    }
    Run({ "wineserver", "-k" }); // nonzero when no server was running, which is fine
    Run({ "wineserver", "-w" });
    return true;
}
