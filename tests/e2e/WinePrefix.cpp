#include "WinePrefix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

WinePrefix::WinePrefix(std::string prefixDir, std::string workDir)
    : dir(std::move(prefixDir)), work(std::move(workDir))
{
}

void WinePrefix::Export() const
{
    setenv("WINEPREFIX", dir.c_str(), 1);
    setenv("WINEARCH", "win32", 1);
    if (!getenv("WINEDEBUG"))
        setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1); // no installer dialogs
}

std::string WinePrefix::WindowsPath(const std::string& linuxPath)
{
    std::string s = "Z:" + linuxPath;
    for (char& c : s)
        if (c == '/')
            c = '\\';
    return s;
}

int WinePrefix::Wait(pid_t pid, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (r < 0)
            return -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int WinePrefix::Run(const std::vector<std::string>& argv, const std::string& logPath, int timeoutMs) const
{
    Export();
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(in, 0);
        dup2(out < 0 ? in : out, 1);
        dup2(out < 0 ? in : out, 2);
        for (int fd = 3; fd < 1024; ++fd)
            close(fd);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid < 0 ? -1 : Wait(pid, timeoutMs);
}

bool WinePrefix::Prepare(const std::vector<std::string>& comPorts, std::string& error)
{
    mkdir(work.c_str(), 0755);
    std::string log = work + "/wine-setup.log";
    struct stat st;
    if (stat((dir + "/system.reg").c_str(), &st) != 0) {
        if (Run({ "wineboot", "-i" }, log, 180000) != 0) {
            error = "wineboot -i failed; see " + log;
            return false;
        }
    }
    // Wine rewrites its COM links from this key when the server starts.
    std::ifstream reg(dir + "/system.reg");
    std::string text((std::istreambuf_iterator<char>(reg)), std::istreambuf_iterator<char>());
    bool changed = false;
    for (const auto& port : comPorts) {
        std::string entry = "\"" + port + "\"=\"" + LinkFor(port) + "\"";
        if (text.find(entry) != std::string::npos)
            continue;
        changed = true;
        if (Run({ "wine", "reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", port, "/t", "REG_SZ", "/d",
                  LinkFor(port), "/f" },
                log, 60000) != 0) {
            error = "wine reg add failed; see " + log;
            return false;
        }
    }
    if (changed)
        Run({ "wineserver", "-k" }, log, 30000);
    // One persistent server; the first program starts Wine's services, and
    // it is better that this one, with no pipes of ours, does.
    Run({ "wineserver", "-p" }, log, 30000);
    if (Run({ "wine", "cmd", "/c", "exit" }, log, 120000) != 0) {
        error = "wine cmd /c exit failed; see " + log;
        return false;
    }
    return true;
}

void WinePrefix::Shutdown() { Run({ "wineserver", "-k" }, work + "/wine-setup.log", 30000); }
