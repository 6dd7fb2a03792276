// Arbitrary replies to the model query. Whatever comes back, BrlInit's
// result and the cell counts agree: 0 and 0/0, or one of the three models
// with 5 status cells, exactly as a reference scan of the bytes the driver
// took off the line says; and the line carries the query and the sequence
// after it, nothing else.
//
// The input's faults (FuzzSupport.h) may refuse the open, fail or shorten
// any call: the result still follows the bytes taken, and every write is
// the query or the sequence after it, or the start of one.
//
// Input: the faults, two set-up bytes, then the reply.
//   byte 0  bytes per ReadFile - 1 (low 4 bits); bit 4: the reply is cut in
//           two and the second half arrives late; bits 5-7: milliseconds
//           each ReadFile takes - 1
//   byte 1  when the second half arrives, in 16 ms steps after the query
#include <algorithm>

#include "FuzzSupport.h"

namespace {

using namespace fuzz;

// The model answer: '?' and a model code, anywhere in the bytes read, the
// first hit winning; fewer than 3 bytes read are no answer.
int ReferenceResult(const Bytes& read)
{
    if (read.size() < 3)
        return 0;
    for (size_t i = 0; i + 1 < read.size(); ++i) {
        if (read[i] != '?')
            continue;
        switch (read[i + 1]) {
        case 0x00: case 0x07: return 0x0514;
        case 0x01: case 0x08: return 0x0528;
        case 0x02: case 0x09: return 0x0550;
        default: break;
        }
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    Session session(in);
    uint8_t shape = in.Byte();
    uint8_t delay = in.Byte();
    Bytes reply = in.Take(in.Left());
    bool late = (shape & 0x10) != 0 && reply.size() > 1;
    size_t early = late ? reply.size() / 2 : reply.size();

    EscProtocolDriver& driver = session.Driver();
    FakeDevice& device = session.Double().AddDevice("COM1");
    device.maxReadChunk = (shape & 0x0F) + 1u;
    device.msPerRead = (shape >> 5) + 1u;
    Win32Double& w = session.Double();
    bool asked = false;
    device.onWrite = [&](FakeDevice& d, const Bytes& bytes) {
        if (bytes.size() == 2 && bytes[0] == 0x1B && bytes[1] == 0x3F) {
            asked = true;
            d.Send(Bytes(reply.begin(), reply.begin() + static_cast<long>(early)));
            if (late)
                d.SendAt(w.clock.Now() + 16u * delay, Bytes(reply.begin() + static_cast<long>(early), reply.end()));
        }
    };

    int result = BrlInit("COM1:38400,n,8,1", RecordReport);

    // What the driver took off the line: the reply's first bytes, as many
    // as have left the device.
    size_t delivered = !asked ? 0 : early + (late && device.arrivals.empty() ? reply.size() - early : 0);
    size_t taken = delivered - device.toHost.size();
    FUZZ_CHECK(taken <= 15, "took " + std::to_string(taken) + " bytes of the reply");
    Bytes read(reply.begin(), reply.begin() + static_cast<long>(taken));

    int expected = ReferenceResult(read);
    FUZZ_CHECK(result == expected, "reply " + Hex(read) + ": expected " + std::to_string(expected) + ", got " +
                                       std::to_string(result));
    if (result == 0) {
        FUZZ_CHECK(driver.textCells == 0 && driver.statusCells == 0,
                   "failed identification left counts " + std::to_string(driver.statusCells) + "/" +
                       std::to_string(driver.textCells));
    } else {
        FUZZ_CHECK(driver.statusCells == 5, "status cells " + std::to_string(driver.statusCells));
        FUZZ_CHECK(result == driver.statusCells * 256 + driver.textCells, "result and counts disagree");
    }
    if (!session.Faults().Faulted()) {
        FUZZ_CHECK(Hex(device.written) == "1B 3F 1B 49 00", "on the line: " + Hex(device.written));
        FUZZ_CHECK(driver.port != nullptr && device.isOpen, "the port must stay open after identification");
    }
    for (size_t i = 0; i < device.writes.size(); ++i) {
        const std::string message = i == 0 ? "1B 3F" : "1B 49 00";
        FUZZ_CHECK(i < 2 && !device.writes[i].empty() && message.compare(0, Hex(device.writes[i]).size(),
                                                                          Hex(device.writes[i])) == 0,
                   "write " + std::to_string(i) + ": " + Hex(device.writes[i]));
    }
    FUZZ_CHECK(result == 0 || (driver.port != nullptr && device.isOpen), "identified, but no port held");
    return 0;
}
