#include "shell/log.h"

#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "app/layout.h"
#include "res/text.h"
#include "support/sandbox.h"

static time_t LocalTime(int year, int month, int day, int hour, int minute, int second)
{
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return mktime(&t);
}

TEST(LogLine, HasTheStampTheMessageAndALineEnd)
{
    struct Case {
        time_t when;
        std::string text;
        std::string line;
    } cases[] = {
        { LocalTime(2012, 2, 1, 9, 5, 3), "Halvex Startup.", "Wed Feb 01 09:05:03 2012 - Halvex Startup.\r\n" },
        { LocalTime(1999, 12, 31, 23, 59, 59), "", "Fri Dec 31 23:59:59 1999 - \r\n" },
        { LocalTime(2026, 7, 5, 0, 0, 0), "x", "Sun Jul 05 00:00:00 2026 - x\r\n" },
    };
    for (const Case &c : cases) {
        char line[LOG_LINE_SIZE];
        EXPECT_EQ(c.line.size(), FormatLogLine(line, sizeof line, c.when, c.text.c_str()));
        EXPECT_EQ(c.line, line);
    }
}

TEST(LogLine, ALongMessageIsCutAt1023CharactersWithoutLineEnd)
{
    std::string text(2000, 'm');
    char line[LOG_LINE_SIZE];
    EXPECT_EQ(1023u, FormatLogLine(line, sizeof line, LocalTime(2012, 2, 1, 9, 5, 3), text.c_str()));
    EXPECT_EQ('m', line[1022]);
}

class WriteLogTest : public ::testing::Test {
protected:
    TempFolder folder{ "log" };
    std::string LogPath() const { return folder.Sub("Halvex.log"); }
    void SetUp() override { CopyText(installLayout.installDir, sizeof installLayout.installDir, folder.Path().c_str()); }
};

TEST_F(WriteLogTest, AppendsAfterTheLastByteOfAnExistingFile)
{
    WriteFileBytes(LogPath(), "no line end");
    WriteLog("first");
    WriteLog("second");
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(LogPath(), &bytes));
    ASSERT_EQ(11u + (24 + 3 + 5 + 2) + (24 + 3 + 6 + 2), bytes.size());
    EXPECT_EQ("no line end", bytes.substr(0, 11));
    EXPECT_EQ(" - first\r\n", bytes.substr(11 + 24, 10));
    EXPECT_EQ(" - second\r\n", bytes.substr(11 + 24 + 10 + 24, 11));
}

TEST_F(WriteLogTest, NothingIsWrittenWithoutTheFolderOrWhileAWriterHoldsTheFile)
{
    std::string missing = folder.Sub("missing\\");
    CopyText(installLayout.installDir, sizeof installLayout.installDir, missing.c_str());
    WriteLog("lost");
    EXPECT_FALSE(FolderExists(missing));

    CopyText(installLayout.installDir, sizeof installLayout.installDir, folder.Path().c_str());
    HANDLE held = CreateFileA(LogPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    WriteLog("lost too");
    CloseHandle(held);
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(LogPath(), &bytes));
    EXPECT_EQ("", bytes);
}

TEST_F(WriteLogTest, APathThatDoesNotFitIsNotCut)
{
    std::string deep = folder.Path() + std::string(250, 'd') + "\\";
    CopyText(installLayout.installDir, sizeof installLayout.installDir, deep.c_str());
    WriteLog("lost");
    EXPECT_FALSE(FileExists(folder.Path() + std::string(250, 'd') + "\\Halvex.lo"));
}
