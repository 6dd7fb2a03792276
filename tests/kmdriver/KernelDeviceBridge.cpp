#include "KernelDeviceBridge.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::string envOr(const char* name, const char* fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

bool makeDirs(const std::string& path)
{
    std::string partial;
    std::stringstream in(path);
    std::string piece;
    if (!path.empty() && path[0] == '/')
        partial = "/";
    while (std::getline(in, piece, '/')) {
        if (piece.empty())
            continue;
        partial += piece + "/";
        if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

std::string absolute(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd))
        return path;
    return std::string(cwd) + "/" + path;
}

// cmd.exe expands %NAME% even inside quotes.
std::string batchQuote(const std::string& s)
{
    std::string out = "\"";
    for (char c : s)
        out += (c == '%') ? std::string("%%") : std::string(1, c);
    return out + "\"";
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

} // namespace

KernelDeviceBridge::KernelDeviceBridge(std::string prefixDir, std::string workDir,
                                       std::string sysPath)
    : KernelDeviceBridge(std::move(prefixDir), std::move(workDir), std::move(sysPath), Options())
{
}

KernelDeviceBridge::KernelDeviceBridge(std::string prefixDir, std::string workDir,
                                       std::string sysPath, Options options)
    : prefix_(absolute(prefixDir)), work_(absolute(workDir)), sys_(absolute(sysPath)),
      options_(std::move(options))
{
    for (char c : options_.devices)
        devices_.push_back(Device{c});
}

KernelDeviceBridge::~KernelDeviceBridge()
{
    stop();
}

std::string KernelDeviceBridge::windowsPath(const std::string& linuxPath)
{
    std::string out = "Z:";
    for (char c : absolute(linuxPath))
        out += (c == '/') ? '\\' : c;
    return out;
}

std::string KernelDeviceBridge::logPath(char device) const
{
    return work_ + "/QZPAR" + device + ".log";
}

pid_t KernelDeviceBridge::spawn(const std::string& program, const std::vector<std::string>& args,
                                const std::string& outputPath) const
{
    pid_t pid = fork();
    if (pid != 0)
        return pid;

    int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0)
        _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    setenv("WINEPREFIX", prefix_.c_str(), 1);
    setenv("WINEARCH", "win32", 1);
    setenv("WINEDEBUG", envOr("WINEDEBUG", "-all").c_str(), 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(program.c_str(), argv.data());
    _exit(127);
}

pid_t KernelDeviceBridge::spawnWine(const std::vector<std::string>& args,
                                    const std::string& outputPath) const
{
    return spawn(envOr("WINE", "wine"), args, outputPath);
}

int KernelDeviceBridge::runWine(const std::vector<std::string>& args,
                                const std::string& outputPath, int timeoutMs) const
{
    pid_t pid = spawnWine(args, outputPath);
    return pid < 0 ? -1 : waitProcess(pid, timeoutMs);
}

int KernelDeviceBridge::waitProcess(pid_t pid, int timeoutMs)
{
    // Wine offers no completion signal we could block on with a limit, so
    // the child is polled at a short interval up to the limit.
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (r < 0)
            return -1;
        if (Clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool KernelDeviceBridge::runStep(const std::string& program, const std::vector<std::string>& args,
                                 const std::string& outputName, const char* what)
{
    std::string output = work_ + "/" + outputName;
    pid_t pid = spawn(program, args, output);
    int code = pid < 0 ? -1 : waitProcess(pid, options_.stepTimeoutMs);
    if (code == 0)
        return true;
    error_ = std::string(what) + ": expected exit code 0, got " +
             (code < 0 ? std::string("timeout/signal") : std::to_string(code)) + " (see " +
             output + "): " + readFile(output);
    return false;
}

bool KernelDeviceBridge::makeFifos()
{
    for (Device& d : devices_) {
        std::string base = work_ + "/QZPAR" + d.letter;
        // Stale bytes would survive in an old FIFO, so every start makes new ones.
        for (const char* suffix : {".tosim", ".fromsim"}) {
            std::string path = base + suffix;
            unlink(path.c_str());
            if (mkfifo(path.c_str(), 0600) != 0) {
                error_ = "mkfifo " + path + ": " + std::strerror(errno);
                return false;
            }
        }
        std::ofstream(logPath(d.letter), std::ios::trunc);
        d.toSim = open((base + ".tosim").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        d.fromSim = open((base + ".fromsim").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (d.toSim < 0 || d.fromSim < 0) {
            error_ = "open FIFOs " + base + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

// The registry is written through reg.exe in one cmd process: Wine 8's
// regedit stored the UTF-16 bytes of a hex(2) value from an ANSI .reg file
// as characters, which left an image path of "\". The image
// path is absolute because Wine 8 fails to load a relative System32 one.
bool KernelDeviceBridge::writeInstallScript(const std::string& path) const
{
    std::string key = "HKLM\\System\\CurrentControlSet\\Services\\" + options_.serviceName;
    std::string image = "\\??\\" + windowsPath(sys_);
    std::string dir = "\\??\\" + windowsPath(work_);
    std::ofstream bat(path, std::ios::trunc);
    auto line = [&](const std::string& s) { bat << s << "\r\n"; };
    // Wine's cmd runs the right side of "a || b" even when a succeeded, so
    // each step is checked with the older "if errorlevel" form.
    auto step = [&](const std::string& s) {
        line(s);
        line("if errorlevel 1 exit /b 1");
    };
    line("@echo off");
    line("reg delete " + batchQuote(key) + " /f >nul 2>&1");
    step("reg add " + batchQuote(key) + " /v Type /t REG_DWORD /d 1 /f");
    step("reg add " + batchQuote(key) + " /v Start /t REG_DWORD /d 3 /f");
    step("reg add " + batchQuote(key) + " /v ErrorControl /t REG_DWORD /d 1 /f");
    step("reg add " + batchQuote(key) + " /v ImagePath /t REG_EXPAND_SZ /d " + batchQuote(image) +
         " /f");
    step("reg add " + batchQuote(key + "\\Parameters") + " /v Dir /t REG_SZ /d " +
         batchQuote(dir) + " /f");
    step("reg add " + batchQuote(key + "\\Parameters") + " /v Devices /t REG_SZ /d " +
         batchQuote(options_.devices) + " /f");
    for (const auto& port : options_.comPorts)
        step("reg add " + batchQuote("HKLM\\Software\\Wine\\Ports") + " /v " + port.first + " /t REG_SZ /d " +
             batchQuote(port.second) + " /f");
    for (const auto& app : options_.appVersions)
        step("reg add " + batchQuote("HKCU\\Software\\Wine\\AppDefaults\\" + app.first) +
             " /v Version /t REG_SZ /d " + app.second + " /f");
    line("exit /b 0");
    return static_cast<bool>(bat);
}

bool KernelDeviceBridge::start()
{
    stop();
    error_.clear();
    if (devices_.empty()) {
        error_ = "no devices configured";
        return false;
    }
    if (access(sys_.c_str(), R_OK) != 0) {
        error_ = "driver image not readable: " + sys_;
        return false;
    }
    if (!makeDirs(work_) || !makeDirs(prefix_)) {
        error_ = "cannot create " + work_ + " or " + prefix_;
        return false;
    }
    if (!makeFifos()) {
        closeFds();
        return false;
    }
    started_ = true; // from here on stop() has a server to take down

    const std::string wine = envOr("WINE", "wine");
    const std::string server = envOr("WINESERVER", "wineserver");

    if (access((prefix_ + "/system.reg").c_str(), F_OK) != 0 &&
        !runStep(wine, {"wineboot", "-i"}, "wineboot.out", "wineboot -i"))
        return false;

    std::string script = work_ + "/install-service.bat";
    if (!writeInstallScript(script)) {
        error_ = "cannot write " + script;
        return false;
    }
    if (!runStep(wine, {"cmd", "/c", windowsPath(script)}, "install-service.out",
                 "registry entries"))
        return false;

    // services.exe reads its service list once at start-up, so the server
    // (and with it services.exe) is restarted to pick up the new entry; -p
    // then keeps it, and the loaded driver, alive between test programs.
    runStep(server, {"-k"}, "wineserver-k.out", "wineserver -k");
    runStep(server, {"-w"}, "wineserver-w.out", "wineserver -w");
    if (!runStep(server, {"-p"}, "wineserver-p.out", "wineserver -p"))
        return false;
    if (!runStep(wine, {"net", "start", options_.serviceName}, "net-start.out", "net start"))
        return false;

    for (const Device& d : devices_) {
        std::string ready = std::string("ready QZPAR") + d.letter;
        if (!waitForLogLine(ready, 10000, d.letter)) {
            std::string log = readFile(logPath(d.letter));
            error_ = "expected log line \"" + ready + "\", got \"" + log + "\"";
            return false;
        }
    }
    return true;
}

void KernelDeviceBridge::stop()
{
    if (started_) {
        const std::string wine = envOr("WINE", "wine");
        const std::string server = envOr("WINESERVER", "wineserver");
        std::string keep = error_;
        pid_t pid = spawn(wine, {"net", "stop", options_.serviceName}, work_ + "/net-stop.out");
        if (pid > 0)
            waitProcess(pid, 20000);
        pid = spawn(server, {"-k"}, work_ + "/wineserver-k.out");
        if (pid > 0)
            waitProcess(pid, 20000);
        error_ = keep;
        started_ = false;
    }
    closeFds();
}

void KernelDeviceBridge::closeFds()
{
    for (Device& d : devices_) {
        if (d.toSim >= 0)
            close(d.toSim);
        if (d.fromSim >= 0)
            close(d.fromSim);
        d.toSim = d.fromSim = -1;
    }
}

const KernelDeviceBridge::Device* KernelDeviceBridge::find(char device) const
{
    for (const Device& d : devices_)
        if (d.letter == device)
            return &d;
    return nullptr;
}

int KernelDeviceBridge::toSimFd(char device) const
{
    const Device* d = find(device);
    return d ? d->toSim : -1;
}

int KernelDeviceBridge::fromSimFd(char device) const
{
    const Device* d = find(device);
    return d ? d->fromSim : -1;
}

std::vector<uint8_t> KernelDeviceBridge::readFromDll(size_t count, int timeoutMs,
                                                     char device) const
{
    std::vector<uint8_t> got;
    int fd = toSimFd(device);
    if (fd < 0)
        return got;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, msLeft(deadline)) <= 0)
            break;
        uint8_t buffer[512];
        size_t want = count - got.size() < sizeof buffer ? count - got.size() : sizeof buffer;
        ssize_t n = read(fd, buffer, want);
        if (n > 0)
            got.insert(got.end(), buffer, buffer + n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
    }
    return got;
}

bool KernelDeviceBridge::sendToDll(const std::vector<uint8_t>& bytes, char device) const
{
    int fd = fromSimFd(device);
    size_t done = 0;
    if (fd < 0)
        return false;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(5000);
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, msLeft(deadline)) <= 0)
            return false;
    }
    return true;
}

std::vector<std::string> KernelDeviceBridge::logLines(char device) const
{
    std::vector<std::string> lines;
    std::stringstream in(readFile(logPath(device)));
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

bool KernelDeviceBridge::waitForLogLine(const std::string& line, int timeoutMs,
                                        char device) const
{
    // The driver lives in another process and gives no signal besides the
    // file itself; it is re-read at a short interval up to the limit.
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        for (const std::string& l : logLines(device))
            if (l == line)
                return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
