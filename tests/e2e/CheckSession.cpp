#include "CheckSession.h"

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "ComputerBraille.h"

namespace e2e {
namespace {

// The lines of a file that Wine wrote, without Wine's own messages.
std::vector<std::string> Lines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    static const std::regex wine("^([0-9a-f]{4}:(err|fixme|warn|trace):|wine: ).*");
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!std::regex_match(line, wine))
            lines.push_back(line);
    }
    return lines;
}

// Times vary from run to run: "2.0 seconds" reads "T seconds".
std::string Timeless(const std::string& line)
{
    static const std::regex seconds("[0-9]+\\.[0-9] seconds");
    return std::regex_replace(line, seconds, "T seconds");
}

} // namespace

const std::string CheckSession::Version = BRLWIN32_VERSION;

CheckSession::Step CheckSession::Frame(const Shown& s)
{
    Bytes cells = s.status;
    cells.insert(cells.end(), s.text.begin(), s.text.end());
    return { Step::ShowsFrame, cells, "", 1 };
}

CheckSession::Step CheckSession::Key(const Bytes& packet) { return { Step::Press, packet, "", 1 }; }

CheckSession::Step CheckSession::Printed(const std::string& line, int times)
{
    return { Step::PrintsLine, {}, line, times };
}

CheckSession::Step CheckSession::Act(Step::Kind kind) { return { kind, {}, "", 1 }; }

Bytes CheckSession::Braille(const std::string& text, size_t width)
{
    Bytes cells(width, 0);
    for (size_t i = 0; i < text.size() && i < width; ++i)
        cells[i] = ComputerBrailleCell(static_cast<unsigned char>(text[i]));
    return cells;
}

Bytes CheckSession::Blank(size_t width) { return Bytes(width, 0); }

std::vector<Bytes> CheckSession::FramesOf(const std::vector<Shown>& steps)
{
    std::vector<Bytes> frames;
    Bytes status = Blank(5), text = Blank(TextCells);
    auto frame = [&] {
        Bytes f = status;
        f.insert(f.end(), text.begin(), text.end());
        if (frames.empty() || frames.back() != f)
            frames.push_back(f);
    };
    for (const auto& s : steps) {
        status = s.status;
        frame();
        text = s.text;
        frame();
    }
    return frames;
}

std::string CheckSession::Describe(const Bytes& cells)
{
    std::string text;
    for (size_t i = 0; i < cells.size(); ++i) {
        char b[4];
        snprintf(b, sizeof b, "%02X", cells[i]);
        text += (i == 0 ? "" : i == 5 ? " | " : " ") + std::string(b);
    }
    return text;
}

std::string CheckSession::Joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const auto& l : lines)
        all += l + "\n";
    return all;
}

void CheckSession::SetUp()
{
    E2eTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    work = ArchWorkDir() + "/check";
    std::filesystem::remove_all(work);
    std::filesystem::create_directories(work + "/bin");
    // As in a kit: the program and the DLL side by side.
    std::filesystem::copy_file(Exe(), work + "/bin/brlcheck.exe");
    std::filesystem::copy_file(DllPath(), work + "/bin/brlwin32.dll");
}

void CheckSession::TearDown()
{
    // The prefix's server outlives the test, and the names with it.
    if (!undoDevice.empty() && host)
        Do(undoDevice);
    silent.clear();
    E2eTest::TearDown();
}

std::string CheckSession::Exe() { return WindowsBuildDir() + "/tools/brlcheck/brlcheck.exe"; }

std::string CheckSession::Report() const { return work + "/report.txt"; }

std::string CheckSession::Machine() const { return IsX64() ? "x64" : "x86"; }

std::string CheckSession::DllShown() const { return WinePrefix::WindowsPath(work + "/bin/brlwin32.dll"); }

PtyDisplay& CheckSession::StartSilent(const std::string& comPort)
{
    DisplaySimulator::Config config;
    config.textCells = TextCells;
    config.answerQueries = false;
    silent.push_back(std::make_unique<PtyDisplay>(config, Prefix().LinkFor(comPort)));
    return *silent.back();
}

void CheckSession::NameDevice(int number, const std::string& device)
{
    const std::string port = "COM" + std::to_string(number);
    StartHost();
    undoDevice = "dos-device " + port + " " + SerialDevice(number);
    ASSERT_EQ(1, Do("dos-device " + port + " " + device).result);
}

std::string CheckSession::SerialDevice(int number) { return "\\Device\\Serial" + std::to_string(number - 1); }

Bytes CheckSession::Cells() const
{
    return display->With([](const DisplaySimulator& s) { return s.Cells(); });
}

Bytes CheckSession::EndCells() const
{
    const Bytes blank = Blank(5 + TextCells);
    display->WaitFor([&](const DisplaySimulator& s) { return s.Cells() == blank; }, StepLimitMs);
    return Cells();
}

int CheckSession::CellPackets() const
{
    return display->With([](const DisplaySimulator& s) { return s.Count(HostStreamDecoder::Message::Cells); });
}

std::vector<Bytes> CheckSession::Frames() const
{
    return display->With([](const DisplaySimulator& s) {
        std::vector<Bytes> frames;
        for (const auto& m : s.Messages())
            if (m.kind == HostStreamDecoder::Message::Cells && (frames.empty() || frames.back() != m.cells))
                frames.push_back(m.cells);
        return frames;
    });
}

int CheckSession::Run(const std::vector<std::string>& args, const std::vector<Step>& steps, const std::string& exe,
                      const std::string& folder)
{
    output = work + "/console.txt";
    std::filesystem::remove(output);
    std::vector<std::string> argv = { exe.empty() ? work + "/bin/brlcheck.exe" : exe };
    argv.insert(argv.end(), args.begin(), args.end());
    pid_t pid = Prefix().Spawn(argv, output, folder);
    int packetsAtPlug = 0;
    // Frames are looked for in the order the display got them, after
    // the one the step before found: a frame the display showed for a
    // moment only still counts, and an old one does not count again.
    size_t framesMet = 0;
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        std::string where = "step " + std::to_string(i + 1) + " of the session";
        switch (s.kind) {
        case Step::ShowsFrame:
            if (!display->WaitFor([&](const DisplaySimulator& d) { return Find(d, s.bytes, framesMet); },
                                  StepLimitMs)) {
                ADD_FAILURE() << where << ": expected the display to show\n  " << Describe(s.bytes) << "\ngot\n  "
                              << Describe(Cells()) << "\nconsole:\n" << Joined(Lines(output));
                return Stop(pid);
            }
            break;
        case Step::PrintsLine:
            if (!WaitForLine(s.line, s.times)) {
                ADD_FAILURE() << where << ": expected '" << s.line << "' printed " << s.times
                              << " times, got:\n" << Joined(Lines(output));
                return Stop(pid);
            }
            break;
        case Step::NewPacket:
            if (!display->WaitFor([&](const DisplaySimulator& d) {
                    return d.Count(HostStreamDecoder::Message::Cells) > packetsAtPlug;
                }, StepLimitMs)) {
                ADD_FAILURE() << where << ": expected the cells sent again after the display came back";
                return Stop(pid);
            }
            break;
        case Step::Press:
            // brlcheck reads all the time: nothing to wait for.
            display->SendNow(s.bytes);
            break;
        case Step::Unplug:
            display->Unplug();
            break;
        case Step::Plug:
            packetsAtPlug = CellPackets();
            display->Plug();
            break;
        case Step::Interrupt:
            kill(pid, SIGINT);
            break;
        }
    }
    int status = WinePrefix::Wait(pid, 2 * StepLimitMs);
    EXPECT_NE(-1, status) << "expected brlcheck to end; console:\n" << Joined(Lines(output));
    return status;
}

bool CheckSession::Find(const DisplaySimulator& d, const Bytes& cells, size_t& from)
{
    size_t packet = 0;
    for (const auto& m : d.Messages()) {
        if (m.kind != HostStreamDecoder::Message::Cells)
            continue;
        if (packet++ >= from && m.cells == cells) {
            from = packet;
            return true;
        }
    }
    return false;
}

int CheckSession::Stop(pid_t pid)
{
    kill(pid, SIGKILL);
    WinePrefix::Wait(pid, 5000);
    return -1;
}

bool CheckSession::WaitForLine(const std::string& line, int times)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(StepLimitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        int seen = 0;
        for (const auto& l : Lines(output))
            seen += Timeless(l) == line;
        if (seen >= times)
            return true;
        // The console is a file that Wine appends to; there is nothing
        // to block on.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::vector<std::string> CheckSession::Console() const
{
    std::vector<std::string> lines;
    for (const auto& l : Lines(output))
        lines.push_back(Timeless(l));
    return lines;
}

std::vector<std::string> CheckSession::ReportLines(const std::string& path)
{
    std::vector<std::string> lines;
    static const std::regex timed("^([0-9]+) ms: (.*)$");
    long last = -1;
    for (const auto& l : Lines(path)) {
        std::smatch m;
        if (std::regex_match(l, m, timed)) {
            long ms = std::stol(m[1]);
            EXPECT_GE(ms, last) << "expected the report's times in order: " << l;
            last = ms;
            lines.push_back(Timeless(m[2]));
        } else {
            lines.push_back(l);
        }
    }
    return lines;
}

std::vector<std::string> CheckSession::Facts(const std::string& dllMachine, const std::string& dll,
                                             const std::string& commandLine) const
{
    return { "windows: 6.1 build 7601, NT family, Service Pack 1",
             "process: " + Machine(),
             "dll: " + dllMachine,
             "dll path: " + dll,
             "dll version: " + Version,
             "command line: " + commandLine };
}

std::string CheckSession::Quoted(const std::string& linuxPath) const
{
    return "\"" + WinePrefix::WindowsPath(linuxPath) + "\"";
}

} // namespace e2e
