#include "shell/shortcut.h"

#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include <gtest/gtest.h>

#include "app/layout.h"
#include "res/text.h"
#include "support/sandbox.h"

namespace {

struct LinkFields {
    std::string target;
    std::string arguments;
    std::string workingDir;
    std::string description;
};

// Reads a link back through the shell link object, as the shell would.
HRESULT ReadLink(const std::string &linkPath, LinkFields *fields)
{
    IShellLinkA *link = nullptr;
    IPersistFile *file = nullptr;
    WCHAR widePath[MAX_PATH];
    char text[1024];
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                      (void **)&link);
    if (SUCCEEDED(result))
        result = link->QueryInterface(IID_IPersistFile, (void **)&file);
    if (SUCCEEDED(result)) {
        MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, widePath, MAX_PATH);
        result = file->Load(widePath, STGM_READ);
    }
    if (SUCCEEDED(result)) {
        text[0] = 0;
        link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
        fields->target = text;
        text[0] = 0;
        link->GetArguments(text, sizeof text);
        fields->arguments = text;
        text[0] = 0;
        link->GetWorkingDirectory(text, sizeof text);
        fields->workingDir = text;
        text[0] = 0;
        link->GetDescription(text, sizeof text);
        fields->description = text;
    }
    if (file)
        file->Release();
    if (link)
        link->Release();
    return result;
}

class ShortcutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        CopyText(installLayout.installDir, sizeof installLayout.installDir, folder.Sub("Install\\").c_str());
        CreateDirectoryA(folder.Sub("Install").c_str(), nullptr);
        CreateDirectoryA(folder.Sub("Links").c_str(), nullptr);
    }
    void TearDown() override
    {
        installLayout.installDir[0] = 0;
        CoUninitialize();
    }

    TempFolder folder{"shortcut"};
};

TEST_F(ShortcutTest, LinksCarryTargetArgumentsInstallDirAndNoDescription)
{
    struct Case {
        const char *what;
        const char *target;
        const char *link;
        const char *arguments;
    } cases[] = {
        { "start-up link of the installer copy", "Install\\Halvex.exe", "Links\\Halvex.lnk", "-startup" },
        { "wizard link without arguments", "Install\\Tamrick.exe", "Links\\Wizard.lnk", "" },
        // The working directory is the install folder, not the target's own.
        { "target outside the install folder", "Elsewhere\\Tool.exe", "Links\\Tool.lnk", "a \"b c\"" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string link = folder.Sub(c.link);
        EXPECT_HR(S_OK, CreateShortcut(folder.Sub(c.target).c_str(), link.c_str(), c.arguments));
        LinkFields fields;
        ASSERT_HR(S_OK, ReadLink(link, &fields));
        EXPECT_EQ(folder.Sub(c.target), fields.target);
        EXPECT_EQ(c.arguments, fields.arguments);
        EXPECT_EQ(folder.Sub("Install\\"), fields.workingDir);
        EXPECT_EQ("", fields.description);
    }
}

TEST_F(ShortcutTest, AnExistingLinkIsReplaced)
{
    std::string link = folder.Sub("Links\\Wizard.lnk");
    ASSERT_HR(S_OK, CreateShortcut(folder.Sub("Old\\Old.exe").c_str(), link.c_str(), "-old"));
    CopyText(installLayout.installDir, sizeof installLayout.installDir, folder.Sub("New\\").c_str());
    ASSERT_HR(S_OK, CreateShortcut(folder.Sub("Install\\Tamrick.exe").c_str(), link.c_str(), ""));
    LinkFields fields;
    ASSERT_HR(S_OK, ReadLink(link, &fields));
    EXPECT_EQ(folder.Sub("Install\\Tamrick.exe"), fields.target);
    EXPECT_EQ("", fields.arguments);
    EXPECT_EQ(folder.Sub("New\\"), fields.workingDir);
}

TEST_F(ShortcutTest, AMissingLinkFolderFailsTheSaveAndWritesNothing)
{
    std::string link = folder.Sub("Missing\\Wizard.lnk");
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
              CreateShortcut(folder.Sub("Install\\Tamrick.exe").c_str(), link.c_str(), ""));
    EXPECT_FALSE(FolderExists(folder.Sub("Missing")));
}

// The link's file name goes through the ANSI code page, the same one the
// uninstaller later deletes it by.
TEST_F(ShortcutTest, ANameWithCodePage1252CharactersIsFoundByItsAnsiAndWideName)
{
    ASSERT_EQ(1252u, GetACP()) << "the product's name assumes a western code page";
    std::string link = folder.Sub("Links\\") + DISPLAY_NAME + ".lnk";
    ASSERT_HR(S_OK, CreateShortcut(folder.Sub("Install\\Tamrick.exe").c_str(), link.c_str(), ""));
    EXPECT_TRUE(FileExists(link));
    std::wstring wide;
    for (char c : folder.Sub("Links\\"))
        wide += (wchar_t)(unsigned char)c;
    wide += L"Fenwa\u00AE Parvello Wizard Powered By Corvina\u2122.lnk";
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(wide.c_str()));
    EXPECT_NE(0, DeleteFileA(link.c_str()));
}

TEST_F(ShortcutTest, ALinkPathLongerThanTheWideBufferIsRefusedUnsaved)
{
    // 259 characters save; one more would have to be cut.
    std::string base = folder.Sub("Links\\");
    std::string fits = base + std::string(MAX_PATH - 1 - base.size() - 4, 'a') + ".lnk";
    std::string tooLong = base + std::string(MAX_PATH - base.size() - 4, 'b') + ".lnk";
    ASSERT_EQ((size_t)MAX_PATH - 1, fits.size());
    EXPECT_HR(S_OK, CreateShortcut(folder.Sub("Install\\Tamrick.exe").c_str(), fits.c_str(), ""));
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER),
              CreateShortcut(folder.Sub("Install\\Tamrick.exe").c_str(), tooLong.c_str(), ""));
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((base + "b*").c_str(), &entry);
    EXPECT_EQ(INVALID_HANDLE_VALUE, search) << "saved as " << entry.cFileName;
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
}

struct ThreadCase {
    const char *what;
    DWORD apartment;   // COINIT_* of the caller, or ~0u for none
    HRESULT afterwards; // CoInitializeEx in the caller's model after the call
    TempFolder *folder;
};

DWORD WINAPI ShortcutOnThread(void *parameter)
{
    ThreadCase *c = (ThreadCase *)parameter;
    DWORD model = c->apartment == ~0u ? (DWORD)COINIT_APARTMENTTHREADED : c->apartment;
    if (c->apartment != ~0u)
        CoInitializeEx(nullptr, c->apartment);
    HRESULT made = CreateShortcut(c->folder->Sub("Install\\Tamrick.exe").c_str(),
                                  c->folder->Sub("Links\\Thread.lnk").c_str(), "");
    HRESULT again = CoInitializeEx(nullptr, model);
    if (SUCCEEDED(again))
        CoUninitialize();
    if (c->apartment != ~0u)
        CoUninitialize();
    return FAILED(made) ? (DWORD)made : (DWORD)again;
}

// Each call balances its own COM initialisation and leaves the caller's.
TEST_F(ShortcutTest, TheCallersComStateIsLeftAsItWas)
{
    ThreadCase cases[] = {
        { "thread without COM stays without", ~0u, S_OK, &folder },
        { "apartment thread keeps its COM", COINIT_APARTMENTTHREADED, S_FALSE, &folder },
        { "multithreaded caller keeps its COM", COINIT_MULTITHREADED, S_FALSE, &folder },
    };
    for (ThreadCase &c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileA(folder.Sub("Links\\Thread.lnk").c_str());
        HANDLE thread = CreateThread(nullptr, 0, ShortcutOnThread, &c, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        WaitForSingleObject(thread, INFINITE);
        DWORD result = 0;
        GetExitCodeThread(thread, &result);
        CloseHandle(thread);
        EXPECT_HR(c.afterwards, result);
        EXPECT_TRUE(FileExists(folder.Sub("Links\\Thread.lnk")));
    }
}

}  // namespace
