// The driver core through the exports: cells and change detection, blanking,
// sleep and wake, terminate, bad arguments, and a host's recorded session.
#include <algorithm>
#include <climits>

#include "ExportScenario.h"
#include "HostSession.h"

namespace {

using namespace testsupport;

SCENARIO_GROUP(BrailleDriver);

// A screen reader's recorded stream of display calls, replayed.
class WireEfficiency : public emu::ExportScenario {
public:
    using ExportScenario::ExportScenario;

protected:
    void Replay(const std::vector<hostsession::HostCall>& session)
    {
        for (const auto& call : session) {
            HostBuffer data = call.cells.empty() ? HostBuffer(nullptr) : HostBuffer(call.cells);
            int count = static_cast<int>(call.cells.size());
            switch (call.kind) {
            case hostsession::HostCall::Display:
                ASSERT_EQ(1, host.Display(data, count));
                break;
            case hostsession::HostCall::DisplayStatus:
                ASSERT_EQ(1, host.DisplayStatus(data, count));
                break;
            case hostsession::HostCall::Clear:
                ASSERT_EQ(1, host.Clear());
                break;
            }
        }
    }
};

SCENARIO(BrailleDriver, SameCellsTwiceSendOnePacketButRefreshAlwaysSends)
{
    FakeDevice& d = ReadyDisplay();
    Bytes cells = { 0x01, 0x03, 0x09 };
    EXPECT_EQ(1, host.Display(cells, 3));
    EXPECT_EQ(1, host.Display(cells, 3));
    EXPECT_EQ(1u, d.writes.size());
    EXPECT_EQ(1, host.Refresh());
    EXPECT_EQ(1, host.Refresh());
    EXPECT_EQ(std::vector<Bytes>(3, d.writes[0]), d.writes) << "expected the packet, then the same for each refresh";
}

// Cells beyond the text cells are stored and compared though never sent: a
// change there alone sends a packet, the same on the wire as the last one.
SCENARIO(BrailleDriver, ChangeDetectionComparesTheWholeBuffer)
{
    Bytes forty(40, 0x01), fortyOne(41, 0x01), beyondOnly(41, 0x00);
    beyondOnly[40] = 0x09;
    auto show = [this](const Bytes& cells) { return [this, &cells] { return host.Display(cells, int(cells.size())); }; };
    const struct {
        const char* what;
        std::vector<std::function<int()>> calls;
        size_t packets;
    } cases[] = {
        { "41 cells, then the same 40", { show(fortyOne), show(forty) }, 2 },
        { "41 cells twice", { show(fortyOne), show(fortyOne) }, 1 },
        { "a cell beyond the text alone, then clear", { show(beyondOnly), [this] { return host.Clear(); } }, 2 },
    };
    for (const auto& c : cases) {
        SetUp();
        FakeDevice& d = ReadyDisplay();
        for (const auto& call : c.calls)
            EXPECT_EQ(1, call()) << c.what;
        auto packets = CellPackets(d);
        EXPECT_EQ(c.packets, packets.size()) << c.what;
        for (const auto& packet : packets)
            EXPECT_EQ(Hex(packets[0]), Hex(packet)) << c.what << ": the text cells did not change";
        TearDown();
    }
}

SCENARIO(BrailleDriver, FewerCellsBlankTheRestOfTheTextButNotTheStatus)
{
    FakeDevice& d = ReadyDisplay();
    Bytes status = { 0x11, 0x22, 0x33, 0x44, 0x55 };
    Bytes full(40, 0xFF);
    Bytes few = { 0x07, 0x07 };
    host.DisplayStatus(status, 5);
    host.Display(full, 40);
    host.Display(few, 2);
    auto packets = CellPackets(d);
    ASSERT_EQ(3u, packets.size());
    // Laid into a buffer of the display's size: GCC 12 at -O2 takes growing
    // a copy of status for an array overrun.
    Bytes expected(45, 0x00);
    std::copy(status.begin(), status.end(), expected.begin());
    expected[5] = expected[6] = 0x07;
    EXPECT_EQ(Hex(expected), Hex(packets[2]));
}

SCENARIO(BrailleDriver, StatusUsesOnlyTheStatusCellsAndRepeatsSendNothing)
{
    FakeDevice& d = ReadyDisplay();
    Bytes status = { 1, 2, 3, 4, 5, 6, 7, 8 };
    EXPECT_EQ(1, host.DisplayStatus(status, 8));
    EXPECT_EQ(1, host.DisplayStatus(status, 8));
    EXPECT_EQ(1, host.DisplayStatus(status, 5));
    auto packets = CellPackets(d);
    ASSERT_EQ(1u, packets.size());
    EXPECT_EQ("01 02 03 04 05 00", Hex(Bytes(packets[0].begin(), packets[0].begin() + 6)));
    Bytes two = { 9, 9 };
    host.DisplayStatus(two, 2);
    packets = CellPackets(d);
    ASSERT_EQ(2u, packets.size());
    EXPECT_EQ("09 09 00 00 00", Hex(Bytes(packets[1].begin(), packets[1].begin() + 5)));
}

SCENARIO(BrailleDriver, ClearBlanksEverythingOnce)
{
    FakeDevice& d = ReadyDisplay();
    Bytes status = { 1, 1, 1, 1, 1 };
    Bytes text = { 2, 2 };
    host.DisplayStatus(status, 5);
    host.Display(text, 2);
    EXPECT_EQ(1, host.Clear());
    EXPECT_EQ(1, host.Clear());
    auto packets = CellPackets(d);
    ASSERT_EQ(3u, packets.size());
    EXPECT_EQ(Hex(Bytes(45, 0)), Hex(packets[2]));
}

SCENARIO(BrailleDriver, ClearOfABlankDisplaySendsNothing)
{
    FakeDevice& d = ReadyDisplay();
    EXPECT_EQ(1, host.Clear());
    EXPECT_TRUE(d.writes.empty());
}

SCENARIO(BrailleDriver, CallsBeforeInitSucceedWithoutSending)
{
    Bytes cells(10, 0xFF);
    EXPECT_EQ(1, host.Display(cells, 10));
    EXPECT_EQ(1, host.DisplayStatus(cells, 10));
    EXPECT_EQ(1, host.Clear());
    EXPECT_EQ(1, host.Refresh());
    host.Timer();
    host.Terminate();
    EXPECT_EQ(1, host.Sleep(1));
    EXPECT_EQ(1, host.Sleep(0)) << "waking with no name tries to open it and fails";
    EXPECT_EQ(0, Double().openHandles);
    for (const auto& name : Double().openedNames)
        EXPECT_EQ("", name) << "only the empty stored name may be tried";
}

SCENARIO(BrailleDriver, SleepReleasesThePortAndWakeReopensByNameAndResends)
{
    FakeDevice& d = ReadyDisplay();
    Bytes text = { 0x0F, 0xF0 };
    host.Display(text, 2);
    EXPECT_EQ(1, host.Sleep(1));
    EXPECT_FALSE(d.isOpen);
    EXPECT_EQ(1, host.Sleep(1)) << "second sleep does nothing";
    EXPECT_EQ(1, d.closeCount);
    auto packets = CellPackets(d);
    ASSERT_EQ(2u, packets.size()) << "the display is blanked before the port goes";
    EXPECT_EQ(Hex(Bytes(45, 0)), Hex(packets[1]));

    // Cells shown while asleep are buffered and appear on waking.
    Bytes later = { 0x55 };
    EXPECT_EQ(1, host.Display(later, 1));
    EXPECT_EQ(2u, d.writes.size());
    EXPECT_EQ(1, host.Sleep(0));
    EXPECT_TRUE(d.isOpen);
    EXPECT_EQ(2, d.openCount);
    ASSERT_FALSE(Double().openedNames.empty());
    EXPECT_EQ(std::string("COM1"), Double().openedNames.back());
    packets = CellPackets(d);
    ASSERT_EQ(3u, packets.size());
    EXPECT_EQ(0x55, packets[2][5]);
    EXPECT_EQ(3u, d.writes.size()) << "the counts survive sleep: no new identification";
}

SCENARIO(BrailleDriver, WakeWithoutBlankingSendsBlankCells)
{
    FakeDevice& d = ReadyDisplay();
    host.Sleep(1);
    host.Sleep(0);
    auto packets = CellPackets(d);
    ASSERT_EQ(1u, packets.size());
    EXPECT_EQ(Hex(Bytes(45, 0)), Hex(packets[0]));
}

SCENARIO(BrailleDriver, FailedWakeBuffersUntilTheNextWake)
{
    FakeDevice& d = ReadyDisplay();
    host.Sleep(1);
    d.refuseOpen = true;
    EXPECT_EQ(1, host.Sleep(0));
    EXPECT_EQ(0, Double().openHandles);
    Bytes text = { 0x42 };
    EXPECT_EQ(1, host.Display(text, 1));
    d.refuseOpen = false;
    host.Sleep(1);
    host.Sleep(0);
    auto packets = CellPackets(d);
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(0x42, packets.back()[5]);
}

SCENARIO(BrailleDriver, TimerWhileAsleepReadsNothing)
{
    FakeDevice& d = ReadyDisplay();
    host.Sleep(1);
    d.Send({ 0x1B, 0x4B, 0x01, 0x00 });
    int reads = d.readCalls;
    host.Timer();
    EXPECT_EQ(reads, d.readCalls);
    EXPECT_TRUE(RecordedKeys().empty());
}

SCENARIO(BrailleDriver, TerminateWithoutIdentificationDoesNotBlank)
{
    FakeDevice& d = Double().AddDevice("COM1");
    EXPECT_EQ(0, host.Init("COM1:38400,n,8,1", RecordKey));
    d.written.clear();
    host.Terminate();
    EXPECT_TRUE(d.written.empty());
    EXPECT_FALSE(d.isOpen);
}

SCENARIO(BrailleDriver, SleepingSurvivesTerminateAndInit)
{
    FakeDevice& d = ReadyDisplay();
    host.Sleep(1);
    host.Terminate();
    EXPECT_EQ(0x0528, host.Init("COM1:38400,n,8,1", RecordKey));
    d.Send({ 0x1B, 0x4B, 0x01, 0x00 });
    host.Timer();
    EXPECT_TRUE(RecordedKeys().empty()) << "still asleep";
    int opens = d.openCount;
    size_t writes = d.writes.size();
    EXPECT_EQ(1, host.Sleep(0));
    EXPECT_EQ(opens, d.openCount) << "the port is open: waking only clears the flag";
    EXPECT_EQ(writes, d.writes.size()) << "and sends nothing";
    host.Timer();
    EXPECT_EQ(1u, RecordedKeys().size());
}

SCENARIO(BrailleDriver, InitAfterTerminateIdentifiesAfresh)
{
    FakeDevice& d = ReadyDisplay();
    host.Terminate();
    win32double::AnswerQueryWith(d, ModelReply(80));
    EXPECT_EQ(0x0550, host.Init("COM1:38400,n,8,1", RecordKey));
}

// Hosts may pass anything; nothing may be written outside the driver's
// buffers and the results must be those the driver defines or 0.
SCENARIO(BrailleDriver, NullNameIsRefused)
{
    EXPECT_EQ(0, host.Init(nullptr, RecordKey));
    EXPECT_TRUE(Double().openedNames.empty());

    // The callback is replaced all the same: keys now go nowhere.
    FakeDevice& d = ReadyDisplay();
    EXPECT_EQ(0, host.Init(nullptr, nullptr));
    d.Send({ 0x1B, 0x4B, 0x01, 0x00 });
    host.Timer();
    EXPECT_TRUE(RecordedKeys().empty()) << "expected no call, got " << RecordedKeys().size();
}

SCENARIO(BrailleDriver, NullCellPointersAreRefusedWithoutChange)
{
    FakeDevice& d = ReadyDisplay();
    EXPECT_EQ(0, host.Display(nullptr, 3));
    EXPECT_EQ(0, host.DisplayStatus(nullptr, 3));
    EXPECT_TRUE(d.writes.empty());
    EXPECT_EQ(1, host.Display(nullptr, 0)) << "nothing to read: blank text";
    EXPECT_EQ(1, host.DisplayStatus(nullptr, -5));
}

SCENARIO(BrailleDriver, HugeAndNegativeCountsStayInsideTheBuffer)
{
    FakeDevice& d = ReadyDisplay(80);
    // Guard bytes around the source catch reads beyond what is stored.
    Bytes big(4096, 0x3C);
    EXPECT_EQ(1, host.Display(big, INT_MAX));
    auto packets = CellPackets(d, 85);
    ASSERT_EQ(1u, packets.size());
    EXPECT_EQ(0x3C, packets[0][84]);
    EXPECT_EQ(0x00, packets[0][0]);
    EXPECT_EQ(1, host.Display(big, INT_MIN));
    EXPECT_EQ(1, host.DisplayStatus(big, INT_MAX));
    EXPECT_EQ(1, host.DisplayStatus(big, INT_MIN));
    packets = CellPackets(d, 85);
    ASSERT_EQ(4u, packets.size());
    EXPECT_EQ(Hex(Bytes(85, 0)), Hex(packets[1]));
    EXPECT_EQ(0x3C, packets[2][4]);
    EXPECT_EQ(Hex(Bytes(85, 0)), Hex(packets[3]));
}

SCENARIO(WireEfficiency, DriverSendsExactlyTheProtocolMinimum)
{
    const struct {
        int textCells;
        uint32_t seed;
    } cases[] = { { 20, 1 }, { 40, 2 }, { 80, 3 }, { 80, 4 } };
    for (const auto& c : cases) {
        SetUp();
        FakeDevice& d = ReadyDisplay(c.textCells);
        auto session = hostsession::RecordedSession(3000, c.textCells, c.seed);
        auto minimum = hostsession::WireMinimum(session, c.textCells);
        Replay(session);
        EXPECT_EQ(minimum.packets, static_cast<long>(d.writes.size()))
            << "expected one write per change, none per repeat (" << c.textCells << " cells)";
        EXPECT_EQ(minimum.bytes, static_cast<long>(d.written.size()))
            << "expected bytes written / protocol minimum = 1 (" << c.textCells << " cells)";
        auto packets = CellPackets(d, 5 + c.textCells);
        ASSERT_EQ(minimum.shown.size(), packets.size());
        for (size_t i = 0; i < packets.size(); ++i)
            ASSERT_EQ(Hex(minimum.shown[i]), Hex(packets[i])) << "packet " << i << " (" << c.textCells << " cells)";
        TearDown();
    }
}

SCENARIO(WireEfficiency, RepeatsCostNothingOnTheWire)
{
    FakeDevice& d = ReadyDisplay(80);
    std::vector<uint8_t> line(80, 0xC3);
    std::vector<uint8_t> status(5, 0x11);
    ASSERT_EQ(1, host.Display(line, 80));
    ASSERT_EQ(1, host.DisplayStatus(status, 5));
    size_t before = d.written.size();
    for (int i = 0; i < 1000; ++i) {
        host.Display(line, 80);
        host.DisplayStatus(status, 5);
    }
    EXPECT_EQ(before, d.written.size()) << "expected no bytes for 2000 repeated calls";
    EXPECT_EQ(2u * (2u + 5u + 2u * 80u), before) << "expected two packets of 167 bytes (80 doubled ESCs each)";
}

} // namespace
