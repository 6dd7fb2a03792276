// brlcheck's reading of its command line, on the mistakes a display owner
// makes: each is refused with the line that says what is wrong. What the
// program adds to a refused command line, the usage after that line, exit
// status 2 and no report, is the same for every one of them and is seen
// under Wine, on an unknown option (CheckE2eTest).
#include <gtest/gtest.h>

#include <string>

#include "CommandLine.h"
#include "Text.h"

namespace {

TEST(BrlcheckCommandLineTest, BadUsageIsRefusedWithTheLineThatSaysWhat)
{
    struct Case {
        const char* what;
        const char* commandLine;
        const char* line;
    };
    // As Wine hands them over in the end-to-end test: the program's quoted
    // path, the report's place, then the display owner's arguments.
    const Case cases[] = {
        { "an option without its value", "\"C:\\kit\\bin\\brlcheck.exe\" --report report.txt COM5 --hold",
          "brlcheck: --hold needs a number of seconds" },
        { "a value that is not a number", "\"C:\\kit\\bin\\brlcheck.exe\" --report report.txt --keys soon",
          "brlcheck: --keys takes a whole number of seconds from 0 to 86400, not 'soon'" },
        { "an extra argument", "\"C:\\kit\\bin\\brlcheck.exe\" --report report.txt COM5 COM6",
          "brlcheck: one port at a time: 'COM6' is an extra argument" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CheckOptions options;
        Text error;
        EXPECT_FALSE(ParseCommandLine(c.commandLine, options, error));
        EXPECT_EQ(std::string(c.line), error.Chars());
    }
}

} // namespace
