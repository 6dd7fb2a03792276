// A long session with the real DLL under Wine: the host shows thousands of
// updates while the display sends key and routing packets. Every packet
// reaches the callback once, in order; every change of the cells reaches
// the display as one well-formed packet; the display ends showing the
// host's last cells.
//
// Size: BRLWIN32_SOAK_UPDATES (default 10000) display updates and
// BRLWIN32_SOAK_PACKETS (default 2000) packets from the display.
#include <atomic>
#include <cstdlib>
#include <random>
#include <thread>

#include "E2eSupport.h"

namespace e2e {
namespace {

int FromEnvironment(const char* name, int fallback)
{
    const char* value = std::getenv(name);
    int n = value ? std::atoi(value) : 0;
    return n > 0 ? n : fallback;
}

// The host's soak command draws its cells from this (see e2ehost.c).
class HostCells {
public:
    explicit HostCells(uint32_t seed) : state(seed ? seed : 1) {}
    uint32_t Next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    // The text the next display call shows (count cells, the rest blank).
    const Bytes& Update(int textCells)
    {
        if (Next() % 8 != 0) {
            size_t count = Next() % static_cast<uint32_t>(textCells + 1);
            cells.assign(count, 0);
            for (auto& c : cells)
                c = static_cast<uint8_t>(Next());
        }
        text.assign(static_cast<size_t>(textCells), 0);
        std::copy(cells.begin(), cells.end(), text.begin());
        return text;
    }

private:
    uint32_t state;
    Bytes cells;
    Bytes text;
};

class SoakE2eTest : public E2eTest {};

TEST_F(SoakE2eTest, EveryPacketReachesTheHostOnceInOrderAndTheDisplayEndsWithTheLastCells)
{
    const int updates = FromEnvironment("BRLWIN32_SOAK_UPDATES", 10000);
    const int packets = FromEnvironment("BRLWIN32_SOAK_PACKETS", 2000);
    const int textCells = 40;
    const uint32_t seed = 20240601;
    const int timerEvery = 5;

    InitReady(textCells);
    size_t messagesBefore = display->With([](const DisplaySimulator& s) { return s.Messages().size(); });

    // The packets the display will send and what the host must hear.
    std::mt19937 random(seed);
    std::vector<Bytes> line;
    std::vector<std::string> expected;
    while (static_cast<int>(line.size()) < packets) {
        Bytes p = random() % 2 ? Bytes{ 0x1B, 'K', static_cast<uint8_t>(random() % 64), static_cast<uint8_t>(random() % 32) }
                               : Bytes{ 0x1B, 'C', static_cast<uint8_t>(random()) };
        std::string report = KeyReport(p);
        if (report.empty())
            continue;
        line.push_back(p);
        expected.push_back(report);
    }

    // The cells the host will show and how many packets the changes take.
    HostCells cells(seed);
    Bytes last(static_cast<size_t>(textCells), 0);
    int changes = 0;
    for (int i = 0; i < updates; ++i) {
        const Bytes& text = cells.Update(textCells);
        changes += text != last;
        last = text;
    }

    // The display sends while the host displays: a packet whenever the
    // line has room, as a real display paces itself.
    std::atomic<bool> stop{ false };
    std::thread sender([&] {
        for (const auto& p : line) {
            while (!stop && display->Pending() > 32)
                usleep(200);
            if (stop)
                return;
            display->SendNow(p);
        }
    });
    char command[96];
    snprintf(command, sizeof command, "soak %d %u %d %d", updates, seed, textCells, timerEvery);
    auto soak = Do(command, 600000);
    std::vector<std::string> heard = soak.keys;
    auto rest = Do("timer-until " + std::to_string(packets - static_cast<int>(heard.size())) + " 30000", 60000);
    heard.insert(heard.end(), rest.keys.begin(), rest.keys.end());
    stop = true;
    sender.join();

    EXPECT_EQ(updates, soak.result) << "expected every BrlDisplay to succeed";
    ASSERT_EQ(expected.size(), heard.size()) << "expected one call per packet";
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(expected[i], heard[i]) << "call " << i << " for packet " << Hex(line[i]);
    EXPECT_TRUE(Do("timer").keys.empty()) << "no call beyond the packets sent";

    Bytes final(5, 0);
    final.insert(final.end(), last.begin(), last.end());
    EXPECT_TRUE(display->WaitFor([&](const DisplaySimulator& s) { return s.Cells() == final; }, 10000))
        << "expected the display to end with " << Hex(final) << ", got "
        << Hex(display->With([](const DisplaySimulator& s) { return s.Cells(); }));
    auto counts = display->With([&](const DisplaySimulator& s) {
        int cellPackets = 0, malformed = 0;
        for (size_t i = messagesBefore; i < s.Messages().size(); ++i) {
            cellPackets += s.Messages()[i].kind == HostStreamDecoder::Message::Cells;
            malformed += s.Messages()[i].kind == HostStreamDecoder::Message::Malformed;
        }
        return std::make_pair(cellPackets, malformed);
    });
    EXPECT_EQ(changes, counts.first) << "expected one packet per change of the cells";
    EXPECT_EQ(0, counts.second) << "expected no malformed message";
}

} // namespace
} // namespace e2e
