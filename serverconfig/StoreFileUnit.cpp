#include "serverconfig/StoreFileUnit.h"

#include <cstdio>

#include "base/FileStreams.h"
#include "base/FileSystemUnit.h"
#include "serverconfig/HostSeam.h"

namespace {

// Text files of the store are small; anything larger is not one of them.
constexpr std::uint64_t kTextFileLimit = 16u * 1024u * 1024u;

}  // namespace

TStoreFile OpenStoreFile(const std::string& path, const char* mode) {
  return TStoreFile(OpenFileStream(path, mode));
}

bool CloseStoreFile(TStoreFile& file) {
  std::FILE* raw = file.release();
  return raw != nullptr && std::fclose(raw) == 0;
}

TFileRead ReadFileRange(const std::string& path, std::uint64_t offset, std::uint64_t maxLength) {
  TFileRead result;
  const TPathFacts facts = PathFacts(path);
  if (!facts.exists) return result;
  result.State = TFileState::Unreadable;
  if (!facts.isRegularFile) return result;
  result.FileSize = facts.size;
  TStoreFile file = OpenStoreFile(path, "rb");
  if (!file) return result;
  const std::uint64_t available = result.FileSize > offset ? result.FileSize - offset : 0;
  const std::uint64_t wanted = available < maxLength ? available : maxLength;
  bool ok = true;
  if (wanted > 0) {
    ok = std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) == 0;
    if (ok) {
      result.Bytes.resize(static_cast<std::size_t>(wanted));
      const std::size_t got = std::fread(result.Bytes.data(), 1, result.Bytes.size(), file.get());
      ok = !std::ferror(file.get());
      result.Bytes.resize(got);
    }
  }
  if (ok) result.State = TFileState::Read;
  return result;
}

bool StorePathExists(const std::string& path) { return PathFacts(path).exists; }

std::int64_t FileModificationTime(const std::string& path) {
  return PathFacts(path).modified;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& bytes) {
  return ReplaceFilesAtomically({{path, bytes}});
}

bool ReplaceFilesAtomically(const std::vector<TFileBytes>& files) {
  const auto fresh = [](const TFileBytes& file) { return file.Path + ".new"; };
  bool ok = true;
  for (auto it = files.begin(); ok && it != files.end(); ++it) {
    TStoreFile file = OpenStoreFile(fresh(*it), "wb");
    if (!file) {
      ok = false;
      break;
    }
    ok = it->Bytes.empty() ||
         std::fwrite(it->Bytes.data(), 1, it->Bytes.size(), file.get()) == it->Bytes.size();
    ok = CloseStoreFile(file) && ok;
  }
  for (auto it = files.begin(); ok && it != files.end(); ++it) {
    ok = HostSeam().ReplaceFileKeepingAttributes(fresh(*it), it->Path);
  }
  if (!ok) {
    for (const TFileBytes& file : files) DeleteFileAt(fresh(file));
  }
  return ok;
}

std::vector<std::string> SplitTextLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;  // of the line being read
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') continue;
    lines.emplace_back(text, start, i - start);
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text, start, text.size() - start);
  return lines;
}

bool ReadTextLines(const std::string& path, std::vector<std::string>& lines) {
  lines.clear();
  const TFileRead read = ReadFileRange(path, 0, kTextFileLimit);
  if (read.State != TFileState::Read) return false;
  lines = SplitTextLines(read.Bytes);
  return true;
}
