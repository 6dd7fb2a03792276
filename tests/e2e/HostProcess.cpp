#include "HostProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "WinePrefix.h"

HostProcess::HostProcess(const WinePrefix& prefix, const std::string& exe, const std::string& dll,
                         const std::vector<std::string>& environment)
{
    // A host that crashed (as the wrong-convention test makes it) must turn
    // the next command into a failed write, not kill the test program.
    signal(SIGPIPE, SIG_IGN);
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
        return;
    prefix.Export();
    const std::vector<std::string> command = prefix.Command({ exe, dll });
    std::vector<char*> argv;
    for (const auto& a : command)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        int err = open((prefix.WorkDir() + "/host-stderr.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (err >= 0)
            dup2(err, 2);
        for (const auto& e : environment)
            putenv(const_cast<char*>(e.c_str()));
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    toHost = in[1];
    fromHost = out[0];
}

HostProcess::~HostProcess()
{
    if (toHost >= 0)
        close(toHost);
    if (fromHost >= 0)
        close(fromHost);
    if (pid > 0) {
        kill(pid, SIGKILL);
        WinePrefix::Wait(pid, 5000);
    }
}

bool HostProcess::ReadLine(std::string& line, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t nl = pending.find('\n');
        if (nl != std::string::npos) {
            line = pending.substr(0, nl);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            pending.erase(0, nl + 1);
            transcript += line + "\n";
            return true;
        }
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        deadline - std::chrono::steady_clock::now())
                                        .count());
        if (left <= 0 || fromHost < 0)
            return false;
        pollfd p = { fromHost, POLLIN, 0 };
        if (poll(&p, 1, left) <= 0)
            continue;
        char buffer[4096];
        ssize_t n = read(fromHost, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        pending.append(buffer, static_cast<size_t>(n));
    }
}

bool HostProcess::Ready(int timeoutMs)
{
    std::string line;
    while (ReadLine(line, timeoutMs))
        if (line == "ready")
            return true;
    return false;
}

HostProcess::Reply HostProcess::Command(const std::string& command, int timeoutMs)
{
    Reply reply;
    std::string text = command + "\n";
    if (write(toHost, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        return reply;
    transcript += "> " + command + "\n";
    std::string line;
    while (ReadLine(line, timeoutMs)) {
        if (line.rfind("= ", 0) == 0) {
            reply.ok = true;
            reply.result = std::atoi(line.c_str() + 2);
            return reply;
        }
        if (line.rfind("key ", 0) == 0)
            reply.keys.push_back(line.substr(4));
        else
            reply.lines.push_back(line);
    }
    return reply;
}

int HostProcess::Quit(int timeoutMs)
{
    std::string text = "quit\n";
    if (write(toHost, text.data(), text.size()) < 0) {
        // the host is gone already
    }
    std::string line;
    while (ReadLine(line, timeoutMs))
        if (line.rfind("bye", 0) == 0)
            break;
    int code = WinePrefix::Wait(pid, timeoutMs);
    pid = -1;
    return code;
}
