#include "ui/MainWindowHeight.h"

#include <gtest/gtest.h>

// The Part's outer heights (141 and 273 pixels) hold wherever the frame leaves the rows as
// they must be: normal mode ends between the buttons (97) and the debug row (128), debug mode
// 8 to 16 pixels below the row (222). Without a known frame the height is chosen inside those
// bounds.
TEST(MainWindowHeight, OuterHeightsWithinTheRows)
{
    struct Row
    {
        bool debug;
        int frame;
        int client;
    };
    // clang-format off
    const Row rows[] = {
        {false, 0, 112}, {false, 21, 120}, {false, 30, 111}, {false, 39, 105}, {false, 60, 105}, {false, 4, 120},
        {true, 0, 230},  {true, 21, 238},  {true, 39, 234},  {true, 60, 230},
    };
    // clang-format on
    for (const Row& row : rows)
        EXPECT_EQ(mainWindowClientHeight(row.debug, row.frame), row.client) << row.debug << " " << row.frame;
}
