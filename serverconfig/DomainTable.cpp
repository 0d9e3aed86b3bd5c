#include "serverconfig/DomainTable.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"
#include "serverconfig/DatabaseLibrary.h"
#include "serverconfig/GroupsUnit.h"
#include "serverconfig/HostSeam.h"
#include "serverconfig/PunycodeUnit.h"
#include "serverconfig/StoreFolders.h"
#include "serverconfig/StoreFileUnit.h"
#include "serverconfig/StoreLocks.h"
#include "serverconfig/StoreState.h"

namespace {

// More domains than a 32-bit setup should take from a library in one table.
constexpr int kDatabaseDomainLimit = 100000;

bool ValidIndex(int index) { return index >= 0 && index < StoreDomainCount(); }

bool ParseDottedAddress(const std::string& text, std::uint8_t bytes[4]) {
  const std::vector<std::string> parts = SplitText(text, '.');
  if (parts.size() != 4) return false;
  for (int i = 0; i < 4; ++i) {
    const std::string& part = parts[i];
    if (part.empty() || part.size() > 3) return false;
    int value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    if (value > 255) return false;
    bytes[i] = static_cast<std::uint8_t>(value);
  }
  return true;
}

std::string EntryName(int index) {
  return ReadStrField(DomainEntryAt(index), domainentry::kName.Max);
}

int FindInTable(const std::string& name) {
  std::string wanted = name;
  if (StoreState().Settings.Get(settings::kIdnOption) != 0) wanted = LowerCase(DecodeIdnLabels(name));
  for (int i = 0; i < StoreDomainCount(); ++i) {
    if (EntryName(i) == wanted) return i;
  }
  return -1;
}

bool PrimaryHasBindings() {
  TStoreState& st = StoreState();
  if (!st.PrimaryBindingsKnown) {
    st.PrimaryHasBindings = !GetDomainBindings(0).empty();
    st.PrimaryBindingsKnown = true;
  }
  return st.PrimaryHasBindings;
}

int FindAddressLiteral(std::string name) {
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
    name = name.substr(1, name.size() - 2);
  }
  name = TrimText(name);
  if (name.empty()) return -1;
  if (StoreDomainCount() > 0 && !PrimaryHasBindings()) {
    const std::vector<std::string> own = HostSeam().AdapterAddresses();
    if (std::find(own.begin(), own.end(), name) != own.end()) return 0;
  }
  for (int i = 0; i < StoreDomainCount(); ++i) {
    if (AliasListsMatch(GetDomainBindings(i), name, nullptr)) return i;
  }
  return -1;
}

// One step of the search; visited stops subdomains.dat mappings that lead back.
int SearchDomain(const std::string& name, const std::vector<TSubdomainRule>& rules,
                 std::set<std::string>& visited) {
  if (name.empty() || !visited.insert(name).second) return -1;
  int index = FindInTable(name);
  if (index >= 0) return index;
  if (StoreState().Settings.Get(settings::kAddressLiteralOption) != 0 &&
      name.find('[') != std::string::npos) {
    index = FindAddressLiteral(name);
    if (index >= 0) return index;
  }
  const TSubdomainRule* rule = MatchSubdomainRule(rules, name);
  if (rule == nullptr || rule->Domain == name) return -1;
  return SearchDomain(rule->Domain, rules, visited);
}

// After the database was opened, its domains replace the table once.
void TakeDatabaseDomains() {
  MarkDatabaseDomainsTaken();
  TStoreLockGuard lock(kDomainTableLock);
  const int count = std::clamp(DbGetDomainCount(), 0, kDatabaseDomainLimit);
  ClearDomainTable();
  SetStoreDomainCount(0);
  AddDomain("", count);
  if (count > 0) DbGetDomains(DomainEntryAt(0), count);
  SetStoreDomainCount(count);
  for (int i = 0; i < count; ++i) {
    const std::string name = EntryName(i);
    WriteStrField(DomainEntryAt(i), domainentry::kName.Max, LowerCase(name));
  }
}

std::string BindFilePath(int index) { return DomainFolder(index) + kBindFileName; }

}  // namespace

int DomainCount() { return StoreDomainCount(); }

bool AddDomain(const std::string& name, int growBy) {
  TStoreLockGuard lock(kDomainTableLock);
  TStoreState& st = StoreState();
  const int count = StoreDomainCount();
  const int allocated = AllocatedDomainEntries();
  if (count == allocated || growBy != 1) {
    int grow = growBy;
    if (grow < 1) grow = (count == allocated && !name.empty()) ? 1 : 0;
    // The table is made exactly as large as the allocated count says.
    if (grow > 0) st.DomainTable.resize(static_cast<std::size_t>(count + grow) * kDomainEntrySize, 0);
  }
  if (!name.empty() && count < AllocatedDomainEntries()) {
    std::uint8_t* entry = DomainEntryAt(count);
    std::memset(entry, 0, kDomainEntrySize);
    WriteStrField(entry, domainentry::kName.Max, LowerCase(name));
    SetStoreDomainCount(count + 1);
  }
  return true;
}

bool FindDomain(const std::string& name, int* index) {
  if (DatabaseDomainsPending()) TakeDatabaseDomains();
  TStoreState& st = StoreState();
  const std::string lowered = LowerCase(name);
  int found = -1;
  if (!st.LastFoundName.empty() && lowered == st.LastFoundName && ValidIndex(st.LastFoundIndex)) {
    found = st.LastFoundIndex;
  } else {
    std::string wanted = lowered;
    const std::size_t at = wanted.rfind('@');
    if (at != std::string::npos && wanted.find(':') == std::string::npos) wanted.erase(0, at + 1);
    std::vector<TSubdomainRule> rules;
    std::vector<std::string> lines;
    if (st.SubdomainsPresent && ReadTextLines(st.ConfigFolder + kSubdomainsFileName, lines)) {
      rules = ParseSubdomainRules(lines);
    }
    std::set<std::string> visited;
    found = SearchDomain(wanted, rules, visited);
    if (found >= 0) {
      st.LastFoundName = lowered;
      st.LastFoundIndex = found;
    }
  }
  if (index != nullptr) *index = found;
  return found >= 0;
}

std::string GetDomainName(int index) { return ValidIndex(index) ? EntryName(index) : std::string(); }

void SetDomainName(int index, const std::string& name) {
  TStoreLockGuard lock(kDomainTableLock);
  if (!ValidIndex(index)) return;
  WriteStrField(DomainEntryAt(index), domainentry::kName.Max, name);
  StoreState().LastFoundName.clear();
}

std::string GetDomainAddress(int index) {
  if (!ValidIndex(index)) return std::string();
  const std::uint8_t* bytes = DomainEntryAt(index) + domainentry::kAddressOffset;
  if (bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 0) return std::string();
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
  return text;
}

void SetDomainAddress(int index, const std::string& address) {
  TStoreLockGuard lock(kDomainTableLock);
  if (!ValidIndex(index)) return;
  std::uint8_t bytes[4] = {0, 0, 0, 0};
  if (!ParseDottedAddress(TrimText(address), bytes)) std::memset(bytes, 0, sizeof bytes);
  std::memcpy(DomainEntryAt(index) + domainentry::kAddressOffset, bytes, sizeof bytes);
}

std::string DomainFolderOf(const std::string& domainName) {
  return ConfigFolder() + domainName + "\\";
}

std::string DomainFolder(int index) { return DomainFolderOf(GetDomainName(index)); }

std::string GetDomainBindings(int index) {
  std::string address = GetDomainAddress(index);
  if (address.empty()) return address;
  if (address == kAllAddressesInBindFile) address.clear();
  std::vector<std::string> lines;
  if (ReadTextLines(BindFilePath(index), lines) && !lines.empty()) {
    const std::string line = TrimText(lines[0]);
    if (!line.empty()) address += ";" + line;
  }
  if (!address.empty() && address[0] == ';') address.erase(0, 1);
  return address;
}

void SetDomainBindings(int index, const std::string& bindings, bool keepFile) {
  TStoreLockGuard lock(kDomainTableLock);
  if (!ValidIndex(index)) return;
  const std::string list = TrimText(bindings);
  std::string address;
  if (!list.empty()) {
    if (!keepFile && DirectoryExists(DomainFolder(index))) {
      WriteWholeFile(list + "\r\n", BindFilePath(index), false);
    }
    address = kAllAddressesInBindFile;
  } else {
    DeleteFileAt(BindFilePath(index));
  }
  if (DatabaseMode()) DbSetDomainIP(GetDomainName(index), address.empty() ? "0.0.0.0" : address);
  SetDomainAddress(index, address);
  if (index == 0) StoreState().PrimaryBindingsKnown = false;
}

bool MakeDomainPrimary(int index) {
  TStoreLockGuard lock(kDomainTableLock);
  if (!ValidIndex(index)) return false;
  const std::string oldName = GetDomainName(0);
  const std::string oldBindings = GetDomainBindings(0);
  SetDomainName(0, GetDomainName(index));
  SetDomainBindings(0, GetDomainBindings(index), false);
  SetDomainName(index, oldName);
  SetDomainBindings(index, oldBindings, false);
  if (DatabaseMode()) DbMakeDomainPrimary(GetDomainName(0));
  return true;
}
