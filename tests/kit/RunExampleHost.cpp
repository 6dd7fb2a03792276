// Runs one of the example hosts under Wine against a simulated 40-cell
// display on a pty, presses keys 1 and 36 once the host shows its text, and
// checks what the display showed and what the host printed.
//
//   run-example-host LINK EXE PORT OUTPUT [STATUS]
//
// LINK is the path that the Wine prefix maps PORT's COM name to; STATUS,
// when given, is the first status cell the host is expected to show (hex).
// WINEPREFIX, WINEARCH and the other Wine settings come from the
// environment. Where programs of WINEARCH cannot run on this machine, the
// check is skipped (exit 77).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "HexText.h"
#include "PtyDisplay.h"
#include "WinePrefix.h"

namespace {

using Bytes = DisplaySimulator::Bytes;

const Bytes hello = { 0x13, 0x11, 0x07, 0x07, 0x15 };
const Bytes ok = { 0x15, 0x05 };

int failures = 0;

std::string Hex(const Bytes& bytes) { return bytes.empty() ? "(nothing)" : HexText(bytes); }

// The text cells, padded: hello followed by blanks up to the display's width.
Bytes Line(const Bytes& start, int width)
{
    Bytes line(start);
    line.resize(static_cast<size_t>(width), 0);
    return line;
}

void Check(bool good, const std::string& what, const std::string& expected, const std::string& got)
{
    if (!good) {
        std::printf("FAIL %s: expected %s, got %s\n", what.c_str(), expected.c_str(), got.c_str());
        ++failures;
    } else {
        std::printf("ok   %s\n", what.c_str());
    }
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: run-example-host LINK EXE PORT OUTPUT [STATUS]\n");
        return 2;
    }
    const std::string link = argv[1], exe = argv[2], port = argv[3], outPath = argv[4];
    const int expectStatus = argc > 5 ? static_cast<int>(std::strtol(argv[5], nullptr, 16)) : -1;

    const char* wineArch = getenv("WINEARCH");
    const std::string arch = wineArch ? wineArch : "win32";
    std::string why;
    if (!WinePrefix::Runnable(arch == "win64" ? WinePrefix::Arch::X64 : WinePrefix::Arch::X86, why)) {
        std::printf("skipped: %s\n", why.c_str());
        return 77;
    }

    DisplaySimulator::Config config;
    config.textCells = 40;
    PtyDisplay display(config, link);

    // The host's output, with Wine's after it; a file rather than a pipe,
    // which Wine's background processes would keep open. Appended to, so it
    // starts empty: a line of an earlier run must not pass a check.
    std::remove(outPath.c_str());
    pid_t host = WinePrefix::SpawnInEnvironment(arch.c_str(), { exe, port, "20" }, outPath);
    if (host < 0) {
        std::printf("FAIL cannot start wine\n");
        return 1;
    }

    // Wine's start-up and the driver's two-second identification.
    const Bytes helloLine = Line(hello, config.textCells);
    bool shown = display.WaitFor([&](const DisplaySimulator& d) { return d.Text() == helloLine; }, 30000);
    Check(shown, "host shows hello", Hex(helloLine), Hex(display.With([](const DisplaySimulator& d) { return d.Text(); })));
    if (expectStatus >= 0) {
        Bytes status = display.With([](const DisplaySimulator& d) { return d.Status(); });
        Check(!status.empty() && status[0] == expectStatus, "first status cell", Hex({ uint8_t(expectStatus) }),
            Hex(status));
    }

    if (shown) {
        display.SendNow(DisplaySimulator::KeyPacket(0x01, 0x01));
        const Bytes okLine = Line(ok, config.textCells);
        bool answered = display.WaitFor([&](const DisplaySimulator& d) { return d.Text() == okLine; }, 10000);
        Check(answered, "key callback shows ok", Hex(okLine),
            Hex(display.With([](const DisplaySimulator& d) { return d.Text(); })));
    }

    int exitCode = WinePrefix::Wait(host, 30000);
    Check(exitCode == 0, "host exit code", "0", std::to_string(exitCode));

    const Bytes blank(static_cast<size_t>(DisplaySimulator::StatusCells + config.textCells), 0);
    bool blanked = display.WaitFor([&](const DisplaySimulator& d) { return d.Cells() == blank; }, 2000);
    Check(blanked, "display blank after BrlTerminate", Hex(blank),
        Hex(display.With([](const DisplaySimulator& d) { return d.Cells(); })));

    std::string out = ReadFile(outPath);
    const std::string initLine = "BrlInit(\"" + port + "\") = 0x0528: 5 status cells, 40 text cells";
    Check(out.find(initLine) != std::string::npos, "BrlInit reported", "\"" + initLine + "\"", "\"" + out + "\"");
    const std::string keyLine = "key 0x80000124 argument 0";
    Check(out.find(keyLine) != std::string::npos, "key reported", "\"" + keyLine + "\"", "\"" + out + "\"");

    std::printf("--- %s output ---\n%s", exe.c_str(), out.c_str());
    return failures ? 1 : 0;
}
