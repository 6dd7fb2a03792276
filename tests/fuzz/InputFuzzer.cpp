// Arbitrary bytes from the display, through BrlTimer's poll in chunks or
// straight into ProcessInputByte. A reference reading of the key and
// routing packets, written apart from the driver, says which reports each
// byte must produce; the driver must produce exactly those, in order, each
// with bit 31 set, and its parser must stay in one of its five states.
//
// The input's faults (FuzzSupport.h) may fail, shorten or empty any read,
// refuse the acknowledgement of a line error, or jump the clock: the
// reports still follow the bytes the driver took off the line.
//
// Input: the faults, one mode byte, then the display's bytes (the first
// 256 of them).
//   mode bit 0   0: through BrlTimer, 1: straight into ProcessInputByte
//   mode bit 1   (straight) pass the byte sign-extended, so only its low
//                8 bits may count
//   mode bits 2-7 (through BrlTimer) bytes put on the line per poll - 1
#include <algorithm>

#include "FuzzSupport.h"

namespace {

using namespace fuzz;

void CheckReports(const EscProtocolDriver& driver, const std::vector<KeyReport>& expected, size_t fed,
                  size_t& checked)
{
    FUZZ_CHECK(driver.parserState >= 0 && driver.parserState <= 4,
               "parser state " + std::to_string(driver.parserState) + " after " + std::to_string(fed) + " bytes");
    const auto& got = Reports();
    for (size_t i = checked; i < got.size(); ++i)
        FUZZ_CHECK((got[i].code & 0x80000000u) != 0, "key code " + std::to_string(got[i].code) + " without bit 31");
    if (got.size() == expected.size() && std::equal(got.begin() + static_cast<long>(checked), got.end(),
                                                    expected.begin() + static_cast<long>(checked))) {
        checked = got.size();
        return;
    }
    std::string detail = "after " + std::to_string(fed) + " bytes: expected " + std::to_string(expected.size()) +
                         " reports, got " + std::to_string(got.size());
    size_t n = std::min(got.size(), expected.size());
    for (size_t i = 0; i < n; ++i) {
        if (!(got[i] == expected[i])) {
            detail += "; report " + std::to_string(i) + ": expected " + std::to_string(expected[i].code) + "/" +
                      std::to_string(expected[i].argument) + ", got " + std::to_string(got[i].code) + "/" +
                      std::to_string(got[i].argument);
            break;
        }
    }
    FUZZ_CHECK(false, detail);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    Session session(in);
    uint8_t mode = in.Byte();
    // The parser's state is a packet's worth of bytes and a flag, and a
    // poll reads 80 bytes at most: 256 bytes are 64 key packets and more
    // than three full polls. Past that an input shows nothing new, and at
    // one byte a poll every byte more is a BrlTimer more: a kilobyte held
    // the target under 6,000 inputs a second, a quarter of one doubles it.
    Bytes line = in.Take(std::min<size_t>(in.Left(), 256));

    EscProtocolDriver& driver = session.Driver();
    KeyReference reference;
    std::vector<KeyReport> expected;
    size_t checked = 0;

    if (mode & 1) {
        driver.keyCallback = RecordReport;
        for (size_t i = 0; i < line.size(); ++i) {
            int value = (mode & 2) ? static_cast<int>(static_cast<int8_t>(line[i])) : line[i];
            driver.ProcessInputByte(value);
            reference.Feed(line[i], expected);
            CheckReports(driver, expected, i + 1, checked);
        }
        return 0;
    }

    FakeDevice& device = session.Double().AddDevice("COM1");
    win32double::AnswerQueryWith(device, FullReply(0x01));
    if (BrlInit("COM1:38400,n,8,1", RecordReport) != 0x0528) {
        FUZZ_CHECK(session.Faults().Faulted(), "no display to fuzz against");
        return 0;
    }
    // What a fault kept of the reply is not the display's to send.
    device.toHost.clear();
    size_t perPoll = static_cast<size_t>(mode >> 2) + 1;
    size_t sent = 0, fed = 0;
    // A poll that takes nothing only where a fault kept the bytes back;
    // the device may have gone, and then the driver seeks it again.
    for (int idle = 0; fed < line.size() && idle < 8;) {
        size_t n = std::min(perPoll, line.size() - sent);
        device.toHost.insert(device.toHost.end(), line.begin() + static_cast<long>(sent),
                             line.begin() + static_cast<long>(sent + n));
        sent += n;
        size_t waiting = device.toHost.size();
        int faults = session.Faults().Faults();
        session.Timed("BrlTimer", BrlTimer);
        size_t taken = waiting - device.toHost.size();
        FUZZ_CHECK(taken <= 80, "a poll took " + std::to_string(taken) + " bytes");
        FUZZ_CHECK(taken > 0 || waiting == 0 || session.Faults().Faults() != faults || driver.port == nullptr,
                   "a poll took nothing of " + std::to_string(waiting) + " waiting");
        idle = taken > 0 ? 0 : idle + 1;
        for (size_t i = 0; i < taken; ++i)
            reference.Feed(line[fed + i], expected);
        fed += taken;
        CheckReports(driver, expected, fed, checked);
    }
    return 0;
}
