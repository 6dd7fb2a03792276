#include "CommandLine.h"

#include "Text.h"

namespace {

enum { MaxArguments = 64, StorageSize = 32768 + MaxArguments };

// A command line is at most 32767 characters, and the split form is never
// longer than the line it came from and a terminator per argument; a
// longer one is cut rather than written past the end.
char storage[StorageSize];
int used;
const char* arguments[MaxArguments];

void Put(char c)
{
    if (used < StorageSize - 1)
        storage[used++] = c;
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// The C runtime's rules: white space separates arguments unless quoted; a
// quote preceded by 2n backslashes gives n backslashes and opens or closes
// a quotation, one preceded by 2n + 1 gives n backslashes and a quote;
// other backslashes stand for themselves. The program's name is taken up to
// the first white space, or between quotes, with no backslash rules.
// Returns the count of arguments after the name, or -1 when there are more
// than MaxArguments, which no use of the program has.
int Split(const char* line)
{
    int count = 0;
    used = 0;
    const char* p = line;
    if (*p == '"') {
        for (++p; *p != '\0' && *p != '"'; ++p) {
        }
        if (*p == '"')
            ++p;
    } else {
        while (*p != '\0' && !IsSpace(*p))
            ++p;
    }
    for (;;) {
        while (IsSpace(*p))
            ++p;
        if (*p == '\0')
            return count;
        if (count == MaxArguments)
            return -1;
        arguments[count++] = storage + used;
        bool quoted = false;
        while (*p != '\0' && (quoted || !IsSpace(*p))) {
            int backslashes = 0;
            while (*p == '\\') {
                ++backslashes;
                ++p;
            }
            if (*p == '"') {
                for (int i = 0; i < backslashes / 2; ++i)
                    Put('\\');
                if (backslashes % 2 == 1)
                    Put('"');
                else
                    quoted = !quoted;
                ++p;
            } else {
                for (int i = 0; i < backslashes; ++i)
                    Put('\\');
                if (*p != '\0' && (quoted || !IsSpace(*p)))
                    Put(*p++);
            }
        }
        Put('\0');
        storage[used] = '\0';
    }
}

bool Equal(const char* a, const char* b)
{
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

bool Seconds(const char* text, unsigned& seconds)
{
    unsigned value = 0;
    if (*text == '\0')
        return false;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9')
            return false;
        value = value * 10 + (unsigned)(*text - '0');
        if (value > MaxSeconds)
            return false;
    }
    seconds = value;
    return true;
}

} // namespace

const char* const UsageText[] = {
    "usage: brlcheck [PORT] [--dll PATH] [--report PATH] [--hold SECONDS] [--keys SECONDS] [--unplug]",
    "Checks a braille display through brlwin32.dll, one step at a time, and writes what it saw to a report.",
    "  PORT            the display's port, such as COM3, COM12 or LPT1; without it, every serial port is tried in turn",
    "  --dll PATH      the brlwin32.dll to check; without it, the one in brlcheck's own folder",
    "  --report PATH   where the report goes; without it, brlcheck-report.txt in the current folder",
    "  --hold SECONDS  how long each pattern stays up when no display key is pressed; 30 without it",
    "  --keys SECONDS  how long the key test lasts; 30 without it, 0 skips it",
    "  --unplug        also check that the display comes back after its cable is pulled out and plugged in",
    "SECONDS is a whole number from 0 to 86400.",
    "Exit status: 0 every step passed; 1 a step failed or no display was found; 2 bad usage;",
    "3 the DLL is missing, cannot be loaded or is for another processor; 4 the report cannot be written; 130 Ctrl+C.",
    0,
};

bool ParseCommandLine(const char* commandLine, CheckOptions& options, Text& error)
{
    options.port = 0;
    options.dll = 0;
    options.report = "brlcheck-report.txt";
    options.holdSeconds = 30;
    options.keySeconds = 30;
    options.unplug = false;

    int count = Split(commandLine);
    if (count < 0) {
        error.Add("brlcheck: too many arguments");
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const char* argument = arguments[i];
        if (argument[0] != '-') {
            if (options.port != 0) {
                error.Add("brlcheck: one port at a time: '").Add(argument).Add("' is an extra argument");
                return false;
            }
            options.port = argument;
            continue;
        }
        if (Equal(argument, "--unplug")) {
            options.unplug = true;
            continue;
        }
        bool isPath = Equal(argument, "--dll") || Equal(argument, "--report");
        bool isSeconds = Equal(argument, "--hold") || Equal(argument, "--keys");
        if (!isPath && !isSeconds) {
            error.Add("brlcheck: unknown option '").Add(argument).Add("'");
            return false;
        }
        // An option right after it is taken for a forgotten value, not for
        // a file named like an option.
        if (i + 1 == count || (arguments[i + 1][0] == '-' && arguments[i + 1][1] == '-')) {
            error.Add("brlcheck: ").Add(argument).Add(isPath ? " needs a path" : " needs a number of seconds");
            return false;
        }
        const char* value = arguments[++i];
        if (Equal(argument, "--dll")) {
            options.dll = value;
        } else if (Equal(argument, "--report")) {
            options.report = value;
        } else if (!Seconds(value, Equal(argument, "--hold") ? options.holdSeconds : options.keySeconds)) {
            error.Add("brlcheck: ").Add(argument).Add(" takes a whole number of seconds from 0 to 86400, not '")
                .Add(value).Add("'");
            return false;
        }
    }
    return true;
}
