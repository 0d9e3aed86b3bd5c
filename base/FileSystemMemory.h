// What only the in-memory file system (FileSystemMemory.cpp, the fuzz build's back end) offers
// beyond the file helpers: a harness resets the whole volume between inputs in one step and
// sees every file an input left, wherever it is.
#pragma once

#include <string>
#include <vector>

// Removes every file and folder. Streams still open keep their bytes until they are closed.
void ForgetAllMemoryFiles();

// The resolved path (lower case, '\'-separated, as the volume keys it) of every file.
std::vector<std::string> AllMemoryFiles();
