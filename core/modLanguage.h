#pragma once
// The language text table: 1000 texts by id, filled at start-up from
// <program folder>\languages\<curLang>\<curLang>.txt.
#include <string>

// The language files are Central European (Windows-1250) text, whatever the system's code page.
constexpr unsigned LanguageCodePage = 1250;

// Loads the stored language, or English for this run when its file is missing or gives none of
// the window texts; false when not even English could be loaded (the user has been told).
bool LoadLanguage();
// 1 when the name is empty or no ordinary file of that name exists, else 0.
int LoadLanguageFile(const std::string& fileName);
// Text id 0..999; any other id gives the empty text.
const std::wstring& LangText(int id);
// For texts newer than some language files: the English wording when the file lacks the id.
std::wstring LangTextOr(int id, const wchar_t* english);
// Empties the table (for tests).
void ClearLanguageTable();
