#include <gtest/gtest.h>

#include <liblouis/liblouis.h>

#include <cstdio>

#include "BackTranslator.h"
#include "ComputerBraille.h"
#include "DisplayStreamDecoder.h"
#include "FrameRenderer.h"
#include "ProtocolTrace.h"

namespace {
using Bytes = std::vector<uint8_t>;

struct DisplayStreamCase {
    Bytes chunk;
    std::vector<std::string> described;
};

class DisplayStream : public ::testing::TestWithParam<DisplayStreamCase> {};

TEST_P(DisplayStream, DecodesTheDisplaysTraffic)
{
    DisplayStreamDecoder decoder;
    std::vector<DisplayStreamDecoder::Message> out;
    decoder.Feed(GetParam().chunk.data(), GetParam().chunk.size(), out);
    decoder.Finish(out);
    std::vector<std::string> got;
    for (const auto& m : out)
        got.push_back(m.Describe());
    EXPECT_EQ(GetParam().described, got);
}

INSTANTIATE_TEST_SUITE_P(Table, DisplayStream, ::testing::Values(
    DisplayStreamCase { { 0x3F, 0x01, 0x00 }, { "model reply 3F 01 00" } },
    DisplayStreamCase { { 0x00, 0x3F, 0x05, 0x3F, 0x08 }, { "model reply 00 3F 05 3F 08" } },
    DisplayStreamCase { { 0x3F, 0x03, 0x00 }, { "malformed (bytes outside a packet): 3F 03 00" } },
    DisplayStreamCase { { 0x1B, 0x4B, 0x01, 0x00 }, { "key k1=01 k2=00" } },
    DisplayStreamCase { { 0x1B, 0x1B, 0x4B, 0x1B, 0x1B }, { "key k1=1B k2=1B" } },
    DisplayStreamCase { { 0x1B, 0x43, 0x05, 0x1B, 0x43, 0x55 }, { "routing r=05", "routing r=55" } },
    DisplayStreamCase { { 0x1B, 0x58, 0x4B, 0x01, 0x00 },
                        { "malformed (unknown command): 1B 58", "malformed (bytes outside a packet): 4B 01 00" } },
    DisplayStreamCase { { 0x1B, 0x4B, 0x01 }, { "malformed (packet cut short): 1B 4B 01" } }));

TEST(DisplayStream, KeepsAPacketSplitOverChunks)
{
    DisplayStreamDecoder decoder;
    std::vector<DisplayStreamDecoder::Message> out;
    const uint8_t a[] = { 0x1B, 0x4B }, b[] = { 0x20, 0x10 };
    decoder.Feed(a, 2, out);
    EXPECT_TRUE(out.empty());
    decoder.Feed(b, 2, out);
    ASSERT_EQ(1u, out.size());
    EXPECT_EQ("key k1=20 k2=10", out[0].Describe());
}

std::string TraceOf(const std::function<void(ProtocolTrace&)>& session)
{
    char* text = nullptr;
    size_t size = 0;
    std::FILE* f = open_memstream(&text, &size);
    {
        ProtocolTrace trace(f, 5, 20);
        trace.SetFixedTime(1.5);
        session(trace);
        trace.Finish();
    }
    std::fclose(f);
    std::string s(text, size);
    free(text);
    return s;
}

TEST(ProtocolTrace, WritesOneLinePerMessageInBothDirections)
{
    Bytes cells = { 0x1B, 0x42 };
    for (int i = 0; i < 25; ++i)
        cells.push_back(i == 5 ? 0x1B : 0x00); // host cell C3 travels as 1B 1B
    cells.insert(cells.begin() + 8, 0x1B);
    std::string got = TraceOf([&](ProtocolTrace& t) {
        t.HostBytes({ 0x1B, 0x3F });
        t.DisplayBytes({ 0x3F, 0x00, 0x00 });
        t.HostBytes({ 0x1B, 0x49 });
        t.HostBytes({ 0x00 });
        t.HostBytes(cells);
        t.DisplayBytes({ 0x1B, 0x43, 0x07 });
        t.Note("script line 3: after 5 quit");
        t.HostBytes({ 0x42, 0x1B, 0x42, 0x00 });
    });
    std::string expected = "    1.500 H>D query | 1B 3F\n"
                           "    1.500 D>H model reply 3F 00 00 | 3F 00 00\n"
                           "    1.500 H>D after-query 1B 49 00 | 1B 49 00\n"
                           "    1.500 H>D cells: status 00 00 00 00 00 text C3";
    for (int i = 0; i < 19; ++i)
        expected += " 00";
    expected += " | " + ProtocolTrace::Hex(cells) + "\n";
    expected += "    1.500 D>H routing r=07 | 1B 43 07\n"
                "    1.500 --  script line 3: after 5 quit\n"
                "    1.500 H>D malformed (bytes outside a message): 42 | 42\n"
                "    1.500 H>D malformed (message cut short): 1B 42 00 | 1B 42 00\n";
    EXPECT_EQ(expected, got);
}

TEST(FrameRenderer, BrailleIsTheU2800BlockPlusTheHostBits)
{
    EXPECT_EQ("\u2800", FrameRenderer::Braille(0x00));
    EXPECT_EQ("\u2801", FrameRenderer::Braille(0x01)); // dot 1
    EXPECT_EQ("\u2840", FrameRenderer::Braille(0x40)); // dot 7
    EXPECT_EQ("\u2880", FrameRenderer::Braille(0x80)); // dot 8
    EXPECT_EQ("\u28FF", FrameRenderer::Braille(0xFF));
}

TEST(FrameRenderer, NumbersEndUnderTheirCells)
{
    EXPECT_EQ("1   5   10   15   20", FrameRenderer::RoutingNumbers(20));
    EXPECT_EQ("1   5", FrameRenderer::RoutingNumbers(7));
    EXPECT_EQ(80u, FrameRenderer::RoutingNumbers(80).size());
}

TEST(FrameRenderer, LaysOutAFrame)
{
    FrameRenderer::Frame f;
    f.status = { 0x01, 0x03, 0x00, 0x00, 0x00 };
    f.text = { 0x53, 0x11, 0x07, 0x07, 0x15, 0x00, 0x00, 0x00, 0x00, 0xC0 };
    BackTranslator tr;
    ASSERT_TRUE(tr.Usable());
    f.statusPrint = tr.Translate(f.status);
    f.textPrint = tr.Translate(f.text);
    f.modelCode = 0x07;
    f.cellPackets = 1;
    std::vector<std::string> expected = {
        "brl-virtual-display: 10 text cells, model code 07, 1 cell packet",
        "         status   text",
        "braille  \u2801\u2803\u2800\u2800\u2800    \u2853\u2811\u2807\u2807\u2815\u2800\u2800\u2800\u2800\u28C0",
        "print    ab       Hello",
        "routing  12345    1   5   10",
    };
    EXPECT_EQ(expected, FrameRenderer::Render(f));
}

TEST(BackTranslator, ReadsTheCursorDotsAway)
{
    BackTranslator tr;
    // 'H' with dot 8 as well; 'e' with dots 7 and 8 reads as the capital
    // (dot 7 is the capital's); dots 7 and 8 alone; dots 2 and 7, which the
    // table leaves out, read as dot 2
    std::vector<std::string> expected = { "H", "E", " ", "1" };
    EXPECT_EQ(expected, tr.Translate({ 0xD3, 0xD1, 0xC0, 0x42 }));
}

// The host's table is its own; for printable ASCII it must agree with the
// computer braille table the virtual display reads back with.
TEST(ComputerBraille, AgreesWithLiblouisForPrintableAscii)
{
    for (int c = 0x20; c < 0x7F; ++c) {
        widechar in = static_cast<widechar>(c), out = 0;
        ASSERT_TRUE(lou_charToDots("en-us-comp8.ctb", &in, &out, 1, 0));
        EXPECT_EQ(out & 0xFF, ComputerBrailleCell(static_cast<unsigned char>(c)))
            << "character '" << static_cast<char>(c) << "'";
    }
}

// The window display reads cells back with the host's table, having no
// liblouis on Windows; a sighted helper must read there what the Linux
// display shows, for every cell.
TEST(ComputerBraille, ReadsEveryCellAsLiblouisDoes)
{
    BackTranslator tr;
    for (int cell = 0; cell < 256; ++cell) {
        std::string window(1, static_cast<char>(ComputerBrailleCharacter(static_cast<unsigned char>(cell))));
        EXPECT_EQ(tr.Translate({ static_cast<uint8_t>(cell) })[0], window) << "cell " << cell;
    }
}

TEST(ComputerBraille, ControlCharactersAddDotsSevenAndEight)
{
    EXPECT_EQ(0xC1, ComputerBrailleCell(0x01)); // ^A: dots 1, 7, 8
    EXPECT_EQ(0xC8, ComputerBrailleCell(0x00)); // ^@: dots 4, 7, 8
}
} // namespace
