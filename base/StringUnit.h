// The text helpers every layer shares. Texts are 8-bit ANSI; letter case is folded for the
// ASCII letters only, as the stored names and command words are ASCII, so a folded text keeps
// its length and every other byte.
#pragma once

#include <string>

std::string LowerCase(std::string text);
std::string UpperCase(std::string text);
// Without the blanks and control characters (every byte up to ' ') at both ends.
std::string TrimText(const std::string& text);
// Equal apart from ASCII letter case.
bool SameText(const std::string& a, const std::string& b);
