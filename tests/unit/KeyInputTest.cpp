#include <gtest/gtest.h>

#include <climits>

#include "DriverTestSupport.h"

namespace {

using namespace testsupport;

class KeyInputTest : public DriverTest {};

const unsigned int B31 = 0x80000000u;

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
