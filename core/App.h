#pragma once
// Program-wide facts: the title, the version and the folders the program works in.
#include <string>

constexpr char AppTitle[] = "Halvren";
constexpr wchar_t AppTitleW[] = L"Halvren";

// The major version, ".", then the minor version and the revision written together: 2, 1
// and 0 give "2.10". The numbers are those of the running program's version resource; a
// program without one gives the empty text.
std::string VersionText();
std::string FormatVersionText(unsigned major, unsigned minor, unsigned revision);
// The folder that holds the running program, without a trailing "\".
std::string ProgramFolder();
// The per-user data folder: the local application-data folder and "\Quorvane\Halvren",
// built afresh at every call.
std::string DataFolder();
// DataFolder and "\RegBackups", where the fix writes its backups.
std::string BackupFolder();
