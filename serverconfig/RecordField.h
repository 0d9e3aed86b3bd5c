// Fixed-size binary records of the configuration store and the typed fields inside them.
//
// The servers read the same bytes, so every field is named by its byte offset and type, and
// records are plain byte arrays: no padding, little-endian integers, length-prefixed texts.
//   str[N]  one length byte (0..N) followed by the characters; a longer text keeps its first
//           N characters, bytes after the used length are left as the buffer held them.
//   double  IEEE 754, days since 30 December 1899.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

struct TStrField { std::size_t Offset; std::size_t Max; };
struct TByteField { std::size_t Offset; };
struct TU16Field { std::size_t Offset; };
struct TI32Field { std::size_t Offset; };
struct TU32Field { std::size_t Offset; };
struct TDoubleField { std::size_t Offset; };

constexpr std::size_t FieldEnd(TStrField f) { return f.Offset + 1 + f.Max; }
constexpr std::size_t FieldEnd(TByteField f) { return f.Offset + 1; }
constexpr std::size_t FieldEnd(TU16Field f) { return f.Offset + 2; }
constexpr std::size_t FieldEnd(TI32Field f) { return f.Offset + 4; }
constexpr std::size_t FieldEnd(TU32Field f) { return f.Offset + 4; }
constexpr std::size_t FieldEnd(TDoubleField f) { return f.Offset + 8; }

// A length byte above N (damaged data) reads as N characters.
std::string ReadStrField(const std::uint8_t* field, std::size_t maxLength);
void WriteStrField(std::uint8_t* field, std::size_t maxLength, const std::string& text);

inline std::uint16_t ReadU16Le(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline void WriteU16Le(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline std::uint32_t ReadU32Le(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void WriteU32Le(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

template <std::size_t Size>
struct TRecordBytes {
  static constexpr std::size_t kSize = Size;
  std::array<std::uint8_t, Size> Bytes{};

  std::uint8_t* data() { return Bytes.data(); }
  const std::uint8_t* data() const { return Bytes.data(); }
  static constexpr std::size_t size() { return Size; }
  void Clear() { Bytes.fill(0); }

  std::string Get(TStrField f) const { return ReadStrField(at(f.Offset, FieldEnd(f)), f.Max); }
  void Set(TStrField f, const std::string& text) {
    WriteStrField(at(f.Offset, FieldEnd(f)), f.Max, text);
  }
  std::uint8_t Get(TByteField f) const { return *at(f.Offset, FieldEnd(f)); }
  void Set(TByteField f, std::uint8_t v) { *at(f.Offset, FieldEnd(f)) = v; }
  std::uint16_t Get(TU16Field f) const { return ReadU16Le(at(f.Offset, FieldEnd(f))); }
  void Set(TU16Field f, std::uint16_t v) { WriteU16Le(at(f.Offset, FieldEnd(f)), v); }
  std::int32_t Get(TI32Field f) const {
    return static_cast<std::int32_t>(ReadU32Le(at(f.Offset, FieldEnd(f))));
  }
  void Set(TI32Field f, std::int32_t v) {
    WriteU32Le(at(f.Offset, FieldEnd(f)), static_cast<std::uint32_t>(v));
  }
  std::uint32_t Get(TU32Field f) const { return ReadU32Le(at(f.Offset, FieldEnd(f))); }
  void Set(TU32Field f, std::uint32_t v) { WriteU32Le(at(f.Offset, FieldEnd(f)), v); }
  double Get(TDoubleField f) const {
    double v;
    std::memcpy(&v, at(f.Offset, FieldEnd(f)), sizeof v);
    return v;
  }
  void Set(TDoubleField f, double v) { std::memcpy(at(f.Offset, FieldEnd(f)), &v, sizeof v); }

 private:
  // Field constants are checked against the record size at compile time where they are
  // declared; this guards fields built at run time.
  std::uint8_t* at(std::size_t offset, std::size_t end) {
    return end <= Size ? Bytes.data() + offset : scratch();
  }
  const std::uint8_t* at(std::size_t offset, std::size_t end) const {
    return end <= Size ? Bytes.data() + offset : scratch();
  }
  static std::uint8_t* scratch() {
    static std::uint8_t bytes[512];
    std::memset(bytes, 0, sizeof bytes);
    return bytes;
  }
};

#define ZAREL_FIELD_FITS(Record, field) \
  static_assert(FieldEnd(field) <= Record::kSize, #field " lies outside " #Record)
