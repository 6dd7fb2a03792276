// The key callback as a real host compiles it, called by the real DLL under
// Wine: only there does the callback's own convention meet the stack. What
// each packet reports is the export scenarios' (tests/scenarios/KeyScenarios.cpp).
#include "E2eSupport.h"

namespace e2e {
namespace {

class KeyE2eTest : public E2eTest {};

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
