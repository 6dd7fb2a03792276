#include "KernelDeviceBridge.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
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

namespace {

WinePrefix::Options PrefixOptions(const KernelDeviceBridge::Options& o, const std::string& sys,
                                  const std::string& work)
{
    WinePrefix::Options p;
    p.arch = o.arch;
    p.comPorts = o.comPorts;
    p.appVersions = o.appVersions;
    p.stepTimeoutMs = o.stepTimeoutMs;
    p.service.name = o.serviceName;
    p.service.sysPath = sys;
    // Where the driver finds its FIFOs and writes its log, and which devices
    // it creates.
    p.service.parameters = { { "Dir", "\\??\\" + WinePrefix::WindowsPath(work) }, { "Devices", o.devices } };
    return p;
}

} // namespace

KernelDeviceBridge::KernelDeviceBridge(std::string prefixDir, std::string workDir,
                                       std::string sysPath, Options options)
    : work_(std::filesystem::absolute(workDir).string()), sys_(std::filesystem::absolute(sysPath).string()),
      options_(std::move(options)), prefix_(prefixDir, work_, PrefixOptions(options_, sys_, work_))
{
    for (char c : options_.devices)
        devices_.push_back(Device{c});
}

KernelDeviceBridge::~KernelDeviceBridge()
{
    stop();
}

std::string KernelDeviceBridge::logPath(char device) const
{
    return work_ + "/QZPAR" + device + ".log";
}

pid_t KernelDeviceBridge::spawnWine(const std::vector<std::string>& args,
                                    const std::string& outputPath) const
{
    unlink(outputPath.c_str());
    return prefix_.Spawn(args, outputPath);
}

int KernelDeviceBridge::runWine(const std::vector<std::string>& args,
                                const std::string& outputPath, int timeoutMs) const
{
    pid_t pid = spawnWine(args, outputPath);
    return pid < 0 ? -1 : waitProcess(pid, timeoutMs);
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
    std::error_code made;
    std::filesystem::create_directories(work_, made);
    if (made) {
        error_ = "cannot create " + work_;
        return false;
    }
    if (!makeFifos()) {
        closeFds();
        return false;
    }
    started_ = true; // from here on stop() has a server to take down
    if (!prefix_.Prepare(error_))
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
        prefix_.Shutdown();
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
