// What the display owner asked for on the command line.
#ifndef BRLCHECK_COMMAND_LINE_H
#define BRLCHECK_COMMAND_LINE_H

class Text;

struct CheckOptions {
    const char* port;      // null: every serial port in turn
    const char* dll;       // null: brlwin32.dll in the program's own folder
    const char* report;    // the report file
    unsigned holdSeconds;  // how long a pattern stays without a key
    unsigned keySeconds;   // how long the key test lasts; 0 skips it
    bool unplug;           // whether to test pulling the cable
};

enum { MaxSeconds = 86400 };

// Splits a Windows command line as the C runtime splits it for main() and
// reads the options from it. On false, error says what is wrong; the
// caller prints it with UsageText. The strings of options stay valid for
// the life of the process.
bool ParseCommandLine(const char* commandLine, CheckOptions& options, Text& error);

// The usage, one line per string, ending in a null.
extern const char* const UsageText[];

#endif
