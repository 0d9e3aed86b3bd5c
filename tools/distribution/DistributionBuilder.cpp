#include "tools/distribution/DistributionBuilder.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <random>
#include <stdexcept>

#include "base/FileSystemUnit.h"
#include "serverconfig/AccountRecord.h"
#include "tools/distribution/DemoStore.h"
#include "tools/distribution/ProgramImports.h"
#include "tools/ilds/ArchiveWriter.h"
#include "xml/XMLUnit.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kSetupProgram = "setup.exe";
constexpr const char* kInfoFile = "info.xml";
constexpr const char* kDemoArchive = "demo.dat";
constexpr const char* kProductsElement = "PRODUCTSXML";

// Every data archive, in the order they are written; each has a content folder of its name.
const char* const kArchives[] = {"Setup.Dat",    "SetupAV.Dat",  "SetupWeb.Dat", "SetupLDAP.Dat",
                                 "SetupPHP.Dat", "Tutorial.Dat", "Other.dat",    "zarel.mcb"};
const char* const kTextFiles[] = {"License.txt", "readme.txt", "releasenotes.txt"};

struct TProgram {
  std::string Archive;               // empty: beside the archives
  std::string Entry;                 // name in the archive
  std::vector<std::string> Sources;  // file names looked for, the first one found is taken
};

// Where each program goes: the core files, the optional servers and libraries and the
// control-panel applet travel in Setup.Dat, the antivirus engine's package in SetupAV.Dat.
const TProgram kPrograms[] = {
    {"", kSetupProgram, {kSetupProgram}},
    {"Setup.Dat", "smtp.exe", {"smtp.exe"}},
    {"Setup.Dat", "pop3.exe", {"pop3.exe"}},
    {"Setup.Dat", "control.exe", {"control.exe"}},
    {"Setup.Dat", "config.exe", {"config.exe"}},
    {"Setup.Dat", "dnsquery.exe", {"dnsquery.exe"}},
    {"Setup.Dat", "tool.exe", {"tool.exe"}},
    {"Setup.Dat", "api.dll", {"api.dll"}},
    {"Setup.Dat", "libeay32.dll", {"libeay32.dll"}},
    {"Setup.Dat", "libssl32.dll", {"libssl32.dll"}},
    {"Setup.Dat", "db.dll", {"db.dll"}},
    // The directory client's stand-in when it is built, a placeholder until then.
    {"Setup.Dat", "ldap32.dll", {"LDAP32.Dll", "ldap32-placeholder.dll"}},
    {"Setup.Dat", "regex.dll", {"regex.dll"}},
    {"Setup.Dat", "quenforcom.dll", {"quenforcom.dll"}},
    {"Setup.Dat", "im.exe", {"im.exe"}},
    {"Setup.Dat", "cal.exe", {"cal.exe"}},
    {"Setup.Dat", "Zarel.CPL", {"Zarel.CPL"}},
    {"Setup.Dat", "modules\\wcs.dll", {"wcs.dll"}},
    {"SetupAV.Dat", "setiface.dll", {"setiface.dll"}},
    {"SetupAV.Dat", "avastoem.exe", {"avastoem.exe"}},
    {"SetupPHP.Dat", "php.dll", {"php.dll"}},
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

struct TEntry {
  std::string Name;  // '\'-separated
  fs::path Source;
};

// A scratch folder of its own in the system's temporary folder, removed with everything in it.
class TScratchFolder {
 public:
  TScratchFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 16 && path_.empty(); ++attempt) {
      const fs::path candidate = fs::temp_directory_path() / ("zarel-distribution-" + std::to_string(random()));
      if (fs::create_directory(candidate)) path_ = candidate;
    }
    if (path_.empty()) throw std::runtime_error("cannot create a scratch folder");
  }
  ~TScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

class TDistributionBuild {
 public:
  TDistributionBuild(const TDistributionOptions& options, TDistributionReport& report)
      : options_(options), report_(report), content_(options.ContentFolder), output_(options.OutputFolder) {}

  bool Run() {
    return PrepareOutput() && FindPrograms() && WriteDemoArchive() && PackArchives() &&
           CopyFiles() && WriteInfoXml();
  }

 private:
  bool Fail(const std::string& error) {
    report_.Error = error;
    return false;
  }
  void Note(const std::string& line) { report_.Lines.push_back(line); }

  bool PrepareOutput() {
    if (!fs::is_directory(content_ / kArchives[0]))
      return Fail(content_.string() + " is not a distribution content folder (no " + kArchives[0] + ")");
    if (fs::exists(output_) && !fs::is_empty(output_))
      return Fail(output_.string() + " is not empty: a distribution is built into a fresh folder");
    fs::create_directories(output_);
    return true;
  }

  fs::path FindProgram(const std::string& fileName) const {
    const std::string wanted = Lower(fileName);
    for (const std::string& folder : options_.ProgramFolders) {
      std::error_code error;
      for (const fs::directory_entry& item : fs::directory_iterator(folder, error)) {
        if (item.is_regular_file() && Lower(item.path().filename().string()) == wanted) return item.path();
      }
    }
    return {};
  }

  bool FindPrograms() {
    std::vector<std::string> missing;
    for (const TProgram& program : kPrograms) {
      fs::path found;
      for (const std::string& source : program.Sources) {
        if (found.empty()) found = FindProgram(source);
      }
      if (found.empty()) {
        std::string names;
        for (const std::string& source : program.Sources) names += (names.empty() ? "" : " or ") + source;
        missing.push_back(names);
        continue;
      }
      if (!CheckImports({program.Entry, found})) return false;
      const std::string where = program.Archive.empty() ? std::string(".") : program.Archive;
      Note(where + ": " + program.Entry + " <- " + found.string());
      if (program.Archive.empty()) setupProgram_ = found;
      else entries_[program.Archive].push_back({program.Entry, found});
    }
    if (missing.empty()) return true;
    std::string list;
    for (const std::string& name : missing) list += (list.empty() ? "" : ", ") + name;
    return Fail("not found in the program folders: " + list);
  }

  bool WriteDemoArchive() {
    TDemoStoreOptions store;
    store.SmtpPort = options_.SmtpPort;
    store.Password = options_.DemoPassword.empty() ? RandomDemoPassword() : options_.DemoPassword;
    // The store would keep only the first characters, and nobody could log in with the rest.
    if (store.Password.size() > account::kPassword.Max)
      return Fail("the demonstration password is longer than " + std::to_string(account::kPassword.Max) +
                  " characters");
    std::string root = scratch_.Path().string();
    root += fs::path::preferred_separator;
    std::string error;
    if (!WriteDemoStore(root, store, error)) return Fail("demonstration store: " + error);
    const fs::path archive = scratch_.Path() / kDemoArchive;
    if (!Pack(archive, ContentEntries(scratch_.Path() / "config"))) return false;
    entries_[kArchives[0]].push_back({kDemoArchive, archive});
    Note(std::string("demonstration domain ") + kDemoDomain + ": accounts " + kDemoAdminAlias + " and " +
         kDemoUserAlias + ", password " + store.Password + ", SMTP port " + std::to_string(options_.SmtpPort));
    return true;
  }

  // Every plain file below folder, named by its relative path; links are left out, so the
  // archive holds only what lies in the tree.
  static std::vector<TEntry> ContentEntries(const fs::path& folder) {
    std::vector<TEntry> entries;
    if (!fs::is_directory(folder)) return entries;
    for (const fs::directory_entry& item : fs::recursive_directory_iterator(folder)) {
      if (!item.is_regular_file() || item.is_symlink()) continue;
      std::string name = fs::relative(item.path(), folder).generic_string();
      std::replace(name.begin(), name.end(), '/', '\\');
      entries.push_back({name, item.path()});
    }
    return entries;
  }

  bool CheckImports(const TEntry& entry) {
    if (!IsProgramFileName(entry.Name)) return true;
    std::vector<std::string> libraries;
    std::string error;
    if (!ReadProgramImports(entry.Source.string(), libraries, error)) return Fail(error);
    for (const std::string& library : libraries) {
      if (!IsSystemLibrary(library))
        return Fail(entry.Source.string() + " imports " + library +
                    ", which Windows does not have: the program would not start there");
    }
    return true;
  }

  bool Pack(const fs::path& archive, std::vector<TEntry> entries) {
    std::sort(entries.begin(), entries.end(), [](const TEntry& a, const TEntry& b) { return a.Name < b.Name; });
    std::map<std::string, fs::path> seen;
    for (const TEntry& entry : entries) {
      const auto [earlier, added] = seen.emplace(Lower(entry.Name), entry.Source);
      if (!added)
        return Fail(archive.filename().string() + ": " + entry.Name + " comes from both " +
                    earlier->second.string() + " and " + entry.Source.string());
      if (!CheckImports(entry)) return false;
    }
    ilds::TArchiveWriter writer;
    bool written = writer.Create(archive.string(), ilds::TPackOptions());
    for (const TEntry& entry : entries) written = written && writer.AddFile(entry.Name, entry.Source.string());
    written = writer.Close() && written;
    if (!written) return Fail(archive.string() + ": " + writer.Error());
    return true;
  }

  bool PackArchives() {
    for (const char* archive : kArchives) {
      std::vector<TEntry> entries = ContentEntries(content_ / archive);
      for (const TEntry& program : entries_[archive]) entries.push_back(program);
      if (entries.empty()) return Fail(std::string(archive) + ": nothing to pack");
      const std::size_t count = entries.size();
      if (!Pack(output_ / archive, std::move(entries))) return false;
      Note(std::string(archive) + ": " + std::to_string(count) + " entries");
    }
    return true;
  }

  bool CopyFiles() {
    fs::copy_file(setupProgram_, output_ / kSetupProgram);
    for (const char* name : kTextFiles) {
      if (!fs::is_regular_file(content_ / name)) return Fail((content_ / name).string() + " is missing");
      fs::copy_file(content_ / name, output_ / name);
    }
    return true;
  }

  bool WriteInfoXml() {
    const fs::path source = content_ / kInfoFile;
    TXMLObject document;
    if (!document.LoadFromFile(source.string()) || document.Children().empty())
      return Fail(source.string() + " is missing or holds no element");
    TXMLObject* products = document.Children().front()->FindChild(kProductsElement);
    if (products == nullptr) return Fail(source.string() + " has no " + kProductsElement);
    products->SetText(options_.ProductsUrl);
    const std::string target = (output_ / kInfoFile).string();
    WriteWholeFile(document.GetXML(true), target, false);
    if (!FileExists(target)) return Fail("cannot write " + target);
    Note(std::string(kInfoFile) + ": products list " + options_.ProductsUrl);
    return true;
  }

  const TDistributionOptions& options_;
  TDistributionReport& report_;
  const fs::path content_;
  const fs::path output_;
  TScratchFolder scratch_;
  fs::path setupProgram_;
  std::map<std::string, std::vector<TEntry>> entries_;  // programs by archive
};

}  // namespace

bool BuildDistribution(const TDistributionOptions& options, TDistributionReport& report) {
  report = TDistributionReport();
  try {
    TDistributionBuild build(options, report);
    return build.Run();
  } catch (const std::exception& error) {
    report.Error = error.what();
    return false;
  }
}
