#include "app/layout.h"

#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include <shlwapi.h>

#include "app/process_state.h"
#include "support/sandbox.h"

static const char SHELL_FOLDERS[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
static const char CURRENT_VERSION[] = "Software\\Microsoft\\Windows\\CurrentVersion";
static const std::string LINK = "\\Fenwa\xAE Parvello Wizard Powered By Corvina\x99.lnk";

class LayoutTest : public ::testing::Test {
protected:
    RegistrySandbox sandbox;
    void SetUp() override
    {
        memset(&installLayout, 0, sizeof installLayout);
        processState.instance = GetModuleHandleA(nullptr);
    }
};

TEST_F(LayoutTest, ProgramsFolderFallsBackFromTheMachineToTheUser)
{
    struct Case {
        const char *what;
        const char *common; // nullptr: value missing
        const char *user;
        std::string folder;
    } cases[] = {
        { "all-users folder wins", "C:\\All\\Programs", "C:\\Me\\Programs", "C:\\All\\Programs\\Corvina" },
        { "empty all-users folder", "", "C:\\Me\\Programs", "C:\\Me\\Programs\\Corvina" },
        { "missing all-users folder", nullptr, "C:\\Me\\Programs", "C:\\Me\\Programs\\Corvina" },
        { "both missing", nullptr, nullptr, "\\Corvina" },
        { "a trailing separator is kept", "C:\\All\\", nullptr, "C:\\All\\\\Corvina" },
    };
    for (const Case &c : cases) {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, SHELL_FOLDERS);
        SHDeleteKeyA(HKEY_CURRENT_USER, SHELL_FOLDERS);
        if (c.common)
            RegistrySandbox::PutString(HKEY_LOCAL_MACHINE, SHELL_FOLDERS, "Common Programs", c.common);
        if (c.user)
            RegistrySandbox::PutString(HKEY_CURRENT_USER, SHELL_FOLDERS, "Programs", c.user);
        InitInstallLayout();
        EXPECT_EQ(c.folder, installLayout.programsFolder) << c.what;
        EXPECT_EQ(c.folder + LINK, installLayout.programsShortcut) << c.what;
    }
}

TEST_F(LayoutTest, FoldersAndNamesFromTheRegistry)
{
    RegistrySandbox::PutString(HKEY_LOCAL_MACHINE, SHELL_FOLDERS, "Common Desktop", "C:\\Users\\Public\\Desktop");
    RegistrySandbox::PutString(HKEY_CURRENT_USER, SHELL_FOLDERS, "Startup", "C:\\Me\\Startup");
    RegistrySandbox::PutString(HKEY_LOCAL_MACHINE, CURRENT_VERSION, "ProgramFilesDir", "C:\\Program Files");
    InitInstallLayout();

    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    char own[MAX_PATH];
    GetModuleFileNameA(nullptr, own, sizeof own);

    struct Field {
        const char *name;
        const char *value;
        std::string expected;
    } fields[] = {
        { "installDir", installLayout.installDir, "C:\\Program Files\\CorvinaFenwa\\" },
        { "sharedProductDir", installLayout.sharedProductDir, "C:\\Program Files\\Corvina\\" },
        { "windowsDir", installLayout.windowsDir, std::string(windows) + "\\" },
        { "desktopShortcut", installLayout.desktopShortcut, "C:\\Users\\Public\\Desktop" + LINK },
        { "startupShortcut", installLayout.startupShortcut, "C:\\Me\\Startup" + LINK },
        { "ownPath", installLayout.ownPath, own },
        { "displayName", installLayout.displayName, "Fenwa\xAE Parvello Wizard Powered By Corvina\x99" },
        { "wizardCode", installLayout.wizardCode, "0004" },
        { "wizardZipUrl", installLayout.wizardZipUrl, "http://" HALVEX_DISTRIBUTION_HOST "/fenwa/FenwaTamrick.zip" },
        { "componentsZipUrl", installLayout.componentsZipUrl, "http://" HALVEX_DISTRIBUTION_HOST "/BVMFC.zip" },
        { "installer64Url", installLayout.installer64Url,
          "http://" HALVEX_DISTRIBUTION_HOST "/fenwa/FenwaHalvex64.exe" },
        { "installReportUrl", installLayout.installReportUrl,
          "https://" HALVEX_REPORT_HOST "/payment/product.install?customerName=Fenwa&productName=Corvina&guid=" },
    };
    for (const Field &f : fields)
        EXPECT_EQ(f.expected, f.value) << f.name;
    EXPECT_LE(strlen(installLayout.displayName), 127u) << "the tray tip shows it whole";
}

TEST_F(LayoutTest, MissingOrOversizedFoldersLeaveTheSuffixAlone)
{
    // 1015 characters fit the read, but not with "\CorvinaFenwa\" after them.
    std::string longFolder = "C:\\" + std::string(1012, 'p');
    RegistrySandbox::PutString(HKEY_LOCAL_MACHINE, CURRENT_VERSION, "ProgramFilesDir", longFolder.c_str());
    InitInstallLayout();
    EXPECT_STREQ("\\CorvinaFenwa\\", installLayout.installDir);
    EXPECT_STREQ("\\Corvina\\", installLayout.sharedProductDir);
    EXPECT_EQ(LINK, installLayout.desktopShortcut);
    EXPECT_EQ(LINK, installLayout.startupShortcut);

    // The Programs folder takes "\Corvina" and the link name: one that
    // leaves no room for the link is missing for both fields.
    std::string programs = "C:\\" + std::string(1023 - 3 - 8 - LINK.size() + 1, 'p');
    RegistrySandbox::PutString(HKEY_LOCAL_MACHINE, SHELL_FOLDERS, "Common Programs", programs.c_str());
    InitInstallLayout();
    EXPECT_STREQ("\\Corvina", installLayout.programsFolder);
    EXPECT_EQ("\\Corvina" + LINK, installLayout.programsShortcut);
    programs.pop_back();
    RegistrySandbox::PutString(HKEY_LOCAL_MACHINE, SHELL_FOLDERS, "Common Programs", programs.c_str());
    InitInstallLayout();
    EXPECT_EQ(programs + "\\Corvina" + LINK, installLayout.programsShortcut) << "just fits";

    std::string fits = "C:\\" + std::string(1023 - 3 - 9, 'p'); // + "\Corvina\" is 1023
    RegistrySandbox::PutString(HKEY_LOCAL_MACHINE, CURRENT_VERSION, "ProgramFilesDir", fits.c_str());
    InitInstallLayout();
    EXPECT_EQ(fits + "\\Corvina\\", installLayout.sharedProductDir);
    EXPECT_STREQ("\\CorvinaFenwa\\", installLayout.installDir);
}
