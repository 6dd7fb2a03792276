// A brlcheck.exe session under Wine against the display simulator: the
// program copied with the DLL into a folder of its own, as in a kit, run
// through a script of steps (frames the display must show, lines the
// console must print, keys, the cable pulled and put back, Ctrl+C), and
// what it left behind read back: the console, the report with its times
// taken off, every frame the display showed.
#ifndef BRLWIN32_CHECK_SESSION_H
#define BRLWIN32_CHECK_SESSION_H

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "E2eSupport.h"

namespace e2e {

class CheckSession : public E2eTest {
public:
    static const std::string Version;
    static constexpr int TextCells = 40;
    // How long a step of the script waits for what it expects.
    static constexpr int StepLimitMs = 30000;

    // What brlcheck shows in one step: status cells and text cells.
    struct Shown {
        Bytes status;
        Bytes text;
    };

    // One step of a session, taken when the step before it has been met.
    struct Step {
        enum Kind {
            ShowsFrame,  // the display shows these cells
            PrintsLine,  // the console has printed this line so many times
            NewPacket,   // a cell packet came after the last Plug
            Press,       // the display sends this packet
            Unplug,      // the cable goes
            Plug,        // and comes back
            Interrupt    // Ctrl+C
        } kind;
        Bytes bytes;
        std::string line;
        int times = 1;
    };

    static Step Frame(const Shown& s);
    static Step Key(const Bytes& packet);
    static Step Printed(const std::string& line, int times);
    static Step Act(Step::Kind kind);

    // Cells of a line of text in the demo host's computer braille, which
    // brlcheck uses; blank cells after it.
    static Bytes Braille(const std::string& text, size_t width = TextCells);
    static Bytes Blank(size_t width);
    // The frames a display shows for a sequence of shown steps: the driver
    // sends the status cells and then the text cells, each only when they
    // changed, so a step can pass through a frame of new status and old text.
    static std::vector<Bytes> FramesOf(const std::vector<Shown>& steps);
    // "FF FF FF FF FF | 01 02 ...": the status cells apart from the text.
    static std::string Describe(const Bytes& cells);
    static std::string Joined(const std::vector<std::string>& lines);

protected:
    void SetUp() override;
    void TearDown() override;

    static std::string Exe();
    std::string Report() const;
    std::string Machine() const;
    std::string DllShown() const;

    // A display on comPort that never answers.
    PtyDisplay& StartSilent(const std::string& comPort);
    // Gives a registered port this device name, as a Bluetooth stack names
    // its links; TearDown gives the port Wine's own name back.
    void NameDevice(int number, const std::string& device);
    // The device Wine names for each port of its registry: \Device\Serial0
    // for COM1.
    static std::string SerialDevice(int number);

    Bytes Cells() const;
    // The cells once the display has read the blank packet of BrlTerminate,
    // which brlcheck may write just before it ends; what it shows after
    // StepLimitMs when none comes.
    Bytes EndCells() const;
    // Every frame the display showed, one for each change.
    std::vector<Bytes> Frames() const;

    // Runs brlcheck with args, in folder, through the session's steps;
    // returns its exit status, or -1 when it did not end.
    int Run(const std::vector<std::string>& args, const std::vector<Step>& steps = {}, const std::string& exe = "",
            const std::string& folder = "");

    // The console's lines, times as "T seconds".
    std::vector<std::string> Console() const;
    // The report's lines with their times taken off, after checking that
    // every timed line has one and that they never go back.
    std::vector<std::string> ReportLines(const std::string& path);
    // The facts after the steps.
    std::vector<std::string> Facts(const std::string& dllMachine, const std::string& dll,
                                   const std::string& commandLine) const;
    std::string Quoted(const std::string& linuxPath) const;

    std::string work;

private:
    int CellPackets() const;
    // Whether a cell packet at or after packet from showed these cells;
    // from is moved past it.
    static bool Find(const DisplaySimulator& d, const Bytes& cells, size_t& from);
    int Stop(pid_t pid);
    bool WaitForLine(const std::string& line, int times);

    std::string output;
    std::vector<std::unique_ptr<PtyDisplay>> silent;
    std::string undoDevice;
};

} // namespace e2e

#endif
