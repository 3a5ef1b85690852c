#ifndef HALVEX_TESTS_SUPPORT_SANDBOX_H
#define HALVEX_TESTS_SUPPORT_SANDBOX_H

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

// Prints Win32 and COM results in hex, as people look them up.
std::string Hex(unsigned long value);
#define EXPECT_HR(expected, actual) EXPECT_EQ(Hex(expected), Hex(actual))
#define ASSERT_HR(expected, actual) ASSERT_EQ(Hex(expected), Hex(actual))

// Redirects HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE of this process into
// throwaway keys, emptied before and after; nothing the test writes reaches
// the prefix's real hives. COM class lookups and the shell still see the
// real HKEY_CLASSES_ROOT.
class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    // Writes a REG_SZ with the exact bytes given (no terminator added).
    static void PutRaw(HKEY root, const char *subKey, const char *name, const void *data, DWORD size,
                       DWORD type = REG_SZ);
    static void PutString(HKEY root, const char *subKey, const char *name, const char *text);
    // Raw bytes and type of a value; false when it is missing.
    static bool GetRaw(HKEY root, const char *subKey, const char *name, std::string *data,
                       DWORD *type = nullptr);
    static bool KeyExists(HKEY root, const char *subKey);

private:
    HKEY user_ = nullptr;
    HKEY machine_ = nullptr;
};

// A fresh folder under the temporary folder, emptied before and after.
class TempFolder {
public:
    explicit TempFolder(const char *name);
    ~TempFolder();
    // Path with a trailing backslash.
    const std::string &Path() const { return path_; }
    std::string Sub(const std::string &relative) const { return path_ + relative; }

private:
    std::string path_;
};

void WriteFileBytes(const std::string &path, const std::string &bytes);
bool ReadFileBytes(const std::string &path, std::string *bytes);
bool FileExists(const std::string &path);
bool FolderExists(const std::string &path);
void RemoveTree(const std::string &path);

// 8-4-4-4-12 upper-case hexadecimal digits joined by hyphens, no braces.
bool IsUpperCaseGuid(const std::string &text);
// How many lines hold `part`.
size_t CountLinesWith(const std::vector<std::string> &lines, const std::string &part);

// Environment given by the harness (Unix paths turned into Z:\ paths).
std::string HarnessPath(const char *variable);

#endif
