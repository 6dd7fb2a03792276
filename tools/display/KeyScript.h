#ifndef BRLDISPLAY_KEY_SCRIPT_H
#define BRLDISPLAY_KEY_SCRIPT_H

#include <cstdint>
#include <string>
#include <vector>

// A key script: what the display sends and when, one line per step. Steps
// run in order; each waits for its trigger, which is looked at only once the
// step before it has run.
//
//   at <ms> ACTION                 <ms> after the display started
//   after <ms> ACTION              <ms> after the step before
//   after-cells <n> [+<ms>] ACTION when n cell packets have come (and <ms> more)
//   after-change <n> [+<ms>] ACTION when the cells shown have changed n times
//   after-query <n> [+<ms>] ACTION when n model queries have come
//
//   ACTION: key k1=<hex> k2=<hex> | press <keyboard letters> |
//           route <text cell> | route-status <status cell> |
//           raw <hex bytes> | quit
// '#' starts a comment; blank lines are skipped.
class KeyScript {
public:
    struct Step {
        enum Trigger { At, After, AfterCells, AfterChange, AfterQuery } trigger = At;
        int count = 0;   // AfterCells, AfterChange, AfterQuery
        int delayMs = 0; // At: the time; After and the others: the extra wait
        bool quit = false;
        std::vector<uint8_t> bytes; // what to send
        int line = 0;
        std::string text;
    };

    // What the display has seen so far, for the triggers.
    struct Progress {
        long nowMs = 0;
        int cellPackets = 0;
        // Packets that changed the cells: a host that refreshes the same
        // cells now and then sends packets at times of its own.
        int cellChanges = 0;
        int queries = 0;
    };

    // Reads a whole script; on failure error says which line and why.
    bool Parse(const std::string& script, int textCells, std::string& error);
    const std::vector<Step>& Steps() const { return steps; }

    // The next step whose time has come, or null. Call it again until null.
    const Step* Due(const Progress& progress);
    bool Done() const { return next >= steps.size(); }

private:
    bool ParseLine(const std::string& line, int textCells, Step& step, std::string& error);

    std::vector<Step> steps;
    size_t next = 0;
    long lastRanMs = 0;
    long metMs = -1; // when the current step's event happened
};

#endif
