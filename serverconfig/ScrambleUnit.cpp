#include "serverconfig/ScrambleUnit.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint8_t kScrambleKey[kScrambleKeyLength] = {
    0x3C, 0x9A, 0x51, 0x07, 0xD2, 0x6E, 0x18, 0xB4,
    0xA7, 0x2F, 0x90, 0x5D, 0xC3, 0x0B, 0x76, 0xE8};

}  // namespace

void ScrambleBlock(void* buffer, std::size_t length, std::size_t phase) {
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  for (std::size_t i = 0; i < length; ++i) {
    bytes[i] ^= kScrambleKey[(i + phase) % kScrambleKeyLength];
  }
}

std::string ScrambledImage(const void* buffer, std::size_t length, std::size_t phase) {
  std::string image(static_cast<const char*>(buffer), length);
  ScrambleBlock(image.data(), image.size(), phase);
  return image;
}

void ScrambleReadInto(void* buffer, std::size_t length, std::size_t phase,
                      const std::string& fileBytes) {
  // Scramble, fill, scramble again: the bytes past the read are scrambled twice, which leaves
  // them as they were, so only the bytes read need decoding.
  const std::size_t filled = std::min(length, fileBytes.size());
  std::memcpy(buffer, fileBytes.data(), filled);
  ScrambleBlock(buffer, filled, phase);
}
