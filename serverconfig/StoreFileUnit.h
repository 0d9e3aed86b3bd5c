// File access of the configuration store where the file helpers' "empty means anything went
// wrong" is not enough: a file that exists but cannot be read must not be taken for a missing
// one, and the global records are replaced in one step, never rewritten in place.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct TFileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
// An open file of the store, closed when it goes out of scope.
using TStoreFile = std::unique_ptr<std::FILE, TFileCloser>;

// fopen of a Windows-form path.
TStoreFile OpenStoreFile(const std::string& path, const char* mode);
// Closes now; false when what was written did not reach the file.
bool CloseStoreFile(TStoreFile& file);

enum class TFileState { Missing, Unreadable, Read };

struct TFileRead {
  TFileState State = TFileState::Missing;
  std::string Bytes;          // what was read
  std::uint64_t FileSize = 0;
};

// Reads at most maxLength bytes from offset (fewer when the file is shorter).
TFileRead ReadFileRange(const std::string& path, std::uint64_t offset, std::uint64_t maxLength);

// True when a file or folder of that name exists.
bool StorePathExists(const std::string& path);

// Modification time in seconds since 1970, 0 when unknown.
std::int64_t FileModificationTime(const std::string& path);

// Writes bytes beside path and moves them over it in one step, keeping the old file's
// attributes. False leaves the old file as it was.
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes);

struct TFileBytes {
  std::string Path;
  std::string Bytes;
};
// The same for files that belong together: every new copy is written in full before the first
// one is moved over its file, so a write that fails (a full disk) replaces none of them. Only
// a move that fails after others went through can leave the set mixed.
bool ReplaceFilesAtomically(const std::vector<TFileBytes>& files);

// Text lines of a file (CR LF, LF or CR), or nothing when it does not open.
bool ReadTextLines(const std::string& path, std::vector<std::string>& lines);
std::vector<std::string> SplitTextLines(const std::string& text);
