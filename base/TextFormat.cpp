#include "base/TextFormat.h"

std::string FormatText(const std::string& pattern, const std::vector<std::string>& args) {
  std::string result;
  result.reserve(pattern.size());
  std::size_t next = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size()) {
      const char kind = pattern[i + 1];
      if (kind == 's') {
        if (next < args.size()) result += args[next];
        ++next;
        ++i;
        continue;
      }
      if (kind == '%') {
        result += '%';
        ++i;
        continue;
      }
    }
    result += c;
  }
  return result;
}

std::string FormatText(const std::string& pattern, std::initializer_list<std::string> args) {
  return FormatText(pattern, std::vector<std::string>(args));
}
