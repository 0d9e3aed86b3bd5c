// Reader of the ILDS data archives that lie beside the setup program.
//
// Layout of an archive file (all integers little-endian):
//
//   offset 0   "ILDS"                 magic; without it the file is headerless: entries start
//                                     at offset 0, uncompressed, version 0
//   offset 4   u32 header length      bytes of the header record that follow
//   offset 8   header record          byte 0: compressed flag (non-zero: every entry's data is
//                                     one zlib stream); bytes 1-4: u32 version. Fields the
//                                     header length does not reach are 0; bytes beyond the
//                                     5-byte record are skipped (a header length that runs past
//                                     the end of the file marks a damaged archive).
//   then, to the end of the file, entries:
//     name     version < 2: 256-byte field; version >= 2: 1 + L bytes. Byte 0 is the length L,
//              bytes 1..L the name (ANSI, '\'-separated, relative to the destination)
//     size     i32: bytes of data that follow (the zlib stream's size when compressed)
//     data     raw bytes or one complete zlib stream
//   An entry whose name is blank (only spaces and control characters) ends the archive.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace ilds {
constexpr char kMagic[4] = {'I', 'L', 'D', 'S'};
constexpr std::uint32_t kHeaderRecordSize = 5;   // compressed flag + version
constexpr std::uint32_t kFixedNameSize = 256;    // name field below version 2
constexpr std::uint32_t kMaxNameLength = 255;    // the length byte's range
constexpr std::uint32_t kLengthPrefixedVersion = 2;
}  // namespace ilds

// What stopped a read-through or an extraction; the first fault found is the one reported.
enum class TArchiveFault {
  None,              // every entry up to the end (or the end marker) was read, and written or kept
  Unreadable,        // the archive could not be opened or read, or memory ran out (SystemError)
  Cut,               // the file ends inside the header, a name, a size field or an entry's data
  DataDamaged,       // a compressed entry does not inflate or its Adler-32 does not match
  Malformed,         // a negative size or an entry name that would leave the destination
  TargetNotWritten,  // extraction: a file below the destination could not be created or written
};

struct TArchiveEntrySize {
  std::string Name;
  std::uint64_t Size = 0;  // bytes once inflated
};

struct TArchiveReport {
  TArchiveFault Fault = TArchiveFault::None;
  std::string Entry;              // the entry at which the fault was found; empty: in the header
  std::string Target;             // TargetNotWritten: the file that could not be written
  std::uint32_t SystemError = 0;  // Unreadable, TargetNotWritten: GetLastError (errno off Windows)
  // CheckArchive: every entry read through, in archive order, with its inflated size.
  std::vector<TArchiveEntrySize> Entries;
  // CheckArchive: the inflated bytes of the entries asked for, by lower-case name (an entry
  // larger than 16 MB is not kept).
  std::map<std::string, std::string> Contents;

  bool Sound() const { return Fault == TArchiveFault::None; }
};

// Unpacks the archive into the destination folder. True only when every entry up to the end
// of the archive (or its end marker) was written or deliberately kept; see ArchiveUnit.cpp for
// what stays on disk when it gives false. report, when given, says why.
bool ExtractArchive(const std::string& archivePath, const std::string& destinationFolder,
                    bool overwrite, const std::string& keepList, TArchiveReport* report = nullptr);

// Reads the archive through once without writing anything: the structure to its end, every
// compressed entry inflated and its Adler-32 checked (the format has no other checksum).
// Sound exactly when an extraction into an empty folder with room could complete. The
// entries named in keepContentsOf (lower case) have their inflated bytes kept in Contents.
TArchiveReport CheckArchive(const std::string& archivePath, const std::set<std::string>& keepContentsOf = {});
// The same for an archive held in memory (an archive carried inside another).
TArchiveReport CheckArchiveBytes(const std::string& archive);

// Inflates one zlib stream held wholly in memory.
bool DecompressBuffer(const void* input, std::size_t inputSize, std::vector<unsigned char>& output);
