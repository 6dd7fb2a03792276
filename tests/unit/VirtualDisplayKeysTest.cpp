#include <gtest/gtest.h>

#include "HexText.h"
#include "KeyMap.h"
#include "KeyScript.h"

namespace {
using Bytes = std::vector<uint8_t>;

struct TypedCase {
    const char* typed;
    std::vector<Bytes> packets; // in the order sent
    bool quits;
};

std::string Hex(const Bytes& b) { return HexText(b); }

class KeyMapTyping : public ::testing::TestWithParam<TypedCase> {};

TEST_P(KeyMapTyping, SendsThePacketsOfTheMap)
{
    const TypedCase& c = GetParam();
    KeyMap map(40);
    std::vector<Bytes> sent;
    bool quit = false;
    for (const char* p = c.typed; *p; ++p) {
        KeyMap::Action a = map.Press(*p);
        if (a.kind == KeyMap::Action::Packet)
            sent.push_back(a.bytes);
        quit = quit || a.kind == KeyMap::Action::Quit;
    }
    ASSERT_EQ(c.packets.size(), sent.size()) << "typed \"" << c.typed << "\"";
    for (size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(c.packets[i], sent[i]) << "typed \"" << c.typed << "\": expected " << Hex(c.packets[i]) << ", got "
                                         << Hex(sent[i]);
    EXPECT_EQ(c.quits, quit);
}

INSTANTIATE_TEST_SUITE_P(Table, KeyMapTyping, ::testing::Values(
    TypedCase { "1", { { 0x1B, 0x4B, 0x00, 0x01 } }, false },
    TypedCase { "2", { { 0x1B, 0x4B, 0x00, 0x02 } }, false },
    TypedCase { "3", { { 0x1B, 0x4B, 0x00, 0x04 } }, false },
    TypedCase { "4", { { 0x1B, 0x4B, 0x00, 0x08 } }, false },
    TypedCase { "5", { { 0x1B, 0x4B, 0x00, 0x10 } }, false },
    TypedCase { "q", { { 0x1B, 0x4B, 0x20, 0x00 } }, false },
    TypedCase { "w", { { 0x1B, 0x4B, 0x10, 0x00 } }, false },
    TypedCase { "e", { { 0x1B, 0x4B, 0x08, 0x00 } }, false },
    TypedCase { "r", { { 0x1B, 0x4B, 0x04, 0x00 } }, false },
    TypedCase { "t", { { 0x1B, 0x4B, 0x02, 0x00 } }, false },
    TypedCase { "y", { { 0x1B, 0x4B, 0x01, 0x00 } }, false },
    TypedCase { "+15\r", { { 0x1B, 0x4B, 0x00, 0x11 } }, false },
    TypedCase { "+qy3\n", { { 0x1B, 0x4B, 0x21, 0x04 } }, false },
    TypedCase { "+\r", {}, false },                          // an empty chord sends nothing
    TypedCase { "+15\x7f" "2", { { 0x1B, 0x4B, 0x00, 0x02 } }, false }, // cancelled chord
    TypedCase { "/1\r", { { 0x1B, 0x43, 0x06 } }, false },
    TypedCase { "/40\r", { { 0x1B, 0x43, 0x2D } }, false },
    TypedCase { "/41\r", {}, false },                        // beyond the 40 cells
    TypedCase { "/0\r", {}, false },
    TypedCase { "s1", { { 0x1B, 0x43, 0x00 } }, false },
    TypedCase { "s5", { { 0x1B, 0x43, 0x04 } }, false },
    TypedCase { "s6", {}, false },
    TypedCase { "x", {}, false },                            // not a key
    TypedCase { "1\x03", { { 0x1B, 0x4B, 0x00, 0x01 } }, true },
    TypedCase { "\x04", {}, true }));

TEST(KeyMapPending, TellsWhatIsBeingTyped)
{
    KeyMap map(20);
    EXPECT_EQ("", map.Pending());
    map.Press('+');
    map.Press('5');
    map.Press('q');
    EXPECT_EQ("chord:q5 (Enter sends)", map.Pending());
    map.Press('\r');
    map.Press('/');
    map.Press('1');
    map.Press('2');
    EXPECT_EQ("route to text cell 12_ (Enter sends)", map.Pending());
}

struct ScriptLineCase {
    const char* line;
    KeyScript::Step::Trigger trigger;
    int count, delayMs;
    Bytes bytes;
    bool quit;
};

class KeyScriptLines : public ::testing::TestWithParam<ScriptLineCase> {};

TEST_P(KeyScriptLines, ParseToTheirStep)
{
    const ScriptLineCase& c = GetParam();
    KeyScript script;
    std::string error;
    ASSERT_TRUE(script.Parse(c.line, 40, error)) << c.line << ": " << error;
    ASSERT_EQ(1u, script.Steps().size());
    const KeyScript::Step& s = script.Steps()[0];
    EXPECT_EQ(c.trigger, s.trigger) << c.line;
    EXPECT_EQ(c.count, s.count) << c.line;
    EXPECT_EQ(c.delayMs, s.delayMs) << c.line;
    EXPECT_EQ(c.bytes, s.bytes) << c.line << ": expected " << Hex(c.bytes) << ", got " << Hex(s.bytes);
    EXPECT_EQ(c.quit, s.quit) << c.line;
}

using S = KeyScript::Step;
INSTANTIATE_TEST_SUITE_P(Table, KeyScriptLines, ::testing::Values(
    ScriptLineCase { "at 100 key k1=01 k2=00", S::At, 0, 100, { 0x1B, 0x4B, 0x01, 0x00 }, false },
    ScriptLineCase { "at 0 key k1=3f k2=1F", S::At, 0, 0, { 0x1B, 0x4B, 0x3F, 0x1F }, false },
    ScriptLineCase { "after 250 press q5", S::After, 0, 250, { 0x1B, 0x4B, 0x20, 0x10 }, false },
    ScriptLineCase { "after-cells 2 press 1", S::AfterCells, 2, 0, { 0x1B, 0x4B, 0x00, 0x01 }, false },
    ScriptLineCase { "after-cells 3 +500 route 5", S::AfterCells, 3, 500, { 0x1B, 0x43, 0x0A }, false },
    ScriptLineCase { "after-change 4 +200 press y", S::AfterChange, 4, 200, { 0x1B, 0x4B, 0x01, 0x00 }, false },
    ScriptLineCase { "after-query 1 +10 route-status 2", S::AfterQuery, 1, 10, { 0x1B, 0x43, 0x01 }, false },
    ScriptLineCase { "  at 5 raw 1B 58 4B 01 00   # unknown command", S::At, 0, 5, { 0x1B, 0x58, 0x4B, 0x01, 0x00 }, false },
    ScriptLineCase { "after 1000 quit", S::After, 0, 1000, {}, true }));

struct BadLineCase {
    const char* script;
    const char* error;
};

class KeyScriptErrors : public ::testing::TestWithParam<BadLineCase> {};

TEST_P(KeyScriptErrors, NameTheLineAndTheFault)
{
    KeyScript script;
    std::string error;
    EXPECT_FALSE(script.Parse(GetParam().script, 40, error));
    EXPECT_EQ(GetParam().error, error);
}

INSTANTIATE_TEST_SUITE_P(Table, KeyScriptErrors, ::testing::Values(
    BadLineCase { "sometime 5 quit", "line 1: unknown trigger 'sometime'" },
    BadLineCase { "# fine\n\nat x quit", "line 3: expected a time in ms after 'at'" },
    BadLineCase { "at 5", "line 1: missing action" },
    BadLineCase { "at 5 jump", "line 1: unknown action 'jump'" },
    BadLineCase { "at 5 key k1=100 k2=00", "line 1: expected 'key k1=<hex> k2=<hex>'" },
    BadLineCase { "at 5 key k2=00 k1=00", "line 1: expected 'key k1=<hex> k2=<hex>'" },
    BadLineCase { "at 5 press 6", "line 1: no key '6' (keys are 1-5 and q w e r t y)" },
    BadLineCase { "at 5 route 41", "line 1: expected a cell from 1 to 40 after 'route'" },
    BadLineCase { "at 5 route-status 0", "line 1: expected a cell from 1 to 5 after 'route-status'" },
    BadLineCase { "at 5 raw 1B ZZ", "line 1: bad hex byte 'ZZ'" },
    BadLineCase { "after-cells 0 quit", "line 1: expected a count of 1 or more after 'after-cells'" },
    BadLineCase { "after-cells 1 +x quit", "line 1: bad delay '+x'" },
    BadLineCase { "after-change 0 quit", "line 1: expected a count of 1 or more after 'after-change'" }));

TEST(KeyScriptRun, StepsWaitForTheirTriggersInOrder)
{
    KeyScript script;
    std::string error;
    ASSERT_TRUE(script.Parse("after-query 1 press 1\n"
                             "after-cells 2 +100 press 2\n"
                             "after 50 press 3\n"
                             "after-change 3 press 4\n"
                             "at 10 quit\n",
                             40, error))
        << error;
    KeyScript::Progress p;
    auto due = [&](long now, int cells, int queries, int changes = 0) {
        p.nowMs = now;
        p.cellPackets = cells;
        p.cellChanges = changes;
        p.queries = queries;
        const KeyScript::Step* s = script.Due(p);
        return s ? s->line : 0;
    };
    EXPECT_EQ(0, due(0, 0, 0));
    EXPECT_EQ(1, due(20, 0, 1));
    EXPECT_EQ(0, due(30, 1, 1));
    EXPECT_EQ(0, due(40, 2, 1));  // met at 40, due at 140
    EXPECT_EQ(0, due(139, 2, 1));
    EXPECT_EQ(2, due(140, 2, 1));
    EXPECT_EQ(0, due(189, 2, 1));
    EXPECT_EQ(3, due(190, 2, 1));
    EXPECT_EQ(0, due(200, 9, 1, 2)); // packets enough, changes not
    EXPECT_EQ(4, due(210, 9, 1, 3));
    EXPECT_EQ(5, due(210, 9, 1, 3)); // its time passed long ago: runs at once
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(0, due(1000, 9, 9, 9));
}
} // namespace
