// Which libraries a Windows program or DLL loads at start-up, read from its PE import tables.
//
// Everything the distribution ships must start on a plain Windows: a program that imports a
// library Wine happens to carry (zlib1.dll, libwinpthread-1.dll, ...) runs in the tests and
// fails to start on a customer's machine, so the builder refuses it.
#pragma once

#include <string>
#include <vector>

// The names of the normal and delay-loaded import tables, as written in the file. False (with
// why) when the file is not a PE image or its tables run outside the file.
bool ReadProgramImports(const std::string& path, std::vector<std::string>& libraries,
                        std::string& error);

// True for the libraries of Windows itself that the suite's programs may import.
bool IsSystemLibrary(const std::string& name);

// True for names that carry a PE image the builder must check (.exe, .dll, .cpl).
bool IsProgramFileName(const std::string& name);
