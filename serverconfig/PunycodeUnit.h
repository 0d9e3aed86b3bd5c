// International domain names: labels written as "xn--" + Punycode (RFC 3492).
#pragma once

#include <string>

// Decodes one Punycode string (without "xn--") to UTF-32; false on malformed input.
bool DecodePunycode(const std::string& input, std::u32string& output);

// Every label of name that begins with "xn--" and decodes is replaced by its text in the ANSI
// code page; other labels stay as they are.
std::string DecodeIdnLabels(const std::string& name);
