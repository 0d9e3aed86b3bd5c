#include "system/LDAP32Unit.h"

#include <windows.h>

#include "base/HandleTypes.h"
#include "base/SafeLibrary.h"

namespace {

// The client library's own types, as its C interface lays them out.
struct TLdapMod {
  int Operation;
  char* Type;
  char** Values;  // null-terminated
};
struct TLdapTimeout {
  long Seconds;
  long Microseconds;
};

constexpr int kModAdd = 0;
constexpr int kModReplace = 2;
constexpr int kAuthSimple = 0x80;
constexpr int kOneMessage = 0;
constexpr int kFreeResult = 1;

using TOpen = void*(__cdecl*)(const char* host, int port);
using TBind = int(__cdecl*)(void* ld, const char* who, const char* credentials, int method);
using TUnbind = int(__cdecl*)(void* ld);
using TAdd = int(__cdecl*)(void* ld, const char* dn, TLdapMod** attributes);
using TDelete = int(__cdecl*)(void* ld, const char* dn);
using TResult = int(__cdecl*)(void* ld, int messageId, int all, TLdapTimeout* timeout,
                              void** result);
using TResultToError = int(__cdecl*)(void* ld, void* result, int freeIt);

struct TLdapLibrary {
  TLibrary library;
  TOpen open = nullptr;
  TBind bind = nullptr;
  TBind bindSync = nullptr;  // looked up with the others; the setup never waits for a bind
  TUnbind unbind = nullptr;
  TAdd add = nullptr;
  TAdd modify = nullptr;
  TDelete remove = nullptr;
  TResult result = nullptr;
  TResultToError resultToError = nullptr;

  bool Complete() const {
    return open && bind && unbind && add && modify && remove && result && resultToError;
  }
};

TLdapLibrary& Ldap() {
  static TLdapLibrary ldap;
  return ldap;
}

// The modification array of one request; the texts stay owned by the caller's attributes.
class TModArray {
 public:
  TModArray(const TLdapAttributes& attributes, int operation) {
    for (const auto& [name, values] : attributes) {
      if (values.empty() && operation == kModAdd) continue;
      std::vector<char*>& texts = values_.emplace_back();
      for (const std::string& value : values) texts.push_back(const_cast<char*>(value.c_str()));
      texts.push_back(nullptr);
      mods_.push_back({operation, const_cast<char*>(name.c_str()), nullptr});
    }
    for (std::size_t i = 0; i < mods_.size(); ++i) {
      mods_[i].Values = values_[i].data();
      pointers_.push_back(&mods_[i]);
    }
    pointers_.push_back(nullptr);
  }
  TLdapMod** Get() { return pointers_.data(); }

 private:
  std::vector<std::vector<char*>> values_;
  std::vector<TLdapMod> mods_;
  std::vector<TLdapMod*> pointers_;
};

// The connection ends on every way out, as the request began it.
class TLdapConnection {
 public:
  explicit TLdapConnection(void* ld) : ld_(ld) {}
  ~TLdapConnection() {
    if (ld_ != nullptr) Ldap().unbind(ld_);
  }
  TLdapConnection(const TLdapConnection&) = delete;
  TLdapConnection& operator=(const TLdapConnection&) = delete;
  void* Get() const { return ld_; }

 private:
  void* ld_;
};

TLdapOutcome Await(void* ld, int messageId) {
  TLdapOutcome outcome;
  if (messageId == -1) {
    outcome.Status = TLdapStatus::NotSent;
    return outcome;
  }
  TLdapTimeout timeout{kLdapResultWaitSeconds, 0};
  void* result = nullptr;
  const int type = Ldap().result(ld, messageId, kOneMessage, &timeout, &result);
  if (type <= 0 || result == nullptr) {
    outcome.Status = TLdapStatus::NoAnswer;
    return outcome;
  }
  outcome.Status = TLdapStatus::Answered;
  outcome.ErrorCode = Ldap().resultToError(ld, result, kFreeResult);
  return outcome;
}

TLdapOutcome Write(void* ld, const std::string& dn, const TLdapAttributes& attributes,
                   TLdapWriteMode mode) {
  const TLdapLibrary& ldap = Ldap();
  if (mode == TLdapWriteMode::Delete) return Await(ld, ldap.remove(ld, dn.c_str()));
  if (mode == TLdapWriteMode::Update) {
    TModArray replace(attributes, kModReplace);
    const TLdapOutcome updated = Await(ld, ldap.modify(ld, dn.c_str(), replace.Get()));
    if (updated.Status != TLdapStatus::Answered || updated.ErrorCode != kLdapNoSuchObject) {
      return updated;
    }
  }
  TModArray add(attributes, kModAdd);
  TLdapOutcome added = Await(ld, ldap.add(ld, dn.c_str(), add.Get()));
  added.AddedInstead = mode == TLdapWriteMode::Update;
  return added;
}

template <typename Entry>
Entry Lookup(const char* name) {
  return LibraryEntry<Entry>(Ldap().library, name);
}

}  // namespace

bool LoadLdapLibrary(const std::string& fullPath) {
  TLdapLibrary& ldap = Ldap();
  if (ldap.library) return true;
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  ldap.library.Reset(LoadLibraryAt(fullPath));
  SetErrorMode(previousMode);
  if (!ldap.library) return false;
  ldap.open = Lookup<TOpen>("ldap_open");
  ldap.bind = Lookup<TBind>("ldap_bind");
  ldap.bindSync = Lookup<TBind>("ldap_bind_s");
  ldap.unbind = Lookup<TUnbind>("ldap_unbind");
  ldap.add = Lookup<TAdd>("ldap_add");
  ldap.modify = Lookup<TAdd>("ldap_modify");
  ldap.remove = Lookup<TDelete>("ldap_delete");
  ldap.result = Lookup<TResult>("ldap_result");
  ldap.resultToError = Lookup<TResultToError>("ldap_result2error");
  if (ldap.Complete()) return true;
  UnloadLdapLibrary();
  return false;
}

void UnloadLdapLibrary() { Ldap() = TLdapLibrary{}; }

bool LdapLibraryLoaded() { return static_cast<bool>(Ldap().library); }

TLdapOutcome WriteLdapEntry(const TLdapServer& server, const std::string& dn,
                            const TLdapAttributes& attributes, TLdapWriteMode mode) {
  TLdapOutcome outcome;
  if (!LdapLibraryLoaded()) return outcome;
  TLdapConnection connection(Ldap().open(server.Host.c_str(), server.Port));
  if (connection.Get() == nullptr) {
    outcome.Status = TLdapStatus::NoConnection;
    return outcome;
  }
  if (Ldap().bind(connection.Get(), server.BindName.c_str(), server.BindPassword.c_str(),
                  kAuthSimple) == -1) {
    outcome.Status = TLdapStatus::BindFailed;
    return outcome;
  }
  return Write(connection.Get(), dn, attributes, mode);
}
