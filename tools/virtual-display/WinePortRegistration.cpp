#include "WinePortRegistration.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

WinePortRegistration::WinePortRegistration(const std::string& winePrefix, int number, const std::string& log)
    : prefix(winePrefix), comNumber(number), logPath(log)
{
}

WinePrefix::Arch WinePortRegistration::Arch() const
{
    // A prefix that exists has its architecture, which Wine wrote into its
    // registry, and naming another one makes Wine refuse it. Only a prefix
    // that Wine is about to create takes WINEARCH, or else 32-bit, as the x86
    // DLL needs.
    std::ifstream reg(prefix + "/system.reg");
    std::string line;
    std::string arch;
    while (arch.empty() && std::getline(reg, line))
        if (line.rfind("#arch=", 0) == 0)
            arch = line.substr(6);
    if (arch.empty() && getenv("WINEARCH"))
        arch = getenv("WINEARCH");
    return arch == "win64" ? WinePrefix::Arch::X64 : WinePrefix::Arch::X86;
}

bool WinePortRegistration::Register(const std::string& devicePath, std::string& error) const
{
    // The prefix's server was set up by whoever made the prefix; only the
    // port is added here, so the work folder goes unused.
    WinePrefix::Options options;
    options.arch = Arch();
    WinePrefix wine(prefix, std::filesystem::absolute(prefix).parent_path().string(), options);
    std::string name = PortName();
    int rc = wine.MapComPort(name, devicePath, logPath);
    if (rc != 0) {
        error = "wine reg add for " + name + " failed (exit " + std::to_string(rc) + ")";
        return false;
    }
    return true;
}
