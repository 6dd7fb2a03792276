// The parallel port, LPT1, on both Windows families. On 95/98 the driver
// drives the port's registers: a simulated display (ParallelPortDouble)
// latches each strobed byte and hands its own bytes over in nibbles, and
// the input may answer any IN with any bits at any moment. On NT the kernel
// device carries the bytes, and no IN or OUT may happen at all.
//
// Checked, until the input first answers an IN itself or a fault strikes
// (the display's handshake is then the input's, not a display's):
//   - identification gives the model of the display's reply;
//   - the latched bytes decode as well-formed messages, and after a display
//     call the display shows the driver's cells;
//   - the keys reported are exactly those of a reference reading of the
//     bytes the display handed over.
// Always: identification ends within its 2000 ms (the double's clock moves
// a step of the input's choosing at each status read or ReadFile), a poll takes at most 80 bytes in one pass of the
// status lines, a packet goes out without a look at them, no call holds
// the host longer than the time-outs allow, and the parser stays in its
// five states.
//
// Input: the faults (FuzzSupport.h), one set-up byte, then steps.
//   set-up  bit 0: NT family; bits 1-2: the model code (20, 40, 80 cells,
//           none); bits 3-5: the clock's step (Steps below)
//   step    op byte, op % 4:
//             0  the display sends (next byte % 24) bytes, then BrlTimer
//             1  BrlDisplay of (next byte % 100) cells from the input
//             2  the next (next byte % 32) INs answer with input bytes
//             3  BrlTerminate, and BrlInit again
#include <algorithm>

#include "FuzzSupport.h"
#include "HostStreamDecoder.h"
#include "ParallelPortDouble.h"

namespace {

using namespace fuzz;
using paralleldouble::Access;
using paralleldouble::ParallelPortDouble;

class RegisterRun {
public:
    explicit RegisterRun(FuzzInput& in) : in(in), session(in), port(ParallelPortDouble::Get()) {}

    void Go()
    {
        uint8_t setup = in.Byte();
        static const uint8_t codes[] = { 0x00, 0x01, 0x02, 0x05 };
        reply = FullReply(codes[(setup >> 1) & 3]);
        bool nt = (setup & 1) != 0;
        session.Double().platformId = nt ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS;
        // A silent display's window ends in 2000 / step reads: a step of
        // 1 ms would cost the fuzzer thousands of calls an input.
        static const uint32_t steps[] = { 50, 16, 100, 250, 500, 1000, 25, 10 };
        step = steps[(setup >> 3) & 7];
        port.msPerTick = step;
        port.keepAccesses = nt; // the NT family may make none
        device = &session.Double().AddDevice("\\\\.\\QZPAR1");
        device->msPerRead = step;
        device->onWrite = [this](FakeDevice&, const Bytes& bytes) {
            for (uint8_t b : bytes)
                Latched(b);
        };
        port.onByte = [this](uint8_t b) { Latched(b); };
        port.answerIn = [this](uint16_t reg, uint8_t value) { return Answer(reg, value); };

        Init();
        for (int step = 0; step < 64 && !in.Empty(); ++step) {
            uint8_t op = in.Byte();
            switch (op % 4) {
            case 0: Poll(); break;
            case 1: Display(); break;
            case 2: forced += in.Byte() % 32; break;
            default:
                BrlTerminate();
                Init();
                break;
            }
            FUZZ_CHECK(D().parserState >= 0 && D().parserState <= 4, "parser state");
        }
        BrlTerminate();
        if (nt)
            FUZZ_CHECK(port.accesses.empty(), "the NT family saw " + paralleldouble::Describe(port.accesses));
    }

private:
    EscProtocolDriver& D() { return session.Driver(); }
    DWORD Now() { return session.Double().clock.Now(); }
    bool Trusted() { return !answered && !session.Faults().Faulted(); }

    uint8_t Answer(uint16_t reg, uint8_t value)
    {
        if (forced == 0)
            return value;
        forced--;
        answered = true;
        (void)reg;
        return in.Byte();
    }

    void Latched(uint8_t byte)
    {
        decoder.Feed(&byte, 1, messages);
        for (const auto& m : messages) {
            if (!Trusted())
                continue;
            FUZZ_CHECK(m.kind != HostStreamDecoder::Message::Malformed, m.Describe(D().statusCells));
            if (m.kind == HostStreamDecoder::Message::Query) {
                if (session.Double().platformId == VER_PLATFORM_WIN32_NT)
                    device->Send(reply);
                else
                    port.Send(reply);
            }
            if (m.kind == HostStreamDecoder::Message::Cells)
                shown = m.cells;
        }
        messages.clear();
    }

    void Init()
    {
        decoder = HostStreamDecoder(0);
        // The identification window, the last pass's status reads (a ready
        // test and 15 bytes of four), and what the faults add on the NT
        // family.
        session.Faults().StartCall();
        DWORD start = Now();
        int result = BrlInit("LPT1", RecordReport);
        DWORD took = Now() - start - session.Faults().Jumped();
        FUZZ_CHECK(took <= 2000 + 4 * 16 * step + session.Faults().Allowed(),
                   "identification took " + std::to_string(took) + " ms");
        int expected = reply[1] == 0x05 ? 0 : reply[1] == 0x00 ? 0x0514 : reply[1] == 0x01 ? 0x0528 : 0x0550;
        if (Trusted() && !session.Faults().Faulted())
            FUZZ_CHECK(result == expected, "BrlInit returned " + std::to_string(result) + ", not " +
                                               std::to_string(expected));
        decoder.SetCellCount(D().statusCells + D().textCells);
        shown.clear();
    }

    void Poll()
    {
        Bytes sent = in.Take(in.Byte() % 24);
        std::deque<uint8_t>& queue = session.Double().platformId == VER_PLATFORM_WIN32_NT ? device->toHost
                                                                                         : port.toHost;
        queue.insert(queue.end(), sent.begin(), sent.end());
        line.insert(line.end(), sent.begin(), sent.end());
        size_t waiting = queue.size();
        int reads = port.statusReads;
        session.Timed("BrlTimer", BrlTimer);
        // One pass: a ready test and a byte of three status reads at most,
        // 80 bytes at most, and the test that ends it.
        FUZZ_CHECK(port.statusReads - reads <= 4 * 80 + 1,
                   "a poll read the status " + std::to_string(port.statusReads - reads) + " times");
        size_t taken = waiting - std::min(waiting, queue.size());
        // A forced IN of the control register makes the driver write back
        // control bits the port never had, and an Init edge among them is
        // the display's cue to hand over a byte: only a port that answers
        // truly is held to what the driver reads.
        if (!Trusted())
            return;
        FUZZ_CHECK(taken <= 80, "a poll took " + std::to_string(taken) + " bytes");
        for (size_t i = 0; i < taken; ++i)
            reference.Feed(line[fed++], expected);
        FUZZ_CHECK(Reports() == expected, "after " + std::to_string(fed) + " bytes: " +
                                              std::to_string(Reports().size()) + " reports, expected " +
                                              std::to_string(expected.size()));
    }

    void Display()
    {
        Bytes cells = in.Take(in.Byte() % 100);
        int reads = port.statusReads;
        int r = session.Timed("BrlDisplay", [&] { return BrlDisplay(cells.data(), static_cast<int>(cells.size())); });
        FUZZ_CHECK(r == 0 || r == 1, "BrlDisplay returned " + std::to_string(r));
        FUZZ_CHECK(port.statusReads == reads, "a packet on the registers waited for the status lines");
        if (!Trusted() || D().port == nullptr)
            return;
        Bytes want(D().cells, D().cells + D().statusCells + D().textCells);
        bool blank = std::all_of(want.begin(), want.end(), [](uint8_t c) { return c == 0; });
        FUZZ_CHECK(shown == want || (shown.empty() && blank),
                   "the display shows " + Hex(shown) + ", the driver holds " + Hex(want));
    }

    FuzzInput& in;
    Session session;
    ParallelPortDouble& port;
    FakeDevice* device = nullptr; // the kernel device of the NT family
    Bytes reply;
    HostStreamDecoder decoder;
    std::vector<HostStreamDecoder::Message> messages;
    Bytes shown;
    uint32_t step = 1; // ms the clock moves a status read or ReadFile
    int forced = 0;
    bool answered = false;
    // What the display handed over, and the reports it must give.
    Bytes line;
    size_t fed = 0;
    KeyReference reference;
    std::vector<KeyReport> expected;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    RegisterRun run(in);
    run.Go();
    return 0;
}
