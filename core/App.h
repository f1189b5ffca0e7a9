#pragma once
// Program-wide facts: the title, the version and the folders the program works in.
#include <string>

constexpr char AppTitle[] = "Halvren";
constexpr wchar_t AppTitleW[] = L"Halvren";
constexpr int VersionMajor = 1;
constexpr int VersionMinor = 0;
constexpr int VersionRevision = 0;

// The major version, ".", then the minor version and the revision written together ("1.00").
std::string VersionText();
// The folder that holds the running program, without a trailing "\".
std::string ProgramFolder();
// The per-user data folder: the local application-data folder and "\Quorvane\Halvren",
// built afresh at every call.
std::string DataFolder();
// DataFolder and "\RegBackups", where the fix writes its backups.
std::string BackupFolder();
