#pragma once
// Procedures of the main module that the windows share.
#include <string>
#include <vector>

#include "ui/Controls.h"

// The upper-case file path on drive C: cut out of a registry data text.
std::string ExtractFilePath(const std::string& data);
// Fits every column of the list view to its contents, or only `column` when it is >= 0.
void AutoSizeColumns(ui::ListView& list, int column = -1);
// Removes every item equal, ignoring letter case, to an earlier one; keeps first occurrences.
void RemoveDuplicateItems(ui::ListBox& list);
std::string ReverseString(const std::string& text);
// A setting text as a number: blanks around it, a sign, digits and a fraction; false for
// anything else (an empty text, "&H7", "7a").
bool ReadsAsNumber(const std::string& text, double& value);

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
