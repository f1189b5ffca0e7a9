#pragma once
// Procedures of the main module that the windows share.
#include <string>
#include <vector>

#include "ui/Controls.h"

// Texts of the ANSI code page, character by character: under a multi-byte code page (Japanese,
// Chinese) the second byte of a character may be "\\" or "|".
// The number of bytes of the character that starts at text[at]: 2 for a lead byte followed by
// another byte, otherwise 1.
size_t AnsiCharBytes(const std::string& text, size_t at);
// The first occurrence of `what` in `text` that begins on a character at or after `from`;
// std::string::npos when there is none.
size_t FindAnsi(const std::string& text, const std::string& what, size_t from = 0);

// The upper-case file path on drive C: cut out of a registry data text.
std::string ExtractFilePath(const std::string& data);
// Fits every column of the list view to its contents, or only `column` when it is >= 0.
void AutoSizeColumns(ui::ListView& list, int column = -1);
// Removes every item equal, ignoring letter case, to an earlier one; keeps first occurrences.
void RemoveDuplicateItems(ui::ListBox& list);
// The text with its characters in reverse order.
std::string ReverseString(const std::string& text);

// A checked row whose value a backup file cannot hold: the fix must leave that value alone.
struct BackupLeftOut {
    int row;  // counted from 0
    std::wstring reason;
};
// Writes the checked rows of the main window's error list into a new backup file, never over
// an existing one. Returns false, leaving no file behind, when the file cannot be made or
// written; `path` is the backup file's full path and `error` says what failed. `saved`
// receives the rows written (their values may be deleted now), `leftOut` the checked rows
// that could not be written.
bool BackupCheckedEntries(std::string& path, std::wstring& error, std::vector<int>* saved = nullptr,
                          std::vector<BackupLeftOut>* leftOut = nullptr);
