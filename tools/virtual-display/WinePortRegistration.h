#ifndef VDISPLAY_WINE_PORT_REGISTRATION_H
#define VDISPLAY_WINE_PORT_REGISTRATION_H

#include <string>

#include "WinePrefix.h"

// Maps COMn of one Wine prefix to a Unix device path, through the project's
// prefix helper. Wine reads the map when its server starts, so the prefix's
// server is stopped afterwards.
class WinePortRegistration {
public:
    WinePortRegistration(const std::string& prefix, int comNumber, const std::string& logPath);

    // Runs `wine reg add 'HKLM\Software\Wine\Ports' /v COMn ...` and
    // `wineserver -k`; false (with a reason) when the first fails.
    bool Register(const std::string& devicePath, std::string& error) const;

    std::string PortName() const { return "COM" + std::to_string(comNumber); }

private:
    // The prefix's architecture.
    WinePrefix::Arch Arch() const;

    std::string prefix;
    int comNumber;
    std::string logPath;
};

#endif
