// Where the program keeps its data: the rule start-up settles once, and that the console tool
// beside the program follows to find the same folder.
#pragma once

#include <cstddef>

// The program's data folder for a program in `programFolder` (both end with a backslash): the
// program's own folder on a removable drive or without the marker "DefSet.txt", else the
// per-user folder, made when missing.
void settleDataFolder(const char* programFolder, char* dataFolder, size_t capacity);
