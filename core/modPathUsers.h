#pragma once
#include <string>
// The local application-data folder without a trailing "\"; the empty text on failure.
std::string GetLocalAppDataPath();
