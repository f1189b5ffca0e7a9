#pragma once
// Procedures of the main module that the windows share.
#include <string>

#include "ui/Controls.h"

// The upper-case file path on drive C: cut out of a registry data text.
std::string ExtractFilePath(const std::string& data);
// Fits every column of the list view to its contents, or only `column` when it is >= 0.
void AutoSizeColumns(ui::ListView& list, int column = -1);
// Removes every item equal, ignoring letter case, to an earlier one; keeps first occurrences.
void RemoveDuplicateItems(ui::ListBox& list);
std::string ReverseString(const std::string& text);
// Writes the checked rows of the main window's error list into a new backup file.
// Returns false, having written what it could, when the file cannot be made or written;
// `path` is the backup file's full path and `error` says what failed.
bool BackupCheckedEntries(std::string& path, std::wstring& error);
