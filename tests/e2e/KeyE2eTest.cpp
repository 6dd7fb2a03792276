// Key and routing packets from the simulated display reach the host's
// callback through the real DLL under Wine.
#include "E2eSupport.h"

namespace e2e {
namespace {

class KeyE2eTest : public E2eTest {};

TEST_F(KeyE2eTest, PacketsBecomeCallsWithTheirCodesAndArguments)
{
    struct Case {
        Bytes packet;
        std::vector<std::string> keys;
    };
    const Case cases[] = {
        { { 0x1B, 0x4B, 0x01, 0x01 }, { "80000124 0" } },
        { { 0x1B, 0x4B, 0x3F, 0x1F }, { "A1222324 0" } },
        { { 0x1B, 0x4B, 0x00, 0x10 }, { "80000005 0" } },
        { { 0x1B, 0x4B, 0x00, 0x00 }, {} },
        { { 0x1B, 0x1B, 0x4B, 0x01, 0x00 }, { "80000024 0" } },
        { { 0x1B, 0x4B, 0x1B, 0x1B }, { "A0212324 0" } },
        { { 0x1B, 0x43, 0x06 }, { "80000081 1" } },
        { { 0x1B, 0x43, 0x55 }, { "80000081 80" } },
        { { 0x1B, 0x43, 0x6A }, { "80000082 201" } },
        { { 0x1B, 0x43, 0x05 }, { "80000042 0" } },
        { { 0x1B, 0x43, 0x85 }, {} },
        { { 0x1B, 0x58, 0x4B, 0x01, 0x00 }, {} },
    };
    InitReady(40);
    for (const auto& c : cases) {
        DisplaySends(c.packet);
        auto r = Do("timer");
        EXPECT_EQ(c.keys, r.keys) << "packet " << Hex(c.packet);
    }
}

TEST_F(KeyE2eTest, SplitPacketGivesOneCallInThePollThatCompletesIt)
{
    InitReady(40);
    DisplaySends({ 0x1B, 0x4B });
    EXPECT_TRUE(Do("timer").keys.empty());
    DisplaySends({ 0x01, 0x00 });
    EXPECT_EQ(std::vector<std::string>({ "80000024 0" }), Do("timer").keys);
}

TEST_F(KeyE2eTest, TwoPacketsInOneReadGiveTwoCallsInOrder)
{
    InitReady(40);
    DisplaySends({ 0x1B, 0x4B, 0x00, 0x01, 0x1B, 0x43, 0x07 });
    EXPECT_EQ(std::vector<std::string>({ "80000001 0", "80000081 2" }), Do("timer").keys);
}

TEST_F(KeyE2eTest, NoCallsWhileAsleepOrWithoutACallback)
{
    InitReady(40);
    Do("sleep 1");
    EXPECT_TRUE(Do("timer").keys.empty());
    Do("sleep 0");
    Do("terminate");
    Do("callback none");
    EXPECT_EQ(0x0528, Do("init COM5:38400,n,8,1").result);
    DisplaySends({ 0x1B, 0x4B, 0x01, 0x00 });
    EXPECT_TRUE(Do("timer").keys.empty());
}

TEST_F(KeyE2eTest, CallbackThatTerminatesMidPollStillGetsTheBytesAlreadyRead)
{
    InitReady(40);
    Do("on-key terminate");
    DisplaySends({ 0x1B, 0x4B, 0x01, 0x00, 0x1B, 0x43, 0x06 });
    auto r = Do("timer");
    EXPECT_EQ(std::vector<std::string>({ "80000024 0", "80000081 1" }), r.keys);
    EXPECT_EQ(0, OpenersOf(display->SlavePath())) << "expected the port released by the callback";
    EXPECT_TRUE(Do("timer").keys.empty());
}

TEST_F(KeyE2eTest, CallbackThatDisplaysSendsAtOnce)
{
    InitReady(40);
    size_t mark = Received().size();
    Do("on-key display 3f");
    DisplaySends({ 0x1B, 0x4B, 0x01, 0x00 });
    auto r = Do("timer");
    ASSERT_EQ(1u, r.keys.size());
    Bytes cells(45, 0);
    cells[5] = 0x3F;
    Bytes packet = CellPacket(cells);
    ASSERT_TRUE(WaitReceived(mark + packet.size()));
    EXPECT_EQ(Hex(packet), Hex(ReceivedSince(mark)));
}

TEST_F(KeyE2eTest, NoiseBetweenPacketsGivesNoSpuriousCalls)
{
    InitReady(40);
    Bytes noise = { 0x00, 0xFF, 0x4B, 0x43, 0x1B, 0x99, 0x01, 0x02, 0x3F };
    DisplaySends(noise);
    EXPECT_TRUE(Do("timer").keys.empty());
    DisplaySends({ 0x1B, 0x43, 0x08 });
    EXPECT_EQ(std::vector<std::string>({ "80000081 3" }), Do("timer").keys);
}

// The callback must remove its own arguments. One declared with the
// caller-cleans convention leaves them on the stack, and the host's check
// around BrlTimer (or a crash) must show it.
TEST_F(KeyE2eTest, CallbackWithTheWrongConventionIsCaught)
{
    if (IsX64())
        GTEST_SKIP() << "x64 has one calling convention: there is no wrong one to declare";
    expectCleanExit = false;
    StartDisplay(40, FullReply(40));
    StartHost();
    host->Command("callback cdecl");
    ASSERT_EQ(0x0528, host->Command("init COM5:38400,n,8,1").result);
    DisplaySends({ 0x1B, 0x4B, 0x01, 0x00 });
    auto r = host->Command("timer");
    bool broken = !r.ok;
    for (const auto& line : r.lines)
        broken |= line.find("stack broken") != std::string::npos;
    EXPECT_TRUE(broken) << "expected the stack check to fail; got:\n" << host->Transcript();
    int code = host->Quit();
    // A host that survived the broken call reports it in its exit code; one
    // that crashed has already shown the fault.
    if (r.ok) {
        EXPECT_EQ(4, code) << host->Transcript();
    }
    host.reset();
}

TEST_F(KeyE2eTest, StackIsIntactAfterManyCallbacks)
{
    InitReady(40);
    Bytes burst;
    for (int i = 0; i < 20; ++i) {
        Bytes p = i % 2 ? Bytes{ 0x1B, 0x43, static_cast<uint8_t>(i) } : Bytes{ 0x1B, 0x4B, 0x3F, 0x1F };
        burst.insert(burst.end(), p.begin(), p.end());
    }
    DisplaySends(burst);
    size_t calls = 0;
    for (int i = 0; i < 3; ++i)
        calls += Do("timer").keys.size();
    EXPECT_EQ(20u, calls);
}

} // namespace
} // namespace e2e
