// Key and routing packets to the host's callback, a callback that calls the
// exports again included.
#include "DisplaySimulator.h"
#include "ExportScenario.h"

namespace {

using namespace testsupport;

SCENARIO_GROUP(KeyInput);
SCENARIO_GROUP(KeyReportReference);

struct KeyCase {
    const char* what;
    Bytes input;
    std::vector<KeyCall> calls;
};

const unsigned int B31 = 0x80000000u;

SCENARIO(KeyInput, PacketsBecomeKeyCodes)
{
    const KeyCase cases[] = {
        { "keys 1 and 36", { 0x1B, 0x4B, 0x01, 0x01 }, { { B31 | 0x0124, 0 } } },
        { "eleven keys keep the last four", { 0x1B, 0x4B, 0x3F, 0x1F }, { { 0xA1222324u, 0 } } },
        { "first byte bit 5", { 0x1B, 0x4B, 0x20, 0x00 }, { { B31 | 0x1F, 0 } } },
        { "second byte bit 4", { 0x1B, 0x4B, 0x00, 0x10 }, { { B31 | 0x05, 0 } } },
        { "second byte bits 0 to 4", { 0x1B, 0x4B, 0x00, 0x0F }, { { B31 | 0x01020304, 0 } } },
        { "no keys", { 0x1B, 0x4B, 0x00, 0x00 }, {} },
        { "only ignored bits", { 0x1B, 0x4B, 0xC0, 0xE0 }, {} },
        { "ESC ESC before the command", { 0x1B, 0x1B, 0x4B, 0x01, 0x00 }, { { B31 | 0x24, 0 } } },
        { "ESC as both key bytes", { 0x1B, 0x4B, 0x1B, 0x1B }, { { 0xA0212324u, 0 } } },
        { "routing 6", { 0x1B, 0x43, 0x06 }, { { B31 | 0x81, 1 } } },
        { "routing 85", { 0x1B, 0x43, 0x55 }, { { B31 | 0x81, 80 } } },
        { "routing 105", { 0x1B, 0x43, 105 }, { { B31 | 0x81, 100 } } },
        { "routing 106", { 0x1B, 0x43, 106 }, { { B31 | 0x82, 201 } } },
        { "routing 132", { 0x1B, 0x43, 132 }, { { B31 | 0x82, 227 } } },
        { "routing 0", { 0x1B, 0x43, 0x00 }, { { B31 | 0x3D, 0 } } },
        { "routing 5", { 0x1B, 0x43, 0x05 }, { { B31 | 0x42, 0 } } },
        { "routing 133 names key 0", { 0x1B, 0x43, 0x85 }, {} },
        { "routing 134", { 0x1B, 0x43, 134 }, { { B31 | 0x01, 0 } } },
        { "routing 255", { 0x1B, 0x43, 255 }, { { B31 | 122, 0 } } },
        { "routing byte ESC", { 0x1B, 0x43, 0x1B }, { { B31 | 0x81, 22 } } },
        { "unknown command X", { 0x1B, 0x58, 0x4B, 0x01, 0x00 }, {} },
        { "noise, then a packet", { 0x00, 0x4B, 0x43, 0xFF, 0x1B, 0x4B, 0x02, 0x00 }, { { B31 | 0x23, 0 } } },
        { "an unknown command above 0x7F and key-like bytes, then a packet",
          { 0x00, 0xFF, 0x4B, 0x43, 0x1B, 0x99, 0x01, 0x02, 0x3F, 0x1B, 0x43, 0x08 }, { { B31 | 0x81, 3 } } },
        { "unknown command resynchronises at the next ESC",
          { 0x1B, 0x42, 0x01, 0x1B, 0x43, 0x06 }, { { B31 | 0x81, 1 } } },
        { "two packets", { 0x1B, 0x4B, 0x01, 0x00, 0x1B, 0x43, 0x07 }, { { B31 | 0x24, 0 }, { B31 | 0x81, 2 } } },
        { "truncated packet", { 0x1B, 0x4B, 0x01 }, {} },
        { "every state in turn: noise, ESC ESC, keys of none, routing, a command that ends the packet",
          { 0x41, 0x1B, 0x1B, 0x4B, 0x00, 0x00, 0x1B, 0x43, 0x10, 0x1B, 0x3F, 0x4B, 0x01, 0x00 }, { { B31 | 0x81, 11 } } },
    };
    for (const auto& c : cases) {
        SetUp();
        FakeDevice& d = ReadyDisplay();
        d.Send(c.input);
        host.Timer();
        EXPECT_EQ(c.calls, RecordedKeys()) << c.what;
        TearDown();
    }
}

SCENARIO(KeyInput, RoutingBytesNameTheirKeysOverTheWholeRange)
{
    // Each routing byte alone gives one call (or none for key 0); the
    // argument only comes with the 0x81 and 0x82 code bytes.
    FakeDevice& d = ReadyDisplay();
    for (int r = 0; r < 256; ++r) {
        RecordedKeys().clear();
        d.Send({ 0x1B, 0x43, static_cast<uint8_t>(r) });
        host.Timer();
        int key = r < 6 ? 61 + r : (r + 123) % 256;
        if (key == 0) {
            EXPECT_TRUE(RecordedKeys().empty()) << r;
            continue;
        }
        ASSERT_EQ(1u, RecordedKeys().size()) << r;
        KeyCall expected = key <= 128   ? KeyCall{ B31 | key, 0 }
                           : key <= 228 ? KeyCall{ B31 | 0x81, static_cast<unsigned>(key - 128) }
                                        : KeyCall{ B31 | 0x82, static_cast<unsigned>(key - 28) };
        EXPECT_EQ(expected, RecordedKeys()[0]) << "routing byte " << r;
    }
}

SCENARIO(KeyInput, PollAsksForEightyBytesWithoutWaiting)
{
    FakeDevice& d = ReadyDisplay();
    Bytes many;
    for (int i = 0; i < 30; ++i)
        many.insert(many.end(), { 0x1B, 0x43, 0x06 });
    d.Send(many);
    int reads = d.readCalls;
    host.Timer();
    EXPECT_EQ(1, d.readCalls - reads) << "one read: the tick moved on";
    EXPECT_EQ(26u, RecordedKeys().size()) << "80 bytes hold 26 whole packets";
    host.Timer();
    EXPECT_EQ(30u, RecordedKeys().size());
}

// The callback may call the other exports; the poll that called it must
// then go on with the bytes it read and never touch a released port.
SCENARIO(KeyInput, CallbackThatDisplaysSendsAtOnce)
{
    FakeDevice& d = ReadyDisplay();
    Bytes cells = { 0x3F };
    size_t writesAtCall = 0;
    OnKey() = [&](const KeyCall&) {
        host.Display(cells, 1);
        writesAtCall = d.writes.size();
    };
    d.Send({ 0x1B, 0x4B, 0x01, 0x00 });
    host.Timer();
    EXPECT_EQ(1u, writesAtCall);
    Bytes shown(45, 0x00);
    shown[5] = 0x3F;
    EXPECT_EQ(std::vector<Bytes>{ shown }, CellPackets(d)) << "expected one packet, with the callback's cells";
}

SCENARIO(KeyInput, CallbackThatPollsAgainReportsEachPacketOnce)
{
    // The packet whose callback polls again, key or routing, has ended: the
    // nested poll starts a packet of its own.
    const KeyCase firsts[] = {
        { "key packet", { 0x1B, 0x4B, 0x01, 0x00, 0x1B, 0x43, 0x06 },
          { { B31 | 0x24, 0 }, { B31 | 0x81, 2 }, { B31 | 0x81, 1 } } },
        { "routing packet", { 0x1B, 0x43, 0x06, 0x1B, 0x4B, 0x01, 0x00 },
          { { B31 | 0x81, 1 }, { B31 | 0x81, 2 }, { B31 | 0x24, 0 } } },
    };
    for (const auto& c : firsts) {
        SetUp();
        FakeDevice& d = ReadyDisplay();
        OnKey() = [&](const KeyCall&) {
            if (RecordedKeys().size() == 1) {
                d.Send({ 0x1B, 0x43, 0x07 });
                host.Timer();
            }
        };
        d.Send(c.input);
        host.Timer();
        EXPECT_EQ(c.calls, RecordedKeys()) << c.what;
        TearDown();
    }
}

SCENARIO(KeyReportReference, ReferenceAndDriverAgreeOnEveryPacket)
{
    FakeDevice& d = ReadyDisplay(40);
    const std::vector<Bytes> packets = DisplaySimulator::KeyAndRoutingSweep();

    int reported = 0;
    for (const auto& p : packets) {
        RecordedKeys().clear();
        d.Send(p);
        host.Timer();
        uint32_t code = 0, argument = 0;
        bool expected = DisplaySimulator::ReportFor(p, code, argument);
        if (!expected) {
            EXPECT_TRUE(RecordedKeys().empty()) << "packet " << Hex(p);
            continue;
        }
        reported++;
        ASSERT_EQ(1u, RecordedKeys().size()) << "packet " << Hex(p);
        EXPECT_EQ((KeyCall{ code, argument }), RecordedKeys()[0]) << "packet " << Hex(p);
    }
    EXPECT_GT(reported, 2000);
}

} // namespace
