#include "WinePrefix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

// The last lines of a log, for a failure message.
std::string Tail(const std::string& text, int lines)
{
    size_t at = text.size();
    while (lines-- > 0 && at > 0) {
        size_t nl = text.rfind('\n', at - 1);
        if (nl == std::string::npos)
            return text;
        at = nl;
    }
    return text.substr(at);
}

// cmd.exe expands %NAME% even inside quotes.
std::string BatchQuote(const std::string& s)
{
    std::string out = "\"";
    for (char c : s)
        out += c == '%' ? std::string("%%") : std::string(1, c);
    return out + "\"";
}

// A command as a line of a batch file: words and switches (/v) as they are,
// anything else (a key with backslashes, a path) quoted.
std::string BatchLine(const std::vector<std::string>& argv)
{
    std::string line;
    for (const auto& a : argv) {
        bool isSwitch = a.size() == 2 && a[0] == '/';
        bool word = !a.empty();
        for (char c : a)
            word = word && (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '-');
        line += (line.empty() ? "" : " ") + (isSwitch || word ? a : BatchQuote(a));
    }
    return line;
}

} // namespace

WinePrefix::WinePrefix(std::string prefixDir, std::string workDir, Options prefixOptions)
    : dir(std::filesystem::absolute(prefixDir).string()), work(std::filesystem::absolute(workDir).string()),
      options(std::move(prefixOptions))
{
}

void WinePrefix::Export() const
{
    setenv("WINEPREFIX", dir.c_str(), 1);
    setenv("WINEARCH", WineArch(), 1);
    if (!getenv("WINEDEBUG"))
        setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1); // no installer dialogs
}

std::string WinePrefix::WindowsPath(const std::string& linuxPath)
{
    std::string s = "Z:" + std::filesystem::absolute(linuxPath).string();
    for (char& c : s)
        if (c == '/')
            c = '\\';
    return s;
}

std::string WinePrefix::LinkFor(const std::string& comPort) const
{
    for (const auto& port : options.comPorts)
        if (port.first == comPort)
            return port.second;
    return work + "/" + comPort;
}

bool WinePrefix::Runnable(Arch arch, std::string& why)
{
    if (arch == Arch::X64)
        return true;
    static const std::string answer = [] {
        std::string out;
        if (FILE* probe = popen(BRLWIN32_TOOLS_DIR "/can-run-32bit", "r")) {
            char buffer[256];
            while (fgets(buffer, sizeof buffer, probe))
                out += buffer;
            pclose(probe);
        }
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out.empty() ? std::string("no: " BRLWIN32_TOOLS_DIR "/can-run-32bit gave no answer") : out;
    }();
    if (answer == "yes")
        return true;
    why = answer.rfind("no: ", 0) == 0 ? answer.substr(4) : answer;
    return false;
}

std::vector<std::string> WinePrefix::Command(const char* wineArch, const std::vector<std::string>& program)
{
    std::vector<std::string> argv = { BRLWIN32_TOOLS_DIR "/wine-run", wineArch };
    argv.insert(argv.end(), program.begin(), program.end());
    return argv;
}

std::vector<std::string> WinePrefix::Command(const std::vector<std::string>& program) const
{
    return Command(WineArch(), program);
}

int WinePrefix::Wait(pid_t pid, int timeoutMs)
{
    // Wine gives no completion signal to block on with a limit, so the child
    // is polled at a short interval up to the limit.
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

pid_t WinePrefix::Spawn(const std::vector<std::string>& argv, const std::string& logPath,
                        const std::string& workingDir) const
{
    return Launch(this, WineArch(), argv, logPath, workingDir);
}

pid_t WinePrefix::SpawnInEnvironment(const char* wineArch, const std::vector<std::string>& argv,
                                     const std::string& logPath, const std::string& workingDir)
{
    return Launch(nullptr, wineArch, argv, logPath, workingDir);
}

pid_t WinePrefix::Launch(const WinePrefix* prefix, const char* wineArch, const std::vector<std::string>& argv,
                         const std::string& logPath, const std::string& workingDir)
{
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    if (prefix != nullptr)
        prefix->Export();
    if (!workingDir.empty() && chdir(workingDir.c_str()) != 0)
        _exit(127);
    int in = open("/dev/null", O_RDONLY);
    int out = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(in, 0);
    dup2(out < 0 ? in : out, 1);
    dup2(out < 0 ? in : out, 2);
    // Wine's background processes would inherit, and hold open, anything
    // left here: the pipes of a test host, a pty's master.
    for (int fd = 3; fd < 1024; ++fd)
        close(fd);
    std::vector<std::string> command = Command(wineArch, argv);
    std::vector<char*> args;
    for (const auto& a : command)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

int WinePrefix::Run(const std::vector<std::string>& argv, const std::string& logPath, int timeoutMs) const
{
    pid_t pid = Spawn(argv, logPath);
    return pid < 0 ? -1 : Wait(pid, timeoutMs);
}

std::vector<std::string> WinePrefix::PortEntry(const std::string& comPort, const std::string& linuxPath)
{
    return { "reg", "add", "HKLM\\Software\\Wine\\Ports", "/v", comPort, "/t", "REG_SZ", "/d", linuxPath, "/f" };
}

int WinePrefix::MapComPort(const std::string& comPort, const std::string& linuxPath, const std::string& logPath) const
{
    int rc = Run(PortEntry(comPort, linuxPath), logPath, options.stepTimeoutMs);
    if (rc != 0)
        return rc;
    // Nonzero when no server was running, which is as good.
    Run({ "wineserver", "-k" }, logPath, 30000);
    Run({ "wineserver", "-w" }, logPath, 30000);
    return 0;
}

// The registry is written through reg.exe in one cmd process: Wine 8's
// regedit stored the UTF-16 bytes of a hex(2) value from an ANSI .reg file
// as characters. A service's image path is absolute because Wine 8 fails
// to load a relative System32 one.
bool WinePrefix::WriteSetupScript(const std::string& path) const
{
    std::ofstream bat(path, std::ios::trunc);
    auto line = [&](const std::string& s) { bat << s << "\r\n"; };
    // Wine's cmd runs the right side of "a || b" even when a succeeded, so
    // each step is checked with the older "if errorlevel" form.
    auto step = [&](const std::string& s) {
        line(s);
        line("if errorlevel 1 exit /b 1");
    };
    line("@echo off");
    // Wine maps COM1 to COM4 to the machine's /dev/ttyS* by itself, where a
    // program that tries every port (BrlInit("auto")) would reach real
    // hardware. Those not asked for are pinned to paths in the work
    // directory, absent until a test puts a pty there; those above them up
    // to absentComPortsUpTo to the absent-port directory.
    auto ports = options.comPorts;
    for (int n = 1; n <= PinnedComPorts || n <= options.absentComPortsUpTo; ++n) {
        std::string name = "COM" + std::to_string(n);
        bool asked = false;
        for (const auto& port : options.comPorts)
            asked = asked || port.first == name;
        if (!asked)
            ports.push_back({ name, n <= PinnedComPorts ? LinkFor(name) : AbsentPortPath() });
    }
    for (const auto& port : ports)
        step(BatchLine(PortEntry(port.first, port.second)));
    for (const auto& app : options.appVersions)
        step("reg add " + BatchQuote("HKCU\\Software\\Wine\\AppDefaults\\" + app.first) + " /v Version /t REG_SZ /d " +
             app.second + " /f");
    const Service& service = options.service;
    if (!service.name.empty()) {
        std::string key = "HKLM\\System\\CurrentControlSet\\Services\\" + service.name;
        line("reg delete " + BatchQuote(key) + " /f >nul 2>&1");
        step("reg add " + BatchQuote(key) + " /v Type /t REG_DWORD /d 1 /f");
        step("reg add " + BatchQuote(key) + " /v Start /t REG_DWORD /d 3 /f");
        step("reg add " + BatchQuote(key) + " /v ErrorControl /t REG_DWORD /d 1 /f");
        step("reg add " + BatchQuote(key) + " /v ImagePath /t REG_EXPAND_SZ /d " +
             BatchQuote("\\??\\" + WindowsPath(service.sysPath)) + " /f");
        for (const auto& p : service.parameters)
            step("reg add " + BatchQuote(key + "\\Parameters") + " /v " + p.first + " /t REG_SZ /d " +
                 BatchQuote(p.second) + " /f");
    }
    line("exit /b 0");
    return static_cast<bool>(bat);
}

bool WinePrefix::Prepare(std::string& error)
{
    std::string why;
    if (!Runnable(options.arch, why)) {
        error = std::string("a ") + WineArch() + " prefix cannot run here: " + why;
        return false;
    }
    std::error_code made;
    std::filesystem::create_directories(AbsentPortPath(), made);
    std::filesystem::create_directories(std::filesystem::path(dir).parent_path(), made);
    if (made) {
        error = "cannot create " + work + " or the parent of " + dir;
        return false;
    }
    // The log holds the last preparation only: the many short test programs
    // that share a prefix prepare it anew, and a server that Wine started
    // for one of its steps writes its whole object list here when it stops.
    std::string log = work + "/wine-setup.log";
    std::ofstream(log, std::ios::trunc).close();
    auto step = [&](const std::vector<std::string>& argv, const char* what) {
        if (Run(argv, log, options.stepTimeoutMs) == 0)
            return true;
        error = std::string(what) + " failed in " + dir + "; the end of " + log + ":\n" + Tail(ReadFile(log), 10);
        return false;
    };
    std::string applied = work + "/wine-setup-applied.bat";
    struct stat st;
    if (stat((dir + "/system.reg").c_str(), &st) != 0) {
        unlink(applied.c_str());
        if (!step({ "wineboot", "-i" }, "wineboot -i"))
            return false;
    }

    // Wine reads its COM ports and services when the server starts, so new
    // entries need a restart; entries already in place need none, which
    // keeps the many short test programs that share a prefix fast.
    std::string script = work + "/wine-setup.bat";
    if (!WriteSetupScript(script)) {
        error = "cannot write " + script;
        return false;
    }
    bool service = !options.service.name.empty();
    if (service || ReadFile(script) != ReadFile(applied)) {
        if (!step({ "cmd", "/c", WindowsPath(script) }, "registry entries"))
            return false;
        Run({ "wineserver", "-k" }, log, 30000);
        Run({ "wineserver", "-w" }, log, 30000);
        std::ofstream(applied, std::ios::trunc) << ReadFile(script);
    }
    // One persistent server (a server already running says so and fails,
    // which is as good); the first program starts Wine's own services, and
    // it is better that this one, with no pipes of ours, does. Its output is
    // the object list it prints when it stops, megabytes of no use here.
    Run({ "wineserver", "-p" }, "/dev/null", 30000);
    if (!step({ "cmd", "/c", "exit" }, "wine cmd /c exit"))
        return false;
    return !service || step({ "net", "start", options.service.name }, "net start");
}

void WinePrefix::Shutdown()
{
    std::string log = work + "/wine-setup.log";
    // Where the prefix's programs cannot run, none was started: only a
    // server may be left.
    std::string why;
    if (!options.service.name.empty() && Runnable(options.arch, why))
        Run({ "net", "stop", options.service.name }, log, 30000);
    Run({ "wineserver", "-k" }, log, 30000);
    Run({ "wineserver", "-w" }, log, 30000);
}
