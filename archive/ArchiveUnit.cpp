// Reader of the ILDS data archives (layout in ArchiveUnit.h).
//
// What ExtractArchive leaves on disk, entry by entry:
//   - entries before a failure stay as written;
//   - a raw entry cut short by the end of the file keeps the bytes that were there;
//   - a compressed entry that does not inflate is left as an empty file and the next entry
//     follows (a partly written stream is truncated back to empty); so is a compressed entry
//     whose stored size runs past the end of the file;
//   - a target that cannot be created or written ends the extraction at that entry;
//   - an unsafe entry name, a negative size or a cut name or size field ends it too.
// The result is true only when every entry up to the end (or the end marker) was written or
// deliberately kept; any of the cases above gives false, so a cut or damaged Setup.Dat is
// reported instead of installing missing or empty files.
//
// Entry names: '/' counts as a separator like '\' (both hosts' file systems take it as one).
// A name that would leave the destination or name anything but a plain file below it (a ".."
// or empty component, a rooted, drive, UNC or stream name, a device name, a component that
// Windows would rewrite because it ends in a dot or space, a control or wildcard character)
// is damage: nothing more is extracted.
//
// Compressed entries: bytes after the end of the zlib stream but inside the entry are read
// past (the stream was complete and its checksum matched); a stream that asks for a preset
// dictionary, stops making progress or ends before its end marker does not inflate.
//
// Speed and memory: each entry streams from the archive through fixed buffers into its file,
// so memory does not grow with entry sizes. The calling thread reads and inflates while a
// writer thread creates the folders and files and writes the data, strictly in archive order,
// so the files on disk are those of a sequential run. Small archives start no thread at all.
// (A second inflating thread for small entries was tried: no faster natively on a busy
// 2-core machine, slower under Wine, where each thread also costs about 1 MiB.)
#if !defined(_WIN32) && !defined(_FILE_OFFSET_BITS)
#define _FILE_OFFSET_BITS 64
#endif

#include "archive/ArchiveUnit.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>

#include "base/FileStreams.h"
#endif

#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"

namespace {

// Memory: about 2 MiB of buffers whatever the entry sizes. Large blocks matter under Wine,
// where every wake-up of the other thread is a round trip to the server. The fuzz build
// (ZAREL_SMALL_BLOCKS) takes small ones, so that inputs of a few kilobytes cross every block
// boundary and hand work to the writer thread, and a run does not map fresh megabytes.
// The writer thread starts only for an archive bigger than a few blocks or of many files; in
// the fuzz build that is an archive several times the usual input, so most inputs stay on
// the calling thread (a thread start costs as much as the rest of a run) and the bigger ones
// still cross to the writer.
#ifdef ZAREL_SMALL_BLOCKS
constexpr std::size_t kInputBlock = 4 * 1024;
constexpr std::size_t kOutputBlock = 12 * 1024;
constexpr std::uint64_t kThreadAfterBytes = kInputBlock * 16;
constexpr std::size_t kThreadAfterFiles = 128;
#else
constexpr std::size_t kInputBlock = 256 * 1024;   // archive read-ahead and inflate input
constexpr std::size_t kOutputBlock = 256 * 1024;  // inflated data handed to the writer
constexpr std::uint64_t kThreadAfterBytes = kInputBlock * 4;  // archives smaller than this stay on
constexpr std::size_t kThreadAfterFiles = 32;                 // the calling thread
#endif
constexpr std::size_t kOutputBlocks = 8;          // blocks in flight between inflate and disk
constexpr std::size_t kMinOutputRoom = 8 * 1024;  // a block with less room left is handed over
constexpr std::size_t kMaxPendingJobs = 256;      // bounds the queue of many tiny entries
constexpr std::size_t kWakeBatch = 128;           // jobs that wake the writer without a full block
// CheckArchive keeps the inflated bytes of the entries asked for up to this size each.
constexpr std::uint64_t kMaxKeptContents = 16u << 20;

// The system's code for the failure of the call just made.
std::uint32_t LastSystemError() {
#ifdef _WIN32
  return GetLastError();
#else
  return static_cast<std::uint32_t>(errno);
#endif
}

// Folder part of a path, up to and including its last separator (empty when there is none).
std::string FolderPart(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Windows opens these names as devices in any folder and with any extension.
bool IsDeviceName(const std::string& component) {
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  base = LowerCase(base);
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"};
  for (const char* device : kDevices) {
    if (base == device) return true;
  }
  if (base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0)) {
    const unsigned char digit = static_cast<unsigned char>(base[3]);
    // '1'..'9' and the superscript digits 1, 2, 3 of the ANSI code page.
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  }
  return false;
}

// An entry name must stay below the destination folder and name a plain file there. '/' has
// already become '\': both hosts take it as a separator, so it is checked like one.
bool IsSafeEntryName(const std::string& name) {
  if (name.empty() || name.front() == '\\') return false;  // rooted, or a UNC prefix
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(name.find('\\', start), name.size());
    const std::string component = name.substr(start, end - start);
    if (component.empty()) return false;  // "a\\b" or a trailing '\'
    // Windows drops a trailing dot or space, so "..", "." and "x." would not name what they say.
    if (component.back() == '.' || component.back() == ' ') return false;
    for (unsigned char c : component) {
      if (c < ' ' || std::strchr("<>:\"|?*", c) != nullptr) return false;  // ':' covers drives
    }
    if (IsDeviceName(component)) return false;
    if (end == name.size()) return true;
    start = end + 1;
  }
}

// One file handle of the host system. Win32 handles rather than the C runtime's streams: under
// Wine the runtime's open costs about three times the plain CreateFile.
class TFile {
 public:
  TFile() = default;
  TFile(TFile&& other) noexcept : handle_(std::exchange(other.handle_, kNone)) {}
  TFile& operator=(TFile&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, kNone);
    }
    return *this;
  }
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;
  ~TFile() { Close(); }

  bool IsOpen() const { return handle_ != kNone; }

#ifdef _WIN32
  static TFile OpenForReading(const std::string& path) {
    return TFile(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  }
  // Creates the file, or truncates it when it exists.
  static TFile Create(const std::string& path) {
    return TFile(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  // Bytes read, 0 at the end of the file, -1 on an error.
  long Read(void* target, std::size_t size) {
    DWORD got = 0;
    if (!ReadFile(handle_, target, static_cast<DWORD>(size), &got, nullptr)) return -1;
    return static_cast<long>(got);
  }
  bool WriteAll(const unsigned char* data, std::size_t size) {
    while (size > 0) {
      DWORD written = 0;
      if (!WriteFile(handle_, data, static_cast<DWORD>(size), &written, nullptr) || written == 0) return false;
      data += written;
      size -= written;
    }
    return true;
  }
  bool Truncate() {
    return SetFilePointer(handle_, 0, nullptr, FILE_BEGIN) == 0 && SetEndOfFile(handle_);
  }
  bool Close() {
    if (handle_ == kNone) return true;
    return CloseHandle(std::exchange(handle_, kNone)) != 0;
  }

 private:
  using THandle = HANDLE;
  static inline const THandle kNone = INVALID_HANDLE_VALUE;
#else
  // POSIX hosts (tools and tests, never the product) go through the file-stream seam, which
  // the fuzz build backs with memory.
  static TFile OpenForReading(const std::string& path) { return TFile(OpenFileStream(path, "rb")); }
  static TFile Create(const std::string& path) { return TFile(OpenFileStream(path, "wb")); }
  long Read(void* target, std::size_t size) {
    const std::size_t got = std::fread(target, 1, size, handle_);
    return got == 0 && std::ferror(handle_) ? -1 : static_cast<long>(got);
  }
  bool WriteAll(const unsigned char* data, std::size_t size) {
    return std::fwrite(data, 1, size, handle_) == size;
  }
  bool Truncate() { return TruncateFileStream(handle_); }
  bool Close() {
    if (handle_ == kNone) return true;
    return std::fclose(std::exchange(handle_, kNone)) == 0;
  }

 private:
  using THandle = std::FILE*;
  static constexpr THandle kNone = nullptr;
#endif
  explicit TFile(THandle handle) : handle_(handle) {}
  THandle handle_ = kNone;
};

// Sequential buffered reader over the archive file. Distinguishes the end of the file from a
// read error; either ends the extraction.
class TArchiveReader {
 public:
  explicit TArchiveReader(TFile file) : file_(std::move(file)), buffer_(new unsigned char[kInputBlock]) {}
  // Over bytes in memory, which must outlive the reader.
  explicit TArchiveReader(const std::string& bytes) : memory_(&bytes), buffer_(new unsigned char[kInputBlock]) {}

  bool Failed() const { return failed_; }
  std::uint32_t Error() const { return error_; }

  // True when no byte is left (or the file cannot be read any more).
  bool AtEnd() { return !Fill(); }

  // Copies up to size bytes; fewer only at the end of the file or on a read error.
  std::size_t Read(void* target, std::size_t size) {
    auto* out = static_cast<unsigned char*>(target);
    std::size_t done = 0;
    while (done < size) {
      if (begin_ == end_ && size - done >= kInputBlock) {
        // Large request on an empty buffer: straight into the caller's memory.
        bufferOffset_ += end_;
        begin_ = end_ = 0;
        const std::size_t got = ReadFromFile(out + done, size - done);
        bufferOffset_ += got;
        if (got == 0) break;
        done += got;
        continue;
      }
      if (!Fill()) break;
      const std::size_t step = std::min(size - done, end_ - begin_);
      std::memcpy(out + done, buffer_.get() + begin_, step);
      begin_ += step;
      done += step;
    }
    return done;
  }

  // Hands out up to size bytes from the buffer without copying; empty at the end of the file.
  std::pair<const unsigned char*, std::size_t> Take(std::size_t size) {
    if (!Fill()) return {nullptr, 0};
    const std::size_t step = std::min(size, end_ - begin_);
    const unsigned char* data = buffer_.get() + begin_;
    begin_ += step;
    return {data, step};
  }

  // Back to offset 0 after the first bytes were looked at (a headerless archive).
  bool Rewind() {
    if (bufferOffset_ != 0 || failed_) return false;
    begin_ = 0;
    return true;
  }

  // Reads past size bytes; false when the file ends first.
  bool Skip(std::uint64_t size) {
    while (size > 0) {
      const auto chunk = Take(static_cast<std::size_t>(std::min<std::uint64_t>(size, kInputBlock)));
      if (chunk.second == 0) return false;
      size -= chunk.second;
    }
    return true;
  }

 private:
  bool Fill() {
    if (begin_ < end_) return true;
    bufferOffset_ += end_;
    begin_ = end_ = 0;
    end_ = ReadFromFile(buffer_.get(), kInputBlock);
    return end_ > 0;
  }

  // Fills as much of the request as the file holds.
  std::size_t ReadFromFile(unsigned char* target, std::size_t size) {
    if (memory_ != nullptr) return ReadFromMemory(target, size);
    std::size_t done = 0;
    while (done < size && !failed_ && !ended_) {
      const long got = file_.Read(target + done, std::min<std::size_t>(size - done, 1u << 30));
      if (got < 0) {
        failed_ = true;
        error_ = LastSystemError();
      } else if (got == 0) {
        ended_ = true;
      } else {
        done += static_cast<std::size_t>(got);
      }
    }
    return done;
  }

  std::size_t ReadFromMemory(unsigned char* target, std::size_t size) {
    const std::size_t step = std::min(size, memory_->size() - memoryOffset_);
    std::memcpy(target, memory_->data() + memoryOffset_, step);
    memoryOffset_ += step;
    ended_ = memoryOffset_ == memory_->size();
    return step;
  }

  TFile file_;
  const std::string* memory_ = nullptr;
  std::size_t memoryOffset_ = 0;
  std::unique_ptr<unsigned char[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::uint64_t bufferOffset_ = 0;  // file offset of buffer_[0]
  bool failed_ = false;
  std::uint32_t error_ = 0;
  bool ended_ = false;
};

// The read-through's side of the writer: counts each entry's inflated bytes and keeps the
// contents of the entries asked for; nothing reaches the disk.
class TArchiveTally {
 public:
  TArchiveTally(TArchiveReport& report, const std::set<std::string>& keepContentsOf)
      : report_(report), keep_(keepContentsOf) {}

  void Begin(const std::string& name) {
    report_.Entries.push_back(TArchiveEntrySize{name, 0});
    const std::string key = LowerCase(name);
    kept_ = keep_.count(key) != 0 ? &report_.Contents[key] : nullptr;
    if (kept_ != nullptr) kept_->clear();
  }
  void Add(const unsigned char* data, std::size_t size) {
    report_.Entries.back().Size += size;
    if (kept_ == nullptr) return;
    if (kept_->size() + size > kMaxKeptContents) {
      report_.Contents.erase(LowerCase(report_.Entries.back().Name));
      kept_ = nullptr;
      return;
    }
    kept_->append(reinterpret_cast<const char*>(data), size);
  }
  void Discard() {
    report_.Entries.back().Size = 0;
    if (kept_ != nullptr) kept_->clear();
  }

 private:
  TArchiveReport& report_;
  const std::set<std::string>& keep_;
  std::string* kept_ = nullptr;
};

// The disk side of the extraction: creates folders and files and writes the data, strictly in
// the order of the archive, on a thread of its own once the archive proves big enough (before
// that, and when no thread can be started, each job is done at once). Once a target cannot be
// created or written every later job is dropped: the extraction ends at that entry, as a
// sequential run would.
//
// The inflating side fills output blocks entry after entry (many small entries share a block)
// and hands over regions of them; a block returns to the free list when the writer reaches the
// job that closes it. The writer is woken per full block or batch of jobs, not per job.
class TFileWriter {
 public:
  TFileWriter() = default;
  // Reading through: every job goes to the tally at once, no thread, no disk.
  explicit TFileWriter(TArchiveTally* tally) : threadTried_(tally != nullptr), tally_(tally) {}
  ~TFileWriter() { Finish(); }
  TFileWriter(const TFileWriter&) = delete;
  TFileWriter& operator=(const TFileWriter&) = delete;

  bool Failed() const { return failed_.load(std::memory_order_acquire); }
  // After Finish: the file that could not be created or written, and the system's code.
  const std::string& FailedTarget() const { return failedTarget_; }
  std::uint32_t FailedError() const { return failedError_; }

  // Starts an entry: creates folder (with parents) and creates or truncates path.
  void Begin(std::string path, std::string folder) {
    Submit(TJob{TJob::kBegin, std::move(path), std::move(folder), nullptr, 0, 0});
  }

  // Room for the current entry's data: at least kMinOutputRoom bytes; Commit says how much
  // of it was filled.
  unsigned char* Space(std::size_t& room) {
    if (block_ == nullptr || kOutputBlock - used_ < kMinOutputRoom) {
      CloseBlock();
      block_ = Acquire();
      used_ = regionStart_ = 0;
    }
    room = kOutputBlock - used_;
    return block_ + used_;
  }
  void Commit(std::size_t size) { used_ += size; }

  // Ends the current entry's file.
  void End() {
    SubmitRegion();
    Submit(TJob{TJob::kEnd, {}, {}, nullptr, 0, 0});
  }
  // Empties the current entry's file: its stream did not inflate.
  void Discard() {
    used_ = regionStart_;  // what was not handed over need not be written at all
    Submit(TJob{TJob::kDiscard, {}, {}, nullptr, 0, 0});
  }

  // Waits until every job so far has been done.
  void Drain() {
    if (!thread_.joinable()) return;
    std::unique_lock lock(mutex_);
    writerWake_.notify_one();
    producerWake_.wait(lock, [this] { return jobs_.empty() && !busy_; });
  }

  // Does what is left, stops the thread and closes any open file; true when no job failed.
  bool Finish() {
    CloseBlock();
    if (thread_.joinable()) {
      {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        writerWake_.notify_one();
      }
      thread_.join();
    }
    if (!current_.Close()) Fail();
    return !Failed();
  }

 private:
  struct TJob {
    enum Kind { kBegin, kWrite, kEnd, kDiscard, kRelease } kind;
    std::string path;
    std::string folder;
    unsigned char* block;
    std::size_t offset;
    std::size_t size;
  };

  void SubmitRegion() {
    if (block_ != nullptr && used_ > regionStart_) {
      Submit(TJob{TJob::kWrite, {}, {}, block_, regionStart_, used_ - regionStart_});
      regionStart_ = used_;
    }
  }

  // Hands over the partly filled block; the inflating side is done with it.
  void CloseBlock() {
    if (block_ == nullptr) return;
    SubmitRegion();
    Submit(TJob{TJob::kRelease, {}, {}, std::exchange(block_, nullptr), 0, 0});
  }

  unsigned char* Acquire() {
    std::unique_lock lock(mutex_);
    if (free_.empty() && blocks_.size() < kOutputBlocks) {
      blocks_.emplace_back(new unsigned char[kOutputBlock]);
      return blocks_.back().get();
    }
    if (free_.empty()) {
      writerWake_.notify_one();
      producerWake_.wait(lock, [this] { return !free_.empty(); });
    }
    unsigned char* block = free_.back();
    free_.pop_back();
    return block;
  }

  void Submit(TJob job) {
    if (!thread_.joinable()) {
      Perform(job);
      if (!threadTried_ && (inlineBytes_ > kThreadAfterBytes || inlineFiles_ > kThreadAfterFiles)) {
        threadTried_ = true;
        try {
          thread_ = std::thread([this] { Run(); });
        } catch (const std::exception&) {
          // No thread: every job keeps being done at once.
        }
      }
      return;
    }
    std::unique_lock lock(mutex_);
    if (jobs_.size() >= kMaxPendingJobs) {
      writerWake_.notify_one();
      producerWake_.wait(lock, [this] { return jobs_.size() < kMaxPendingJobs; });
    }
    const bool urgent = job.kind == TJob::kRelease;
    jobs_.push_back(std::move(job));
    if (writerIdle_ && (urgent || jobs_.size() >= kWakeBatch)) writerWake_.notify_one();
  }

  void Run() {
    std::deque<TJob> batch;
    std::unique_lock lock(mutex_);
    for (;;) {
      writerIdle_ = true;
      busy_ = false;
      producerWake_.notify_all();  // a drain may be waiting
      writerWake_.wait(lock, [this] { return !jobs_.empty() || stopping_; });
      writerIdle_ = false;
      if (jobs_.empty()) return;  // stopping, and everything is done
      batch.swap(jobs_);
      busy_ = true;
      producerWake_.notify_all();  // room in the queue again
      lock.unlock();
      for (TJob& job : batch) PerformGuarded(job);
      batch.clear();
      lock.lock();
    }
  }

  // Out of memory on this thread fails the extraction; the blocks still return, so nobody
  // waits forever.
  void PerformGuarded(TJob& job) {
    try {
      Perform(job);
    } catch (const std::exception&) {
      Fail();
      if (job.kind == TJob::kRelease) Perform(job);
    }
  }

  void Perform(TJob& job) {
    if (tally_ != nullptr && job.kind != TJob::kRelease) return Tally(job);
    switch (job.kind) {
      case TJob::kBegin:
        if (!Failed()) Open(job);
        break;
      case TJob::kWrite:
        inlineBytes_ += job.size;
        if (!Failed() && current_.IsOpen() && !current_.WriteAll(job.block + job.offset, job.size)) FailAt(currentPath_);
        break;
      case TJob::kEnd:
        if (!Failed() && !current_.Close()) FailAt(currentPath_);
        break;
      case TJob::kDiscard:
        if (!Failed() && current_.IsOpen() && !current_.Truncate()) FailAt(currentPath_);
        break;
      case TJob::kRelease: {
        std::lock_guard lock(mutex_);
        free_.push_back(job.block);
        producerWake_.notify_all();
        break;
      }
    }
  }

  void Open(const TJob& job) {
    ++inlineFiles_;
    // Sorted archives name the same folder many times in a row; create each one once.
    if (!job.folder.empty() && knownFolders_.count(job.folder) == 0) {
      if (ForceDirectories(job.folder)) knownFolders_.insert(job.folder);
    }
    currentPath_ = job.path;
    current_ = TFile::Create(job.path);
    if (!current_.IsOpen()) FailAt(job.path);
  }

  void Tally(const TJob& job) {
    switch (job.kind) {
      case TJob::kBegin: tally_->Begin(job.path); break;
      case TJob::kWrite: tally_->Add(job.block + job.offset, job.size); break;
      case TJob::kDiscard: tally_->Discard(); break;
      default: break;
    }
  }

  // The system's code is taken before anything else can change it.
  void FailAt(const std::string& target) {
    if (failedTarget_.empty()) {
      failedError_ = LastSystemError();
      failedTarget_ = target;
    }
    Fail();
  }

  void Fail() {
    current_.Close();
    failed_.store(true, std::memory_order_release);
  }

  // Inflating side.
  unsigned char* block_ = nullptr;
  std::size_t used_ = 0;
  std::size_t regionStart_ = 0;
  bool threadTried_ = false;

  // Shared.
  std::mutex mutex_;
  std::condition_variable writerWake_;
  std::condition_variable producerWake_;
  std::vector<std::unique_ptr<unsigned char[]>> blocks_;
  std::vector<unsigned char*> free_;
  std::deque<TJob> jobs_;
  bool writerIdle_ = false;
  bool busy_ = false;
  bool stopping_ = false;
  std::atomic<bool> failed_{false};
  std::thread thread_;

  TArchiveTally* tally_ = nullptr;

  // Disk side (the calling thread until the writer thread starts, then only that thread).
  TFile current_;
  std::string currentPath_;
  std::string failedTarget_;
  std::uint32_t failedError_ = 0;
  std::set<std::string> knownFolders_;
  std::uint64_t inlineBytes_ = 0;
  std::size_t inlineFiles_ = 0;
};

// Inflates one zlib stream, fed chunk by chunk, into the writer.
// Z_NEED_DICT counts as failure: there is no dictionary to give, and asking again would loop.
class TInflater {
 public:
  TInflater() {
    std::memset(&stream_, 0, sizeof stream_);
    ready_ = inflateInit(&stream_) == Z_OK;
  }
  ~TInflater() {
    if (ready_) inflateEnd(&stream_);
  }
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  // Feeds the stream chunk by chunk from next (which returns an empty chunk when there is no
  // more input); true when the stream reached its end.
  template <typename TNext>
  bool Run(TFileWriter& writer, TNext next) {
    if (!ready_ || inflateReset(&stream_) != Z_OK) return false;
    stream_.next_in = nullptr;
    stream_.avail_in = 0;
    bool inputLeft = true;
    for (;;) {
      if (stream_.avail_in == 0 && inputLeft) {
        const std::pair<const unsigned char*, std::size_t> chunk = next();
        inputLeft = chunk.second > 0;
        stream_.next_in = const_cast<Bytef*>(chunk.first);
        stream_.avail_in = static_cast<uInt>(chunk.second);
      }
      std::size_t room = 0;
      stream_.next_out = writer.Space(room);
      stream_.avail_out = static_cast<uInt>(room);
      const uInt inBefore = stream_.avail_in;
      const int rc = inflate(&stream_, Z_NO_FLUSH);
      const std::size_t produced = room - stream_.avail_out;
      writer.Commit(produced);
      if (rc == Z_STREAM_END) return true;
      if (rc != Z_OK && rc != Z_BUF_ERROR) return false;
      // No progress with room to write: the input ended before the stream did.
      if (produced == 0 && stream_.avail_in == inBefore) return false;
      if (writer.Failed()) return false;
    }
  }

 private:
  z_stream stream_;
  bool ready_ = false;
};

std::uint32_t LittleEndian32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

enum class EntryResult {
  kDone,  // entry handled as intended
  kLost,  // entry's data lost (did not inflate); extraction goes on
  kStop,  // extraction ends here (cut archive, read or write error)
};

class TExtraction {
 public:
  TExtraction(TArchiveReader& reader, TFileWriter& writer) : reader_(reader), writer_(writer) {}

  // Raw data: copied until size bytes or the end of the file.
  EntryResult CopyRaw(std::uint32_t size, bool write) {
    if (!write) return reader_.Skip(size) ? EntryResult::kDone : EntryResult::kStop;
    std::uint32_t missing = size;
    while (missing > 0) {
      if (writer_.Failed()) return EntryResult::kStop;
      std::size_t room = 0;
      unsigned char* space = writer_.Space(room);
      const std::size_t want = std::min<std::size_t>(missing, room);
      const std::size_t got = reader_.Read(space, want);
      writer_.Commit(got);
      missing -= static_cast<std::uint32_t>(got);
      if (got < want) {
        writer_.End();  // the target keeps the bytes that were there
        return EntryResult::kStop;
      }
    }
    writer_.End();
    return EntryResult::kDone;
  }

  // One zlib stream of size bytes, inflated block by block into the writer.
  EntryResult Inflate(std::uint32_t size, bool write) {
    if (!write) return reader_.Skip(size) ? EntryResult::kDone : EntryResult::kStop;
    if (size == 0) {
      // Empty files are stored without a stream.
      writer_.End();
      return EntryResult::kDone;
    }
    std::uint32_t missing = size;  // stream bytes not yet taken from the archive
    bool cut = false;
    const bool inflated = inflater_.Run(writer_, [&] {
      const auto chunk = reader_.Take(std::min<std::size_t>(missing, kInputBlock));
      if (missing > 0 && chunk.second == 0) cut = true;
      missing -= static_cast<std::uint32_t>(chunk.second);
      return chunk;
    });
    // Bytes after the end of the stream but inside the entry are read past: the stream was
    // complete and its checksum matched.
    if (cut || !reader_.Skip(missing)) return Cut();
    if (!inflated) writer_.Discard();
    writer_.End();
    return inflated ? EntryResult::kDone : EntryResult::kLost;
  }

 private:
  // A compressed entry the file cannot hold is left empty: its whole stream would have had to
  // be read before anything was written.
  EntryResult Cut() {
    writer_.Discard();
    writer_.End();
    return EntryResult::kStop;
  }

  TArchiveReader& reader_;
  TFileWriter& writer_;
  TInflater inflater_;
};

// Records the first fault found; always false, for the returns below.
bool Stop(TArchiveReport& report, TArchiveFault fault, const std::string& entry) {
  if (report.Fault == TArchiveFault::None) {
    report.Fault = fault;
    report.Entry = entry;
  }
  return false;
}

// A read that came back short: the file ended, or could not be read any more.
bool StopShort(TArchiveReport& report, const TArchiveReader& reader, const std::string& entry) {
  if (reader.Failed()) report.SystemError = reader.Error();
  return Stop(report, reader.Failed() ? TArchiveFault::Unreadable : TArchiveFault::Cut, entry);
}

bool ExtractEntries(TArchiveReader& reader, TFileWriter& writer, const std::string& folder,
                    bool overwrite, const std::string& keepList, TArchiveReport& report) {
  // Header: a file too short for it reads the missing bytes as zeros.
  unsigned char head[8] = {};
  const std::size_t headSize = reader.Read(head, sizeof head);
  if (reader.Failed()) return StopShort(report, reader, "");
  bool compressed = false;
  std::uint32_t version = 0;
  if (headSize >= 4 && std::memcmp(head, ilds::kMagic, 4) == 0) {
    const std::uint32_t headerLength = LittleEndian32(head + 4);
    unsigned char record[ilds::kHeaderRecordSize] = {};
    reader.Read(record, std::min(headerLength, ilds::kHeaderRecordSize));
    // Bytes beyond the known record are skipped; a header that claims more bytes than the file
    // holds is damage, not an empty archive (a cut record alone still reads as zeros).
    if (headerLength > ilds::kHeaderRecordSize && !reader.Skip(headerLength - ilds::kHeaderRecordSize)) {
      return StopShort(report, reader, "");
    }
    if (reader.Failed()) return StopShort(report, reader, "");
    compressed = record[0] != 0;
    version = LittleEndian32(record + 1);
  } else if (!reader.Rewind()) {
    return StopShort(report, reader, "");
  }

  TExtraction extraction(reader, writer);
  const std::string keepLower = LowerCase(keepList);
  std::string name;
  std::string previous;  // the last entry read: a cut name or size field lies after it
  for (;;) {
    if (writer.Failed()) return Stop(report, TArchiveFault::TargetNotWritten, previous);
    if (reader.AtEnd()) return reader.Failed() ? StopShort(report, reader, previous) : report.Sound();

    unsigned char field[ilds::kFixedNameSize];
    std::size_t nameLength = 0;
    if (version < ilds::kLengthPrefixedVersion) {
      if (reader.Read(field, ilds::kFixedNameSize) != ilds::kFixedNameSize) return StopShort(report, reader, previous);
      nameLength = field[0];
      name.assign(reinterpret_cast<const char*>(field + 1), nameLength);
    } else {
      if (reader.Read(field, 1) != 1) return StopShort(report, reader, previous);
      nameLength = field[0];
      if (reader.Read(field + 1, nameLength) != nameLength) return StopShort(report, reader, previous);
      name.assign(reinterpret_cast<const char*>(field + 1), nameLength);
    }
    unsigned char sizeField[4];
    if (reader.Read(sizeField, 4) != 4) return StopShort(report, reader, TrimText(name));
    const auto size = static_cast<std::int32_t>(LittleEndian32(sizeField));

    name = TrimText(name);
    if (name.empty()) return report.Sound();  // end marker; its size is ignored
    if (size < 0) return Stop(report, TArchiveFault::Malformed, name);
    std::replace(name.begin(), name.end(), '/', '\\');
    if (!IsSafeEntryName(name)) return Stop(report, TArchiveFault::Malformed, name);
    previous = name;

    const std::string target = folder + name;
    const std::string shortTarget = ShortPath(target);
    bool write = overwrite;
    if (!write) {
      // The existence test must see every file the earlier entries created.
      writer.Drain();
      if (writer.Failed()) return Stop(report, TArchiveFault::TargetNotWritten, name);
      write = !FileExists(shortTarget) ||
              (!keepList.empty() && keepLower.find(";" + LowerCase(name) + ";") == std::string::npos);
    }
    if (write) writer.Begin(target, FolderPart(shortTarget));

    const EntryResult result = compressed ? extraction.Inflate(static_cast<std::uint32_t>(size), write)
                                          : extraction.CopyRaw(static_cast<std::uint32_t>(size), write);
    if (writer.Failed()) return Stop(report, TArchiveFault::TargetNotWritten, name);
    if (result == EntryResult::kStop) return StopShort(report, reader, name);
    // The damaged entry is left empty and the next one follows; the first one is reported.
    if (result == EntryResult::kLost) Stop(report, TArchiveFault::DataDamaged, name);
  }
}

// The outcome of one run over the archive: the writer's failure, found once it has finished,
// names the file.
bool RunOverArchive(TArchiveReader& reader, TFileWriter& writer, const std::string& folder, bool overwrite,
                    const std::string& keepList, TArchiveReport& report) {
  const bool complete = ExtractEntries(reader, writer, folder, overwrite, keepList, report);
  if (!writer.Finish()) {
    report.Fault = TArchiveFault::TargetNotWritten;
    report.Target = writer.FailedTarget();
    report.SystemError = writer.FailedError();
    if (report.Target.compare(0, folder.size(), folder) == 0) report.Entry = report.Target.substr(folder.size());
    return false;
  }
  return complete;
}

void OutOfMemory(TArchiveReport& report) {
  report.Fault = TArchiveFault::Unreadable;
#ifdef _WIN32
  report.SystemError = ERROR_NOT_ENOUGH_MEMORY;
#else
  report.SystemError = ENOMEM;
#endif
}

TArchiveReport CheckReader(TArchiveReader& reader, const std::set<std::string>& keepContentsOf) {
  TArchiveReport report;
  TArchiveTally tally(report, keepContentsOf);
  TFileWriter writer(&tally);
  RunOverArchive(reader, writer, "", true, "", report);
  return report;
}

}  // namespace

bool ExtractArchive(const std::string& archivePath, const std::string& destinationFolder,
                    bool overwrite, const std::string& keepList, TArchiveReport* report) {
  TArchiveReport local;
  TArchiveReport& outcome = report != nullptr ? *report : local;
  outcome = TArchiveReport();
  if (archivePath.empty() || destinationFolder.empty()) return Stop(outcome, TArchiveFault::Unreadable, "");
  const std::string folder = NormalizePath(destinationFolder, true, false);
  if (!DirectoryExists(folder)) ForceDirectories(folder);
  if (!DirectoryExists(folder)) {
    outcome.SystemError = LastSystemError();
    outcome.Target = folder;
    return Stop(outcome, TArchiveFault::TargetNotWritten, "");
  }
  try {
    TFile file = TFile::OpenForReading(archivePath);
    if (!file.IsOpen()) {
      outcome.SystemError = LastSystemError();
      return Stop(outcome, TArchiveFault::Unreadable, "");
    }
    TArchiveReader reader(std::move(file));
    TFileWriter writer;
    return RunOverArchive(reader, writer, folder, overwrite, keepList, outcome);
  } catch (const std::exception&) {
    OutOfMemory(outcome);  // never an exception out of this unit
    return false;
  }
}

TArchiveReport CheckArchive(const std::string& archivePath, const std::set<std::string>& keepContentsOf) {
  try {
    TFile file = TFile::OpenForReading(archivePath);
    if (!file.IsOpen()) {
      TArchiveReport report;
      report.SystemError = LastSystemError();
      Stop(report, TArchiveFault::Unreadable, "");
      return report;
    }
    TArchiveReader reader(std::move(file));
    return CheckReader(reader, keepContentsOf);
  } catch (const std::exception&) {
    TArchiveReport report;
    OutOfMemory(report);
    return report;
  }
}

TArchiveReport CheckArchiveBytes(const std::string& archive) {
  try {
    TArchiveReader reader(archive);
    return CheckReader(reader, {});
  } catch (const std::exception&) {
    TArchiveReport report;
    OutOfMemory(report);
    return report;
  }
}

bool DecompressBuffer(const void* input, std::size_t inputSize, std::vector<unsigned char>& output) {
  output.clear();
  if (input == nullptr && inputSize > 0) return false;
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  if (inflateInit(&stream) != Z_OK) return false;
  // zlib counts in 32-bit units; feed and fill at most 1 GiB per call.
  constexpr std::size_t kMaxStep = std::size_t{1} << 30;
  const auto* in = static_cast<const unsigned char*>(input);
  std::size_t inLeft = inputSize;
  bool ended = false;
  try {
    // Start at the input size rounded up to 256 and double: a highly compressible stream
    // costs a logarithmic number of copies, not a quadratic one.
    std::size_t capacity = std::max<std::size_t>(256, (inputSize + 255) / 256 * 256);
    output.resize(capacity);
    std::size_t produced = 0;
    for (;;) {
      if (stream.avail_in == 0 && inLeft > 0) {
        stream.next_in = const_cast<Bytef*>(in);
        stream.avail_in = static_cast<uInt>(std::min(inLeft, kMaxStep));
        in += stream.avail_in;
        inLeft -= stream.avail_in;
      }
      if (produced == output.size()) {
        if (output.size() > output.max_size() / 2) break;
        output.resize(output.size() * 2);
      }
      stream.next_out = output.data() + produced;
      stream.avail_out = static_cast<uInt>(std::min(output.size() - produced, kMaxStep));
      const uInt inBefore = stream.avail_in;
      const uInt outBefore = stream.avail_out;
      const int rc = inflate(&stream, Z_NO_FLUSH);
      produced += outBefore - stream.avail_out;
      if (rc == Z_STREAM_END) {
        ended = true;
        break;
      }
      // Z_NEED_DICT included: there is no dictionary to give, and asking again would loop.
      if (rc != Z_OK && rc != Z_BUF_ERROR) break;
      if (stream.avail_in == inBefore && stream.avail_out == outBefore && produced < output.size()) {
        break;  // no progress with room left: the input ended before the stream did
      }
    }
    output.resize(produced);
  } catch (const std::exception&) {
    ended = false;
  }
  if (inflateEnd(&stream) != Z_OK) ended = false;
  if (!ended) {
    output.clear();
    output.shrink_to_fit();
  }
  return ended;
}
