// Arbitrary sequences of the eight exports with arbitrary arguments (null
// pointers, negative and huge counts, names of any length, flags of any
// value, faults of the line switched on and off, key callbacks that call
// back in), on the serial line and on the NT family's parallel device,
// against the Win32 double; each BrlInit lets reads take 10 ms to 1 s, and
// an input makes at most one BrlInit("auto") scan of the 256 names. Checked:
//   - no access outside what the host handed over (AddressSanitizer; every
//     cell buffer is allocated at exactly the size the host may promise);
//   - every write on the line is one well-formed message, a cell packet
//     being ESC 'B' and exactly statusCells + textCells cells with every
//     encoded 0x1B doubled, which carries the driver's cells of the moment;
//   - the driver's cells are always what the host last asked for, and after
//     a call that sent a packet, whose last write went out whole and whose
//     cells were all sent, the display shows them;
//   - results are 0 or 1 (BrlInit: 0 or a model's counts), and the driver
//     holds a handle exactly while it holds a port;
//   - with any faults of the input's choosing (FuzzSupport.h), lines that
//     go away and come back, either Windows family: no display call holds
//     the host longer than the time-outs allow; a display reopened by
//     BrlTimer gets exactly one cell packet, and BrlTimer sends one only to
//     a display that missed the last; BrlInit("auto") opens COM ports only,
//     each at most once, in the scan order (ports the system names, then
//     those it names none for, then Bluetooth links; plain on 95/98), and
//     none after the one that answered; BrlTerminate at the end leaves no
//     port open.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <set>

#include "FuzzSupport.h"
#include "HostStreamDecoder.h"
#include "ports/DirectParallelPort.h"

namespace {

using namespace fuzz;

constexpr int BufferSize = 128;

// What the host has asked for, kept by the rules of the exports without
// looking at the driver's buffers.
struct HostModel {
    uint8_t cells[BufferSize] = {};
    int sleeping = 0;

    void Display(int status, int text, const uint8_t* src, int count)
    {
        if (text == 0 || (count > 0 && src == nullptr))
            return;
        std::memset(cells + status, 0, BufferSize - status);
        int n = std::min(count, BufferSize - status);
        if (n > 0)
            std::memcpy(cells + status, src, n);
    }
    void Status(int status, const uint8_t* src, int count)
    {
        int n = std::min(count, status);
        if (n > 0 && src == nullptr)
            return;
        std::memset(cells, 0, status);
        if (n > 0)
            std::memcpy(cells, src, n);
    }
    void Clear(int text)
    {
        if (text != 0)
            std::memset(cells, 0, BufferSize);
    }
};

struct Display {
    Bytes shown;          // decoded cells of the last packet
    int packetsInCall = 0;
    // This step's cells may not have reached the display: a display call
    // returned 0, or BrlSleep or BrlTerminate, which have no failure to
    // report, let the port go without a whole blank packet.
    bool missed = false;
    int deliveredAt = 0;  // the write count when the last whole message went out
    int delivered = 0;    // whole messages, all told
};

class Run {
public:
    explicit Run(FuzzInput& in) : in(in), session(in) {}

    void Go()
    {
        // The serial line, and the parallel device that "LPT1" opens on the
        // NT family.
        com = AddDevice("COM1");
        lpt = AddDevice("\\\\.\\QZPAR1");
        self = this;
        for (int step = 0; step < 64 && !in.Empty(); ++step) {
            display.packetsInCall = 0;
            display.missed = false;
            Step(in.Byte());
            Check();
        }
        BrlTerminate();
        FUZZ_CHECK(session.Double().openHandles == 0 && D().port == nullptr, "BrlTerminate left a port open");
        self = nullptr;
    }

private:
    EscProtocolDriver& D() { return session.Driver(); }
    FakeDevice* AddDevice(const std::string& name)
    {
        FakeDevice* d = &session.Double().AddDevice(name);
        d->onWrite = [this](FakeDevice& device, const Bytes& bytes) { OnWrite(device, bytes); };
        devices.push_back(d);
        return d;
    }
    // The device the driver holds, else the one its port name opens next.
    FakeDevice& Active()
    {
        for (FakeDevice* d : devices)
            if (d->isOpen)
                return *d;
        return (D().portName[0] | 0x20) == 'l' ? *lpt : *com;
    }
    int Total() { return D().statusCells + D().textCells; }
    // LPT1 on the 95/98 family: the register transport, whose packets
    // go out through the simulated port's registers, not the double's line.
    bool OnRegisters() { return dynamic_cast<DirectParallelPort*>(D().port) != nullptr; }

    void OnWrite(FakeDevice& d, const Bytes& bytes)
    {
        // Half a message went out: the display shows something else now.
        if (session.Faults().Last() == Outcome::Short) {
            display.shown.clear();
            return;
        }
        HostStreamDecoder decoder(Total());
        std::vector<HostStreamDecoder::Message> out;
        decoder.Feed(bytes.data(), bytes.size(), out);
        decoder.Finish(out);
        FUZZ_CHECK(out.size() == 1, "one write, " + std::to_string(out.size()) + " messages: " + Hex(bytes));
        const auto& m = out[0];
        display.deliveredAt = session.Faults().Writes();
        display.delivered++;
        FUZZ_CHECK(m.kind != HostStreamDecoder::Message::Malformed, m.Describe(D().statusCells));
        if (m.kind == HostStreamDecoder::Message::Query) {
            if (silent.count(&d) == 0)
                d.Send(reply);
        } else if (m.kind == HostStreamDecoder::Message::Cells) {
            FUZZ_CHECK(Bytes(D().cells, D().cells + m.cells.size()) == m.cells,
                       "packet " + m.Describe(D().statusCells) + " is not the driver's cells " +
                           Hex(D().cells, m.cells.size()));
            display.shown = m.cells;
            display.packetsInCall++;
        }
    }

    // A cell buffer as a host would pass it: null, or exactly as large as
    // what the count lets the driver read (never more than the whole
    // buffer's worth).
    struct Source {
        std::unique_ptr<uint8_t[]> bytes;
        const uint8_t* Get() const { return bytes.get(); }
    };
    Source MakeSource(int count)
    {
        Source s;
        if (in.Byte() % 4 == 0)
            return s;
        size_t n = count <= 0 ? 1 : static_cast<size_t>(std::min(count, BufferSize));
        s.bytes.reset(new uint8_t[n]);
        Bytes fill = in.Take(n);
        for (size_t i = 0; i < n; ++i)
            s.bytes[i] = i < fill.size() ? fill[i] : static_cast<uint8_t>(0xC3 ^ i);
        return s;
    }

    void ExpectBool(int result, const char* what)
    {
        FUZZ_CHECK(result == 0 || result == 1, std::string(what) + " returned " + std::to_string(result));
        display.missed |= result == 0;
    }

    void DoDisplay(const uint8_t* src, int count)
    {
        int status = D().statusCells, text = D().textCells;
        int r = BrlDisplay(src, count);
        ExpectBool(r, "BrlDisplay");
        model.Display(status, text, src, count);
    }
    void DoStatus(const uint8_t* src, int count)
    {
        int status = D().statusCells;
        int r = BrlDisplayStatus(src, count);
        ExpectBool(r, "BrlDisplayStatus");
        model.Status(status, src, count);
    }
    void DoClear()
    {
        int text = D().textCells;
        ExpectBool(BrlClear(), "BrlClear");
        model.Clear(text);
    }
    void DoSleep(int flag)
    {
        bool hadPort = D().port != nullptr;
        int text = D().textCells, delivered = display.delivered;
        int r = BrlSleep(flag);
        FUZZ_CHECK(r == 1, "BrlSleep returned " + std::to_string(r));
        if (flag != model.sleeping) {
            model.sleeping = flag;
            if (flag != 0 && hadPort) {
                model.Clear(text);
                display.missed |= display.delivered == delivered;
            }
        }
    }
    void DoTerminate()
    {
        bool hadPort = D().port != nullptr;
        int text = D().textCells, delivered = display.delivered;
        BrlTerminate();
        if (hadPort && text > 0) {
            model.Clear(text);
            display.missed |= display.delivered == delivered;
        }
        FUZZ_CHECK(D().port == nullptr, "terminate left a port");
    }

    void DoInit()
    {
        uint8_t kind = in.Byte();
        uint8_t model_ = in.Byte();
        static const uint8_t codes[] = { 0x00, 0x01, 0x02, 0x07, 0x08, 0x09, 0x03, 0xFF };
        reply = (model_ & 0x80) ? in.Take(model_ % 20) : FullReply(codes[model_ % 8]);
        // How long each read takes: a silent display's window ends in
        // 2000 / that many reads.
        static const DWORD readMs[] = { 50, 16, 100, 250, 500, 1000, 25, 10 };
        com->msPerRead = lpt->msPerRead = readMs[kind >> 5];
        paralleldouble::ParallelPortDouble::Get().msPerTick = readMs[kind >> 5];
        std::string name;
        if (kind & 0x10) {
            DoAuto();
            return;
        }
        switch (kind % 4) {
        case 0: name = (kind & 8) ? "LPT1" : "COM1:38400,n,8,1"; break;
        case 1: name = "COM1:38400,n,8,1" + in.Text(in.Byte()); break;
        case 2: name = in.Text(2u * in.Byte()); break;
        default: break;
        }
        int before = D().statusCells * 256 + D().textCells;
        bool hadPort = D().port != nullptr;
        KeyCallback callback = (kind & 4) ? nullptr : &Run::Callback;
        int r = BrlInit(kind % 4 == 3 ? nullptr : name.c_str(), callback);
        FUZZ_CHECK(r == 0 || r == 0x0514 || r == 0x0528 || r == 0x0550, "BrlInit returned " + std::to_string(r));
        FUZZ_CHECK(D().keyCallback == callback || kind % 4 == 3, "the callback was not taken");
        if (r != 0) {
            FUZZ_CHECK(!hadPort, "BrlInit succeeded over an open port");
            FUZZ_CHECK(r == D().statusCells * 256 + D().textCells, "result and counts disagree");
            // A display just identified shows whatever it showed; what it
            // shows from now on is checked packet by packet.
            display.shown.clear();
        } else {
            FUZZ_CHECK(before == D().statusCells * 256 + D().textCells, "a failed BrlInit changed the counts");
        }
        FUZZ_CHECK(static_cast<size_t>(std::strlen(D().portName)) < sizeof D().portName, "port name overran");
    }

    // A display that missed the last message: the last write did not
    // deliver one whole.
    bool Owed() { return session.Faults().Writes() > display.deliveredAt; }

    void DoTimer()
    {
        Active().Send(in.Take(in.Byte() % 24));
        callbackAction = in.Byte() % 5;
        bool hadPort = D().port != nullptr, owed = Owed(), acted = false;
        int writes = session.Faults().Writes(), delivered = display.delivered;
        actedOn = &acted;
        BrlTimer();
        actedOn = nullptr;
        callbackAction = 0;
        if (acted || OnRegisters())
            return;
        int sent = session.Faults().Writes() - writes;
        // A reopened display gets one packet: the reopen's, or, where that
        // one met a held-off line and was cut, one more when the line is
        // found on again in the same BrlTimer. Never two whole ones.
        bool firstCut = display.deliveredAt != writes + 1;
        bool retriedAfterCut = sent == 2 && firstCut && display.delivered <= delivered + 1;
        if (!hadPort && D().port != nullptr)
            FUZZ_CHECK(sent == 1 || retriedAfterCut, "a reopened display got " + std::to_string(sent) + " packets");
        // A reopen whose packet failed, or was cut and then failed, lets the
        // port go again.
        else if (!hadPort)
            FUZZ_CHECK(sent <= 1 || retriedAfterCut,
                       "a display reopened and lost got " + std::to_string(sent) + " packets");
        else
            FUZZ_CHECK(sent == 0 || (sent == 1 && owed), std::to_string(sent) + " packets to a display that " +
                                                              (owed ? "missed one" : "missed none"));
    }

    // BrlInit("auto") over COM1 and up to six more ports, each absent,
    // busy, silent or answering, named by the system as a serial port, a
    // Bluetooth link or not at all, and maybe slow to open.
    void DoAuto()
    {
        Win32Double& w = session.Double();
        for (int n = in.Byte() % 7; n > 0; --n) {
            int number = 1 + in.Byte();
            uint8_t how = in.Byte();
            std::string name = "COM" + std::to_string(number);
            FakeDevice* d = number == 1 ? com : w.Find(number > 9 ? "\\\\.\\" + name : name);
            if (d == nullptr && how % 4 != 0)
                d = AddDevice(number > 9 ? "\\\\.\\" + name : name);
            if (d != nullptr) {
                d->refuseOpen = how % 4 == 1;
                if (how % 4 == 2)
                    silent.insert(d);
                d->msPerRead = 50; // a silent port costs 40 reads, not 2000
                d->openDelay = (how & 0x10) ? 3000 : 0;
            }
            static const char* const kinds[] = { nullptr, "\\Device\\Serial", "\\Device\\BthModem", "\\DEVICE\\BTHMODEM" };
            if (kinds[(how >> 2) % 4] != nullptr)
                w.dosDevices[name] = kinds[(how >> 2) % 4] + std::to_string(number);
        }
        // The order the ports must be tried in.
        auto place = [&](int number) {
            auto named = w.dosDevices.find("COM" + std::to_string(number));
            int group = 1;
            if (w.platformId == VER_PLATFORM_WIN32_NT && named != w.dosDevices.end()) {
                std::string device = named->second;
                for (char& c : device)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                group = device.rfind("\\device\\bthmodem", 0) == 0 ? 2 : 0;
            }
            return group * 1000 + number;
        };
        size_t before = w.openedNames.size();
        bool hadPort = D().port != nullptr;
        // A scan tries all 256 names, a port object and a dozen calls of
        // the double each; one an input reaches every step of it, and each
        // more slows the fuzzer.
        if (!hadPort && ++scans > MaxScans)
            return;
        int r = BrlInit("auto", &Run::Callback);
        FUZZ_CHECK(r == 0 || r == 0x0514 || r == 0x0528 || r == 0x0550, "BrlInit returned " + std::to_string(r));
        int last = -1;
        std::string lastName;
        for (size_t i = before; i < w.openedNames.size(); ++i) {
            lastName = w.openedNames[i];
            std::string port = lastName.rfind("\\\\.\\", 0) == 0 ? lastName.substr(4) : lastName;
            FUZZ_CHECK(port.size() > 3 && port.compare(0, 3, "COM") == 0, "auto opened " + lastName);
            int at = place(std::atoi(port.c_str() + 3));
            FUZZ_CHECK(at > last, "auto opened " + lastName + " out of the scan order");
            last = at;
        }
        if (r != 0) {
            FUZZ_CHECK(!hadPort, "BrlInit succeeded over an open port");
            FUZZ_CHECK(lastName.find(D().portName) != std::string::npos,
                       std::string("auto kept ") + D().portName + " but opened " + lastName + " last");
            display.shown.clear();
        }
    }

    static void BRLCALLBACK Callback(unsigned int code, unsigned int argument)
    {
        RecordReport(code, argument);
        FUZZ_CHECK((code & 0x80000000u) != 0, "key code without bit 31");
        if (self == nullptr)
            return;
        int action = self->callbackAction;
        self->callbackAction = 0; // once per poll, as a host would
        if (action != 0 && self->actedOn != nullptr)
            *self->actedOn = true;
        switch (action) {
        case 1: self->DoTerminate(); break;
        case 2: self->DoSleep(1); break;
        case 3: {
            uint8_t cells[3] = { static_cast<uint8_t>(code), 0xC3, 0x1B };
            self->DoDisplay(cells, 3);
            break;
        }
        case 4: self->DoClear(); break;
        default: break;
        }
    }

    void Fault(uint8_t which)
    {
        FakeDevice* device = &Active();
        Win32Double& w = session.Double();
        switch (which % 15) {
        case 0: device->ctsHeldOff = !device->ctsHeldOff; break;
        case 1: device->failWrites = !device->failWrites; break;
        case 2: device->failAllReads = !device->failAllReads; break;
        case 3: device->refuseOpen = !device->refuseOpen; break;
        case 4: device->refuseTimeouts = !device->refuseTimeouts; break;
        case 5: device->maxReadChunk = 1 + which / 15; break;
        case 7: device->HoldCtsOffUntil(w.clock.Now() + 20u * (which / 15)); break;
        case 8: device->reportsCtsOff = !device->reportsCtsOff; break;
        case 9: device->failModemStatus = !device->failModemStatus; break;
        // A serial port's queue: the kernel device has none to purge.
        case 10: device->keepsUnsent = device != lpt && !device->keepsUnsent; break;
        case 11: device->openDelay = 500u * (which / 15); break;
        case 12: device->gone = !device->gone; break;
        case 13:
            if (which & 0x80)
                w.failVersionQuery = !w.failVersionQuery;
            else
                w.platformId = w.platformId == VER_PLATFORM_WIN32_NT ? VER_PLATFORM_WIN32_WINDOWS
                                                                     : VER_PLATFORM_WIN32_NT;
            break;
        // Time passes while the host makes no call.
        case 14: w.clock.Advance(250u * (which / 15)); break;
        default:
            device->ctsHeldOff = device->failWrites = device->failAllReads = false;
            device->refuseOpen = device->refuseTimeouts = false;
            device->ctsPaused = device->reportsCtsOff = device->failModemStatus = device->gone = false;
            break;
        }
    }

    void Step(uint8_t op)
    {
        // Every call but BrlInit, whose identification window is its own.
        if (op % 12 == 0 || op % 12 == 10)
            Do(op);
        else
        {
            static const char* const names[] = { "BrlInit", "BrlTerminate", "BrlDisplay", "BrlDisplayStatus",
                                                 "BrlClear", "BrlRefresh", "BrlSleep", "BrlSleep(1)",
                                                 "BrlSleep(0)", "BrlTimer", "", "BrlDisplay (same cells)" };
            session.Timed(names[op % 12], [&] { return Do(op), 0; });
        }
    }

    void Do(uint8_t op)
    {
        switch (op % 12) {
        case 0: DoInit(); break;
        case 1: DoTerminate(); break;
        case 2: {
            int count = in.Count();
            Source s = MakeSource(count);
            DoDisplay(s.Get(), count);
            break;
        }
        case 3: {
            int count = in.Count();
            Source s = MakeSource(count);
            DoStatus(s.Get(), count);
            break;
        }
        case 4: DoClear(); break;
        case 5: ExpectBool(BrlRefresh(), "BrlRefresh"); break;
        case 6: DoSleep(in.Count()); break;
        case 7: DoSleep(1); break;
        case 8: DoSleep(0); break;
        case 9: DoTimer(); break;
        case 10: Fault(in.Byte()); break;
        default: {
            // The same cells again: nothing may be sent unless forced.
            uint8_t cells[BufferSize];
            std::memcpy(cells, model.cells + D().statusCells, BufferSize - D().statusCells);
            DoDisplay(cells, BufferSize - D().statusCells);
            break;
        }
        }
    }

    void Check()
    {
        FUZZ_CHECK(std::memcmp(D().cells, model.cells, BufferSize) == 0,
                   "driver cells " + Hex(D().cells, BufferSize) + " are not the host's " + Hex(model.cells, BufferSize));
        FUZZ_CHECK(D().sleeping == model.sleeping, "sleep flag");
        // Where a later write of the same step delivered nothing whole, or
        // cells were missed (a key callback's BrlDisplay on a line held off
        // or gone, say, or its BrlSleep(1) there), the display keeps what it
        // last got whole.
        if (display.packetsInCall > 0 && !Owed() && !display.missed) {
            Bytes want(model.cells, model.cells + Total());
            FUZZ_CHECK(display.shown == want,
                       "the display shows " + Hex(display.shown) + " but the host asked for " + Hex(want));
        }
        // The register transport of the 95/98 family holds no handle.
        bool handled = D().port != nullptr && !OnRegisters();
        int handles = session.Double().openHandles;
        FUZZ_CHECK(handles == (handled ? 1 : 0),
                   std::to_string(handles) + " handles, port " + (D().port ? "held" : "none"));
        FUZZ_CHECK(D().parserState >= 0 && D().parserState <= 4, "parser state");
    }

    FuzzInput& in;
    Session session;
    FakeDevice* com = nullptr;
    FakeDevice* lpt = nullptr;
    std::vector<FakeDevice*> devices;
    std::set<const FakeDevice*> silent;
    HostModel model;
    Display display;
    bool* actedOn = nullptr;
    Bytes reply = FullReply(0x01);
    int callbackAction = 0;
    static constexpr int MaxScans = 1;
    int scans = 0;
    static Run* self;
};

Run* Run::self = nullptr;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    Run run(in);
    run.Go();
    return 0;
}
