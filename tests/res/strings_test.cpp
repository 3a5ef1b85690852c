#include "res/strings.h"

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "res/resource.h"

namespace {

// The resource loader picks the language from the thread locale; Wine 8
// follows SetThreadLocale and ignores SetThreadUILanguage.
struct ThreadLanguage {
    explicit ThreadLanguage(LANGID language) : saved(GetThreadLocale())
    {
        SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
    }
    ~ThreadLanguage() { SetThreadLocale(saved); }
    LCID saved;
};

struct Text {
    unsigned int id;
    const wchar_t *english;
    const wchar_t *french;  // U+00A0 before a colon, U+2019 as apostrophe
};

const Text kTexts[] = {
    { IDS_TITLE_DOWNLOADING, L"Downloading ", L"Téléchargement en cours " },
    { IDS_TITLE_UPDATING, L"Updating ", L"Mise à jour en cours " },
    { IDS_TITLE_REMOVING, L"Removing ", L"Suppression en cours " },
    { IDS_TITLE_COMPONENTS, L"Downloading Corvina Components...", L"Téléchargement des composants Corvina" },
    { IDS_WINDOW_CLASS, L"IDD_URLDOWNLOAD_DIALOG", L"IDD_URLDOWNLOAD_DIALOG" },
    { IDS_UNREGISTERING_COMPONENTS, L"Unregistering Components",
      L"Annulation de l\u2019enregistrement des composants" },
    { IDS_REMOVING_COMPONENTS, L"Removing Components...", L"Suppression des composants Corvina" },
    { IDS_REMOVAL_STATUS, L"Removal Status:", L"État de la suppression\u00a0:" },
    { IDS_REMOVING_UNINSTALL, L"Removing Uninstall", L"Suppression de l\u2019outil de d\u2019installation" },
    { IDS_REMOVING_DESKTOP_LINK, L"Removing Desktop Link", L"Suppression du raccourci vers le Bureau" },
    { IDS_REMOVING_FILES, L"Removing Files", L"Suppression des fichiers" },
    { IDS_INSTALL_STATUS, L"Install Status:", L"État de l\u2019installation\u00a0:" },
    { IDS_INSTALLING, L"Installing", L"Installation en cours" },
    { IDS_REGISTER_STATUS, L"Register Status:", L"État de l\u2019enregistrement\u00a0:" },
    { IDS_REGISTERING, L"Registering", L"Enregistrement en cours" },
    { IDS_INSTALLING_COMPONENTS, L"Installing Components...", L"Installation des composants Corvina en cours" },
    { IDS_REGISTERING_COMPONENTS, L"Registering Components...", L"Enregistrement des composants Corvina en cours" },
    { IDS_COMPONENTS_DOWNLOAD_ERROR, L"An error occurred downloading the required components.",
      L"Une erreur est survenue durant le téléchargement du fichier" },
    { IDS_DOWNLOADED_OF, L"Downloaded %s of %s.", L"Téléchargé %s de %s" },
};

std::string InCodePage1252(const wchar_t *text)
{
    char bytes[512] = "";
    BOOL lossy = FALSE;
    WideCharToMultiByte(1252, 0, text, -1, bytes, sizeof bytes, NULL, &lossy);
    EXPECT_FALSE(lossy) << "not representable in code page 1252";
    return bytes;
}

std::string Printable(const std::string &bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        char hex[8];
        if (c >= 0x20 && c < 0x7F)
            out += (char)c;
        else
            out += (wsprintfA(hex, "\\x%02X", c), hex);
    }
    return out;
}

void ExpectLanguage(LANGID language, const wchar_t *Text::*column)
{
    ThreadLanguage thread(language);
    for (const Text &text : kTexts) {
        SCOPED_TRACE("string " + std::to_string(text.id) + " in language " + std::to_string(language));
        wchar_t wide[512] = L"";
        LoadStringW(GetModuleHandleA(NULL), text.id, wide, 512);
        EXPECT_EQ(std::wstring(text.*column), std::wstring(wide));
        // What the program sees: ANSI in the system code page.
        char *loaded = LoadText(text.id);
        EXPECT_EQ(textBuffer, loaded);
        EXPECT_EQ(Printable(InCodePage1252(text.*column)), Printable(loaded));
    }
}

}  // namespace

TEST(LoadText, SystemCodePageIsTheOneTheTextsAreWrittenFor)
{
    // The display name and the French texts are code-page-1252 bytes.
    ASSERT_EQ(1252u, GetACP());
}

TEST(LoadText, EnglishTextsUnderTheEnglishLocale)
{
    ExpectLanguage(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), &Text::english);
}

TEST(LoadText, FrenchTextsUnderTheCanadianFrenchLocale)
{
    ExpectLanguage(MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH_CANADIAN), &Text::french);
}

TEST(LoadText, EachCallOverwritesTheSharedBufferAndAMissingIdReadsEmpty)
{
    ThreadLanguage thread(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    char *first = LoadText(IDS_INSTALLING);
    EXPECT_STREQ("Installing", first);
    LoadText(IDS_REGISTERING);
    EXPECT_STREQ("Registering", first);
    EXPECT_STREQ("", LoadText(IDS_REGISTERING + 1000));
}
