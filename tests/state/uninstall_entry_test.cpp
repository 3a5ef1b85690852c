#include "state/uninstall_entry.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/layout.h"
#include "res/text.h"
#include "state/ledger.h"
#include "state/product.h"
#include "support/sandbox.h"

static const char UNINSTALL[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
static const std::string ENTRY = std::string(UNINSTALL) + "\\" + DISPLAY_NAME;

// Names of the subkeys as the ANSI interface gives them back.
static std::vector<std::string> EntryNames()
{
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UNINSTALL, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    char name[256];
    DWORD size = sizeof name;
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         i++, size = sizeof name)
        names.push_back(std::string(name, size));
    RegCloseKey(key);
    return names;
}

static DWORD ValueCount(const std::string &subKey)
{
    HKEY key = nullptr;
    DWORD count = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return count;
}

// The length written leaves the terminator out; NT (and Wine after it) counts
// it back in when the byte after the text is zero, as it is in our buffers.
static std::string Stored(const std::string &text)
{
    return text + std::string(1, '\0');
}

static void ExpectValue(const char *name, const std::string &text)
{
    std::string raw;
    DWORD type = 0;
    ASSERT_TRUE(RegistrySandbox::GetRaw(HKEY_LOCAL_MACHINE, ENTRY.c_str(), name, &raw, &type)) << name;
    EXPECT_EQ(Stored(text), raw) << name;
    EXPECT_EQ((DWORD)REG_SZ, type) << name;
}

class UninstallEntryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CopyText(installLayout.displayName, sizeof installLayout.displayName, DISPLAY_NAME);
        CopyText(installLayout.installDir, sizeof installLayout.installDir, "C:\\Program Files\\CorvinaFenwa\\");
    }
    RegistrySandbox sandbox;
};

TEST_F(UninstallEntryTest, WritesFourValuesUnderTheDisplayName)
{
    WriteUninstallEntry("C:\\Program Files\\CorvinaFenwa\\Tamrick.exe");

    std::vector<std::string> names = EntryNames();
    ASSERT_EQ(1u, names.size());
    EXPECT_EQ(std::string("Fenwa\xAE Parvello Wizard Powered By Corvina\x99"), names[0]);
    EXPECT_EQ(4u, ValueCount(ENTRY));
    ExpectValue("DisplayIcon", "C:\\Program Files\\CorvinaFenwa\\Tamrick.exe,0");
    ExpectValue("DisplayName", "Fenwa\xAE Parvello Wizard Powered By Corvina\x99");
    ExpectValue("InstallLocation", "C:\\Program Files\\CorvinaFenwa\\");
    ExpectValue("UninstallString", "\"C:\\Program Files\\CorvinaFenwa\\Tamrick.exe\" -uninstall");
}

TEST_F(UninstallEntryTest, ASecondWriteOverwritesTheFourValuesAndKeepsOthers)
{
    WriteUninstallEntry("C:\\Program Files\\CorvinaFenwa\\Tamrick.exe");
    RegistrySandbox::PutString(HKEY_LOCAL_MACHINE, ENTRY.c_str(), "Publisher", "someone");
    CopyText(installLayout.installDir, sizeof installLayout.installDir, "D:\\Apps\\CorvinaFenwa\\");
    WriteUninstallEntry("D:\\Apps\\CorvinaFenwa\\Tamrick.exe");

    EXPECT_EQ(1u, EntryNames().size());
    EXPECT_EQ(5u, ValueCount(ENTRY));
    ExpectValue("DisplayIcon", "D:\\Apps\\CorvinaFenwa\\Tamrick.exe,0");
    ExpectValue("InstallLocation", "D:\\Apps\\CorvinaFenwa\\");
    ExpectValue("UninstallString", "\"D:\\Apps\\CorvinaFenwa\\Tamrick.exe\" -uninstall");
    std::string publisher;
    RegistrySandbox::GetRaw(HKEY_LOCAL_MACHINE, ENTRY.c_str(), "Publisher", &publisher);
    EXPECT_EQ("someone", std::string(publisher.c_str()));
}

// The quoted command must stay within 255 characters: 242 for the path.
TEST_F(UninstallEntryTest, APathThatDoesNotFitWritesNoEntry)
{
    std::string fits = "C:\\" + std::string(227, 'a') + "\\Tamrick.exe";
    std::string tooLong = "C:\\" + std::string(228, 'a') + "\\Tamrick.exe";
    ASSERT_EQ(242u, fits.size());

    WriteUninstallEntry(tooLong.c_str());
    EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, ENTRY.c_str()));

    WriteUninstallEntry(fits.c_str());
    ExpectValue("UninstallString", "\"" + fits + "\" -uninstall");
}

TEST_F(UninstallEntryTest, DeleteRemovesOnlyTheEntry)
{
    std::string other = std::string(UNINSTALL) + "\\Other Program";
    RegistrySandbox::PutString(HKEY_LOCAL_MACHINE, other.c_str(), "DisplayName", "Other Program");

    DeleteUninstallEntry();
    EXPECT_EQ(std::vector<std::string>{ "Other Program" }, EntryNames()) << "a missing entry changes nothing";

    WriteUninstallEntry("C:\\Program Files\\CorvinaFenwa\\Tamrick.exe");
    ASSERT_EQ(2u, EntryNames().size());
    DeleteUninstallEntry();
    EXPECT_EQ(std::vector<std::string>{ "Other Program" }, EntryNames());
}

TEST_F(UninstallEntryTest, ProductKeysGoWhereTheyExistAndNothingElse)
{
    struct Tree {
        HKEY root;
        const char *key;
        bool removed;
    } trees[] = {
        { HKEY_CURRENT_USER, "SOFTWARE\\Corvina\\Sub", true },
        { HKEY_CURRENT_USER, "SOFTWARE\\Corvina", true },
        { HKEY_LOCAL_MACHINE, "SOFTWARE\\Ombrix\\Quellby", true },
        { HKEY_LOCAL_MACHINE, "SOFTWARE\\Ombrix\\Else\\Deeper", true },
        { HKEY_CURRENT_USER, "SOFTWARE\\Ombrixx", false },
        { HKEY_CURRENT_USER, "SOFTWARE\\Other\\Corvina", false },
        { HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvina", false },
        { HKEY_LOCAL_MACHINE, "SOFTWARE\\Quellby", false },
    };
    // HKCU Software\Ombrix and Software\Quellby stay missing throughout.
    for (const Tree &t : trees)
        RegistrySandbox::PutString(t.root, t.key, "v", "1");
    RegistrySandbox::PutString(HKEY_CURRENT_USER, "SOFTWARE\\Corvina", "ProgramInstalled", "1");
    RegistrySandbox::PutString(HKEY_CURRENT_USER, "SOFTWARE\\Corvina", "TotalCVInstallations", "0");
    ASSERT_EQ(1, IsProgramInstalled());

    for (int round = 1; round <= 2; round++) {
        SCOPED_TRACE(round == 1 ? "some trees present" : "none present");
        DeleteProductKeys();
        for (const Tree &t : trees)
            EXPECT_EQ(!t.removed, RegistrySandbox::KeyExists(t.root, t.key)) << t.key;
        EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ombrix"));
    }
    EXPECT_EQ(0, IsProgramInstalled());
    EXPECT_EQ(0, IsLastInstallation());
}
