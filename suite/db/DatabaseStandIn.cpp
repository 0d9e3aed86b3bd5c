// Stand-in for the suite's account-database library (db.dll): the DB... entry points the
// configuration store calls, keeping domains and accounts in files of its own:
//   <folder>domains.tbl       96-byte domain entries, plain
//   <folder><domain>.dom      the 913-byte domain record, plain
//   <folder><domain>.acc      2848-byte account records, plain
// The folder is the connection text, or "dbdata\" beside the library when that is empty.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "serverconfig/DatabaseApi.h"

namespace {

constexpr std::size_t kEntrySize = 96;
constexpr std::size_t kNameMax = 91;
constexpr std::size_t kAddressOffset = 92;
constexpr std::size_t kDomainRecordSize = 913;
constexpr std::size_t kAccountSize = 2848;
constexpr std::size_t kAliasesOffset = 260;

std::string g_folder;
HMODULE g_self = nullptr;

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return text;
}

std::string Trim(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

std::string ReadFileBytes(const std::string& path) {
  std::string bytes;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    std::fclose(file);
  }
  return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

std::string EntryName(const std::string& table, std::size_t index) {
  const std::size_t at = index * kEntrySize;
  std::size_t length = static_cast<unsigned char>(table[at]);
  if (length > kNameMax) length = kNameMax;
  return table.substr(at + 1, length);
}

std::string TablePath() { return g_folder + "domains.tbl"; }
std::string DomainFile(const char* name, const char* extension) {
  return g_folder + Lower(Trim(name ? name : "")) + extension;
}

int FindEntry(const std::string& table, const char* name) {
  const std::string wanted = Lower(Trim(name ? name : ""));
  for (std::size_t i = 0; i < table.size() / kEntrySize; ++i) {
    if (Lower(EntryName(table, i)) == wanted) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> Items(const std::string& list) {
  std::vector<std::string> items;
  std::string item;
  for (char c : Lower(list) + ";") {
    if (c == ';') {
      item = Trim(item);
      if (!item.empty()) items.push_back(item);
      item.clear();
    } else {
      item += c;
    }
  }
  return items;
}

std::string Aliases(const std::string& record) {
  const std::size_t length = static_cast<unsigned char>(record[kAliasesOffset]);
  return record.substr(kAliasesOffset + 1, length);
}

struct TUserCursor {
  std::string Records;
  std::size_t Next = 0;
};

}  // namespace

extern "C" {

__declspec(dllexport) int ZAREL_DBCALL DBSetConnection(const char* connection) {
  std::string folder = Trim(connection ? connection : "");
  if (folder.empty()) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(g_self, path, MAX_PATH);
    folder = path;
    folder = folder.substr(0, folder.find_last_of('\\') + 1) + "dbdata";
  }
  if (folder.back() != '\\') folder += '\\';
  CreateDirectoryA(folder.c_str(), nullptr);
  if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
  g_folder = folder;
  return 1;
}

__declspec(dllexport) int ZAREL_DBCALL DBReloadConfig(int connection) {
  return connection != 0 && !g_folder.empty() ? 1 : 0;
}

__declspec(dllexport) int ZAREL_DBCALL DBCloseConnection(void) {
  g_folder.clear();
  return 1;
}

__declspec(dllexport) int ZAREL_DBCALL DBGetDomainCount(void) {
  if (g_folder.empty()) return 0;
  return static_cast<int>(ReadFileBytes(TablePath()).size() / kEntrySize);
}

__declspec(dllexport) int ZAREL_DBCALL DBGetDomains(void* table, int count) {
  if (g_folder.empty() || table == nullptr || count <= 0) return 0;
  const std::string stored = ReadFileBytes(TablePath());
  std::size_t entries = stored.size() / kEntrySize;
  if (entries > static_cast<std::size_t>(count)) entries = static_cast<std::size_t>(count);
  std::memcpy(table, stored.data(), entries * kEntrySize);
  return static_cast<int>(entries);
}

__declspec(dllexport) int ZAREL_DBCALL DBAddDomain(const char* name) {
  const std::string domain = Lower(Trim(name ? name : ""));
  if (g_folder.empty() || domain.empty() || domain.size() > kNameMax) return 0;
  std::string table = ReadFileBytes(TablePath());
  if (FindEntry(table, name) >= 0) return 1;
  std::string entry(kEntrySize, '\0');
  entry[0] = static_cast<char>(domain.size());
  entry.replace(1, domain.size(), domain);
  return WriteFileBytes(TablePath(), table.substr(0, table.size() / kEntrySize * kEntrySize) + entry);
}

__declspec(dllexport) int ZAREL_DBCALL DBSetDomain(const char* name, const void* domainConfig) {
  if (g_folder.empty() || domainConfig == nullptr) return 0;
  if (FindEntry(ReadFileBytes(TablePath()), name) < 0) return 0;
  return WriteFileBytes(DomainFile(name, ".dom"),
                        std::string(static_cast<const char*>(domainConfig), kDomainRecordSize));
}

__declspec(dllexport) int ZAREL_DBCALL DBMakeDomainPrimary(const char* name) {
  if (g_folder.empty()) return 0;
  std::string table = ReadFileBytes(TablePath());
  const int index = FindEntry(table, name);
  if (index < 0) return 0;
  if (index == 0) return 1;
  const std::string first = table.substr(0, kEntrySize);
  table.replace(0, kEntrySize, table.substr(index * kEntrySize, kEntrySize));
  table.replace(index * kEntrySize, kEntrySize, first);
  return WriteFileBytes(TablePath(), table);
}

__declspec(dllexport) int ZAREL_DBCALL DBSetDomainIP(const char* name, const char* address) {
  if (g_folder.empty()) return 0;
  std::string table = ReadFileBytes(TablePath());
  const int index = FindEntry(table, name);
  unsigned parts[4] = {0, 0, 0, 0};
  char tail = 0;
  if (index < 0 || address == nullptr ||
      std::sscanf(address, "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3], &tail) != 4) {
    return 0;
  }
  for (int i = 0; i < 4; ++i) {
    if (parts[i] > 255) return 0;
    table[index * kEntrySize + kAddressOffset + i] = static_cast<char>(parts[i]);
  }
  return WriteFileBytes(TablePath(), table);
}

__declspec(dllexport) int ZAREL_DBCALL DBSaveUsers(const char* domain, const void* account, int position) {
  if (g_folder.empty() || account == nullptr) return 0;
  if (FindEntry(ReadFileBytes(TablePath()), domain) < 0) return 0;
  const std::string path = DomainFile(domain, ".acc");
  std::string records = ReadFileBytes(path);
  const int count = static_cast<int>(records.size() / kAccountSize);
  records.resize(static_cast<std::size_t>(count) * kAccountSize);
  const std::string record(static_cast<const char*>(account), kAccountSize);
  if (position == -1 || position == count) {
    records += record;
  } else if (position >= 0 && position < count) {
    records.replace(static_cast<std::size_t>(position) * kAccountSize, kAccountSize, record);
  } else {
    return 0;
  }
  return WriteFileBytes(path, records);
}

__declspec(dllexport) int ZAREL_DBCALL DBGetUsersIndex(const char* domain, const char* aliases) {
  if (g_folder.empty() || aliases == nullptr) return -1;
  const std::vector<std::string> wanted = Items(aliases);
  const std::string records = ReadFileBytes(DomainFile(domain, ".acc"));
  for (std::size_t i = 0; i < records.size() / kAccountSize; ++i) {
    for (const std::string& item : Items(Aliases(records.substr(i * kAccountSize, kAccountSize)))) {
      for (const std::string& want : wanted) {
        if (item == want) return static_cast<int>(i);
      }
    }
  }
  return -1;
}

__declspec(dllexport) int ZAREL_DBCALL DBInitUsers(const char* domain, void** cursor, int index, int skip) {
  if (g_folder.empty() || cursor == nullptr) return 0;
  if (FindEntry(ReadFileBytes(TablePath()), domain) < 0) return 0;
  auto* users = new TUserCursor;
  users->Records = ReadFileBytes(DomainFile(domain, ".acc"));
  const int first = index + 1 + (skip > 0 ? skip : 0);
  users->Next = first > 0 ? static_cast<std::size_t>(first) : 0;
  *cursor = users;
  return 1;
}

__declspec(dllexport) int ZAREL_DBCALL DBNextUser(void* cursor, void* account) {
  auto* users = static_cast<TUserCursor*>(cursor);
  if (users == nullptr || account == nullptr) return 0;
  if ((users->Next + 1) * kAccountSize > users->Records.size()) return 0;
  std::memcpy(account, users->Records.data() + users->Next * kAccountSize, kAccountSize);
  ++users->Next;
  return 1;
}

__declspec(dllexport) void ZAREL_DBCALL DBDoneUsers(void* cursor) {
  delete static_cast<TUserCursor*>(cursor);
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_self = instance;
  return TRUE;
}
