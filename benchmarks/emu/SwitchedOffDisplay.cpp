// What a display that is switched off costs the host, on the Win32 double's
// clock: the driver linked natively and each built DLL under the emulated
// processor, against the same model of Windows' serial line. Three figures:
//   - how long a changed BrlDisplay holds the host while an 80-cell display
//     holds CTS off, for the first update and the later ones, with the host
//     calling BrlTimer every 20 ms between its updates;
//   - how many BrlTimer calls, 20 ms apart, pass from CTS coming on to the
//     cells being on the line;
//   - BrlInit("auto") on a laptop: COM1 built in with nothing attached (CTS
//     off), COM3 and COM4 outgoing Bluetooth links whose open blocks 10 s
//     and fails, the display on a USB adapter at COM7.
//
//     emu_switched_off [NAME=PATH...]
//
// Without arguments, the native driver and the DLLs of the cross builds this
// tree was configured with (BENCH_DLLS). A DLL built before the change runs
// here as well: its figures are the "before" column.
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DriverTestSupport.h"
#include "EmulatedHost.h"

namespace {

using win32double::Bytes;
using win32double::FakeDevice;
using win32double::Win32Double;

const int Updates = 10, TimersBetween = 5, TimerPeriodMs = 20, TimersToWait = 500;

struct Figures {
    DWORD first = 0, laterMax = 0, total = 0; // ms a changed BrlDisplay held the host
    int timersToCells = -1;                   // -1: none within TimersToWait
    DWORD autoScan = 0;
    std::string failure;
};

Win32Double& W() { return Win32Double::Get(); }

void Timers(testsupport::Host& host, int count)
{
    for (int i = 0; i < count; ++i) {
        W().clock.Advance(TimerPeriodMs);
        host.Timer();
    }
}

void SwitchOffAndOn(testsupport::Host& host, Figures& f)
{
    W().Reset();
    host.Attach();
    FakeDevice& display = W().AddDevice("COM1");
    win32double::AnswerQueryWith(display, { 0x3F, 0x02, 0x00 }); // 80 cells
    if (host.Init("COM1", nullptr) != 0x0550) {
        f.failure = "BrlInit did not find the 80-cell display";
        return;
    }
    Bytes cells(80, 0x01);
    host.Display(cells, 80);
    display.ctsHeldOff = true;
    for (int update = 0; update < Updates; ++update) {
        cells[0] = uint8_t(update + 2);
        DWORD before = W().clock.Now();
        host.Display(cells, 80);
        DWORD held = W().clock.Now() - before;
        (update == 0 ? f.first : f.laterMax) = update == 0 ? held : std::max(f.laterMax, held);
        f.total += held;
        Timers(host, TimersBetween);
    }
    display.ctsHeldOff = false;
    size_t writes = display.writes.size();
    for (int timer = 1; timer <= TimersToWait && f.timersToCells < 0; ++timer) {
        Timers(host, 1);
        if (display.writes.size() > writes)
            f.timersToCells = timer;
    }
    host.Terminate();
    host.Detach();
}

void Laptop(testsupport::Host& host, Figures& f)
{
    W().Reset();
    host.Attach();
    W().AddDevice("COM1").ctsHeldOff = true;
    W().dosDevices["COM1"] = "\\Device\\Serial0";
    for (const char* link : { "COM3", "COM4" }) {
        FakeDevice& bluetooth = W().AddDevice(link);
        bluetooth.openDelay = 10000;
        bluetooth.refuseOpen = true;
        W().dosDevices[link] = link[3] == '3' ? "\\Device\\BthModem0" : "\\Device\\BthModem1";
    }
    win32double::AnswerQueryWith(W().AddDevice("COM7"), { 0x3F, 0x01, 0x00 });
    W().dosDevices["COM7"] = "\\Device\\VCP0";
    DWORD before = W().clock.Now();
    if (host.Init("auto", nullptr) != 0x0528)
        f.failure = "BrlInit(\"auto\") did not find the display on COM7";
    f.autoScan = W().clock.Now() - before;
    host.Terminate();
    host.Detach();
}

std::string Seconds(DWORD ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", ms / 1000.0);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> entries(argv + 1, argv + argc);
    if (entries.empty()) {
        entries.push_back("native=");
        std::istringstream configured(BENCH_DLLS);
        for (std::string entry; std::getline(configured, entry, '|');)
            entries.push_back(entry);
    }
    std::printf("A switched-off display on the double's clock: %d updates of 80 cells, %d BrlTimer calls %d ms apart "
                "between them\n\n",
                Updates, TimersBetween, TimerPeriodMs);
    std::printf("| driver | first update held | later updates held, at most | held in all | BrlTimer calls from CTS on "
                "to the cells | auto on the laptop |\n|---|---|---|---|---|---|\n");
    bool ok = true;
    for (const auto& entry : entries) {
        size_t equals = entry.find('=');
        if (equals == std::string::npos) {
            std::fprintf(stderr, "usage: emu_switched_off [NAME=PATH...] (PATH empty: the native driver)\n");
            return 2;
        }
        std::string name = entry.substr(0, equals), path = entry.substr(equals + 1);
        std::unique_ptr<testsupport::Host> host;
        if (path.empty())
            host = std::make_unique<testsupport::NativeHost>();
        else
            host = std::make_unique<emu::EmulatedHost>(path);
        Figures f;
        try {
            SwitchOffAndOn(*host, f);
            if (f.failure.empty())
                Laptop(*host, f);
        } catch (const std::exception& e) {
            f.failure = e.what();
        }
        if (!f.failure.empty() || host->Broken()) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), f.failure.empty() ? "the library broke" : f.failure.c_str());
            ok = false;
            continue;
        }
        std::string timers = f.timersToCells < 0 ? "none in " + std::to_string(TimersToWait) : std::to_string(f.timersToCells);
        std::printf("| %s | %u ms | %u ms | %s | %s | %s |\n", name.c_str(), unsigned(f.first), unsigned(f.laterMax),
                    Seconds(f.total).c_str(), timers.c_str(), Seconds(f.autoScan).c_str());
    }
    return ok ? 0 : 1;
}
