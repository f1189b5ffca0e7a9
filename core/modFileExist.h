#pragma once
#include <string>
// True when a file of that path exists and its length can be read.
bool FileExist(const std::string& path);
