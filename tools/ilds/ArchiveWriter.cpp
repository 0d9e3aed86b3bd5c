#include "tools/ilds/ArchiveWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "archive/ArchiveUnit.h"
#include "base/FileSystemUnit.h"

namespace ilds {
namespace {

constexpr std::size_t kBlock = 256 * 1024;
constexpr std::uint64_t kMaxEntrySize = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());

// Archives grow past 2 GiB; size fields are patched by offset.
bool SeekTo(std::FILE* file, std::uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::uint64_t TellOf(std::FILE* file) {
#ifdef _WIN32
  return static_cast<std::uint64_t>(_ftelli64(file));
#else
  return static_cast<std::uint64_t>(ftello(file));
#endif
}

void PutLittleEndian32(unsigned char* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint32_t GetLittleEndian32(const unsigned char* in) {
  return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
         static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

TArchiveWriter::~TArchiveWriter() {
  if (file_ != nullptr) std::fclose(file_);
}

bool TArchiveWriter::Fail(const std::string& message) {
  if (error_.empty()) error_ = message;
  return false;
}

bool TArchiveWriter::Create(const std::string& path, const TPackOptions& options) {
  error_.clear();
  if (file_ != nullptr) return Fail("archive already open");
  options_ = options;
  if (options.level < -1 || options.level > 9) return Fail("compression level must be 0..9");
  if (options.headerless) {
    // Without a header a reader can only assume raw entries with 256-byte names.
    if (options.compressed || options.version != 0 || options.headerLength) {
      return Fail("a headerless archive is raw, version 0, without header length");
    }
  }
  unsigned char record[kHeaderRecordSize] = {};
  record[0] = options.compressed ? 1 : 0;
  PutLittleEndian32(record + 1, options.version);
  const std::uint32_t headerLength = options.headerLength.value_or(kHeaderRecordSize);
  // The reader zero-fills what the header length does not reach; frame entries likewise.
  unsigned char seen[kHeaderRecordSize] = {};
  std::memcpy(seen, record, std::min(headerLength, kHeaderRecordSize));
  format_.compressed = !options.headerless && seen[0] != 0;
  format_.version = options.headerless ? 0 : GetLittleEndian32(seen + 1);

  path_ = path;
  file_ = std::fopen(HostPath(path).c_str(), "wb");
  if (file_ == nullptr) return Fail("cannot create " + path);
  if (options.headerless) return true;
  unsigned char head[8];
  std::memcpy(head, kMagic, 4);
  PutLittleEndian32(head + 4, headerLength);
  if (!WriteAll(head, sizeof head)) return false;
  if (!WriteAll(record, std::min(headerLength, kHeaderRecordSize))) return false;
  const std::vector<unsigned char> padding(headerLength > kHeaderRecordSize ? 256 : 0, 0);
  for (std::uint32_t left = headerLength > kHeaderRecordSize ? headerLength - kHeaderRecordSize : 0;
       left > 0;) {
    const std::uint32_t step = std::min<std::uint32_t>(left, 256);
    if (!WriteAll(padding.data(), step)) return false;
    left -= step;
  }
  return true;
}

bool TArchiveWriter::WriteAll(const void* data, std::size_t size) {
  if (file_ == nullptr) return Fail("archive not open");
  if (size > 0 && std::fwrite(data, 1, size, file_) != size) return Fail("cannot write " + path_);
  return true;
}

bool TArchiveWriter::WriteName(const std::string& name) {
  if (name.size() > kMaxNameLength) return Fail("entry name longer than 255 characters: " + name);
  unsigned char field[kFixedNameSize] = {};
  field[0] = static_cast<unsigned char>(name.size());
  std::memcpy(field + 1, name.data(), name.size());
  return WriteAll(field, format_.version < kLengthPrefixedVersion ? kFixedNameSize : 1 + name.size());
}

bool TArchiveWriter::WriteSize(std::int32_t size) {
  unsigned char field[4];
  PutLittleEndian32(field, static_cast<std::uint32_t>(size));
  return WriteAll(field, sizeof field);
}

bool TArchiveWriter::AddStream(const std::string& name, const TSource& source) {
  if (!WriteName(name)) return false;
  const std::uint64_t sizeOffset = TellOf(file_);
  if (!WriteSize(0)) return false;
  std::unique_ptr<unsigned char[]> in(new unsigned char[kBlock]);
  std::uint64_t stored = 0;
  bool readFailed = false;

  if (!format_.compressed) {
    for (;;) {
      const std::size_t got = source(in.get(), kBlock, readFailed);
      if (readFailed) return Fail("cannot read the data of " + name);
      if (got == 0) break;
      if (!WriteAll(in.get(), got)) return false;
      stored += got;
      if (stored > kMaxEntrySize) return Fail("entry larger than 2 GiB: " + name);
    }
  } else {
    std::size_t got = source(in.get(), kBlock, readFailed);
    if (readFailed) return Fail("cannot read the data of " + name);
    // An empty file is stored without a stream: size 0 extracts to an empty file.
    if (got > 0) {
      std::unique_ptr<unsigned char[]> out(new unsigned char[kBlock]);
      z_stream stream;
      std::memset(&stream, 0, sizeof stream);
      if (deflateInit(&stream, options_.level) != Z_OK) return Fail("zlib cannot start");
      std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&stream, deflateEnd);
      for (;;) {
        // A read of 0 bytes is the end: that round only finishes the stream.
        stream.next_in = in.get();
        stream.avail_in = static_cast<uInt>(got);
        int rc;
        const int flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
          stream.next_out = out.get();
          stream.avail_out = kBlock;
          rc = deflate(&stream, flush);
          if (rc == Z_STREAM_ERROR) return Fail("zlib failed on " + name);
          const std::size_t produced = kBlock - stream.avail_out;
          if (!WriteAll(out.get(), produced)) return false;
          stored += produced;
          if (stored > kMaxEntrySize) return Fail("entry larger than 2 GiB after compression: " + name);
        } while (stream.avail_out == 0);
        if (flush == Z_FINISH) {
          if (rc != Z_STREAM_END) return Fail("zlib did not finish " + name);
          break;
        }
        got = source(in.get(), kBlock, readFailed);
        if (readFailed) return Fail("cannot read the data of " + name);
      }
    }
  }
  const std::uint64_t end = TellOf(file_);
  if (!SeekTo(file_, sizeOffset) || !WriteSize(static_cast<std::int32_t>(stored)) || !SeekTo(file_, end)) {
    return Fail("cannot patch the size of " + name);
  }
  return true;
}

bool TArchiveWriter::AddBytes(const std::string& name, std::string_view data) {
  std::size_t offset = 0;
  return AddStream(name, [&](unsigned char* out, std::size_t room, bool&) {
    const std::size_t step = std::min(room, data.size() - offset);
    std::memcpy(out, data.data() + offset, step);
    offset += step;
    return step;
  });
}

bool TArchiveWriter::AddFile(const std::string& name, const std::string& sourcePath) {
  std::unique_ptr<std::FILE, FileCloser> source(std::fopen(HostPath(sourcePath).c_str(), "rb"));
  if (!source) return Fail("cannot open " + sourcePath);
  return AddStream(name, [&](unsigned char* out, std::size_t room, bool& failed) {
    const std::size_t got = std::fread(out, 1, room, source.get());
    if (got < room && std::ferror(source.get())) failed = true;
    return got;
  });
}

bool TArchiveWriter::AddStored(const std::string& name, std::string_view stored,
                               std::optional<std::int32_t> sizeField) {
  if (!sizeField && stored.size() > kMaxEntrySize) return Fail("entry larger than 2 GiB: " + name);
  return WriteName(name) && WriteSize(sizeField.value_or(static_cast<std::int32_t>(stored.size()))) &&
         WriteAll(stored.data(), stored.size());
}

bool TArchiveWriter::AddEndMarker(const std::string& blankName, std::int32_t sizeField) {
  return WriteName(blankName) && WriteSize(sizeField);
}

bool TArchiveWriter::AppendBytes(std::string_view bytes) { return WriteAll(bytes.data(), bytes.size()); }

bool TArchiveWriter::Close() {
  if (file_ == nullptr) return Fail("archive not open");
  const bool ok = std::fclose(file_) == 0;
  file_ = nullptr;
  return ok ? error_.empty() : Fail("cannot write " + path_);
}

bool ListArchive(const std::string& path, TArchiveFormat& format,
                 const std::function<void(const TEntryInfo&)>& onEntry, std::string& error) {
  format = TArchiveFormat{};
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(HostPath(path).c_str(), "rb"));
  if (!file) {
    error = "cannot open " + path;
    return false;
  }
  if (!SeekTo(file.get(), 0) || std::fseek(file.get(), 0, SEEK_END) != 0) {
    error = "cannot read " + path;
    return false;
  }
  const std::uint64_t fileSize = TellOf(file.get());
  SeekTo(file.get(), 0);
  auto fail = [&](const std::string& message) {
    error = message;
    return false;
  };

  unsigned char head[8] = {};
  const std::size_t headSize = std::fread(head, 1, sizeof head, file.get());
  std::uint64_t offset = 0;
  if (headSize >= 4 && std::memcmp(head, kMagic, 4) == 0) {
    const std::uint32_t headerLength = GetLittleEndian32(head + 4);
    unsigned char record[kHeaderRecordSize] = {};
    SeekTo(file.get(), 8);
    if (std::fread(record, 1, std::min(headerLength, kHeaderRecordSize), file.get()) == 0 &&
        std::ferror(file.get())) {
      return fail("cannot read " + path);
    }
    format.compressed = record[0] != 0;
    format.version = GetLittleEndian32(record + 1);
    offset = std::min<std::uint64_t>(fileSize, 8 + static_cast<std::uint64_t>(headerLength));
  }
  while (offset < fileSize) {
    SeekTo(file.get(), offset);
    unsigned char field[kFixedNameSize] = {};
    TEntryInfo entry;
    if (format.version < kLengthPrefixedVersion) {
      if (std::fread(field, 1, kFixedNameSize, file.get()) != kFixedNameSize) {
        return fail("cut inside the name at offset " + std::to_string(offset));
      }
      offset += kFixedNameSize;
    } else {
      if (std::fread(field, 1, 1, file.get()) != 1 ||
          std::fread(field + 1, 1, field[0], file.get()) != field[0]) {
        return fail("cut inside the name at offset " + std::to_string(offset));
      }
      offset += 1 + field[0];
    }
    entry.name.assign(reinterpret_cast<const char*>(field + 1), field[0]);
    unsigned char sizeField[4];
    if (std::fread(sizeField, 1, 4, file.get()) != 4) {
      return fail("cut inside the size of \"" + entry.name + "\"");
    }
    offset += 4;
    entry.size = static_cast<std::int32_t>(GetLittleEndian32(sizeField));
    entry.dataOffset = offset;
    const bool blank = std::all_of(entry.name.begin(), entry.name.end(),
                                   [](char c) { return static_cast<unsigned char>(c) <= ' '; });
    if (blank) return true;  // end marker
    if (entry.size < 0) return fail("negative size for \"" + entry.name + "\"");
    onEntry(entry);
    offset += static_cast<std::uint32_t>(entry.size);
    if (offset > fileSize) return fail("data of \"" + entry.name + "\" runs past the end");
  }
  return true;
}

}  // namespace ilds
