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
// The lead bytes of the ANSI code page, read once: none under a single-byte code page.
struct AnsiLeadBytes {
    bool lead[256] = {};
    bool any = false;
};
const AnsiLeadBytes& AnsiLeads();
// Upper case as the user's locale sees it, character by character: a character whose upper case
// has no ANSI form of the same length keeps its bytes, so the text keeps its length and every
// character its place.
std::string UpperAnsi(const std::string& s);
std::wstring UpperWide(const std::wstring& s);
// A wide text upper-cased as its ANSI form is by UpperAnsi, so that it finds in ANSI texts what
// the same text read from an ANSI file finds; a text with no ANSI form is upper-cased as it is.
std::wstring UpperAsAnsi(const std::wstring& s);
// The system's own words for an error code, for messages that must say what failed.
std::wstring SystemErrorText(DWORD code);
