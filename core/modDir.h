#pragma once
#include <string>
// Creates the folder and every missing folder above it; true when all exist afterwards.
bool CreateFolderTree(const std::string& path);
