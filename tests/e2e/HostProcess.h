// The e2ehost program under Wine, driven line by line over pipes.
#ifndef BRLWIN32_E2E_HOST_PROCESS_H
#define BRLWIN32_E2E_HOST_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

class WinePrefix;

class HostProcess {
public:
    struct Reply {
        bool ok = false;            // a result line came in time
        int result = 0;             // the export's result
        std::vector<std::string> keys;  // "key CODE ARG" lines, CODE in hex
        std::vector<std::string> lines; // every other line before the result
    };

    // Starts exe with the argument dll under Wine (extra environment as NAME=VALUE strings).
    HostProcess(const WinePrefix& prefix, const std::string& exe, const std::string& dll,
                const std::vector<std::string>& environment = {});
    ~HostProcess();

    bool Ready(int timeoutMs = 30000);
    // Sends one command and collects lines up to its "= N" result.
    Reply Command(const std::string& line, int timeoutMs = 10000);
    // Sends quit; returns the exit code (-1 if it had to be killed).
    int Quit(int timeoutMs = 10000);
    bool ReadLine(std::string& line, int timeoutMs);
    // Everything the host printed so far, for failure messages.
    const std::string& Transcript() const { return transcript; }
    pid_t Pid() const { return pid; }

private:
    pid_t pid = -1;
    int toHost = -1;
    int fromHost = -1;
    std::string pending;
    std::string transcript;
};

#endif
