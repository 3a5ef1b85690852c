#include "state/ledger.h"

#include <shlwapi.h>

#include <string>

#include <gtest/gtest.h>

#include "app/layout.h"
#include "res/text.h"
#include "support/sandbox.h"

static const char KEY[] = "SOFTWARE\\Corvina";

static std::string Codes(const char *code, int count)
{
    std::string list;
    for (int i = 0; i < count; i++)
        list += code;
    return list;
}

class LedgerTest : public ::testing::Test {
protected:
    void SetUp() override { CopyText(installLayout.wizardCode, sizeof installLayout.wizardCode, "0004"); }
    RegistrySandbox sandbox;
};

// The values are seeded as REG_EXPAND_SZ: one the ledger rewrote comes back
// as REG_SZ, so "nothing written" is seen even when the text is the same.
TEST_F(LedgerTest, AddsAndRemovesThisEditionAsTheCounterSays)
{
    const std::string full = Codes("0001", 63);
    const std::string fullWithThis = Codes("0001", 40) + "0004" + Codes("0001", 22);
    const std::string tooLong = Codes("0001", 64);
    const char *const NONE = nullptr; // value missing before, or not written

    struct Case {
        const char *what;
        const char *list;
        const char *counter;
        int add;
        bool written;
        std::string listAfter;
        const char *counterAfter;
        bool last;
    } cases[] = {
        { "missing values, add", NONE, NONE, 1, true, "0004", "1", false },
        { "already listed, add", "0004", "1", 1, false, "0004", "1", false },
        { "second edition, add", "0001", "1", 1, true, "00010004", "2", false },
        { "add or update again", "00010004", "2", 1, false, "00010004", "2", false },
        { "first of two goes", "00040001", "2", 0, true, "0001", "1", false },
        { "last of two goes", "00010004", "2", 0, true, "0001", "1", false },
        { "first of three goes, the rest move down", "000400010002", "3", 0, true, "00010002", "2", false },
        { "the only one goes", "0004", "1", 0, true, "", "0", true },
        { "not listed, remove", "0001", "1", 0, false, "0001", "1", false },
        { "counter 0, remove", "0004", "0", 0, true, "", "-1", false },
        { "no counter, remove", "0004", NONE, 0, true, "", "-1", false },
        { "counter short of the list cuts after the slot", "000100040002", "2", 0, true, "0001", "1", false },
        { "counter short of the list cuts the moved codes", "000400010002", "2", 0, true, "0001", "1",
          false },
        { "counter above the list", "000100040002", "5", 0, true, "00010002", "4", false },
        { "counter 1 cuts everything after slot 1", "0001000400020003", "1", 0, true, "0001", "0", true },
        { "counter above 64", "00040001", "100", 0, true, "0001", "99", false },
        { "off the slot boundary, add", "10004", "1", 1, true, "100040004", "2", false },
        { "off the slot boundary, remove", "10004", "1", 0, false, "10004", "1", false },
        { "a short last slot never matches", "0001000", "1", 0, false, "0001000", "1", false },
        { "case matters", "000a", "1", 0, false, "000a", "1", false },
        { "non-numeric counter, add", "", "abc", 1, true, "0004", "1", false },
        { "non-numeric counter reads as 0", "0001", "abc", 0, false, "0001", "abc", true },
        { "counter with a sign, space and tail", "0001", " \t+2x", 1, true, "00010004", "3", false },
        { "negative counter", "0001", "-1", 0, false, "0001", "-1", false },
        { "counter past 32 bits clamps", "", "99999999999", 1, true, "0004", "2147483647", false },
        { "counter below 32 bits clamps", "0004", "-99999999999", 0, true, "", "-2147483648", false },
        { "63 codes full, add leaves it", full.c_str(), "63", 1, false, full, "63", false },
        { "63 codes, this one goes", fullWithThis.c_str(), "63", 0, true, Codes("0001", 62), "62", false },
        { "a list too long to read is missing, remove", tooLong.c_str(), "64", 0, false, tooLong, "64",
          false },
        { "a list too long to read is missing, add", tooLong.c_str(), "64", 1, true, "0004", "65", false },
    };

    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SHDeleteKeyA(HKEY_CURRENT_USER, KEY);
        // The product key exists even in the rows without ledger values.
        RegistrySandbox::PutString(HKEY_CURRENT_USER, KEY, "ProgramInstalled", "1");
        if (c.list)
            RegistrySandbox::PutRaw(HKEY_CURRENT_USER, KEY, "InstalledWizards", c.list, (DWORD)strlen(c.list),
                                    REG_EXPAND_SZ);
        if (c.counter)
            RegistrySandbox::PutRaw(HKEY_CURRENT_USER, KEY, "TotalCVInstallations", c.counter,
                                    (DWORD)strlen(c.counter), REG_EXPAND_SZ);

        UpdateInstalledWizards(c.add);

        std::string list, counter;
        DWORD listType = 0, counterType = 0;
        bool hasList = RegistrySandbox::GetRaw(HKEY_CURRENT_USER, KEY, "InstalledWizards", &list, &listType);
        bool hasCounter =
            RegistrySandbox::GetRaw(HKEY_CURRENT_USER, KEY, "TotalCVInstallations", &counter, &counterType);
        DWORD expectedType = c.written ? REG_SZ : REG_EXPAND_SZ;
        EXPECT_EQ(c.written || c.list, hasList);
        EXPECT_EQ(c.written || c.counter, hasCounter);
        if (hasList) {
            EXPECT_EQ(expectedType, listType);
            EXPECT_EQ(c.listAfter, std::string(list.c_str()));
        }
        if (hasCounter) {
            EXPECT_EQ(expectedType, counterType);
            EXPECT_EQ(std::string(c.counterAfter), std::string(counter.c_str()));
        }
        EXPECT_EQ(c.last, IsLastInstallation() != 0);
    }
}

TEST_F(LedgerTest, WithoutTheProductKeyNothingIsCreatedAndNothingIsLast)
{
    SHDeleteKeyA(HKEY_CURRENT_USER, KEY);
    UpdateInstalledWizards(1);
    EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_CURRENT_USER, KEY));
    UpdateInstalledWizards(0);
    EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_CURRENT_USER, KEY));
    EXPECT_EQ(0, IsLastInstallation());
}
