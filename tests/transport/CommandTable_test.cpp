#include "transport/CommandTable.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

TEST(CommandTable, RowsAreValidOnlyFromOneToForty)
{
    EXPECT_EQ(IpmiCommandRow(0), nullptr);
    EXPECT_EQ(IpmiCommandRow(41), nullptr);
    for (int row = 1; row <= 40; ++row)
    {
        const tagIPMI_COMMAND* entry = IpmiCommandRow(static_cast<BYTE>(row));
        ASSERT_NE(entry, nullptr) << row;
        EXPECT_EQ(entry->netFn % 2, 0) << "request netFns are even, row " << row;
        EXPECT_EQ(entry->lun, 0) << row;
    }
}

TEST(CommandTable, ReplyPairsAreUniqueExceptTheTwoSolConfigurationRows)
{
    std::set<std::pair<int, int>> seen;
    for (int row = 1; row <= 40; ++row)
    {
        const tagIPMI_COMMAND* entry = IpmiCommandRow(static_cast<BYTE>(row));
        bool fresh = seen.insert({entry->netFn, entry->command}).second;
        EXPECT_TRUE(fresh || row == 40) << "duplicate netFn/cmd at row " << row;
    }
    // A stray reply of that kind is filed under the first row.
    EXPECT_EQ(IpmiCommandRowOfReply(0x0D, 0x21), 32);
    EXPECT_EQ(IpmiCommandRowOfReply(0x07, 0x01), 6);
    EXPECT_EQ(IpmiCommandRowOfReply(0x07, 0x99), 0);
}

TEST(CommandTable, VariableRowsTakeTheirLengthFromTheirData)
{
    struct
    {
        std::vector<BYTE> record;
        int length;
    } cases[] = {
        {{6}, 0},          {{12, 0, 0, 0, 0, 0, 0xFF}, 6},
        {{25, 3}, 4},      // the first data byte counts the bytes after it
        {{25}, -1},        // too short to tell
        {{29, 1, 16}, 20}, // channel, selector 16, 18 bytes of parameter
        {{29, 1, 0}, 3},   {{29, 1, 19}, 15},
        {{29, 1, 20}, -1}, // selectors above 19 unsupported
        {{29, 1}, -1},     {{0}, -1},
        {{41}, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IpmiRequestDataLength(c.record.data(), c.record.size()), c.length)
            << "row " << int(c.record[0]);
}
