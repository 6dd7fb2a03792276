// brlcheck.exe under Wine with the real DLL, against the display simulator,
// as a display owner runs it: the display's keys are pressed when the
// display shows what the step asks about, the console lines, the report
// and every frame the display showed are checked, and the bad input a
// display owner meets ends with the right line and exit status.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>

#include "CheckSession.h"

namespace e2e {
namespace {

// The session harness is the fixture; the tests keep their suite's name.
using CheckE2eTest = CheckSession;
using Shown = CheckSession::Shown;

const Bytes allDots(5, 0xFF);

std::vector<Shown> PatternSteps()
{
    const int textCells = CheckSession::TextCells;
    Shown dots = { {}, {} };
    for (int i = 0; i < 5; ++i)
        dots.status.push_back(static_cast<uint8_t>(1u << (i % 8)));
    for (int i = 0; i < textCells; ++i)
        dots.text.push_back(static_cast<uint8_t>(1u << (i % 8)));
    std::string digits;
    for (int i = 1; i <= textCells; ++i)
        digits += static_cast<char>('0' + i % 10);
    return {
        { allDots, Bytes(textCells, 0xFF) },
        dots,
        { CheckSession::Braille("12345", 5), CheckSession::Braille(digits) },
        { CheckSession::Blank(5), CheckSession::Braille("The quick brown fox jumps over the lazy dog.") },
    };
}

Shown TextStep(const std::string& text) { return { CheckSession::Blank(5), CheckSession::Braille(text) }; }

const Bytes key1 = DisplaySimulator::KeyPacket(0x00, 0x01);

// The lines of the four patterns, each ended as given.
std::vector<std::string> PatternLines(const std::string& hold, const std::string& ending)
{
    const std::string press = " Press a display key once you have checked it, or wait " + hold + ".";
    return {
        "Every dot: all 8 dots of every cell, status cells included, should be raised." + press,
        "every dot: " + ending,
        "Dots 1 to 8: one dot raised in each cell, dot 1 in the first cell, dot 2 in the next and so on to dot 8, "
        "then from dot 1 again; the status cells start with dot 1 too." + press,
        "dots 1 to 8: " + ending,
        "Cell numbers: each text cell shows the last digit of its number in computer braille, 1 to 9, then 0 on "
        "cell 10, 20 and so on; the status cells show 1 to 5." + press,
        "cell numbers: " + ending,
        "Text: the text cells should read, in computer braille: The quick brown fox jumps over the lazy; the "
        "status cells are blank." + press,
        "text: " + ending,
    };
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// The result lines of a console transcript: those the report holds too.
std::vector<std::string> Results(const std::vector<std::string>& console)
{
    static const std::regex result("^(DLL|display|auto|every dot|dots 1 to 8|cell numbers|text|keys|sleep and wake|"
                                   "unplug|terminate): .*|^key code .*|^COM[0-9]+.*|^interrupted$");
    std::vector<std::string> lines;
    for (const auto& l : console)
        if (std::regex_match(l, result))
            lines.push_back(l);
    return lines;
}

// A named port, every key the display has scripted on what it shows, sleep
// and wake, and the cable pulled and plugged back: every step passes, and
// the console, the report and every frame say so.
TEST_F(CheckE2eTest, NamedPortWithTheDisplaysKeysScripted)
{
    StartDisplay(TextCells, FullReply(TextCells));

    const auto patterns = PatternSteps();
    const std::vector<std::pair<Bytes, std::string>> presses = {
        { key1, "80000001 1" },
        { DisplaySimulator::RoutingPacket(17), "80000081 140 cell 12" },           // over text cell 12
        { DisplaySimulator::KeyPacket(0x3F, 0x1F), "A1222324 33 34 35 36" },      // eleven keys: four fit
        { DisplaySimulator::KeyPacket(0x01, 0x01), "80000124 1 36" },
    };
    std::vector<Step> steps;
    std::vector<Shown> shown;
    for (const auto& p : patterns) {
        steps.push_back(Frame(p));
        steps.push_back(Key(key1));
        shown.push_back(p);
    }
    shown.push_back(TextStep("press keys"));
    steps.push_back(Frame(shown.back()));
    for (const auto& p : presses) {
        steps.push_back(Key(p.first));
        shown.push_back(TextStep(p.second));
        steps.push_back(Frame(shown.back()));
    }
    // The same key twice more ends the key test; the display stays as it is.
    const std::string both = "key code 0x80000124, argument 0: key indices 1 and 36";
    steps.push_back(Key(presses.back().first));
    steps.push_back(Printed(both, 2));
    steps.push_back(Key(presses.back().first));
    // Sleep and wake: blank, then the same cells again.
    shown.push_back(TextStep("sleep and wake"));
    steps.push_back(Frame(shown.back()));
    shown.push_back(TextStep(""));
    steps.push_back(Frame(shown.back()));
    shown.push_back(TextStep("sleep and wake"));
    steps.push_back(Frame(shown.back()));
    steps.push_back(Key(key1));
    // The cable goes and comes back; the driver finds the display again by
    // itself and shows its cells, and the owner's key ends the step.
    shown.push_back(TextStep("unplug test"));
    steps.push_back(Frame(shown.back()));
    steps.push_back(Act(Step::Unplug));
    steps.push_back(Act(Step::Plug));
    steps.push_back(Act(Step::NewPacket));
    steps.push_back(Key(key1));
    shown.push_back(TextStep(""));

    ASSERT_EQ(0, Run({ "COM5", "--unplug", "--report", Report() }, steps)) << Joined(Console());

    const std::string hold = "30 seconds";
    const auto expected = Concat({
        { "brlcheck " + Version + " checks a braille display through brlwin32.dll, one step at a time. Ctrl+C "
          "stops it.",
          "DLL: " + DllShown() + ", version " + Version + ", " + Machine() + "; this program is " + Machine() + ": ok",
          "Opening the display on COM5 with BrlInit; a display answers within 2 seconds.",
          "display: COM5, 5 status cells and 40 text cells, found in T seconds: ok" },
        PatternLines(hold, "key after T seconds: ok"),
        { "Key test: press the display's keys one at a time, for 30 seconds; each is read out here and shown on "
          "the display. To end sooner, press the same key three times in a row.",
          "key code 0x80000001, argument 0: key index 1",
          "key code 0x80000081, argument 12: key index 140, the routing key of text cell 12",
          "key code 0xA1222324, argument 0: key indices 33, 34, 35 and 36",
          both, both, both,
          "keys: 6 presses, 4 different keys, ended by the same key three times: ok",
          "Sleep and wake: the display goes blank for 2 seconds and then shows \"sleep and wake\" again. Press a "
          "display key once it is back, or wait " + hold + ".",
          "sleep and wake: key T seconds after the wake: ok",
          "Unplug: pull out the display's cable, plug it back in, and press a display key. Waiting up to 60 "
          "seconds.",
          "unplug: first key T seconds after the prompt: ok",
          "terminate: BrlTerminate returned, COM5 is free, and the display should be blank: ok",
          "Done in T seconds: every step passed.",
          "The report, to attach to a bug report, is " + WinePrefix::WindowsPath(Report()) + "." },
    });
    EXPECT_EQ(Joined(expected), Joined(Console()));

    EXPECT_EQ(Joined(Concat({ { "brlcheck " + Version + " report" }, Results(expected),
                              Facts(Machine(), DllShown(),
                                    Quoted(work + "/bin/brlcheck.exe") + " COM5 --unplug --report " + Report()) })),
              Joined(ReportLines(Report())));

    // Every frame, cell by cell: the recovery's packet and the refreshes
    // repeat a frame and add none.
    const auto want = FramesOf(shown);
    EndCells();
    const auto got = Frames();
    for (size_t i = 0; i < want.size() || i < got.size(); ++i)
        EXPECT_EQ(i < want.size() ? Describe(want[i]) : "(none)", i < got.size() ? Describe(got[i]) : "(none)")
            << "frame " << i + 1;
}

// No port name: the scan meets absent ports, a silent one and then the
// display, each named with its device, and BrlInit("auto") finds the same
// display. COM2, silent too, passes for a Bluetooth link, which both try
// last. The patterns are not held and the key test is left out, which
// passes without a key.
TEST_F(CheckE2eTest, WithoutAPortNameFindsTheDisplayPastAnAbsentAndASilentPort)
{
    PtyDisplay& quiet = StartSilent("COM3");
    PtyDisplay& bluetooth = StartSilent("COM2");
    NameDevice(2, "\\Device\\BthModem0");
    StartDisplay(TextCells, FullReply(TextCells));
    const std::string dll = WinePrefix::WindowsPath(DllPath());
    ASSERT_EQ(0, Run({ "--dll", dll, "--hold", "0", "--keys", "0", "--report", Report() }, {}, Exe()));

    const auto expected = Concat({
        { "brlcheck " + Version + " checks a braille display through brlwin32.dll, one step at a time. Ctrl+C "
          "stops it.",
          "DLL: " + dll + ", version " + Version + ", " + Machine() + "; this program is " + Machine() + ": ok",
          "Finding the display: BrlInit on each serial port, COM1 to COM256, Bluetooth links last, until a display "
          "answers. A port with nothing on it takes 2 seconds.",
          "COM1 (" + SerialDevice(1) + ") absent",
          "COM3 (" + SerialDevice(3) + ") no answer",
          "COM4 (" + SerialDevice(4) + ") absent",
          "COM5 (" + SerialDevice(5) + ") display 5+40",
          "display: COM5, 5 status cells and 40 text cells, found in T seconds: ok",
          "Checking that BrlInit(\"auto\") finds the display on COM5 too.",
          "auto: BrlInit(\"auto\") found 5 status cells and 40 text cells in T seconds, as on COM5: ok" },
        PatternLines("0 seconds", "no key pressed"),
        { "keys: skipped, --keys 0",
          "Sleep and wake: the display goes blank for 2 seconds and then shows \"sleep and wake\" again. Press a "
          "display key once it is back, or wait 0 seconds.",
          "sleep and wake: no key pressed",
          "terminate: BrlTerminate returned, COM5 is free, and the display should be blank: ok",
          "Done in T seconds: every step passed, 5 steps without a key press.",
          "The report, to attach to a bug report, is " + WinePrefix::WindowsPath(Report()) + "." },
    });
    EXPECT_EQ(Joined(expected), Joined(Console()));
    EXPECT_EQ(Joined(Concat({ { "brlcheck " + Version + " report" }, Results(expected),
                              Facts(Machine(), dll,
                                    Quoted(Exe()) + " --dll " + dll + " --hold 0 --keys 0 --report " + Report()) })),
              Joined(ReportLines(Report())));

    auto queries = [](const PtyDisplay& d) {
        return d.With([](const DisplaySimulator& s) { return s.Count(HostStreamDecoder::Message::Query); });
    };
    EXPECT_EQ(2, queries(quiet)) << "expected the silent port asked once by the scan and once by auto";
    EXPECT_EQ(0, queries(bluetooth)) << "expected the Bluetooth link asked by neither: the display comes first";
    EXPECT_EQ(2, queries(*display)) << "expected the display asked once by the scan and once by auto";
    EXPECT_EQ(Describe(Blank(5 + TextCells)), Describe(EndCells())) << "expected the display blank at the end";
}

// What a display owner gets wrong, and a display that goes away: each ends
// with the line that says so and the exit status a script can test. Of the
// command lines brlcheck refuses, only the unknown option is run here, for
// what the program adds to the line; the others are read natively
// (BrlcheckCommandLineTest).
TEST_F(CheckE2eTest, BadInputEndsWithTheLineThatSaysWhatAndTheExitStatus)
{
    enum Display { NoDisplay, Silent, Answering, OtherDll };
    struct Case {
        const char* what;
        Display setup;
        std::vector<std::string> args;
        std::vector<Step> steps;
        int exit;
        std::vector<std::string> lines; // in this order among the console's lines
        bool report;                     // whether a report is written
        bool endsBlank;                  // whether the display is left blank
    };
    const std::string usage = "usage: brlcheck [PORT] [--dll PATH] [--report PATH] [--hold SECONDS] [--keys SECONDS] "
                              "[--unplug]";
    std::vector<Step> toKeyTest;
    for (const auto& p : PatternSteps()) {
        toKeyTest.push_back(Frame(p));
        toKeyTest.push_back(Key(key1));
    }
    toKeyTest.push_back(Frame(TextStep("press keys")));
    toKeyTest.push_back(Key(key1));
    toKeyTest.push_back(Frame(TextStep("80000001 1")));
    toKeyTest.push_back(Act(Step::Unplug));

    const std::string other = IsX64() ? "x86" : "x64";
    const std::string otherKit = IsX64() ? "win32" : "win64";
    const std::string otherDll = work + "/other/brlwin32.dll";
    const Case cases[] = {
        { "a port with nothing on it", NoDisplay, { "COM10" }, {}, 1,
          { "display: FAILED: COM10 absent, BrlInit(\"COM10\") returned 0 after T seconds",
            "The other steps need a display, so they are left out.",
            "terminate: BrlTerminate returned: ok", "Done in T seconds: 1 step FAILED." },
          true, false },
        // A port Windows does not know; the report's folder is missing, and
        // that status wins over the failed step's.
        { "a report that cannot be written", NoDisplay, { "COM99", "--report", work + "/missing/report.txt" }, {}, 4,
          { "The report cannot be written to " + work + "/missing/report.txt, error 3; the steps are shown here only.",
            "display: FAILED: COM99 absent, BrlInit(\"COM99\") returned 0 after T seconds",
            "The report could not be written to " + WinePrefix::WindowsPath(work + "/missing/report.txt") +
                ", error 3." },
          false, false },
        { "a display that does not answer", Silent, { "COM5" }, {}, 1,
          { "display: FAILED: COM5 no answer, BrlInit(\"COM5\") returned 0 after T seconds",
            "terminate: BrlTerminate returned, COM5 is free: ok" },
          true, false },
        { "the display unplugged in the middle of the key test", Answering, { "COM5", "--hold", "1" }, toKeyTest, 1,
          // Whichever call finds the display gone, BrlTimer's read or
          // BrlRefresh's write, its port is seen to be gone.
          { "key code 0x80000001, argument 0: key index 1",
            "keys: FAILED: COM5 absent after T seconds, with 1 press before",
            "The display's port has gone, so the other steps are left out.",
            "terminate: BrlTerminate returned, and the display should be blank: ok",
            "Done in T seconds: 1 step FAILED." },
          true, false },
        { "a DLL of the other architecture beside the program", OtherDll, {}, {}, 3,
          { "DLL: FAILED: " + WinePrefix::WindowsPath(otherDll) + ", version " + Version + ", is " + other +
                ", and this program is " + Machine() + ". Windows loads a DLL only into a program of its own "
                "processor: check this DLL with the brlcheck.exe of the " + otherKit + " kit, brlwin32-" + Version +
                "-" + otherKit + ".zip",
            "Done in T seconds: 1 step FAILED." },
          true, false },
        { "Ctrl+C", Answering, { "COM5" }, { Frame(PatternSteps()[0]), Act(Step::Interrupt) }, 130,
          { "interrupted", "Done in T seconds: stopped by Ctrl+C." }, true, true },
        { "an unknown option", NoDisplay, { "--bogus" }, {}, 2, { "brlcheck: unknown option '--bogus'", usage },
          false, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string report = Report();
        std::string exe;
        std::string folder;
        std::vector<std::string> args = c.args;
        if (c.setup == OtherDll) {
            std::string otherBuild = IsX64() ? E2E_BUILD_X86 : E2E_BUILD_X64;
            if (otherBuild.empty()) {
                printf("[ skipped  ] %s: no %s build\n", c.what, other.c_str());
                continue;
            }
            // Run in the program's folder, without --report: the report
            // goes to the current folder.
            std::filesystem::create_directories(work + "/other");
            std::filesystem::copy_file(Exe(), work + "/other/brlcheck.exe",
                                       std::filesystem::copy_options::overwrite_existing);
            std::filesystem::copy_file(otherBuild + "/brlwin32.dll", otherDll,
                                       std::filesystem::copy_options::overwrite_existing);
            exe = work + "/other/brlcheck.exe";
            folder = work + "/other";
            report = folder + "/brlcheck-report.txt";
        } else if (std::find(args.begin(), args.end(), "--report") == args.end()) {
            args.insert(args.begin(), { "--report", report });
        }
        std::filesystem::remove(report);
        if (c.setup == Silent || c.setup == Answering) {
            StartDisplay(TextCells, FullReply(TextCells));
            display->Change([&](DisplaySimulator& s) { s.SetAnswerQueries(c.setup == Answering); });
        }

        EXPECT_EQ(c.exit, Run(args, c.steps, exe, folder));
        auto console = Console();
        size_t at = 0;
        for (const auto& line : c.lines) {
            while (at < console.size() && console[at] != line)
                ++at;
            EXPECT_LT(at, console.size()) << "expected the line '" << line << "' in order, got:\n" << Joined(console);
        }
        if (!c.report) {
            EXPECT_FALSE(std::filesystem::exists(report)) << "expected no report";
        } else {
            auto lines = ReportLines(report);
            for (const auto& line : Results(c.lines)) {
                EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), line))
                    << "expected '" << line << "' in the report, got:\n" << Joined(lines);
            }
            EXPECT_EQ("command line: ", lines.empty() ? "" : lines.back().substr(0, 14));
        }
        if (c.endsBlank) {
            EXPECT_EQ(Describe(Blank(5 + TextCells)), Describe(EndCells())) << "expected the display let go blank";
        }
        display.reset();
    }
}

} // namespace
} // namespace e2e
