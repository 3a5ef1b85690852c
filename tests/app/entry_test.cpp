#include "app/entry.h"

#include <string>

#include <gtest/gtest.h>

#include "app/process_state.h"
#include "support/sandbox.h"

static std::string DesktopName(HDESK desktop)
{
    char name[1024] = "";
    DWORD needed = 0;
    GetUserObjectInformationA(desktop, UOI_NAME, name, sizeof name, &needed);
    return name;
}

TEST(EntryTest, ForceEnglishLocaleSetsTheThreadLocaleTo1033)
{
    SetThreadLocale(MAKELCID(MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH_CANADIAN), SORT_DEFAULT));
    EXPECT_EQ(1, ForceEnglishLocale());
    EXPECT_EQ((LCID)1033, GetThreadLocale());
}

TEST(EntryTest, TheInstanceNameCarriesTheThreadsDesktop)
{
    char buffer[INSTANCE_NAME_SIZE];
    std::string desktop = DesktopName(GetThreadDesktop(GetCurrentThreadId()));
    ASSERT_FALSE(desktop.empty());
    EXPECT_EQ(buffer, BuildInstanceName(buffer));
    EXPECT_EQ("CorvinaInstall-" + desktop, std::string(buffer));

    SetLastError(0);
    EXPECT_EQ(nullptr, BuildInstanceName(nullptr));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
}

struct DesktopCase {
    size_t nameLength;
    bool fits;
};

static DWORD WINAPI BuildOnDesktop(LPVOID parameter)
{
    char *buffer = (char *)parameter;
    HDESK desktop = OpenDesktopA(buffer, 0, FALSE, GENERIC_ALL);
    memset(buffer, 'x', INSTANCE_NAME_SIZE + 16);
    if (desktop && SetThreadDesktop(desktop))
        BuildInstanceName(buffer);
    CloseDesktop(desktop);
    return 0;
}

// 244 bytes are left after the prefix: a desktop name of 243 characters is
// the longest that fits; a longer one must not run past the buffer.
TEST(EntryTest, ALongDesktopNameStaysInTheBuffer)
{
    const DesktopCase cases[] = { { 10, true }, { 243, true }, { 244, false }, { 250, false } };
    for (const DesktopCase &c : cases) {
        std::string name = "HalvexDesk" + std::string(c.nameLength - 10, 'd');
        HDESK desktop = CreateDesktopA(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        if (!desktop) {
            ADD_FAILURE() << "no desktop of " << c.nameLength << " characters: " << Hex(GetLastError());
            continue;
        }
        char buffer[INSTANCE_NAME_SIZE + 16];
        lstrcpynA(buffer, name.c_str(), sizeof buffer);
        HANDLE thread = CreateThread(nullptr, 0, BuildOnDesktop, buffer, 0, nullptr);
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
        CloseDesktop(desktop);

        EXPECT_EQ(std::string(16, 'x'), std::string(buffer + INSTANCE_NAME_SIZE, 16)) << c.nameLength;
        std::string expected = "CorvinaInstall-" + (c.fits ? name : std::string("Win9x"));
        EXPECT_EQ(expected, std::string(buffer)) << c.nameLength;
    }
}

class InstanceTest : public ::testing::Test {
protected:
    void SetUp() override { Forget(); }
    void TearDown() override { Forget(); }
    static void Forget()
    {
        if (processState.instanceMutex)
            CloseHandle(processState.instanceMutex);
        processState.instanceMutex = nullptr;
    }
};

TEST_F(InstanceTest, TheFirstInstanceTakesTheMutexAndAsksOnlyOnce)
{
    EXPECT_EQ(0, IsAnotherInstanceRunning());
    HANDLE first = processState.instanceMutex;
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(0, IsAnotherInstanceRunning());
    EXPECT_EQ(first, processState.instanceMutex) << "a second call keeps the handle";
}

TEST_F(InstanceTest, AMutexHeldElsewhereMeansAnotherInstance)
{
    char name[INSTANCE_NAME_SIZE];
    HANDLE other = CreateMutexA(nullptr, FALSE, BuildInstanceName(name));
    ASSERT_NE(nullptr, other);
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(1, IsAnotherInstanceRunning());
    EXPECT_NE(nullptr, processState.instanceMutex) << "the handle is kept whatever the answer";
    CloseHandle(other);
}

TEST_F(InstanceTest, AStaleLastErrorIsNotTakenForAnotherInstance)
{
    SetLastError(ERROR_ALREADY_EXISTS);
    EXPECT_EQ(0, IsAnotherInstanceRunning());
}

TEST(OutlookTest, OnlyBitnessX64MeansThe64BitEdition)
{
    static const char KEY[] = "Software\\Microsoft\\Office\\14.0\\Outlook";
    struct Case {
        const char *what;
        const char *bitness; // null: no value
        bool makeKey;
        int expected;
    } cases[] = {
        { "no Outlook 2010 key", nullptr, false, 0 },
        { "key without the value", nullptr, true, 0 },
        { "x64", "x64", true, 1 },
        { "upper case X64", "X64", true, 1 },
        { "x86", "x86", true, 0 },
        { "empty", "", true, 0 },
        { "a trailing blank", "x64 ", true, 0 },
    };
    for (const Case &c : cases) {
        RegistrySandbox sandbox;
        if (c.makeKey)
            RegistrySandbox::PutString(HKEY_LOCAL_MACHINE, KEY, "Other", "1");
        if (c.bitness)
            RegistrySandbox::PutString(HKEY_LOCAL_MACHINE, KEY, "Bitness", c.bitness);
        EXPECT_EQ(c.expected, IsOutlook64Bit()) << c.what;
    }
}
