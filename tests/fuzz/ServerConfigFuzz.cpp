// Fuzz target: LoadServerSettings and the store's text readers on arbitrary bytes.
//
// The input is cut at each "\n--\n" into the files of one configuration folder, in this order:
// settings.cfg, domains.cfg, path.cfg, groups.dat, subdomains.dat, bind.dat, and the primary
// domain's users.cfg. A part that is not there leaves its file out.
// Each text reader also takes its own file's part directly.
// The fuzz build keeps the folder in memory (base's memory back end) and empties it before each
// input; the store's one move that bypasses the file helpers goes through them here.
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/FileSystemUnit.h"
#include "serverconfig/AccountStore.h"
#include "serverconfig/ConfigTextUnit.h"
#include "serverconfig/DomainTable.h"
#include "serverconfig/GroupsUnit.h"
#include "serverconfig/HostSeam.h"
#include "serverconfig/PunycodeUnit.h"
#include "serverconfig/ServerStore.h"
#include "serverconfig/StoreFileUnit.h"
#include "tests/fuzz/FuzzInput.h"

#ifdef ZAREL_MEMORY_FILES
#include "base/FileSystemMemory.h"
#endif

namespace {

const char* const kFiles[] = {"config\\settings.cfg", "config\\domains.cfg", "path.cfg",
                              "config\\groups.dat",   "config\\subdomains.dat",
                              "config\\bind.dat"};

const std::string& Root();

// The platform's facts, with the replacing move done by the file helpers, so that it reaches
// the same file system as the rest of the store.
class THelperMoves final : public THostSeam {
 public:
  explicit THelperMoves(THostSeam& platform) : platform_(platform) {}
  std::vector<std::string> DnsServers() override { return {"127.0.0.1"}; }
  std::vector<std::string> AdapterAddresses() override { return {"127.0.0.1"}; }
  int TimeZoneBiasMinutes() override { return 0; }
  unsigned long ConnectNetworkShare(const std::string& remote, const std::string& user,
                                    const std::string& password) override {
    return platform_.ConnectNetworkShare(remote, user, password);
  }
  void* LoadLibraryFile(const std::string&) override { return nullptr; }
  void* LibraryEntry(void*, const char*) override { return nullptr; }
  void FreeLibraryFile(void*) override {}
  bool ReplaceFileKeepingAttributes(const std::string& source, const std::string& target) override {
    if (FileExists(target) && !DeleteFileAt(target)) return false;
    return MoveFile(source, target);
  }

 private:
  THostSeam& platform_;
};

void InstallHelperMoves() {
  static THelperMoves seam(HostSeam());
  SetHostSeam(&seam);
}

// Each text reader takes the part that is its file; the fuzzer puts any bytes into any part.
void ExerciseTextReaders(const std::vector<std::string>& parts) {
  const std::vector<std::string> domains = SplitTextLines(FuzzPart(parts, 1));
  for (const std::string& line : domains) {
    CleanConfigLine(line);
    WildcardMatch(line, "mail.example.com");
  }
  DecodeIdnLabels(FuzzPart(parts, 1).substr(0, 300));

  const std::string path = FuzzPart(parts, 2);
  const std::vector<std::string> pathLines = SplitTextLines(path);
  ParsePathConfig(pathLines);
  ParseNetworkShares(path);
  ParseServerTitle(pathLines);

  const std::string groupsText = FuzzPart(parts, 3);
  TGroupResolver groups(Root() + "config\\", ParseGroupSections(SplitTextLines(groupsText)));
  groups.GroupHasAlias("g", "a@b.example");
  groups.GroupHasAddress("g", "10.0.0.1");
  AliasListsMatch(groupsText.substr(0, 255), "a@b.example;x", &groups);

  MatchSubdomainRule(ParseSubdomainRules(SplitTextLines(FuzzPart(parts, 4))), "www.example.com");
  ParseGlobalBindings(SplitTextLines(FuzzPart(parts, 5)));
}

#ifdef ZAREL_MEMORY_FILES
// The volume is emptied before every input, so one folder serves them all.
const std::string& Root() {
  static const std::string root = GetSpecialFolder(SpecialFolder::Temporary, false) + "zarel-fuzz-serverconfig\\";
  return root;
}
void ForgetEarlierInput() { ForgetAllMemoryFiles(); }
#else
const std::string& Root() {
  static const std::string root = GetSpecialFolder(SpecialFolder::Temporary, false) +
                                  "zarel-fuzz-serverconfig-" + std::to_string(getpid()) + "\\";
  return root;
}
void ForgetEarlierInput() { RemoveFolderTree(Root()); }
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> parts = SplitFuzzParts(data, size);

  InstallHelperMoves();
  ForgetEarlierInput();
  ForceDirectories(Root() + "config\\");
  for (std::size_t i = 0; i < std::size(kFiles) && i < parts.size(); ++i) {
    WriteWholeFile(parts[i], Root() + kFiles[i], false);
  }

  ResetServerStore();
  InitServerFoldersAt(Root());
  SetConfigFolder(Root() + "config\\");  // path.cfg may point anywhere: keep the folder
  LoadServerSettings(false, true);
  ServerSettings().Set(settings::kIdnOption, 1);
  ServerSettings().Set(settings::kAddressLiteralOption, 1);

  const std::string primary = GetDomainName(0);
  if (parts.size() > 6 && !primary.empty() && primary.find_first_of("\\/:.") != 0 &&
      primary.find("..") == std::string::npos) {
    WriteWholeFile(parts[6], DomainFolderOf(primary) + "users.cfg", false);
  }
  for (const char* name : {"a.example", "user@[127.0.0.1]", "xn--mnchen-3ya.de", "www.example.com"}) {
    FindDomain(name);
  }
  if (!parts.empty()) FindDomain(parts[0].substr(0, 64));
  for (int i = 0; i < DomainCount() && i < 4; ++i) GetDomainBindings(i);
  FindAccountIndex(0, "anna;[g]");
  TAccountList list;
  if (OpenAccountList(primary, list, "", 0, 0)) {
    for (int n = 0; n < 100 && !NextAccount(list); ++n) {
      GetMailboxPath(list.Account.Get(account::kMailboxPath), true, "inbox");
    }
  }
  CloseAccountList(list);

  ExerciseTextReaders(parts);
  ResetServerStore();
  return 0;
}
