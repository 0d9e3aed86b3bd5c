// Writer of ILDS data archives (the layout is drawn in archive/ArchiveUnit.h).
//
// Builds the distribution's archives and the test fixtures. File contents are streamed
// through fixed buffers; a compressed entry's size field is patched once its stream is done.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ilds {

struct TPackOptions {
  std::uint32_t version = 2;   // below 2: 256-byte name fields; 2 or more: length-prefixed
  bool compressed = true;      // every entry's data one zlib stream
  bool headerless = false;     // no "ILDS" header: the reader assumes raw, version 0
  int level = -1;              // zlib level 0..9, -1 = zlib's default
  // Bytes of header record to write. Below 5 the record is cut (the reader then sees the
  // missing fields as 0); above 5 it is padded with zero bytes the reader skips.
  std::optional<std::uint32_t> headerLength;
};

// Entry framing as a reader sees it after applying the header rules.
struct TArchiveFormat {
  bool compressed = false;
  std::uint32_t version = 0;
};

class TArchiveWriter {
 public:
  TArchiveWriter() = default;
  ~TArchiveWriter();
  TArchiveWriter(const TArchiveWriter&) = delete;
  TArchiveWriter& operator=(const TArchiveWriter&) = delete;

  // Creates the archive and writes its header. False (see Error) on bad options or I/O.
  bool Create(const std::string& path, const TPackOptions& options);

  // What the entries are framed as: compression and name form follow the header the reader
  // will see, e.g. a header length of 1 leaves version 0.
  const TArchiveFormat& Format() const { return format_; }

  bool AddBytes(const std::string& name, std::string_view data);
  bool AddFile(const std::string& name, const std::string& sourcePath);
  // Stores data as it is, whatever the compression, with an optional size field of its own
  // (for damaged fixtures: a negative or oversized size, a stream that does not inflate).
  bool AddStored(const std::string& name, std::string_view stored,
                 std::optional<std::int32_t> sizeField = std::nullopt);
  // An entry whose name is blank: readers stop there.
  bool AddEndMarker(const std::string& blankName = std::string(), std::int32_t sizeField = 0);
  // Arbitrary bytes at the current end (e.g. after an end marker).
  bool AppendBytes(std::string_view bytes);

  bool Close();
  const std::string& Error() const { return error_; }

 private:
  // Fills up to the given bytes; 0 at the end. Sets the flag on a read error.
  using TSource = std::function<std::size_t(unsigned char*, std::size_t, bool&)>;
  bool WriteName(const std::string& name);
  bool WriteSize(std::int32_t size);
  bool WriteAll(const void* data, std::size_t size);
  bool AddStream(const std::string& name, const TSource& source);
  bool Fail(const std::string& message);

  std::FILE* file_ = nullptr;
  std::string path_;
  TPackOptions options_;
  TArchiveFormat format_;
  std::string error_;
};

// One entry as read back from an archive's table.
struct TEntryInfo {
  std::string name;     // as stored (untrimmed)
  std::int32_t size = 0;
  std::uint64_t dataOffset = 0;
};

// Walks an archive's entries with the reader's framing rules, without extracting: headerless
// detection, header length, end marker. True when the end (or an end marker) was reached
// cleanly; false on a cut name or size field, a negative size or data running past the end.
bool ListArchive(const std::string& path, TArchiveFormat& format,
                 const std::function<void(const TEntryInfo&)>& onEntry, std::string& error);

}  // namespace ilds
