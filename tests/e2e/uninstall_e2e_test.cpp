// The uninstall workflow of the real Halvex.exe on a machine that a real
// install and components run prepared.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/e2e.h"
#include "support/sandbox.h"

static const char CONTROL_KEY[] = "SOFTWARE\\Classes\\BrevoltStandin.Control\\CLSID";
static const char UNINSTALL_ENTRY[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Fenwa\xAE Parvello Wizard Powered By Corvina\x99";

class UninstallE2eTest : public HalvexE2eTest {
protected:
    const InstallLayout &l = MachineLayout();

    void Run(const char *commandText)
    {
        HalvexRun run;
        ASSERT_TRUE(run.Start(commandText));
        ASSERT_TRUE(run.WaitExit(60000)) << commandText;
    }
    void InstallEverything()
    {
        Run("");
        Run("-installcomponents");
        ASSERT_TRUE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, CONTROL_KEY));
        // Something of another edition's in the shared folder, and a file the
        // installer did not put into the Programs folder.
        CreateDirectoryA(l.sharedProductDir, nullptr);
        WriteFileBytes(std::string(l.sharedProductDir) + "shared.txt", "x");
        WriteFileBytes(std::string(l.programsFolder) + "\\notes.txt", "x");
        // As an interrupted install leaves it.
        WriteFileBytes(l.startupShortcut, "x");
    }
    std::vector<std::string> Uninstall(DWORD *processId)
    {
        HalvexRun run;
        EXPECT_TRUE(run.Start("-uninstall"));
        EXPECT_TRUE(run.WaitExit(60000));
        *processId = run.Id();
        // The registration run sets its starting position once more.
        std::vector<std::string> positions;
        for (const std::string &p : WindowJournal::Values("progress", run.Id()))
            if (positions.empty() || positions.back() != p)
                positions.push_back(p);
        return positions;
    }
    static std::vector<std::string> Texts(DWORD processId)
    {
        std::vector<std::string> texts;
        for (const std::string &t : WindowJournal::Values("text", processId))
            if (!t.empty() && (texts.empty() || texts.back() != t))
                texts.push_back(t);
        return texts;
    }
    void ExpectEditionGone()
    {
        EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY));
        EXPECT_FALSE(FileExists(l.desktopShortcut));
        EXPECT_FALSE(FileExists(l.startupShortcut));
        EXPECT_FALSE(FileExists(l.programsShortcut));
        EXPECT_FALSE(FolderExists(l.installDir));
        EXPECT_FALSE(FolderExists(l.programsFolder)) << "with files the installer did not put there";
    }
};

TEST_F(UninstallE2eTest, TheLastEditionTakesTheSharedPartsWithIt)
{
    InstallEverything();
    DWORD id = 0;
    std::vector<std::string> progress = Uninstall(&id);
    ExpectEditionGone();
    EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, CONTROL_KEY)) << "the control is still registered";
    EXPECT_FALSE(FileExists(std::string(l.windowsDir) + "Brevolt.ocx"));
    EXPECT_FALSE(FileExists(std::string(l.windowsDir) + "Dolvane.exe"));
    for (const char *key : { "Software\\Corvina", "Software\\Ombrix", "Software\\Quellby" })
        EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_CURRENT_USER, key)) << key;
    EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ombrix"));
    EXPECT_FALSE(FolderExists(l.sharedProductDir));

    // 30, then 5 a wait cycle while regsvr32.exe runs, then 30 more, 80, 100.
    ASSERT_GE(progress.size(), 5u);
    EXPECT_EQ("30", progress[0]);
    size_t cycles = progress.size() - 4;
    for (size_t i = 1; i <= cycles; i++)
        EXPECT_EQ(std::to_string(30 + 5 * i), progress[i]);
    EXPECT_EQ(std::to_string(60 + 5 * cycles), progress[cycles + 1]);
    EXPECT_EQ("80", progress[cycles + 2]);
    EXPECT_EQ("100", progress[cycles + 3]);
    const std::vector<std::string> texts = { "Removing Uninstall", "Removing Desktop Link",
                                             "Unregistering Components", "Removing Files" };
    EXPECT_EQ(texts, Texts(id));
}

TEST_F(UninstallE2eTest, WithAnotherEditionLeftTheSharedPartsStay)
{
    InstallEverything();
    RegistrySandbox::PutString(HKEY_CURRENT_USER, "SOFTWARE\\Corvina", "InstalledWizards", "00010004");
    RegistrySandbox::PutString(HKEY_CURRENT_USER, "SOFTWARE\\Corvina", "TotalCVInstallations", "2");
    DWORD id = 0;
    std::vector<std::string> progress = Uninstall(&id);
    ExpectEditionGone();
    EXPECT_TRUE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, CONTROL_KEY));
    EXPECT_TRUE(FileExists(std::string(l.windowsDir) + "Brevolt.ocx"));
    EXPECT_TRUE(FileExists(std::string(l.sharedProductDir) + "shared.txt"));
    std::string ledger;
    RegistrySandbox::GetRaw(HKEY_CURRENT_USER, "SOFTWARE\\Corvina", "InstalledWizards", &ledger);
    EXPECT_EQ("0001", std::string(ledger.c_str()));
    const std::vector<std::string> positions = { "30", "60", "80", "100" };
    EXPECT_EQ(positions, progress);
    const std::vector<std::string> texts = { "Removing Uninstall", "Removing Desktop Link", "Removing Files" };
    EXPECT_EQ(texts, Texts(id));
}
