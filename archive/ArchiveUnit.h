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
#include <string>
#include <vector>

namespace ilds {
constexpr char kMagic[4] = {'I', 'L', 'D', 'S'};
constexpr std::uint32_t kHeaderRecordSize = 5;   // compressed flag + version
constexpr std::uint32_t kFixedNameSize = 256;    // name field below version 2
constexpr std::uint32_t kMaxNameLength = 255;    // the length byte's range
constexpr std::uint32_t kLengthPrefixedVersion = 2;
}  // namespace ilds

// Unpacks the archive into the destination folder. True only when every entry up to the end
// of the archive (or its end marker) was written or deliberately kept; see ArchiveUnit.cpp for
// what stays on disk when it gives false.
bool ExtractArchive(const std::string& archivePath, const std::string& destinationFolder,
                    bool overwrite, const std::string& keepList);

// Inflates one zlib stream held wholly in memory.
bool DecompressBuffer(const void* input, std::size_t inputSize, std::vector<unsigned char>& output);
