// Conversion between the system's ANSI code page and UTF-16, the one OS need of the XML unit.
//
// On Windows it is the ANSI code page of the running system (CP_ACP). POSIX hosts have no such
// thing, so there the Western default, Windows-1252, stands in: the host tree then escapes and
// unescapes exactly as a Western Windows does.
#pragma once

#include <string>
#include <string_view>

// Every byte becomes one UTF-16 unit.
std::u16string AnsiToUtf16(std::string_view text);

// Every UTF-16 unit becomes one byte; a unit the code page cannot show becomes '?'.
// (Windows may pick a look-alike instead, e.g. U+0100 -> 'A'; the POSIX table does not.)
std::string Utf16ToAnsi(std::u16string_view text);
