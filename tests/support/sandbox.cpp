#include "support/sandbox.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <stdio.h>

static const char SANDBOX_KEY[] = "Software\\HalvexTestSandbox";

std::string Hex(unsigned long value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08lX", value);
    return text;
}

RegistrySandbox::RegistrySandbox()
{
    // Opened through the real hive before anything is redirected.
    SHDeleteKeyA(HKEY_CURRENT_USER, SANDBOX_KEY);
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\HalvexTestSandbox\\user", 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &user_, nullptr);
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\HalvexTestSandbox\\machine", 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, &machine_, nullptr);
    EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CURRENT_USER, user_));
    EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_));
}

RegistrySandbox::~RegistrySandbox()
{
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(user_);
    RegCloseKey(machine_);
    SHDeleteKeyA(HKEY_CURRENT_USER, SANDBOX_KEY);
}

void RegistrySandbox::PutRaw(HKEY root, const char *subKey, const char *name, const void *data, DWORD size,
                             DWORD type)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(root, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, (const BYTE *)data, size));
    RegCloseKey(key);
}

void RegistrySandbox::PutString(HKEY root, const char *subKey, const char *name, const char *text)
{
    PutRaw(root, subKey, name, text, (DWORD)strlen(text));
}

bool RegistrySandbox::GetRaw(HKEY root, const char *subKey, const char *name, std::string *data, DWORD *type)
{
    // The wide query shows what is stored: the ANSI one adds a terminator.
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    wchar_t wideName[256];
    MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, 256);
    DWORD size = 0, kind = 0;
    bool found = RegQueryValueExW(key, wideName, nullptr, &kind, nullptr, &size) == ERROR_SUCCESS;
    if (found) {
        std::string bytes(size, '\0');
        found = RegQueryValueExW(key, wideName, nullptr, &kind, (BYTE *)&bytes[0], &size) == ERROR_SUCCESS;
        bytes.resize(size);
        if (kind == REG_SZ || kind == REG_EXPAND_SZ) {
            int chars = (int)(size / sizeof(wchar_t));
            std::string ansi(chars * 2 + 1, '\0');
            int n = chars ? WideCharToMultiByte(CP_ACP, 0, (const wchar_t *)bytes.data(), chars, &ansi[0],
                                                (int)ansi.size(), nullptr, nullptr)
                          : 0;
            ansi.resize(n);
            bytes = ansi;
        }
        if (data)
            *data = bytes;
        if (type)
            *type = kind;
    }
    RegCloseKey(key);
    return found;
}

bool RegistrySandbox::KeyExists(HKEY root, const char *subKey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

TempFolder::TempFolder(const char *name)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    path_ = std::string(temp) + "halvex-tests\\";
    CreateDirectoryA(path_.c_str(), nullptr);
    path_ += name;
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
    path_ += "\\";
}

TempFolder::~TempFolder()
{
    RemoveTree(path_.substr(0, path_.size() - 1));
}

void WriteFileBytes(const std::string &path, const std::string &bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(file);
}

bool ReadFileBytes(const std::string &path, std::string *bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bytes->clear();
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes->append(chunk, got);
    CloseHandle(file);
    return true;
}

bool FileExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::string &path)
{
    std::string from = path + std::string(2, '\0');
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        SHFileOperationA(&op);
}

std::string HarnessPath(const char *variable)
{
    const char *value = getenv(variable);
    if (!value || !*value)
        return "";
    std::string path = value;
    if (path[0] == '/') {
        for (char &c : path)
            if (c == '/')
                c = '\\';
        path = "Z:" + path;
    }
    return path;
}

bool IsUpperCaseGuid(const std::string &text)
{
    if (text.size() != 36)
        return false;
    for (size_t i = 0; i < text.size(); i++) {
        bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        char c = text[i];
        if (hyphen ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

size_t CountLinesWith(const std::vector<std::string> &lines, const std::string &part)
{
    size_t n = 0;
    for (const std::string &line : lines)
        n += line.find(part) != std::string::npos;
    return n;
}
