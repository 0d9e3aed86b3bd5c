// The one formatter for the setup's text patterns ("%s Setup", "This will install %s. ...").
//
// A language file can replace every pattern, so a pattern is outside input: it is never
// handed to a printf-style function. Each "%s" takes the next argument in order (a missing
// argument gives an empty text), "%%" gives "%", and everything else - "%d", "%n", a lone
// "%" - is copied as it stands. Portable.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

std::string FormatText(const std::string& pattern, const std::vector<std::string>& args);
std::string FormatText(const std::string& pattern, std::initializer_list<std::string> args);
