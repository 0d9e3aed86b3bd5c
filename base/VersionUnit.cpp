#include "base/VersionUnit.h"

#include <array>
#include <cstdint>

namespace {

// Major, minor and patch as unsigned 16-bit numbers. Reading stops at the first field that is
// missing or not a number; it and the fields after it stay 0.
std::array<std::uint16_t, 3> ParseVersion(const std::string& text) {
  std::array<std::uint16_t, 3> numbers{0, 0, 0};
  std::size_t start = 0;
  for (std::size_t field = 0; field < numbers.size(); ++field) {
    if (start > text.size()) break;
    std::size_t end = text.find('.', start);
    if (end == std::string::npos) end = text.size();
    if (end == start) break;
    std::uint32_t value = 0;
    for (std::size_t i = start; i < end; ++i) {
      char c = text[i];
      if (c < '0' || c > '9') return numbers;
      value = value * 10 + static_cast<std::uint32_t>(c - '0');
      value &= 0xFFFFu;  // the numbers are 16-bit; larger texts wrap as they always did
    }
    numbers[field] = static_cast<std::uint16_t>(value);
    start = end + 1;
  }
  return numbers;
}

}  // namespace

bool VersionAtLeast(const std::string& version, const std::string& reference) {
  const auto v = ParseVersion(version);
  const auto r = ParseVersion(reference);
  if (v[0] != r[0]) return v[0] > r[0];
  if (v[1] != r[1]) return v[1] > r[1];
  return v[2] >= r[2];
}
