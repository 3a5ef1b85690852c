#include "state/registry.h"

#include <string>

#include <gtest/gtest.h>

#include "support/sandbox.h"

static const char KEY[] = "SOFTWARE\\HalvexRegistryTest";

class RegistryTest : public ::testing::Test {
protected:
    RegistrySandbox sandbox;
};

TEST_F(RegistryTest, OpenFailsOnAMissingKeyAndLeavesTheHandleNull)
{
    HKEY key = (HKEY)1;
    EXPECT_EQ(0, OpenRegKey(key, HKEY_CURRENT_USER, KEY, 1));
    EXPECT_EQ(nullptr, key);
    EXPECT_NE(0, CloseRegKey(key)) << "closing a null handle reports a failure";
    EXPECT_EQ(nullptr, key);
}

TEST_F(RegistryTest, CreateMakesEveryMissingKeyOnThePath)
{
    HKEY key = nullptr;
    ASSERT_EQ(1, CreateRegKey(key, HKEY_CURRENT_USER, "SOFTWARE\\HalvexRegistryTest\\a\\b"));
    EXPECT_NE(nullptr, key);
    EXPECT_EQ(0, CloseRegKey(key));
    EXPECT_EQ(nullptr, key);
    EXPECT_TRUE(RegistrySandbox::KeyExists(HKEY_CURRENT_USER, "SOFTWARE\\HalvexRegistryTest\\a\\b"));
}

// The length handed to the system leaves the terminator out; NT (and Wine
// after it) counts it back in when the byte after the text is zero.
TEST_F(RegistryTest, StringsAreWrittenAsTextOfType_REG_SZ)
{
    struct Case {
        const char *text;
        std::string stored;
    } cases[] = {
        { "abc", std::string("abc", 4) },
        { "", "" },
        { "Fenwa\xAE", std::string("Fenwa\xAE", 7) },
    };
    HKEY key = nullptr;
    ASSERT_EQ(1, CreateRegKey(key, HKEY_CURRENT_USER, KEY));
    for (const Case &c : cases) {
        EXPECT_EQ(1, WriteRegString(key, "Value", c.text));
        std::string raw;
        DWORD type = 0;
        ASSERT_TRUE(RegistrySandbox::GetRaw(HKEY_CURRENT_USER, KEY, "Value", &raw, &type));
        EXPECT_EQ(c.stored, raw) << c.text;
        EXPECT_EQ((DWORD)REG_SZ, type);
    }
    CloseRegKey(key);
}

TEST_F(RegistryTest, ReadGivesTheTextOrTheEmptyTextWithAResult)
{
    std::string fits(1023, 'x'), exact(1024, 'y'), longer(1500, 'z');
    const char dword[4] = { 'a', 'b', 0, 'c' };
    RegistrySandbox::PutString(HKEY_CURRENT_USER, KEY, "short", "C:\\Program Files");
    RegistrySandbox::PutString(HKEY_CURRENT_USER, KEY, "fits", fits.c_str());
    RegistrySandbox::PutString(HKEY_CURRENT_USER, KEY, "exact", exact.c_str());
    RegistrySandbox::PutString(HKEY_CURRENT_USER, KEY, "longer", longer.c_str());
    RegistrySandbox::PutRaw(HKEY_CURRENT_USER, KEY, "binary", dword, sizeof dword, REG_BINARY);
    RegistrySandbox::PutString(HKEY_CURRENT_USER, KEY, "small", "0123456789");
    RegistrySandbox::PutRaw(HKEY_CURRENT_USER, KEY, "bare", "barely", 4);
    std::string full(1024, 'b');
    RegistrySandbox::PutRaw(HKEY_CURRENT_USER, KEY, "full", full.data(), 1024, REG_BINARY);

    struct Case {
        const char *what;
        const char *name;
        size_t capacity;
        int result;
        std::string text;
    } cases[] = {
        { "a plain value", "short", 1024, 1, "C:\\Program Files" },
        { "1023 characters fit the read buffer", "fits", 1024, 1, fits },
        { "1024 bytes leave no room for a terminator", "exact", 1024, 0, "" },
        { "a longer value cannot be read", "longer", 1024, 0, "" },
        { "another type is read up to its first zero", "binary", 1024, 1, "ab" },
        { "a missing value", "missing", 1024, 0, "" },
        { "a value stored without terminator", "bare", 1024, 1, "bare" },
        { "1024 bytes with no zero among them are not cut", "full", 1024, 0, "" },
        { "a value longer than the caller's buffer", "small", 10, 0, "" },
        { "a value that just fits the caller's buffer", "small", 11, 1, "0123456789" },
    };
    HKEY key = nullptr;
    ASSERT_EQ(1, OpenRegKey(key, HKEY_CURRENT_USER, KEY, 0));
    for (const Case &c : cases) {
        char out[1100];
        memset(out, '#', sizeof out);
        EXPECT_EQ(c.result, ReadRegString(key, c.name, out, c.capacity)) << c.what;
        EXPECT_EQ(c.text, std::string(out)) << c.what;
        EXPECT_EQ('#', out[c.capacity]) << c.what << ": wrote past the buffer";
    }
    CloseRegKey(key);

    char out[16] = "stale";
    EXPECT_EQ(0, ReadRegString(key, "short", out, sizeof out)) << "a closed (null) handle";
    EXPECT_STREQ("", out);
}

TEST_F(RegistryTest, AWriteThroughAReadOnlyKeyFails)
{
    RegistrySandbox::PutString(HKEY_CURRENT_USER, KEY, "kept", "old");
    HKEY key = nullptr;
    ASSERT_EQ(1, OpenRegKey(key, HKEY_CURRENT_USER, KEY, 0));
    EXPECT_EQ(0, WriteRegString(key, "kept", "new"));
    CloseRegKey(key);
    std::string raw;
    RegistrySandbox::GetRaw(HKEY_CURRENT_USER, KEY, "kept", &raw);
    EXPECT_EQ(std::string("old", 4), raw);
}

TEST_F(RegistryTest, DeleteRemovesOnlyKeysWithoutSubkeysUnderTheMachineRoot)
{
    RegistrySandbox::PutString(HKEY_LOCAL_MACHINE, "SOFTWARE\\HalvexDel\\child", "v", "1");
    EXPECT_EQ(0, DeleteRegKey("SOFTWARE\\HalvexDel"));
    EXPECT_TRUE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\HalvexDel"));
    EXPECT_EQ(1, DeleteRegKey("SOFTWARE\\HalvexDel\\child"));
    EXPECT_EQ(1, DeleteRegKey("SOFTWARE\\HalvexDel"));
    EXPECT_FALSE(RegistrySandbox::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\HalvexDel"));
    EXPECT_EQ(0, DeleteRegKey("SOFTWARE\\HalvexDel"));
}
