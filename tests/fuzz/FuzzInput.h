// Inputs that hold several files: the parts are separated by a line "--" ("\n--\n").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline std::vector<std::string> SplitFuzzParts(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = input.find("\n--\n", from);
    parts.push_back(input.substr(from, at == std::string::npos ? at : at - from));
    if (at == std::string::npos) break;
    from = at + 4;
  }
  return parts;
}

// The part at index, empty when the input has fewer.
inline std::string FuzzPart(const std::vector<std::string>& parts, std::size_t index) {
  return index < parts.size() ? parts[index] : std::string();
}
