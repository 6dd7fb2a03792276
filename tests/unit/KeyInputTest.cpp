#include <gtest/gtest.h>

#include <climits>

#include "DriverTestSupport.h"

namespace {

using namespace testsupport;

class KeyInputTest : public DriverTest {};

struct KeyCase {
    const char* what;
    Bytes input;
    std::vector<KeyCall> calls;
};

const unsigned int B31 = 0x80000000u;

TEST_F(KeyInputTest, PacketsBecomeKeyCodes)
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
        { "unknown command resynchronises at the next ESC",
          { 0x1B, 0x42, 0x01, 0x1B, 0x43, 0x06 }, { { B31 | 0x81, 1 } } },
        { "two packets", { 0x1B, 0x4B, 0x01, 0x00, 0x1B, 0x43, 0x07 }, { { B31 | 0x24, 0 }, { B31 | 0x81, 2 } } },
        { "truncated packet", { 0x1B, 0x4B, 0x01 }, {} },
    };
    for (const auto& c : cases) {
        SetUp();
        FakeDevice& d = ReadyDisplay();
        d.Send(c.input);
        BrlTimer();
        EXPECT_EQ(c.calls, RecordedKeys()) << c.what;
        TearDown();
    }
}

TEST_F(KeyInputTest, RoutingBytesNameTheirKeysOverTheWholeRange)
{
    // Each routing byte alone gives one call (or none for key 0); the
    // argument only comes with the 0x81 and 0x82 code bytes.
    FakeDevice& d = ReadyDisplay();
    for (int r = 0; r < 256; ++r) {
        RecordedKeys().clear();
        d.Send({ 0x1B, 0x43, static_cast<uint8_t>(r) });
        BrlTimer();
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

TEST_F(KeyInputTest, PacketSplitOverTwoPollsGivesOneCallInTheSecond)
{
    FakeDevice& d = ReadyDisplay();
    d.Send({ 0x1B, 0x4B });
    BrlTimer();
    EXPECT_TRUE(RecordedKeys().empty());
    EXPECT_EQ(EscProtocolDriver::StateKeyFirst, driver->parserState);
    d.Send({ 0x01, 0x00 });
    BrlTimer();
    EXPECT_EQ(std::vector<KeyCall>({ { B31 | 0x24, 0 } }), RecordedKeys());
    EXPECT_EQ(EscProtocolDriver::StateIdle, driver->parserState);
}

TEST_F(KeyInputTest, ParserStatesHaveTheirValues)
{
    FakeDevice& d = ReadyDisplay();
    const std::pair<uint8_t, int> steps[] = {
        { 0x41, 0 }, { 0x1B, 1 }, { 0x1B, 1 }, { 0x4B, 3 }, { 0x00, 2 }, { 0x00, 0 },
        { 0x1B, 1 }, { 0x43, 4 }, { 0x10, 0 }, { 0x1B, 1 }, { 0x3F, 0 },
    };
    for (const auto& step : steps) {
        d.Send({ step.first });
        BrlTimer();
        EXPECT_EQ(step.second, driver->parserState) << "after byte " << int(step.first);
    }
}

TEST_F(KeyInputTest, PollAsksForEightyBytesWithoutWaiting)
{
    FakeDevice& d = ReadyDisplay();
    Bytes many;
    for (int i = 0; i < 30; ++i)
        many.insert(many.end(), { 0x1B, 0x43, 0x06 });
    d.Send(many);
    int reads = d.readCalls;
    BrlTimer();
    EXPECT_EQ(1, d.readCalls - reads) << "one read: the tick moved on";
    EXPECT_EQ(26u, RecordedKeys().size()) << "80 bytes hold 26 whole packets";
    BrlTimer();
    EXPECT_EQ(30u, RecordedKeys().size());
}

TEST_F(KeyInputTest, WithoutACallbackReportsAreDroppedAndLatchesCleared)
{
    FakeDevice& d = AddDisplay();
    ASSERT_EQ(0x0528, BrlInit("COM1:38400,n,8,1", nullptr));
    d.Send({ 0x1B, 0x4B, 0x3F, 0x1F, 0x1B, 0x43, 0x06 });
    BrlTimer();
    for (int k = 0; k < 256; ++k) {
        EXPECT_EQ(0, driver->keyStateLatched[k]) << k;
        EXPECT_EQ(0, driver->keyStateNow[k]) << k;
    }
    EXPECT_EQ(1, driver->eventSent);
    EXPECT_TRUE(RecordedKeys().empty());
}

TEST_F(KeyInputTest, EmptyKeyPacketLeavesEventSentAlone)
{
    ReadyDisplay();
    driver->eventSent = 0;
    driver->ReportKeys();
    EXPECT_EQ(0, driver->eventSent);
    driver->eventSent = 1;
    driver->HandleFirstKeyByte(0x00);
    driver->HandleSecondKeyByte(0xE0);
    driver->ReportKeys();
    EXPECT_EQ(1, driver->eventSent);
}

TEST_F(KeyInputTest, LatchingMarksKeysPending)
{
    ReadyDisplay();
    EXPECT_FALSE(driver->HasPendingKeys());
    driver->HandleRoutingByte(0x00);
    EXPECT_TRUE(driver->HasPendingKeys());
    EXPECT_EQ(1, driver->keyStateLatched[61]);
    EXPECT_EQ(0, driver->eventSent);
    driver->ReportKeys();
    EXPECT_FALSE(driver->HasPendingKeys());
    EXPECT_EQ(std::vector<KeyCall>({ { B31 | 0x3D, 0 } }), RecordedKeys());
}

// The callback may call the other exports; the poll that called it must
// then go on with the bytes it read and never touch a released port.
TEST_F(KeyInputTest, CallbackThatDisplaysSendsAtOnce)
{
    FakeDevice& d = ReadyDisplay();
    Bytes cells = { 0x3F };
    size_t writesAtCall = 0;
    OnKey() = [&](const KeyCall&) {
        BrlDisplay(cells.data(), 1);
        writesAtCall = d.writes.size();
    };
    d.Send({ 0x1B, 0x4B, 0x01, 0x00 });
    BrlTimer();
    EXPECT_EQ(1u, writesAtCall);
}

TEST_F(KeyInputTest, CallbackThatTerminatesLetsThePollFinishItsBytes)
{
    for (int sleep = 0; sleep < 2; ++sleep) {
        SetUp();
        FakeDevice& d = ReadyDisplay();
        OnKey() = [&](const KeyCall&) {
            if (RecordedKeys().size() == 1) {
                if (sleep)
                    BrlSleep(1);
                else
                    BrlTerminate();
            }
        };
        d.Send({ 0x1B, 0x4B, 0x01, 0x00, 0x1B, 0x43, 0x06, 0x1B, 0x4B });
        int reads = d.readCalls;
        BrlTimer();
        EXPECT_FALSE(d.isOpen);
        EXPECT_EQ(nullptr, driver->port);
        EXPECT_EQ(1, d.readCalls - reads);
        EXPECT_EQ(std::vector<KeyCall>({ { B31 | 0x24, 0 }, { B31 | 0x81, 1 } }), RecordedKeys())
            << "bytes already read are still reported";
        EXPECT_EQ(EscProtocolDriver::StateKeyFirst, driver->parserState);
        BrlTimer();
        EXPECT_EQ(2u, RecordedKeys().size());
        TearDown();
    }
}

TEST_F(KeyInputTest, CallbackThatPollsAgainReportsEachPacketOnce)
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
                BrlTimer();
            }
        };
        d.Send(c.input);
        BrlTimer();
        EXPECT_EQ(c.calls, RecordedKeys()) << c.what;
        TearDown();
    }
}

TEST_F(KeyInputTest, RandomNoiseKeepsTheParserValidAndCallsBounded)
{
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<uint8_t>(seed >> 16);
    };
    Bytes noise;
    for (int i = 0; i < 100000; ++i) {
        uint8_t b = next();
        // Bias towards the framing bytes so packets actually form.
        noise.push_back((b & 3) == 0 ? 0x1B : (b & 7) == 1 ? 0x4B : (b & 7) == 2 ? 0x43 : next());
    }
    size_t packets = 0;
    for (size_t i = 0; i + 1 < noise.size(); ++i)
        packets += noise[i] == 0x1B && (noise[i + 1] == 0x4B || noise[i + 1] == 0x43);
    driver->port = new ScriptedPort(noise);
    driver->keyCallback = RecordKey;
    for (int i = 0; i < 2000; ++i) {
        BrlTimer();
        ASSERT_GE(driver->parserState, 0);
        ASSERT_LE(driver->parserState, 4);
    }
    EXPECT_GT(RecordedKeys().size(), 100u);
    EXPECT_LE(RecordedKeys().size(), packets);
    for (const auto& call : RecordedKeys())
        ASSERT_NE(0u, call.code & B31);
}

TEST_F(KeyInputTest, PollParsesNoMoreThanItsEightyBytesWhateverTheTransportClaims)
{
    Bytes packets;
    for (int i = 0; i < 26; ++i)
        packets.insert(packets.end(), { 0x1B, 0x43, 0x06 });
    packets.insert(packets.end(), { 0x1B, 0x43 });
    auto* port = new ScriptedPort(packets);
    port->claimed = INT_MAX;
    driver->port = port;
    driver->keyCallback = RecordKey;
    BrlTimer();
    EXPECT_EQ(26u, RecordedKeys().size()) << "expected the 26 packets of the 80 bytes stored";
    EXPECT_EQ(EscProtocolDriver::StateRouting, driver->parserState) << "expected the last packet cut short";
}

} // namespace
