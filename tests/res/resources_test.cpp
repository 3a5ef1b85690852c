// The resources linked into the program, read back raw from its own module.
#include <windows.h>
#include <commctrl.h>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "res/resource.h"

namespace {

const LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const LANGID kFrench = MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH_CANADIAN);

std::string RawResource(const char *type, const char *name, LANGID language)
{
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC found = FindResourceExA(module, type, name, language);
    if (!found)
        return std::string();
    const char *data = (const char *)LockResource(LoadResource(module, found));
    return std::string(data, SizeofResource(module, found));
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found)
{
    ((std::set<LANGID> *)found)->insert(language);
    return TRUE;
}

std::set<LANGID> Languages(const char *type, const char *name)
{
    std::set<LANGID> found;
    EnumResourceLanguagesA(GetModuleHandleA(NULL), type, name, CollectLanguage, (LONG_PTR)&found);
    return found;
}

// Reads a DLGTEMPLATEEX field by field.
struct TemplateReader {
    const std::string &bytes;
    size_t at = 0;
    bool overrun = false;

    unsigned Take(size_t size)
    {
        unsigned value = 0;
        if (at + size > bytes.size()) {
            overrun = true;
            return 0;
        }
        for (size_t i = 0; i < size; ++i)
            value |= (unsigned)(unsigned char)bytes[at + i] << (8 * i);
        at += size;
        return value;
    }
    unsigned Word() { return Take(2); }
    unsigned Dword() { return Take(4); }
    int Short() { return (short)Take(2); }
    // A text, or "#n" for an ordinal.
    std::wstring TextOrOrdinal()
    {
        std::wstring text;
        unsigned first = Word();
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(Word());
        for (unsigned c = first; c != 0 && !overrun; c = Word())
            text += (wchar_t)c;
        return text;
    }
    void AlignDword() { at = (at + 3) & ~(size_t)3; }
};

struct Control {
    unsigned id;
    const wchar_t *windowClass;  // "#130" is the predefined static class
    const wchar_t *english;
    const wchar_t *french;
    int x, y, cx, cy;
    unsigned style;
};

// windres stores a named control class upper-cased; class names are looked
// up without regard to case.
const Control kControls[] = {
    { IDC_STATUS_LABEL, L"#130", L"Download status:", L"État du téléchargement\u00a0:", 7, 7, 60, 8,
      WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT },
    { IDC_STATUS_TEXT, L"#130", L"", L"", 74, 7, 225, 8, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT },
    { IDC_PROGRESS, L"MSCTLS_PROGRESS32", L"Progress1", L"Progress1", 7, 21, 292, 10,
      WS_CHILD | WS_VISIBLE | WS_BORDER | WS_GROUP | PBS_SMOOTH },
    // No WS_VISIBLE: the tray button is never shown.
    { IDC_TRAY_BUTTON, L"#128", L"Minimize To System Tray", L"Minimiser dans la zone de notification", 165, 7,
      134, 14, WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON },
};

void ExpectProgressTemplate(const std::string &bytes, bool french)
{
    ASSERT_FALSE(bytes.empty());
    TemplateReader r{ bytes };
    EXPECT_EQ(1u, r.Word());  // extended template
    EXPECT_EQ(0xFFFFu, r.Word());
    EXPECT_EQ(0u, r.Dword());  // help id
    EXPECT_EQ((unsigned)WS_EX_APPWINDOW, r.Dword());
    EXPECT_EQ((unsigned)(WS_CHILD | WS_VISIBLE | DS_SETFONT), r.Dword());
    EXPECT_EQ(4u, r.Word());
    EXPECT_EQ(0, r.Short());
    EXPECT_EQ(0, r.Short());
    EXPECT_EQ(306, r.Short());
    EXPECT_EQ(37, r.Short());
    EXPECT_EQ(L"", r.TextOrOrdinal());  // menu
    EXPECT_EQ(L"", r.TextOrOrdinal());  // class
    EXPECT_EQ(L"", r.TextOrOrdinal());  // title
    EXPECT_EQ(8u, r.Word());            // points
    EXPECT_EQ(0u, r.Word());            // weight
    EXPECT_EQ(0u, r.Take(1));           // italic
    EXPECT_EQ((unsigned)DEFAULT_CHARSET, r.Take(1));
    EXPECT_EQ(L"MS Sans Serif", r.TextOrOrdinal());
    for (const Control &control : kControls) {
        SCOPED_TRACE("control " + std::to_string(control.id));
        r.AlignDword();
        EXPECT_EQ(0u, r.Dword());  // help id
        EXPECT_EQ(0u, r.Dword());  // extended style
        EXPECT_EQ(control.style, r.Dword());
        EXPECT_EQ(control.x, r.Short());
        EXPECT_EQ(control.y, r.Short());
        EXPECT_EQ(control.cx, r.Short());
        EXPECT_EQ(control.cy, r.Short());
        EXPECT_EQ(control.id, r.Dword());
        EXPECT_EQ(std::wstring(control.windowClass), r.TextOrOrdinal());
        EXPECT_EQ(std::wstring(french ? control.french : control.english), r.TextOrOrdinal());
        EXPECT_EQ(0u, r.Word());  // no creation data
    }
    EXPECT_FALSE(r.overrun);
    EXPECT_EQ(bytes.size(), r.at);
}

}  // namespace

TEST(Resources, StringsAndDialogsInBothLanguagesTheRestInEnglishOnly)
{
    const std::set<LANGID> both = { kEnglish, kFrench };
    const std::set<LANGID> english = { kEnglish };
    // String ids 103..136 live in blocks 7, 8 and 9 (16 ids a block).
    for (int block : { 7, 8, 9 })
        EXPECT_EQ(both, Languages(RT_STRING, MAKEINTRESOURCEA(block))) << "string block " << block;
    EXPECT_EQ(both, Languages(RT_DIALOG, MAKEINTRESOURCEA(IDD_DOWNLOAD_STATUS)));
    EXPECT_EQ(both, Languages(RT_DIALOG, MAKEINTRESOURCEA(IDD_TASK_STATUS)));
    EXPECT_EQ(english, Languages(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_APP)));
    for (int image = 1; image <= 4; ++image)
        EXPECT_EQ(english, Languages(RT_ICON, MAKEINTRESOURCEA(image))) << "icon " << image;
    EXPECT_EQ(english, Languages(RT_MANIFEST, MAKEINTRESOURCEA(1)));
    EXPECT_EQ(english, Languages(RT_VERSION, MAKEINTRESOURCEA(1)));
}

TEST(Resources, BothDialogTemplatesAreTheSameBytesInEachLanguage)
{
    for (LANGID language : { kEnglish, kFrench }) {
        SCOPED_TRACE("language " + std::to_string(language));
        std::string download = RawResource(RT_DIALOG, MAKEINTRESOURCEA(IDD_DOWNLOAD_STATUS), language);
        std::string task = RawResource(RT_DIALOG, MAKEINTRESOURCEA(IDD_TASK_STATUS), language);
        EXPECT_EQ(download, task);
        ExpectProgressTemplate(download, language == kFrench);
    }
}

TEST(Resources, IconGroupHoldsFourImagesOf256Colours)
{
#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width, height, colours, reserved;
        WORD planes, bitCount;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)
    std::string group = RawResource(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_APP), kEnglish);
    ASSERT_EQ(6u + 4 * sizeof(GroupEntry), group.size());
    const WORD *header = (const WORD *)group.data();
    EXPECT_EQ(0, header[0]);
    EXPECT_EQ(1, header[1]);
    ASSERT_EQ(4, header[2]);
    const GroupEntry *entries = (const GroupEntry *)(group.data() + 6);
    const int sizes[] = { 16, 24, 32, 48 };
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE("image of " + std::to_string(sizes[i]) + " pixels");
        EXPECT_EQ(sizes[i], entries[i].width);
        EXPECT_EQ(sizes[i], entries[i].height);
        EXPECT_EQ(0, entries[i].colours);  // 0 stands for 256
        EXPECT_EQ(8, entries[i].bitCount);
        std::string image = RawResource(RT_ICON, MAKEINTRESOURCEA(entries[i].id), kEnglish);
        ASSERT_EQ(entries[i].bytes, image.size());
        const BITMAPINFOHEADER *bitmap = (const BITMAPINFOHEADER *)image.data();
        EXPECT_EQ(sizes[i], bitmap->biWidth);
        EXPECT_EQ(2 * sizes[i], bitmap->biHeight);  // colour rows and mask rows
        EXPECT_EQ(8, bitmap->biBitCount);
        EXPECT_EQ((DWORD)BI_RGB, bitmap->biCompression);
    }
    // What the tray asks for: the 16-pixel image, found through the group.
    HICON tray = (HICON)LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, 16, 16,
                                   LR_DEFAULTCOLOR);
    ASSERT_TRUE(tray != NULL);
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(tray, &info));
    BITMAP colour;
    GetObjectA(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(16, colour.bmWidth);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(tray);
}

TEST(Resources, ManifestOnlyAsksForAdministratorRights)
{
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
        "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
        "    <security>\n"
        "      <requestedPrivileges>\n"
        "        <requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>\n"
        "      </requestedPrivileges>\n"
        "    </security>\n"
        "  </trustInfo>\n"
        "</assembly>\n";
    EXPECT_EQ(expected, RawResource(RT_MANIFEST, MAKEINTRESOURCEA(1), kEnglish));
}

TEST(Resources, VersionBlockNamesTheInstaller)
{
    // version.dll is loaded here so that the programs need not link it.
    HMODULE version = LoadLibraryA("version.dll");
    ASSERT_TRUE(version != NULL);
    typedef DWORD(WINAPI * SizeFn)(LPCSTR, LPDWORD);
    typedef BOOL(WINAPI * InfoFn)(LPCSTR, DWORD, DWORD, LPVOID);
    typedef BOOL(WINAPI * QueryFn)(LPCVOID, LPCSTR, LPVOID *, PUINT);
    SizeFn getSize = (SizeFn)(void *)GetProcAddress(version, "GetFileVersionInfoSizeA");
    InfoFn getInfo = (InfoFn)(void *)GetProcAddress(version, "GetFileVersionInfoA");
    QueryFn query = (QueryFn)(void *)GetProcAddress(version, "VerQueryValueA");
    ASSERT_TRUE(getSize && getInfo && query);

    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    std::vector<char> block(getSize(path, NULL));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(getInfo(path, 0, (DWORD)block.size(), block.data()));

    VS_FIXEDFILEINFO *fixed = NULL;
    UINT size = 0;
    ASSERT_TRUE(query(block.data(), "\\", (void **)&fixed, &size));
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(0x00040005u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00060000u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00040005u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x00060000u, fixed->dwProductVersionLS);
    EXPECT_EQ(0x3Fu, fixed->dwFileFlagsMask);
    EXPECT_EQ(0u, fixed->dwFileFlags);
    EXPECT_EQ((DWORD)VOS_NT_WINDOWS32, fixed->dwFileOS);
    EXPECT_EQ((DWORD)VFT_APP, fixed->dwFileType);
    EXPECT_EQ(0u, fixed->dwFileSubtype);

    WORD *translation = NULL;
    ASSERT_TRUE(query(block.data(), "\\VarFileInfo\\Translation", (void **)&translation, &size));
    ASSERT_EQ(4u, size);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);

    const struct {
        const char *key;
        const char *value;
    } values[] = {
        { "FileDescription", "Installer" },   { "FileVersion", "4.5.6.0" },
        { "InternalName", "Halvex.exe" },     { "OriginalFilename", "Halvex.exe" },
        { "ProductName", "Halvex.exe" },      { "ProductVersion", "4.5.6.0" },
    };
    for (const auto &entry : values) {
        std::string name = std::string("\\StringFileInfo\\040904b0\\") + entry.key;
        char *text = NULL;
        ASSERT_TRUE(query(block.data(), name.c_str(), (void **)&text, &size)) << entry.key;
        EXPECT_STREQ(entry.value, text) << entry.key;
    }
    FreeLibrary(version);
}
