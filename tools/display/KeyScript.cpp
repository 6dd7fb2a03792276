#include "KeyScript.h"

#include <sstream>

#include "DisplaySimulator.h"
#include "KeyMap.h"

namespace {
bool Number(const std::string& s, int& out, int base = 10)
{
    if (s.empty())
        return false;
    size_t used = 0;
    try {
        long v = std::stol(s, &used, base);
        if (used != s.size() || v < 0 || v > 100000000)
            return false;
        out = static_cast<int>(v);
    } catch (...) {
        return false;
    }
    return true;
}

bool HexByte(const std::string& s, uint8_t& out)
{
    int v = 0;
    if (s.size() > 2 || !Number(s, v, 16) || v > 255)
        return false;
    out = static_cast<uint8_t>(v);
    return true;
}
} // namespace

bool KeyScript::ParseLine(const std::string& line, int textCells, Step& step, std::string& error)
{
    std::istringstream in(line);
    std::string word, arg;
    in >> word;
    if (word == "at" || word == "after") {
        step.trigger = word == "at" ? Step::At : Step::After;
        if (!(in >> arg) || !Number(arg, step.delayMs))
            return error = "expected a time in ms after '" + word + "'", false;
    } else if (word == "after-cells" || word == "after-change" || word == "after-query") {
        step.trigger = word == "after-cells"    ? Step::AfterCells
                       : word == "after-change" ? Step::AfterChange
                                                : Step::AfterQuery;
        if (!(in >> arg) || !Number(arg, step.count) || step.count < 1)
            return error = "expected a count of 1 or more after '" + word + "'", false;
        std::streampos here = in.tellg();
        if (in >> arg && arg[0] == '+') {
            if (!Number(arg.substr(1), step.delayMs))
                return error = "bad delay '" + arg + "'", false;
        } else {
            in.clear();
            in.seekg(here);
        }
    } else {
        return error = "unknown trigger '" + word + "'", false;
    }

    std::string action;
    if (!(in >> action))
        return error = "missing action", false;
    std::vector<std::string> args;
    while (in >> arg)
        args.push_back(arg);

    if (action == "quit") {
        step.quit = true;
    } else if (action == "key") {
        uint8_t k1 = 0, k2 = 0;
        if (args.size() != 2 || args[0].rfind("k1=", 0) != 0 || args[1].rfind("k2=", 0) != 0 ||
            !HexByte(args[0].substr(3), k1) || !HexByte(args[1].substr(3), k2))
            return error = "expected 'key k1=<hex> k2=<hex>'", false;
        step.bytes = DisplaySimulator::KeyPacket(k1, k2);
    } else if (action == "press") {
        uint8_t k1 = 0, k2 = 0;
        if (args.size() != 1)
            return error = "expected 'press <keys>', for example 'press q5'", false;
        for (char c : args[0]) {
            bool firstByte = false;
            uint8_t mask = 0;
            if (!KeyMap::KeyBit(c, firstByte, mask))
                return error = std::string("no key '") + c + "' (keys are 1-5 and q w e r t y)", false;
            if (firstByte)
                k1 = static_cast<uint8_t>(k1 | mask);
            else
                k2 = static_cast<uint8_t>(k2 | mask);
        }
        step.bytes = DisplaySimulator::KeyPacket(k1, k2);
    } else if (action == "route" || action == "route-status") {
        int cell = 0;
        int last = action == "route" ? textCells : DisplaySimulator::StatusCells;
        if (args.size() != 1 || !Number(args[0], cell) || cell < 1 || cell > last)
            return error = "expected a cell from 1 to " + std::to_string(last) + " after '" + action + "'", false;
        step.bytes = DisplaySimulator::RoutingPacket(action == "route" ? KeyMap::TextRoutingByte(cell)
                                                                        : KeyMap::StatusRoutingByte(cell));
    } else if (action == "raw") {
        if (args.empty())
            return error = "expected hex bytes after 'raw'", false;
        for (const auto& a : args) {
            uint8_t b = 0;
            if (!HexByte(a, b))
                return error = "bad hex byte '" + a + "'", false;
            step.bytes.push_back(b);
        }
    } else {
        return error = "unknown action '" + action + "'", false;
    }
    return true;
}

bool KeyScript::Parse(const std::string& script, int textCells, std::string& error)
{
    steps.clear();
    next = 0;
    std::istringstream in(script);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        Step step;
        step.line = number;
        step.text = line.substr(line.find_first_not_of(" \t"));
        while (!step.text.empty() && (step.text.back() == ' ' || step.text.back() == '\r'))
            step.text.pop_back();
        std::string why;
        if (!ParseLine(line, textCells, step, why)) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
        steps.push_back(step);
    }
    return true;
}

const KeyScript::Step* KeyScript::Due(const Progress& progress)
{
    if (Done())
        return nullptr;
    const Step& step = steps[next];
    long dueMs = -1;
    switch (step.trigger) {
    case Step::At:
        dueMs = step.delayMs;
        break;
    case Step::After:
        dueMs = lastRanMs + step.delayMs;
        break;
    case Step::AfterCells:
    case Step::AfterChange:
    case Step::AfterQuery: {
        int seen = step.trigger == Step::AfterCells    ? progress.cellPackets
                   : step.trigger == Step::AfterChange ? progress.cellChanges
                                                       : progress.queries;
        if (metMs < 0 && seen >= step.count)
            metMs = progress.nowMs;
        if (metMs >= 0)
            dueMs = metMs + step.delayMs;
        break;
    }
    }
    if (dueMs < 0 || progress.nowMs < dueMs)
        return nullptr;
    ++next;
    lastRanMs = progress.nowMs;
    metMs = -1;
    return &step;
}
