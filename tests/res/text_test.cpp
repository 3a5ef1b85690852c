#include "res/text.h"

#include <string.h>

#include <gtest/gtest.h>

TEST(BoundedText, CopyAppendAndFormatReportWhetherTheyFit)
{
    char buffer[8];
    EXPECT_EQ(1, CopyText(buffer, sizeof buffer, "abcdefg"));
    EXPECT_STREQ("abcdefg", buffer);
    EXPECT_EQ(0, CopyText(buffer, sizeof buffer, "abcdefgh"));
    EXPECT_STREQ("abcdefg", buffer);

    CopyText(buffer, sizeof buffer, "abc");
    EXPECT_EQ(1, AppendText(buffer, sizeof buffer, "defg"));
    EXPECT_EQ(0, AppendText(buffer, sizeof buffer, "h"));
    EXPECT_STREQ("abcdefg", buffer);

    EXPECT_EQ(1, FormatText(buffer, sizeof buffer, "%d-%d", 12, 345));
    EXPECT_STREQ("12-345", buffer);
    EXPECT_EQ(0, FormatText(buffer, sizeof buffer, "%d", 123456789));
    EXPECT_EQ(7u, strlen(buffer));
}

TEST(BoundedText, AppendTextsLeavesTheBufferAsItWasWhenThePartsDoNotFit)
{
    char buffer[10] = "ab";
    const char *const parts[] = { "cd", "efgh", "ijkl" };
    EXPECT_EQ(0, AppendTexts(buffer, sizeof buffer, parts, 3));
    EXPECT_STREQ("ab", buffer);
    EXPECT_EQ(1, AppendTexts(buffer, sizeof buffer, parts, 2));
    EXPECT_STREQ("abcdefgh", buffer);
}

TEST(BoundedText, AnUnterminatedBufferIsNeverReadPastItsEnd)
{
    char buffer[4] = { 'a', 'b', 'c', 'd' };
    EXPECT_EQ(0, AppendText(buffer, sizeof buffer, "x"));
    EXPECT_EQ('\0', buffer[3]);
}
