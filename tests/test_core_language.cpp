// The language text table: the line rules of a language file and the start-up load.
#include "core/App.h"
#include "core/MsgBox.h"
#include "core/Text.h"
#include "core/modLanguage.h"
#include "core/modRegistry2.h"
#include <gtest/gtest.h>
#include <windows.h>
#include <vector>

namespace {

const std::string Folder = "C:\\halvren-test\\core-lang\\";

void WriteBytes(const std::string& path, const std::string& bytes)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(f, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(f);
    ASSERT_EQ(bytes.size(), written) << path;
}

// Loads the bytes as a language file into an empty table.
int Load(const std::string& bytes)
{
    CreateDirectoryA("C:\\halvren-test", nullptr);
    CreateDirectoryA(Folder.c_str(), nullptr);
    WriteBytes(Folder + "test.txt", bytes);
    ClearLanguageTable();
    return LoadLanguageFile(Folder + "test.txt");
}

int NonEmptyCount()
{
    int n = 0;
    for (int i = 0; i < 1000; ++i)
        n += !LangText(i).empty();
    return n;
}

} // namespace

TEST(CoreLanguage, LineRules)
{
    // Each line, and the id it should leave with its text (none: checked by a later line or by the count).
    struct Line { const char* line; int id = -1; const wchar_t* text = nullptr; };
    const Line lines[] = {
        {"101 Please_wait", 101, L"Please\rwait"}, {"050 ends_", 50, L"ends\r"},
        {"205 A"}, {"205 B", 205, L"B"},                         // the last line wins
        {"012  Hello", 12, L" Hello"}, {"-12 X"},                 // text from character 5 on
        {" 13 Blank first", 13, L"Blank first"}, {"400 Old"}, {"400", 400, L""},
        {";205 X"}, {"   "}, {""},                                // comments and blank lines change nothing
        {"1000 X", 100, L" X"}, {"999 Last", 999, L"Last"},
        {"150 Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1 \x8A\x8E \xC4\xD6\xDC\xE4\xF6\xFC\xDF", 150,   // cp1250
         L"Za\u017C\u00F3\u0142\u0107 g\u0119\u015Bl\u0105 ja\u017A\u0144 \u0160\u017D "
         L"\u00C4\u00D6\u00DC\u00E4\u00F6\u00FC\u00DF"},
    };
    std::string file;
    for (const Line& l : lines)
        file += std::string(l.line) + "\r\n";
    EXPECT_EQ(0, Load(file));
    int texts = 0;
    for (const Line& l : lines)
        if (l.id >= 0) {
            EXPECT_EQ(l.text, LangText(l.id)) << l.line;
            texts += *l.text != 0;
        }
    EXPECT_EQ(texts, NonEmptyCount());   // nothing else, e.g. "-12", got a text

    Load("100 First\n101 Second\n\r102 C\r103 D");   // lines end at CR only; the last needs no end
    EXPECT_EQ(L"First\n101 Second\n", LangText(100));
    EXPECT_EQ(L"C", LangText(102));
    EXPECT_EQ(L"D", LangText(103));

    // Malformed content never stops the load.
    EXPECT_EQ(0, Load(std::string("100 a\0b\r\n", 9) + "\x01\x7F\x81\x98\xFF\r\n102 end"));
    EXPECT_EQ(std::wstring(L"a\0b", 3), LangText(100));
    EXPECT_EQ(L"end", LangText(102));
}

TEST(CoreLanguage, OnlyOrdinaryFilesLoad)
{
    ASSERT_EQ(0, Load("100 Kept\r\n101 Kept too\r\n"));
    for (std::string name : {std::string(), Folder + "missing.txt", Folder, Folder + "*.txt"})
        EXPECT_EQ(1, LoadLanguageFile(name)) << name;
    for (DWORD attribute : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_READONLY}) {
        WriteBytes(Folder + "marked.txt", "101 New\r\n");
        SetFileAttributesA((Folder + "marked.txt").c_str(), attribute);
        EXPECT_EQ(attribute == FILE_ATTRIBUTE_READONLY ? 0 : 1, LoadLanguageFile(Folder + "marked.txt"));
        EXPECT_EQ(attribute == FILE_ATTRIBUTE_READONLY ? L"New" : L"Kept too", LangText(101));
        SetFileAttributesA((Folder + "marked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_EQ(L"Kept", LangText(100));   // a second load replaces only the ids it sets
}

// The start-up load: a first start says so and stores English; a stored name gives
// languages\<name>\<name>.txt; a missing file says so and loads English for this run, keeping
// the stored name; without English either the user is told and the load fails.
TEST(CoreLanguage, StartupLoad)
{
    const std::string saved = GetSetting("curLang").str();
    std::vector<std::wstring> boxes;
    SetMessageBoxHook([&](const std::wstring& text, const std::wstring& title, unsigned flags) {
        boxes.push_back(title + L"|" + text + (flags == (MB_ICONERROR | MB_OK) ? L"|error" : L"|?"));
        return IDOK;
    });
    const std::string probe = ProgramFolder() + "\\languages\\HalvrenCoreProbe";
    CreateDirectoryA(probe.c_str(), nullptr);
    WriteBytes(probe + "\\HalvrenCoreProbe.txt", "100 Probe\r\n");
    const std::wstring firstStart = L"Halvren|Error: Failed loading selected language.|error";
    const struct { const char* stored; std::vector<std::wstring> boxes; const char* after; const wchar_t* text100; } cases[] = {
        {nullptr, {firstStart}, "English", nullptr}, {"   ", {firstStart}, "English", nullptr},
        {"HalvrenCoreProbe", {}, "HalvrenCoreProbe", L"Probe"}, {"Klingon", {firstStart}, "Klingon", nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "<none>");
        boxes.clear();
        ClearLanguageTable();
        DeleteRegSetting(AppTitle, "Settings", "curLang", HKEY_CURRENT_USER, "SOFTWARE\\Quorvane");
        if (c.stored) SaveSetting("curLang", c.stored);
        EXPECT_TRUE(LoadLanguage());
        EXPECT_EQ(c.boxes, boxes);
        EXPECT_EQ(c.after, GetSetting("curLang").str());
        if (c.text100) EXPECT_EQ(c.text100, LangText(100));
        else EXPECT_GT(NonEmptyCount(), 50);   // the staged English file
    }
    // A file that gives no caption counts as missing: one saved with line feeds only (its lines
    // run together into text 100), as UTF-16, or empty.
    for (const std::string& bytes : {std::string("100 Probe\n101 Two\n"),
                                     std::string("\xFF\xFE" "1\0" "0\0" "0\0" " \0" "P\0" "\r\0\n\0", 16), std::string()}) {
        SCOPED_TRACE(bytes.size());
        WriteBytes(probe + "\\HalvrenCoreProbe.txt", bytes);
        SaveSetting("curLang", "HalvrenCoreProbe");
        boxes.clear();
        ClearLanguageTable();
        EXPECT_TRUE(LoadLanguage());
        EXPECT_EQ(std::vector<std::wstring>{firstStart}, boxes);
        EXPECT_GT(NonEmptyCount(), 50);
        EXPECT_EQ(std::wstring::npos, LangText(100).find(L"Probe"));
        EXPECT_EQ("HalvrenCoreProbe", GetSetting("curLang").str());
    }
    SaveSetting("curLang", "Klingon");
    // No English file either: one message that names it, and nothing loaded.
    const std::string english = ProgramFolder() + "\\languages\\English", away = english + ".away";
    ASSERT_TRUE(MoveFileA(english.c_str(), away.c_str()));
    boxes.clear();
    ClearLanguageTable();
    EXPECT_FALSE(LoadLanguage());
    MoveFileA(away.c_str(), english.c_str());
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(0u, boxes[0].find(firstStart.substr(0, firstStart.size() - 6) + L"\r\n\r\nThe English language file is missing"));
    EXPECT_NE(std::wstring::npos, boxes[0].find(FromAnsi(english + "\\English.txt")));
    EXPECT_EQ(0, NonEmptyCount());
    EXPECT_EQ("Klingon", GetSetting("curLang").str());
    SetMessageBoxHook(nullptr);
    DeleteFileA((probe + "\\HalvrenCoreProbe.txt").c_str());
    RemoveDirectoryA(probe.c_str());
    if (saved.empty())
        DeleteRegSetting(AppTitle, "Settings", "curLang", HKEY_CURRENT_USER, "SOFTWARE\\Quorvane");
    else
        SaveSetting("curLang", saved);
}

// The repair, backup and restore messages are translated: each staged language file sets them,
// and the Polish and German words are not the English ones.
TEST(CoreLanguage, RepairMessagesInEveryLanguage)
{
    std::vector<std::wstring> english;
    for (const char* lang : {"English", "Polish", "Deutsch"}) {
        SCOPED_TRACE(lang);
        ClearLanguageTable();
        ASSERT_EQ(0, LoadLanguageFile(ProgramFolder() + "\\languages\\" + lang + "\\" + lang + ".txt"));
        for (int id = 250; id <= 267; ++id) {
            EXPECT_FALSE(LangText(id).empty()) << id;
            if (english.size() < 18) english.push_back(LangText(id));
            else EXPECT_NE(english[id - 250], LangText(id)) << id;
        }
    }
    ClearLanguageTable();
}

// The upper-casing of ANSI texts answers as the conversion through Unicode does, for every byte
// alone and within texts.
TEST(CoreText, UpperAnsiAsThroughUnicode)
{
    std::string all;
    for (int c = 1; c < 256; ++c) {
        const std::string one(1, static_cast<char>(c));
        EXPECT_EQ(ToAnsi(UpperWide(FromAnsi(one))), UpperAnsi(one)) << "byte " << c;
        all += one;
    }
    for (const std::string& text : {all, std::string("c:\\program files\\x.exe /s"), std::string(), std::string("\0a", 2)})
        EXPECT_EQ(ToAnsi(UpperWide(FromAnsi(text))), UpperAnsi(text));
}
