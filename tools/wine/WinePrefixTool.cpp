// wine-prefix: the WinePrefix helper for runners that are not C++ (CTest
// fixtures, shell scripts).
//
//   wine-prefix up DIR [--arch win32|win64] [--work DIR] [--com COMn=PATH]...
//                      [--version PROGRAM.exe=SETTING]...
//   wine-prefix down DIR [--arch win32|win64] [--work DIR]
//
// "up" prepares the prefix and leaves its server running; "down" stops the
// server and every program of the prefix. The work directory (default:
// DIR's parent) holds the setup logs. Where programs of the architecture
// cannot run on this machine, "up" says why and exits 77, which the CTest
// fixtures take as skipped.
#include <cstdio>
#include <cstring>
#include <string>

#include "WinePrefix.h"

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: wine-prefix up|down DIR [--arch win32|win64] [--work DIR] "
                         "[--com COMn=PATH]... [--version PROGRAM.exe=SETTING]...\n");
    return 2;
}

bool SplitPair(const std::string& text, std::pair<std::string, std::string>& out)
{
    size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        return false;
    out = { text.substr(0, eq), text.substr(eq + 1) };
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || (std::strcmp(argv[1], "up") != 0 && std::strcmp(argv[1], "down") != 0))
        return Usage();
    bool up = std::strcmp(argv[1], "up") == 0;
    std::string dir = argv[2];
    std::string work = dir.substr(0, dir.find_last_of('/'));
    WinePrefix::Options options;
    for (int i = 3; i + 1 < argc; i += 2) {
        std::string flag = argv[i], value = argv[i + 1];
        std::pair<std::string, std::string> pair;
        if (flag == "--arch" && (value == "win32" || value == "win64"))
            options.arch = value == "win64" ? WinePrefix::Arch::X64 : WinePrefix::Arch::X86;
        else if (flag == "--work")
            work = value;
        else if (flag == "--com" && SplitPair(value, pair))
            options.comPorts.push_back(pair);
        else if (flag == "--version" && SplitPair(value, pair))
            options.appVersions.push_back(pair);
        else
            return Usage();
    }
    if ((argc - 3) % 2 != 0)
        return Usage();

    WinePrefix prefix(dir, work, options);
    if (!up) {
        prefix.Shutdown();
        std::printf("prefix %s: stopped\n", prefix.Dir().c_str());
        return 0;
    }
    std::string error;
    if (!WinePrefix::Runnable(options.arch, error)) {
        std::printf("skipped: %s\n", error.c_str());
        return 77;
    }
    if (!prefix.Prepare(error)) {
        std::printf("FAIL %s\n", error.c_str());
        return 1;
    }
    std::printf("prefix %s (%s) ready", prefix.Dir().c_str(), prefix.WineArch());
    for (const auto& port : options.comPorts)
        std::printf(", %s -> %s", port.first.c_str(), port.second.c_str());
    std::printf("\n");
    return 0;
}
