#pragma once
// Conversions between the ANSI texts of the registry and file system and the wide texts
// that the windows show.
#include <windows.h>
#include <string>

std::wstring FromAnsi(const std::string& s, UINT codePage = CP_ACP);
std::string ToAnsi(const std::wstring& s, UINT codePage = CP_ACP);
// Whether a wide text has a form in the ANSI code page: names the registry or the file system
// hold may have characters that the code page lacks, and the ANSI functions then give "?" or a
// look-alike in their place.
bool HasAnsiForm(const wchar_t* text, size_t length);
// Upper case as the user's locale sees it (the ANSI text is converted through the code page).
std::string UpperAnsi(const std::string& s);
std::wstring UpperWide(const std::wstring& s);
// The system's own words for an error code, for messages that must say what failed.
std::wstring SystemErrorText(DWORD code);
