#include "state/product.h"

#include <shlwapi.h>

#include <string>

#include <gtest/gtest.h>

#include "app/layout.h"
#include "res/text.h"
#include "support/sandbox.h"

class ProductStateTest : public ::testing::Test {
protected:
    RegistrySandbox sandbox;
    void SetUp() override
    {
        CopyText(installLayout.installDir, sizeof installLayout.installDir, "C:\\Program Files\\CorvinaFenwa\\");
    }
    static std::string Value(const char *name)
    {
        std::string raw;
        if (!RegistrySandbox::GetRaw(HKEY_CURRENT_USER, PRODUCT_KEY, name, &raw))
            return "<missing>";
        return raw.c_str(); // the terminator the system may add
    }
};

TEST_F(ProductStateTest, OnlyTheText1MeansInstalled)
{
    EXPECT_EQ(0, IsProgramInstalled()) << "no product key";
    struct Case {
        const char *stored;
        int installed;
    } cases[] = { { "1", 1 }, { "0", 0 }, { "", 0 }, { "01", 0 }, { "1 ", 0 } };
    for (const Case &c : cases) {
        RegistrySandbox::PutString(HKEY_CURRENT_USER, PRODUCT_KEY, "ProgramInstalled", c.stored);
        EXPECT_EQ(c.installed, IsProgramInstalled()) << "\"" << c.stored << "\"";
    }
}

TEST_F(ProductStateTest, StateWritesCreateTheKeyAndKeepTheFolderOfAnEarlierInstall)
{
    WriteProgramState("1", "2-1-2012");
    EXPECT_EQ(1, IsProgramInstalled());
    EXPECT_EQ("C:\\Program Files\\CorvinaFenwa\\", Value("InstallDir"));
    EXPECT_EQ("Tamrick.exe", Value("VersionModule"));
    EXPECT_EQ("2-1-2012", Value("InstalledDate"));
    EXPECT_EQ("", Value("FinishedDate"));

    CopyText(installLayout.installDir, sizeof installLayout.installDir, "D:\\Elsewhere\\");
    WriteProgramState("0", "");
    EXPECT_EQ(0, IsProgramInstalled());
    EXPECT_EQ("0", Value("ProgramInstalled"));
    EXPECT_EQ("C:\\Program Files\\CorvinaFenwa\\", Value("InstallDir"));
    EXPECT_EQ("", Value("InstalledDate"));

    EXPECT_EQ("<missing>", Value("ComponentsInstalled"));
    WriteComponentsState("0");
    EXPECT_EQ("0", Value("ComponentsInstalled"));
    WriteComponentsState("1");
    EXPECT_EQ("1", Value("ComponentsInstalled"));
}

TEST_F(ProductStateTest, AnInstallFromScratchWritesNoFolderBeforeItSucceeds)
{
    WriteProgramState("0", "");
    EXPECT_EQ("<missing>", Value("InstallDir"));
    EXPECT_EQ("<missing>", Value("VersionModule"));
    EXPECT_EQ("0", Value("ProgramInstalled"));
}
