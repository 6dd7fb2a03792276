#include <gtest/gtest.h>

#include <climits>

#include "DriverTestSupport.h"

namespace {

using namespace testsupport;

class IdentifyTest : public DriverTest {};

// A transport that reports more than it stored: only the 15 bytes of the
// reply buffer are looked at, as if 15 had been reported.
TEST_F(IdentifyTest, ReplyIsScannedWithinItsFifteenBytesWhateverTheTransportClaims)
{
    Bytes questionLast(15, 0x00);
    questionLast[14] = 0x3F;
    const struct {
        const char* what;
        Bytes stored;
        int claimed;
        int textCells;
    } cases[] = {
        { "? as the 15th byte, 16 claimed", questionLast, 16, 0 },
        { "? as the 15th byte, INT_MAX claimed", questionLast, INT_MAX, 0 },
        { "answer first, 1000 claimed", { 0x3F, 0x01, 0x00 }, 1000, 40 },
    };
    for (const auto& c : cases) {
        SetUp();
        auto* port = new ScriptedPort(c.stored);
        port->claimed = c.claimed;
        driver->port = port;
        EXPECT_EQ(c.textCells ? 1 : 0, driver->Identify(2000)) << c.what;
        EXPECT_EQ(c.textCells, driver->textCells) << c.what;
        TearDown();
    }
}

struct EncodeCase {
    uint8_t cell;
    uint8_t wire;
};

TEST(CellEncoding, EachBitGoesToItsWirePosition)
{
    const EncodeCase cases[] = {
        { 0x01, 0x01 }, { 0x02, 0x02 }, { 0x04, 0x04 }, { 0x08, 0x80 }, { 0x10, 0x40 },
        { 0x20, 0x20 }, { 0x40, 0x08 }, { 0x80, 0x10 }, { 0x00, 0x00 }, { 0xFF, 0xFF },
        { 0xC3, 0x1B },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.wire, EscProtocolDriver::EncodeCell(c.cell)) << "cell " << int(c.cell);
    int escapes = 0;
    for (int v = 0; v < 256; ++v)
        escapes += EscProtocolDriver::EncodeCell(static_cast<uint8_t>(v)) == 0x1B;
    EXPECT_EQ(1, escapes) << "only 0xC3 encodes as ESC";
}

} // namespace
