// The language text table: the line rules of a language file and the start-up load.
#include "core/App.h"
#include "core/MsgBox.h"
#include "core/modLanguage.h"
#include "core/modRegistry2.h"
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>
#include <vector>

namespace {

const char Folder[] = "C:\\halvren-test\\core-lang";
const char SettingsKey[] = "SOFTWARE\\Quorvane\\Halvren\\Settings";

std::string FileName(const char* name)
{
    return std::string(Folder) + "\\" + name;
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f) << path;
    DWORD written = 0;
    WriteFile(f, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(f);
    ASSERT_EQ(bytes.size(), written);
}

// Loads the bytes as a language file into an empty table.
int Load(const std::string& bytes, const char* name = "test.txt")
{
    WriteBytes(FileName(name), bytes);
    ClearLanguageTable();
    return LoadLanguageFile(FileName(name));
}

int NonEmptyCount()
{
    int n = 0;
    for (int i = 0; i < 1000; ++i)
        n += !LangText(i).empty();
    return n;
}

class LanguageFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        CreateDirectoryA("C:\\halvren-test", nullptr);
        CreateDirectoryA(Folder, nullptr);
    }
    void TearDown() override { ClearLanguageTable(); }
};

} // namespace

TEST_F(LanguageFile, IdsFromTheFirstThreeCharactersAndTextFromTheFifth)
{
    EXPECT_EQ(0, Load("100 Please_wait\r\n"
                      "205 A\r\n"
                      "205 B\r\n"
                      "012  Hello\r\n"
                      "7 x Seven\r\n"
                      " 13 Blank first\r\n"
                      "\t1\t2 Tabs\r\n"
                      "300XAny fourth character\r\n"
                      "2.5 Two\r\n"
                      "3.5 Four\r\n"
                      "&HF Hex\r\n"
                      "400 Old\r\n"
                      "400\r\n"
                      "050 ends_\r\n"));
    EXPECT_EQ(L"Please\rwait", LangText(100));
    EXPECT_EQ(L"B", LangText(205));                 // the last line wins
    EXPECT_EQ(L" Hello", LangText(12));             // character 5 on, leading blank kept
    EXPECT_EQ(L"Seven", LangText(7));
    EXPECT_EQ(L"Blank first", LangText(13));
    EXPECT_EQ(L" Tabs", LangText(1));               // tabs inside the id are ignored
    EXPECT_EQ(L"Any fourth character", LangText(300));
    EXPECT_EQ(L"Two", LangText(2));                 // a half rounds to the even neighbour
    EXPECT_EQ(L"Four", LangText(4));
    EXPECT_EQ(L"Hex", LangText(15));
    EXPECT_EQ(L"", LangText(400));                  // a bare id empties its text
    EXPECT_EQ(L"ends\r", LangText(50));
    EXPECT_EQ(11, NonEmptyCount());
    EXPECT_EQ(L"", LangText(-1));
    EXPECT_EQ(L"", LangText(1000));
}

TEST_F(LanguageFile, CommentsBlankLinesAndIdsOutOfRange)
{
    EXPECT_EQ(0, Load("abc Zero\r\n"
                      ";205 X\r\n"
                      "   \r\n"
                      "      \r\n"
                      "\r\n"
                      "-12 X\r\n"
                      "1000 X\r\n"
                      "999 Last\r\n"));
    EXPECT_EQ(L"Zero", LangText(0));   // the blank lines did not reset id 0
    EXPECT_EQ(L"", LangText(205));
    EXPECT_EQ(L" X", LangText(100));
    EXPECT_EQ(L"Last", LangText(999));
    EXPECT_EQ(3, NonEmptyCount());

    // A line of tabs is not blank: it sets id 0 to the empty text.
    Load("abc Zero\r\n\t\t\t\r\n");
    EXPECT_EQ(L"", LangText(0));
}

TEST_F(LanguageFile, LinesEndAtCarriageReturns)
{
    Load("100 First\n101 Second\n");
    EXPECT_EQ(L"First\n101 Second\n", LangText(100));
    EXPECT_EQ(1, NonEmptyCount());

    Load("100 A\r101 B\r\r\n102 C\n\r103 D");
    EXPECT_EQ(L"A", LangText(100));
    EXPECT_EQ(L"B", LangText(101));
    EXPECT_EQ(L"C\n", LangText(102));
    EXPECT_EQ(L"D", LangText(103));   // the last line needs no line end
}

TEST_F(LanguageFile, TextsAreWindows1250)
{
    Load("150 Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1 \x8A\x8E \xC4\xD6\xDC\xE4\xF6\xFC\xDF\r\n");
    EXPECT_EQ(L"Za\u017C\u00F3\u0142\u0107 g\u0119\u015Bl\u0105 ja\u017A\u0144 \u0160\u017D "
              L"\u00C4\u00D6\u00DC\u00E4\u00F6\u00FC\u00DF",
              LangText(150));
}

TEST_F(LanguageFile, OnlyOrdinaryFilesLoad)
{
    ASSERT_EQ(0, Load("100 Kept\r\n101 Kept too\r\n"));
    EXPECT_EQ(1, LoadLanguageFile(""));
    EXPECT_EQ(1, LoadLanguageFile(FileName("missing.txt")));
    EXPECT_EQ(1, LoadLanguageFile(Folder));
    EXPECT_EQ(1, LoadLanguageFile(FileName("*.txt")));
    for (DWORD attribute : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
        WriteBytes(FileName("marked.txt"), "100 Marked\r\n");
        SetFileAttributesA(FileName("marked.txt").c_str(), attribute);
        EXPECT_EQ(1, LoadLanguageFile(FileName("marked.txt")));
        SetFileAttributesA(FileName("marked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_EQ(L"Kept", LangText(100));   // unchanged by every refused file

    // A read-only file is ordinary; a second load replaces only the ids it sets.
    WriteBytes(FileName("readonly.txt"), "101 New\r\n");
    SetFileAttributesA(FileName("readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(0, LoadLanguageFile(FileName("readonly.txt")));
    SetFileAttributesA(FileName("readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(L"Kept", LangText(100));
    EXPECT_EQ(L"New", LangText(101));
}

TEST_F(LanguageFile, MalformedContentNeverStopsTheLoad)
{
    std::string garbage;
    for (int c = 0; c < 256; ++c)
        garbage += char(c);
    std::string bytes = std::string("100 a\0b\r\n", 9) + "101 " + std::string(3000000, 'x') + "\r\n" + garbage +
                        "\r\n102 end";
    EXPECT_EQ(0, Load(bytes, "malformed.txt"));
    EXPECT_EQ(std::wstring(L"a\0b", 3), LangText(100));
    EXPECT_EQ(3000000u, LangText(101).size());
    EXPECT_EQ(L"end", LangText(102));
}

namespace {

// Keeps the stored "curLang" as it was before each start-up test and captures message boxes.
class StartupLoad : public ::testing::Test {
protected:
    struct Box {
        std::wstring text, title;
        unsigned flags;
    };
    std::vector<Box> boxes;
    bool hadValue = false;
    DWORD savedType = 0;
    std::vector<BYTE> saved;

    void SetUp() override
    {
        HKEY h;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, KEY_READ, &h) == ERROR_SUCCESS) {
            DWORD size = 0;
            if (RegQueryValueExA(h, "curLang", nullptr, &savedType, nullptr, &size) == ERROR_SUCCESS) {
                saved.resize(size + 1);
                hadValue = RegQueryValueExA(h, "curLang", nullptr, &savedType, saved.data(), &size) == ERROR_SUCCESS;
                saved.resize(size);
            }
            RegCloseKey(h);
        }
        SetMessageBoxHook([this](const std::wstring& text, const std::wstring& title, unsigned flags) {
            boxes.push_back({text, title, flags});
            return IDOK;
        });
        ClearLanguageTable();
    }
    void TearDown() override
    {
        SetMessageBoxHook(nullptr);
        ClearLanguageTable();
        HKEY h;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) ==
            ERROR_SUCCESS) {
            if (hadValue)
                RegSetValueExA(h, "curLang", 0, savedType, saved.data(), (DWORD)saved.size());
            else
                RegDeleteValueA(h, "curLang");
            RegCloseKey(h);
        }
    }
    static void ForgetLanguage()
    {
        HKEY h;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKey, 0, KEY_ALL_ACCESS, &h) == ERROR_SUCCESS) {
            RegDeleteValueA(h, "curLang");
            RegCloseKey(h);
        }
    }
    static std::string LanguageFilePath(const std::string& lang)
    {
        return ProgramFolder() + "\\languages\\" + lang + "\\" + lang + ".txt";
    }
};

} // namespace

TEST_F(StartupLoad, NoStoredLanguageShowsTheErrorAndStoresEnglish)
{
    for (const char* stored : {"", "   "}) {
        boxes.clear();
        ForgetLanguage();
        if (*stored) {
            ASSERT_TRUE(SaveSetting("curLang", stored));
        }
        LoadLanguage();
        ASSERT_EQ(1u, boxes.size()) << "stored: '" << stored << "'";
        EXPECT_EQ(L"Error: Failed loading selected language.", boxes[0].text);
        EXPECT_EQ(L"Halvren", boxes[0].title);
        EXPECT_EQ((unsigned)(MB_ICONERROR | MB_OK), boxes[0].flags);
        EXPECT_EQ("English", GetSetting("curLang").str());
    }
    // The English file, once installed beside the program, is what got loaded.
    if (GetFileAttributesA(LanguageFilePath("English").c_str()) != INVALID_FILE_ATTRIBUTES) {
        EXPECT_GT(NonEmptyCount(), 0);
    }

    // With a language stored, no message.
    boxes.clear();
    LoadLanguage();
    EXPECT_TRUE(boxes.empty());
}

TEST_F(StartupLoad, TheStoredLanguageNamesFolderAndFile)
{
    std::string languages = ProgramFolder() + "\\languages";
    std::string folder = languages + "\\HalvrenCoreProbe";
    CreateDirectoryA(languages.c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteBytes(LanguageFilePath("HalvrenCoreProbe"), "100 Probe\r\n");
    ASSERT_TRUE(SaveSetting("curLang", "HalvrenCoreProbe"));
    LoadLanguage();
    DeleteFileA(LanguageFilePath("HalvrenCoreProbe").c_str());
    RemoveDirectoryA(folder.c_str());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(L"Probe", LangText(100));

    // A language that is not installed loads nothing and says nothing.
    ClearLanguageTable();
    ASSERT_TRUE(SaveSetting("curLang", "Klingon"));
    LoadLanguage();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(0, NonEmptyCount());
}

TEST_F(StartupLoad, DeutschReadsItsOwnFile)
{
    std::string path = LanguageFilePath("Deutsch");
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no " << path;
    ASSERT_EQ(0, LoadLanguageFile(path));
    std::vector<std::wstring> expected;
    for (int i = 0; i < 1000; ++i)
        expected.push_back(LangText(i));
    ClearLanguageTable();
    ASSERT_TRUE(SaveSetting("curLang", "Deutsch"));
    LoadLanguage();
    EXPECT_TRUE(boxes.empty());
    EXPECT_GT(NonEmptyCount(), 0);
    for (int i = 0; i < 1000; ++i)
        EXPECT_EQ(expected[i], LangText(i)) << "id " << i;
}
