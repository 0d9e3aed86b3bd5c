#include "xml/CodePage.h"

#include <array>
#include <cstdint>

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F. The five bytes Windows leaves
// undefined there (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls, as Windows maps them.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::u16string AnsiToUtf16(std::string_view text) {
  std::u16string result;
  result.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<std::uint8_t>(c);
    result.push_back(byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80]
                                                 : static_cast<char16_t>(byte));
  }
  return result;
}

std::string Utf16ToAnsi(std::u16string_view text) {
  std::string result;
  result.reserve(text.size());
  for (char16_t unit : text) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
      result.push_back(static_cast<char>(unit));
      continue;
    }
    char byte = '?';
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
      if (kHighControls[i] == unit) {
        byte = static_cast<char>(0x80 + i);
        break;
      }
    }
    result.push_back(byte);
  }
  return result;
}
