#include "HostSession.h"

#include <algorithm>

namespace hostsession {

namespace {

const int StatusCells = 5;

// Small and fully determined by the seed, unlike std::rand.
class Lcg {
public:
    explicit Lcg(uint32_t seed) : state(seed ? seed : 1) {}
    uint32_t Next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }

private:
    uint32_t state;
};

uint8_t RandomCell(Lcg& rng)
{
    // Now and then the one cell whose wire byte is ESC, so that doubling
    // is part of the cost.
    return rng.Below(12) == 0 ? 0xC3 : static_cast<uint8_t>(rng.Next());
}

std::vector<uint8_t> RandomLine(Lcg& rng, int textCells)
{
    std::vector<uint8_t> line(static_cast<size_t>(rng.Below(textCells + 1)));
    for (auto& c : line)
        c = RandomCell(rng);
    return line;
}

// The wire byte of a host cell: bits 0, 1, 2 and 5 stay, 3 goes to 7,
// 4 to 6, 6 to 3 and 7 to 4.
uint8_t WireByte(uint8_t c)
{
    return static_cast<uint8_t>((c & 0x27) | ((c & 0x08) << 4) | ((c & 0x10) << 2) | ((c & 0x40) >> 3) |
                                ((c & 0x80) >> 3));
}

} // namespace

std::vector<HostCall> RecordedSession(int updates, int textCells, uint32_t seed)
{
    Lcg rng(seed);
    std::vector<HostCall> session;
    std::vector<std::vector<uint8_t>> lines; // earlier lines, for scrolling back
    std::vector<uint8_t> line;
    std::vector<uint8_t> status;
    while (static_cast<int>(session.size()) < updates) {
        int pick = rng.Below(100);
        if (pick < 40) {
            // The reader redraws on every timer tick: the same line again.
            session.push_back({ HostCall::Display, line });
        } else if (pick < 60) {
            // Typing or a moving cursor: a few cells change.
            if (line.empty())
                line.push_back(0);
            int changes = 1 + rng.Below(3);
            for (int i = 0; i < changes; ++i)
                line[static_cast<size_t>(rng.Below(static_cast<int>(line.size())))] = RandomCell(rng);
            session.push_back({ HostCall::Display, line });
        } else if (pick < 72) {
            lines.push_back(line);
            line = RandomLine(rng, textCells);
            session.push_back({ HostCall::Display, line });
        } else if (pick < 80 && !lines.empty()) {
            line = lines[static_cast<size_t>(rng.Below(static_cast<int>(lines.size())))];
            session.push_back({ HostCall::Display, line });
        } else if (pick < 95) {
            // Status cells mostly stay as they were.
            if (rng.Below(2) == 0) {
                status.assign(static_cast<size_t>(rng.Below(StatusCells + 1)), 0);
                for (auto& c : status)
                    c = RandomCell(rng);
            }
            session.push_back({ HostCall::DisplayStatus, status });
        } else {
            session.push_back({ HostCall::Clear, {} });
            line.clear();
            status.clear();
        }
    }
    return session;
}

WireCost WireMinimum(const std::vector<HostCall>& session, int textCells)
{
    const size_t total = static_cast<size_t>(StatusCells + textCells);
    std::vector<uint8_t> last(total, 0); // nothing shown yet: a blank buffer
    WireCost cost;
    for (const auto& call : session) {
        std::vector<uint8_t> next = last;
        switch (call.kind) {
        case HostCall::Display:
            std::fill(next.begin() + StatusCells, next.end(), 0);
            std::copy(call.cells.begin(), call.cells.end(), next.begin() + StatusCells);
            break;
        case HostCall::DisplayStatus:
            std::fill(next.begin(), next.begin() + StatusCells, 0);
            std::copy(call.cells.begin(), call.cells.end(), next.begin());
            break;
        case HostCall::Clear:
            std::fill(next.begin(), next.end(), 0);
            break;
        }
        if (next == last) {
            ++cost.repeats;
            continue;
        }
        ++cost.packets;
        cost.bytes += 2;
        for (uint8_t c : next)
            cost.bytes += WireByte(c) == 0x1B ? 2 : 1;
        cost.shown.push_back(next);
        last = next;
    }
    return cost;
}

} // namespace hostsession
