#include "WinePortRegistration.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

WinePortRegistration::WinePortRegistration(const std::string& winePrefix, int number, const std::string& log)
    : prefix(winePrefix), comNumber(number), logPath(log)
{
}

int WinePortRegistration::Run(const char* const argv[]) const
{
    // A prefix that exists has its architecture, and naming another one
    // makes Wine refuse it (a 64-bit prefix, such as the x64 demo's, is
    // refused under WINEARCH=win32). Only a prefix that Wine is about to
    // create is made 32-bit, as the x86 DLL needs.
    struct stat st;
    bool exists = stat((prefix + "/system.reg").c_str(), &st) == 0;
    pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        setenv("WINEPREFIX", prefix.c_str(), 1);
        if (exists)
            unsetenv("WINEARCH");
        else
            setenv("WINEARCH", "win32", 1);
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
        execvp(argv[0], const_cast<char* const*>(argv));
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
    const char* add[] = { "wine", "reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", name.c_str(),
                          "/t", "REG_SZ", "/d", devicePath.c_str(), "/f", nullptr };
    int rc = Run(add);
    if (rc != 0) {
        error = "wine reg add for " + name + " failed (exit " + std::to_string(rc) + ")";
        return false;
    }
    const char* kill[] = { "wineserver", "-k", nullptr };
    Run(kill); // nonzero when no server was running, which is fine
    const char* wait[] = { "wineserver", "-w", nullptr };
    Run(wait);
    return true;
}
