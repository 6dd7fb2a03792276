// Instructions per BrlDisplay of each built DLL, counted under the emulated
// processor: the x86 DLL as shipped, built for the 386, against the same
// sources built for the i686, with the x64 and ARM64 DLLs beside them. A
// recorded host session for a 40-cell display is replayed through the
// exports and every BrlDisplay is counted alone. The count is of the DLL's
// own instructions; KERNEL32 is the Win32 double behind traps and costs
// nothing here, as the wait for the line costs nothing.
//
//     emu_instruction_count [NAME=PATH...]
//
// Without arguments, the DLLs of the cross builds this tree was configured
// with (BENCH_DLLS). Exits 1 when a DLL fails a call or two DLLs put
// different bytes on the line.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "EmulatedDll.h"
#include "HostSession.h"
#include "Win32Double.h"

namespace {

using win32double::Win32Double;

struct Count {
    std::string name;
    long sending = 0, repeating = 0;               // BrlDisplay calls
    uint64_t sendingInstructions = 0, repeatingInstructions = 0;
    emu::Bytes wire;
};

double PerCall(uint64_t instructions, long calls) { return calls ? double(instructions) / double(calls) : 0.0; }

// Replays the session through one DLL; false, with the reason printed, when
// the DLL does not load or a call fails.
bool Measure(const std::string& path, const std::vector<hostsession::HostCall>& session, Count& count)
{
    bool failed = false;
    auto report = [&](const std::string& message) {
        std::fprintf(stderr, "%s: %s\n", count.name.c_str(), message.c_str());
        failed = true;
    };
    try {
        std::ifstream file(path, std::ios::binary);
        if (!file)
            throw emu::LoadError("cannot read " + path);
        emu::PeImage image = emu::PeImage::Parse(emu::Bytes(std::istreambuf_iterator<char>(file), {}));
        Win32Double::Get().Reset();
        win32double::FakeDevice& display = Win32Double::Get().AddDevice("COM1");
        win32double::AnswerQueryWith(display, { 0x3F, 0x01, 0x00 }); // 40 cells
        emu::EmulatedDll dll(image, 0, report);
        if (!dll.CallEntry(1))
            return report("DllMain refused to attach"), false;
        uint64_t result = dll.CallExport("BrlInit", { dll.PlaceArgument("COM1", 5), 0 });
        if (uint32_t(result) != 0x0528)
            return report("BrlInit returned " + emu::Hex(result) + ", expected 0x528"), false;
        display.written.clear();

        dll.CountInstructions();
        static const char* const exports[] = { "BrlDisplay", "BrlDisplayStatus", "BrlClear" };
        for (const auto& call : session) {
            std::vector<uint64_t> arguments;
            if (call.kind != hostsession::HostCall::Clear)
                arguments = { dll.PlaceArgument(call.cells.data(), call.cells.size()), call.cells.size() };
            size_t bytes = display.written.size();
            uint64_t before = dll.Instructions();
            if (uint32_t(dll.CallExport(exports[call.kind], arguments)) != 1 || failed)
                return report(std::string(exports[call.kind]) + " failed"), false;
            uint64_t used = dll.Instructions() - before;
            if (call.kind != hostsession::HostCall::Display)
                continue;
            bool sent = display.written.size() != bytes;
            (sent ? count.sending : count.repeating)++;
            (sent ? count.sendingInstructions : count.repeatingInstructions) += used;
        }
        count.wire = display.written;
        dll.CallExport("BrlTerminate", {});
        dll.CallEntry(0);
    } catch (const std::exception& e) {
        report(e.what());
    }
    return !failed;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::pair<std::string, std::string>> dlls;
    std::vector<std::string> entries(argv + 1, argv + argc);
    if (entries.empty()) {
        std::istringstream configured(BENCH_DLLS);
        for (std::string entry; std::getline(configured, entry, '|');)
            entries.push_back(entry);
    }
    for (const auto& entry : entries) {
        size_t equals = entry.find('=');
        if (equals == std::string::npos) {
            std::fprintf(stderr, "usage: emu_instruction_count [NAME=PATH...]\n");
            return 2;
        }
        dlls.emplace_back(entry.substr(0, equals), entry.substr(equals + 1));
    }

    const int textCells = 40, updates = 4000;
    const auto session = hostsession::RecordedSession(updates, textCells, 1);
    std::vector<Count> counts;
    bool ok = true;
    for (const auto& dll : dlls) {
        Count count;
        count.name = dll.first;
        ok = Measure(dll.second, session, count) && ok;
        counts.push_back(count);
    }
    if (!ok)
        return 1;

    std::printf("Instructions per BrlDisplay under the emulated processor: %d-cell display, a recorded session of "
                "%d calls\n\n", textCells, updates);
    std::printf("| DLL | BrlDisplay sending a packet | BrlDisplay repeating the cells | every BrlDisplay |\n");
    std::printf("|---|---|---|---|\n");
    for (const auto& c : counts) {
        std::printf("| %s | %.1f (%ld calls) | %.1f (%ld calls) | %.1f |\n", c.name.c_str(),
                    PerCall(c.sendingInstructions, c.sending), c.sending, PerCall(c.repeatingInstructions, c.repeating),
                    c.repeating, PerCall(c.sendingInstructions + c.repeatingInstructions, c.sending + c.repeating));
        if (c.wire != counts.front().wire) {
            std::fprintf(stderr, "%s put other bytes on the line than %s\n", c.name.c_str(), counts.front().name.c_str());
            return 1;
        }
    }
    // The 386 build's cost: the same sources without the i686's CMOV.
    const Count *i386 = nullptr, *i686 = nullptr;
    for (const auto& c : counts) {
        if (c.name == "x86-386")
            i386 = &c;
        if (c.name == "x86-i686")
            i686 = &c;
    }
    if (i386 && i686) {
        auto change = [](double a, double b) { return b ? 100.0 * (a - b) / b : 0.0; };
        std::printf("\nThe 386 build against the i686 build: %+.1f %% instructions for a BrlDisplay that sends, "
                    "%+.1f %% for one that repeats, %+.1f %% over every BrlDisplay\n",
                    change(PerCall(i386->sendingInstructions, i386->sending), PerCall(i686->sendingInstructions, i686->sending)),
                    change(PerCall(i386->repeatingInstructions, i386->repeating),
                           PerCall(i686->repeatingInstructions, i686->repeating)),
                    change(PerCall(i386->sendingInstructions + i386->repeatingInstructions, i386->sending + i386->repeating),
                           PerCall(i686->sendingInstructions + i686->repeatingInstructions, i686->sending + i686->repeating)));
    }
    std::printf("\nEvery DLL put the same %zu bytes on the line.\n", counts.empty() ? size_t(0) : counts.front().wire.size());
    return 0;
}
