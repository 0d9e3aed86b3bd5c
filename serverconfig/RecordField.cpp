#include "serverconfig/RecordField.h"

std::string ReadStrField(const std::uint8_t* field, std::size_t maxLength) {
  std::size_t length = field[0];
  if (length > maxLength) length = maxLength;
  return std::string(reinterpret_cast<const char*>(field + 1), length);
}

void WriteStrField(std::uint8_t* field, std::size_t maxLength, const std::string& text) {
  const std::size_t length = text.size() < maxLength ? text.size() : maxLength;
  field[0] = static_cast<std::uint8_t>(length);
  if (length > 0) std::memcpy(field + 1, text.data(), length);
}
