#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LinkStatus.h"
#include "WindowOptions.h"

namespace {
LinkStatus::Facts Link(bool on, int lastQuery, int lastCells, bool blank)
{
    LinkStatus::Facts f;
    f.on = on;
    f.lastQuery = lastQuery;
    f.lastCells = lastCells;
    f.cellsBlank = blank;
    return f;
}

struct StateCase {
    const char* what;
    LinkStatus::Facts facts;
    const char* state;
};

class LinkStates : public ::testing::TestWithParam<StateCase> {};

TEST_P(LinkStates, NameWhereTheLinkIs)
{
    EXPECT_STREQ(GetParam().state, LinkStatus::Name(LinkStatus::StateOf(GetParam().facts))) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Table, LinkStates, ::testing::Values(
    StateCase { "nothing yet", Link(true, -1, -1, true), "waiting for the host" },
    StateCase { "a query, no cells", Link(true, 0, -1, true), "identified" },
    StateCase { "cells with dots", Link(true, 0, 2, false), "cells shown" },
    StateCase { "cells without a query first", Link(true, -1, 0, false), "cells shown" },
    StateCase { "blank cells", Link(true, 0, 2, true), "blank" },
    StateCase { "a new query after cells: the host started again", Link(true, 5, 2, false), "identified" },
    StateCase { "switched off, whatever came", Link(false, 0, 2, false), "off" }));

TEST(LinkStatus, LineNamesPortModelStateAndCounts)
{
    LinkStatus::Facts f = Link(true, 0, 3, false);
    f.packetsIn = 12;
    f.packetsOut = 3;
    EXPECT_EQ("COM6 | 40 text cells, model code 01 | cells shown | 12 packets in, 3 out",
              LinkStatus::Line("COM6", 40, 0x01, f));
}

struct CommandCase {
    std::vector<std::string> args;
    // Accepted: the port's device path, cells, width, height; refused: a
    // word of the reason.
    std::string device;
    int cells, width, height;
    std::string error;
};

class WindowCommandLines : public ::testing::TestWithParam<CommandCase> {};

TEST_P(WindowCommandLines, ReadAsAUserMeansThem)
{
    const CommandCase& c = GetParam();
    WindowOptions o;
    std::string error;
    bool ok = o.Parse(c.args, error);
    if (!c.error.empty()) {
        EXPECT_FALSE(ok);
        EXPECT_NE(std::string::npos, error.find(c.error)) << error;
        return;
    }
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(c.device, o.render.empty() ? WindowOptions::DevicePath(o.port) : "");
    EXPECT_EQ(c.cells, o.textCells);
    EXPECT_EQ(c.width, o.width);
    EXPECT_EQ(c.height, o.height);
}

INSTANTIATE_TEST_SUITE_P(Table, WindowCommandLines, ::testing::Values(
    CommandCase { { "COM6" }, "COM6", 40, 0, 0, "" },
    CommandCase { { "COM12", "--cells", "80" }, "\\\\.\\COM12", 80, 0, 0, "" },
    CommandCase { { "--cells", "20", "COM6:38400,n,8,1" }, "COM6", 20, 0, 0, "" },
    CommandCase { { "\\\\.\\CNCB0", "--size", "960x172" }, "\\\\.\\CNCB0", 40, 960, 172, "" },
    CommandCase { { "--render", "34 02 00 34 02 43 17", "--bitmap", "f.bmp" }, "", 2, 0, 0, "" },
    CommandCase { {}, "", 0, 0, 0, "no port" },
    CommandCase { { "COM6", "COM7" }, "", 0, 0, 0, "one port" },
    CommandCase { { "COM6", "--cells", "30" }, "", 0, 0, 0, "20, 40 or 80" },
    CommandCase { { "COM6", "--size", "960" }, "", 0, 0, 0, "WIDTHxHEIGHT" },
    CommandCase { { "COM6", "--trace" }, "", 0, 0, 0, "wants a value" },
    CommandCase { { "--render", "34 02 00 34 02", "--bitmap", "f.bmp" }, "", 0, 0, 0, "more than 5" },
    CommandCase { { "--render", "34 02 00 34 02 43" }, "", 0, 0, 0, "--bitmap" },
    CommandCase { { "COM6", "--colour", "red" }, "", 0, 0, 0, "unknown option" }));
} // namespace
