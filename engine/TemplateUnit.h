// Configuration files made from templates: a template line may carry the markers
// "%%installpath%%" and "%%temppath%%" (matched case-sensitively), which become the
// installation folder and the PHP cache's temporary folder. Portable: no <windows.h>.
#pragma once

#include <string>

constexpr char kInstallPathMarker[] = "%%installpath%%";
constexpr char kTempPathMarker[] = "%%temppath%%";

// Replaces the first installpath marker of the line, then the first temppath marker; further
// markers on the same line stay as they are (the shipped templates rely on one per line).
std::string ExpandTemplateLine(const std::string& line, const std::string& installPath,
                               const std::string& tempPath);

enum class TTemplateResult { Written, InputUnreadable, OutputNotCreated };

// Reads the input as text lines (CR LF, LF or CR) and writes each expanded line ended by
// CR LF to output, replacing an existing file.
TTemplateResult ExpandTemplateFile(const std::string& input, const std::string& output,
                                   const std::string& installPath, const std::string& tempPath);
