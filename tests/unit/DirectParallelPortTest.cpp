#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ParallelPortDouble.h"
#include "Win32Double.h"
#include "ports/DirectParallelPort.h"

namespace {

using paralleldouble::Access;
using paralleldouble::ControlRegister;
using paralleldouble::DataRegister;
using paralleldouble::Describe;
using paralleldouble::In;
using paralleldouble::Out;
using paralleldouble::ParallelPortDouble;
using paralleldouble::StatusRegister;
using win32double::Win32Double;

std::vector<Access> ControlWrite(uint8_t readBack, uint8_t written)
{
    return { In(ControlRegister, readBack), Out(ControlRegister, written) };
}

std::vector<Access> operator+(std::vector<Access> a, const std::vector<Access>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class DirectParallelPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Win32Double::Get().Reset();
        ParallelPortDouble::Get().Reset();
    }

    ParallelPortDouble& P() { return ParallelPortDouble::Get(); }

    // An opened port with Init at rest (control 04) and an empty log.
    void Opened(DirectParallelPort& port)
    {
        P().control = 0x04;
        port.Open("LPT1");
        P().accesses.clear();
    }

    void ExpectAccesses(const std::vector<Access>& expected, const std::string& what = "")
    {
        EXPECT_EQ(Describe(expected), Describe(P().accesses)) << what;
    }
};

TEST_F(DirectParallelPortTest, OpenUsesTheFirstPortWhateverTheName)
{
    for (const char* name : { "LPT1", "LPT2", "LPT3", "lpt9:", "L", "" }) {
        P().Reset();
        P().control = 0xEB; // bits 5 to 7 set, Select In and Strobe on
        DirectParallelPort port;
        EXPECT_EQ(0, port.baseAddress);
        EXPECT_EQ(1, port.Open(name)) << name;
        EXPECT_EQ(0x378, port.baseAddress) << name;
        // Init on, then Select In off; the top three bits go out as 0.
        ExpectAccesses(ControlWrite(0xEB, 0x0F) + ControlWrite(0x0F, 0x07), name);
    }
}

struct ControlCase {
    const char* op;
    uint8_t before;
    uint8_t written;
};

TEST_F(DirectParallelPortTest, ControlWritesChangeOneBitAndClearTheTopThree)
{
    const ControlCase cases[] = {
        { "init on", 0x00, 0x04 }, { "init on", 0xE0, 0x04 }, { "init on", 0xFF, 0x1F },
        { "init on", 0x1B, 0x1F },
        { "init off", 0x04, 0x00 }, { "init off", 0xFF, 0x1B }, { "init off", 0x00, 0x00 },
        { "select in on", 0x00, 0x08 }, { "select in on", 0xF7, 0x1F }, { "select in on", 0x2C, 0x0C },
        { "select in off", 0xFF, 0x17 }, { "select in off", 0x08, 0x00 },
        { "strobe", 0x04, 0x05 }, { "strobe", 0x05, 0x04 }, { "strobe", 0xFF, 0x1E },
        { "strobe", 0xE0, 0x01 },
    };
    for (const auto& c : cases) {
        DirectParallelPort port;
        Opened(port);
        P().control = c.before;
        std::string op = c.op;
        if (op == "init on")
            port.SetInitBit(1);
        else if (op == "init off")
            port.SetInitBit(0);
        else if (op == "select in on")
            port.SetSelectInBit(1);
        else if (op == "select in off")
            port.SetSelectInBit(0);
        else
            port.ToggleStrobeBit();
        char what[64];
        snprintf(what, sizeof what, "%s from %02X", c.op, c.before);
        ExpectAccesses(ControlWrite(c.before, c.written), what);
        P().accesses.clear();
    }
}

TEST_F(DirectParallelPortTest, EachByteGoesOutWithOneStrobePulse)
{
    DirectParallelPort port;
    Opened(port);
    EXPECT_EQ(1, port.WriteByte(0xA5));
    ExpectAccesses(std::vector<Access>{ Out(DataRegister, 0xA5) } + ControlWrite(0x04, 0x05) +
                   ControlWrite(0x05, 0x04));

    P().accesses.clear();
    const unsigned char packet[] = { 0x1B, 0x42, 0x00 };
    EXPECT_EQ(1, port.Write(packet, 3));
    std::vector<Access> expected;
    for (unsigned char b : packet)
        expected = expected + std::vector<Access>{ Out(DataRegister, b) } + ControlWrite(0x04, 0x05) +
                   ControlWrite(0x05, 0x04);
    ExpectAccesses(expected);
    EXPECT_EQ((std::vector<uint8_t>{ 0xA5, 0x1B, 0x42, 0x00 }), P().received) << "one latch per pulse";

    P().accesses.clear();
    EXPECT_EQ(1, port.Write(packet, 0));
    EXPECT_EQ(1, port.Write(packet, -4));
    EXPECT_TRUE(P().accesses.empty());
}

TEST_F(DirectParallelPortTest, StrobeRestingHighStillGivesOnePulse)
{
    DirectParallelPort port;
    Opened(port);
    P().control = 0x05;
    EXPECT_EQ(1, port.WriteByte(0x3C));
    ExpectAccesses(std::vector<Access>{ Out(DataRegister, 0x3C) } + ControlWrite(0x05, 0x04) +
                   ControlWrite(0x04, 0x05));
    EXPECT_EQ(0x05, P().control) << "the strobe bit is back where it was";
}

struct ReadyCase {
    uint8_t status;
    int ready;
};

TEST_F(DirectParallelPortTest, ReadyMeansBusyClearAndErrorSet)
{
    const ReadyCase cases[] = {
        { 0x78, 1 }, { 0x08, 1 }, { 0x4F, 1 }, { 0x80, 0 }, { 0x00, 0 }, { 0xFF, 0 }, { 0x88, 0 }, { 0x77, 0 },
    };
    for (const auto& c : cases) {
        DirectParallelPort port;
        Opened(port);
        P().control = 0x00; // Init is raised first
        P().scriptedStatus = { c.status };
        EXPECT_EQ(c.ready, port.InputReady()) << std::hex << int(c.status);
        ExpectAccesses(ControlWrite(0x00, 0x04) + std::vector<Access>{ In(StatusRegister, c.status) });
        P().accesses.clear();
    }
}

struct NibbleCase {
    uint8_t status;
    uint8_t nibble;
};

TEST_F(DirectParallelPortTest, ByteComesAsTwoNibblesWithInitDroppedAroundEachStatusRead)
{
    DirectParallelPort port;
    Opened(port);
    P().scriptedStatus = { 0x08, 0x68, 0xB0 };
    EXPECT_EQ(0xD6, port.ReadByte()) << "0x68 gives D, 0xB0 gives 6; the second read is not tested";
    ExpectAccesses(ControlWrite(0x04, 0x04) + std::vector<Access>{ In(StatusRegister, 0x08) } +
                   ControlWrite(0x04, 0x00) + std::vector<Access>{ In(StatusRegister, 0x68) } +
                   ControlWrite(0x00, 0x04) + ControlWrite(0x04, 0x00) +
                   std::vector<Access>{ In(StatusRegister, 0xB0) } + ControlWrite(0x00, 0x04));
    EXPECT_EQ(0x04, P().control) << "Init rests at 1";
}

TEST_F(DirectParallelPortTest, NibbleTakesBusyInvertedThenPaperEndSelectAndError)
{
    const NibbleCase cases[] = {
        { 0x78, 0xF }, { 0x80, 0x0 }, { 0x68, 0xD }, { 0xB0, 0x6 }, { 0x00, 0x8 }, { 0xFF, 0x7 },
        { 0x47, 0x8 }, { 0xA0, 0x4 }, { 0x90, 0x2 }, { 0x88, 0x1 },
    };
    const size_t n = sizeof cases / sizeof cases[0];
    for (size_t i = 0; i < n; ++i) {
        const NibbleCase& high = cases[i];
        const NibbleCase& low = cases[(i + 3) % n];
        DirectParallelPort port;
        Opened(port);
        P().scriptedStatus = { 0x08, high.status, low.status };
        EXPECT_EQ(high.nibble * 16 + low.nibble, port.ReadByte())
            << std::hex << int(high.status) << " then " << int(low.status);
    }
}

TEST_F(DirectParallelPortTest, ReadByteWithNothingReadyGivesFFAfterOnlyTheReadyTest)
{
    DirectParallelPort port;
    Opened(port);
    EXPECT_EQ(0xFF, port.ReadByte());
    ExpectAccesses(ControlWrite(0x04, 0x04) + std::vector<Access>{ In(StatusRegister, 0xC7) });
}

TEST_F(DirectParallelPortTest, SimulatedDisplayHandsOverItsBytesNibbleByNibble)
{
    DirectParallelPort port;
    Opened(port);
    P().Send({ 0x1B, 0x4B, 0x00, 0xFF, 0x3F });
    for (uint8_t expected : { 0x1B, 0x4B, 0x00, 0xFF, 0x3F })
        EXPECT_EQ(expected, port.ReadByte());
    EXPECT_EQ(0, port.InputReady());
}

TEST_F(DirectParallelPortTest, ReadWithoutTimeoutAndNothingReadyMakesOneStatusTest)
{
    DirectParallelPort port;
    Opened(port);
    P().statusReadsPerTick = 2; // the one test leaves the tick counter where it was
    unsigned char buffer[80];
    EXPECT_EQ(0, port.Read(buffer, 80, 0));
    ExpectAccesses(ControlWrite(0x04, 0x04) + std::vector<Access>{ In(StatusRegister, 0xC7) });
}

TEST_F(DirectParallelPortTest, ReadWithoutTimeoutTakesEveryReadyByteInOnePass)
{
    DirectParallelPort port;
    Opened(port);
    P().Send({ 1, 2, 3, 4, 5 });
    unsigned char buffer[80];
    EXPECT_EQ(5, port.Read(buffer, 80, 0));
    EXPECT_EQ(5, buffer[4]);
    // Per byte: the loop's ready test, ReadByte's own, two nibbles; then
    // the test that finds nothing more.
    EXPECT_EQ(5 * 4 + 1, P().statusReads);
}

TEST_F(DirectParallelPortTest, ReadStopsAtItsLengthWhileBytesKeepArriving)
{
    for (unsigned int timeout : { 0u, 2000u }) {
        P().Reset();
        DirectParallelPort port;
        Opened(port);
        P().Send({ 0x10, 0x20, 0x30, 0x40, 0x50, 0x60 });
        unsigned char buffer[3] = {};
        EXPECT_EQ(3, port.Read(buffer, 3, timeout)) << timeout;
        EXPECT_EQ(0x30, buffer[2]);
        EXPECT_EQ(3u, P().toHost.size()) << "the rest waits for the next read";
        EXPECT_EQ(3 * 4 + 1, P().statusReads) << "readiness is asked before the count, full buffer or not";
    }
}

TEST_F(DirectParallelPortTest, ReadWithTimeoutPollsUntilTheTimeHasPassed)
{
    for (DWORD startAt : { 1000u, 0xFFFFFFFFu - 500 }) {
        DirectParallelPort port;
        Opened(port);
        Win32Double::Get().clock.Set(startAt);
        P().Send({ 0x3F, 0x01, 0x00 });
        unsigned char buffer[15];
        EXPECT_EQ(3, port.Read(buffer, 15, 2000));
        EXPECT_EQ(2001u, Win32Double::Get().clock.Now() - startAt) << "measured across the counter's wrap";
        EXPECT_EQ(0, port.Read(buffer, 0, 2000));
    }
}

TEST_F(DirectParallelPortTest, PortWithNothingAttachedNeverHasAByte)
{
    P().attached = false; // every read gives all ones
    DirectParallelPort port;
    EXPECT_EQ(1, port.Open("LPT1"));
    EXPECT_EQ(0, port.InputReady());
    EXPECT_EQ(0xFF, port.ReadByte());
    unsigned char buffer[15];
    DWORD start = Win32Double::Get().clock.Now();
    EXPECT_EQ(0, port.Read(buffer, 15, 500));
    EXPECT_EQ(501u, Win32Double::Get().clock.Now() - start);
}

TEST_F(DirectParallelPortTest, DestroyingSetsSelectInOnlyAfterOpen)
{
    {
        DirectParallelPort never;
    }
    EXPECT_TRUE(P().accesses.empty()) << Describe(P().accesses);

    {
        DirectParallelPort port;
        Opened(port);
    }
    ExpectAccesses(ControlWrite(0x04, 0x0C));
}

TEST_F(DirectParallelPortTest, EveryAccessIsToTheThreeRegistersInTheirOwnDirection)
{
    {
        DirectParallelPort port;
        Opened(port);
        P().Send({ 0x55, 0xAA });
        const unsigned char packet[] = { 0x1B, 0x3F };
        port.Write(packet, 2);
        unsigned char buffer[4];
        port.Read(buffer, 4, 10);
    }
    for (const Access& a : P().accesses) {
        if (a.port == DataRegister) {
            EXPECT_EQ(Access::Out, a.direction) << Describe(a);
        } else if (a.port == StatusRegister) {
            EXPECT_EQ(Access::In, a.direction) << Describe(a);
        } else {
            EXPECT_EQ(ControlRegister, a.port) << Describe(a);
        }
        if (a.port == ControlRegister && a.direction == Access::Out) {
            EXPECT_EQ(0, a.value & 0xE0) << Describe(a);
        }
    }
}

} // namespace
