#include "tools/distribution/ProgramImports.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/FileSystemUnit.h"

namespace {

// PE layout: the DOS header points at the "PE\0\0" signature, which the COFF header and the
// optional header follow; offsets are into the header they belong to.
constexpr std::uint32_t kDosMagic = 0x5A4D;  // "MZ"
constexpr std::size_t kDosHeaderSize = 0x40;
constexpr std::size_t kNewHeaderPointer = 0x3C;
constexpr std::uint32_t kPeSignature = 0x00004550;
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::size_t kCoffSectionCount = 2;
constexpr std::size_t kCoffOptionalHeaderSize = 16;
constexpr std::size_t kPe32Directories = 96;  // 16 bytes further in PE32+
constexpr std::size_t kPe32PlusDirectories = 112;
constexpr std::size_t kDirectoryEntrySize = 8;
constexpr std::uint32_t kDirectorySlots = 16;
constexpr std::size_t kImportNameField = 12;
constexpr std::size_t kDelayNameField = 4;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kImportDescriptorSize = 20;
constexpr std::size_t kDelayDescriptorSize = 32;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kImportDirectory = 1;
constexpr std::uint32_t kDelayImportDirectory = 13;
constexpr std::size_t kMaxImports = 1024;  // a table that long is damaged, not real

// Windows' own libraries, lower case.
const char* const kSystemLibraries[] = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "crypt32.dll",  "gdi32.dll",
    "iphlpapi.dll", "kernel32.dll", "mpr.dll",      "msvcrt.dll",   "netapi32.dll",
    "odbc32.dll",   "odbccp32.dll", "ole32.dll",    "oleaut32.dll", "psapi.dll",
    "rpcrt4.dll",   "secur32.dll",  "shell32.dll",  "shlwapi.dll",  "user32.dll",
    "version.dll",  "winmm.dll",    "wldap32.dll",  "ws2_32.dll",   "wsock32.dll"};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

struct TSection {
  std::uint32_t VirtualAddress, RawOffset, RawSize;
};

class TImage {
 public:
  explicit TImage(std::string bytes) : bytes_(std::move(bytes)) {}

  bool Has(std::size_t offset, std::size_t size) const {
    return offset <= bytes_.size() && size <= bytes_.size() - offset;
  }
  std::uint32_t U16(std::size_t offset) const { return Byte(offset) | Byte(offset + 1) << 8; }
  std::uint32_t U32(std::size_t offset) const { return U16(offset) | U16(offset + 2) << 16; }

  // File offset of an address of the loaded image; false when no section holds it.
  bool FileOffset(std::uint32_t rva, std::size_t& offset) const {
    // Only the part of a section that the file holds: tables must lie there.
    for (const TSection& s : sections_) {
      if (rva >= s.VirtualAddress && rva - s.VirtualAddress < s.RawSize) {
        offset = static_cast<std::size_t>(s.RawOffset) + (rva - s.VirtualAddress);
        return offset < bytes_.size();
      }
    }
    return false;
  }

  // A zero-terminated name that ends inside the file.
  bool NameAt(std::uint32_t rva, std::string& name) const {
    std::size_t offset = 0;
    if (!FileOffset(rva, offset)) return false;
    const std::size_t end = bytes_.find('\0', offset);
    if (end == std::string::npos || end == offset) return false;
    name = bytes_.substr(offset, end - offset);
    return true;
  }

  bool ReadSections(std::size_t first, std::uint32_t count) {
    if (!Has(first, static_cast<std::size_t>(count) * kSectionHeaderSize)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::size_t at = first + i * kSectionHeaderSize;
      sections_.push_back({U32(at + 12), U32(at + 20), U32(at + 16)});
    }
    return true;
  }

 private:
  std::uint32_t Byte(std::size_t offset) const {
    return offset < bytes_.size() ? static_cast<unsigned char>(bytes_[offset]) : 0;
  }
  std::string bytes_;
  std::vector<TSection> sections_;
};

// Walks one descriptor table: each entry's name pointer at nameField, a zero name ends it.
bool ReadTable(const TImage& image, std::uint32_t rva, std::size_t entrySize, std::size_t nameField,
               std::vector<std::string>& libraries) {
  if (rva == 0) return true;
  std::size_t offset = 0;
  if (!image.FileOffset(rva, offset)) return false;
  for (std::size_t i = 0; i < kMaxImports; ++i, offset += entrySize) {
    if (!image.Has(offset, entrySize)) return false;
    const std::uint32_t nameRva = image.U32(offset + nameField);
    if (nameRva == 0) return true;
    std::string name;
    if (!image.NameAt(nameRva, name)) return false;
    libraries.push_back(name);
  }
  return false;
}

}  // namespace

bool ReadProgramImports(const std::string& path, std::vector<std::string>& libraries,
                        std::string& error) {
  libraries.clear();
  if (!FileExists(path)) {
    error = path + ": not found";
    return false;
  }
  TImage image(ReadWholeFile(path, false));
  error = path + ": not a Windows program or library";
  if (!image.Has(0, kDosHeaderSize) || image.U16(0) != kDosMagic) return false;
  const std::size_t pe = image.U32(kNewHeaderPointer);
  if (!image.Has(pe, 4 + kCoffHeaderSize) || image.U32(pe) != kPeSignature) return false;
  const std::size_t coff = pe + 4;
  const std::size_t optional = coff + kCoffHeaderSize;
  const std::uint32_t optionalSize = image.U16(coff + kCoffOptionalHeaderSize);
  const std::uint32_t magic = image.U16(optional);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) return false;
  const std::size_t directories = optional + (magic == kPe32Magic ? kPe32Directories : kPe32PlusDirectories);
  const std::uint32_t directoryCount = image.U32(directories - 4);  // NumberOfRvaAndSizes
  if (directories - optional > optionalSize || !image.Has(directories, kDirectorySlots * kDirectoryEntrySize))
    return false;
  if (!image.ReadSections(optional + optionalSize, image.U16(coff + kCoffSectionCount))) return false;

  auto directory = [&](std::uint32_t index) {
    return index < directoryCount ? image.U32(directories + index * kDirectoryEntrySize) : 0u;
  };
  const bool read =
      ReadTable(image, directory(kImportDirectory), kImportDescriptorSize, kImportNameField, libraries) &&
      ReadTable(image, directory(kDelayImportDirectory), kDelayDescriptorSize, kDelayNameField, libraries);
  error = read ? std::string() : path + ": damaged import table";
  return read;
}

bool IsSystemLibrary(const std::string& name) {
  const std::string lower = Lower(name);
  return std::any_of(std::begin(kSystemLibraries), std::end(kSystemLibraries),
                     [&](const char* known) { return lower == known; });
}

bool IsProgramFileName(const std::string& name) {
  const std::string lower = Lower(name);
  for (const char* extension : {".exe", ".dll", ".cpl"}) {
    const std::size_t length = std::strlen(extension);
    if (lower.size() > length && lower.compare(lower.size() - length, length, extension) == 0) return true;
  }
  return false;
}
