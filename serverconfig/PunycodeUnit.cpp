#include "serverconfig/PunycodeUnit.h"

#include <cstdint>

#include "base/StringUnit.h"
#include "serverconfig/ConfigTextUnit.h"
#include "xml/CodePage.h"

namespace {

constexpr std::uint32_t kBase = 36, kTMin = 1, kTMax = 26, kSkew = 38, kDamp = 700;
constexpr std::uint32_t kInitialBias = 72, kInitialN = 128;
constexpr std::uint32_t kMaxCodePoint = 0x10FFFF;
constexpr std::size_t kMaxLabelOutput = 256;

std::uint32_t Adapt(std::uint32_t delta, std::uint32_t points, bool first) {
  delta = first ? delta / kDamp : delta / 2;
  delta += delta / points;
  std::uint32_t k = 0;
  while (delta > ((kBase - kTMin) * kTMax) / 2) {
    delta /= kBase - kTMin;
    k += kBase;
  }
  return k + (kBase - kTMin + 1) * delta / (delta + kSkew);
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0' + 26;
  if (c >= 'a' && c <= 'z') return c - 'a';
  if (c >= 'A' && c <= 'Z') return c - 'A';
  return -1;
}

std::u16string ToUtf16(const std::u32string& text) {
  std::u16string out;
  for (char32_t c : text) {
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
  }
  return out;
}

}  // namespace

bool DecodePunycode(const std::string& input, std::u32string& output) {
  output.clear();
  const std::size_t dash = input.rfind('-');
  std::size_t pos = 0;
  if (dash != std::string::npos) {
    for (std::size_t i = 0; i < dash; ++i) {
      if (static_cast<unsigned char>(input[i]) >= 0x80) return false;
      output += static_cast<char32_t>(input[i]);
    }
    pos = dash + 1;
  }
  std::uint32_t n = kInitialN, bias = kInitialBias, i = 0;
  while (pos < input.size()) {
    const std::uint32_t oldI = i;
    std::uint32_t w = 1;
    for (std::uint32_t k = kBase;; k += kBase) {
      if (pos >= input.size()) return false;
      const int digit = DigitValue(input[pos++]);
      if (digit < 0) return false;
      if (static_cast<std::uint32_t>(digit) > (UINT32_MAX - i) / w) return false;
      i += static_cast<std::uint32_t>(digit) * w;
      const std::uint32_t t = k <= bias ? kTMin : (k >= bias + kTMax ? kTMax : k - bias);
      if (static_cast<std::uint32_t>(digit) < t) break;
      if (w > UINT32_MAX / (kBase - t)) return false;
      w *= kBase - t;
    }
    const std::uint32_t points = static_cast<std::uint32_t>(output.size()) + 1;
    bias = Adapt(i - oldI, points, oldI == 0);
    if (i / points > kMaxCodePoint - n) return false;
    n += i / points;
    i %= points;
    if (n > kMaxCodePoint || output.size() >= kMaxLabelOutput) return false;
    output.insert(output.begin() + i, static_cast<char32_t>(n));
    ++i;
  }
  return true;
}

std::string DecodeIdnLabels(const std::string& name) {
  std::string result;
  const std::vector<std::string> labels = SplitText(name, '.');
  for (std::size_t index = 0; index < labels.size(); ++index) {
    if (index > 0) result += '.';
    const std::string& label = labels[index];
    std::u32string decoded;
    if (LowerCase(label.substr(0, 4)) == "xn--" && DecodePunycode(label.substr(4), decoded)) {
      result += Utf16ToAnsi(ToUtf16(decoded));
    } else {
      result += label;
    }
  }
  return result;
}
