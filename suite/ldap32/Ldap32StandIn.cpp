// Stand-in for the suite's LDAP client library LDAP32.Dll.
//
// The nine entries the setup looks up, with the C calling convention and the argument lists
// of the suite's library: texts are UTF-8 and reach the server unchanged, modification
// arrays are the usual LDAPMod arrays of string values. Every call goes to the system's own
// LDAP client, wldap32.dll of the system folder, through its UTF-16 entries: its ANSI
// entries would take the texts for the ANSI code page and send them converted once more.
//
// A connection speaks protocol version 3 from the start, as the suite's library does:
// Windows' client starts in version 2, which a current server refuses at the bind (Wine's
// starts in 3 already). A text that is not valid UTF-8 makes the call fail (-1, or no connection), as it
// would at a version 3 server; binary values (LDAP_MOD_BVALUES) are not supported.
#include <windows.h>

#include <deque>
#include <string>
#include <vector>

namespace {

struct TModUtf8 {
  int Operation;
  char* Type;
  char** Values;
};
struct TModWide {
  ULONG Operation;
  wchar_t* Type;
  wchar_t** Values;
};
struct TTimeout {
  LONG Seconds;
  LONG Microseconds;
};

constexpr ULONG kFailed = static_cast<ULONG>(-1);
constexpr int kModBinaryValues = 0x80;
constexpr int kOptionProtocolVersion = 0x11;
constexpr int kProtocolVersion3 = 3;

using TOpenW = void*(__cdecl*)(wchar_t* host, ULONG port);
using TSetOption = ULONG(__cdecl*)(void* ld, int option, const void* value);
using TBindW = ULONG(__cdecl*)(void* ld, wchar_t* dn, wchar_t* credentials, ULONG method);
using TUnbind = ULONG(__cdecl*)(void* ld);
using TAddW = ULONG(__cdecl*)(void* ld, wchar_t* dn, TModWide** mods);
using TDeleteW = ULONG(__cdecl*)(void* ld, wchar_t* dn);
using TResult = ULONG(__cdecl*)(void* ld, ULONG id, ULONG all, TTimeout* timeout, void** result);
using TResultToError = ULONG(__cdecl*)(void* ld, void* result, ULONG freeIt);

struct TSystemLdap {
  TOpenW open = nullptr;
  TSetOption setOption = nullptr;
  TBindW bind = nullptr;
  TBindW bindSync = nullptr;
  TUnbind unbind = nullptr;
  TAddW add = nullptr;
  TAddW modify = nullptr;
  TDeleteW remove = nullptr;
  TResult result = nullptr;
  TResultToError resultToError = nullptr;
};

template <typename Entry>
Entry Find(HMODULE library, const char* name) {
  return reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// Loaded on first use from the system folder only, and kept for the life of the process:
// a library may not be freed from inside another library's unloading.
const TSystemLdap& SystemLdap() {
  static const TSystemLdap ldap = [] {
    TSystemLdap entries;
    char folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length > MAX_PATH) return entries;
    HMODULE library = LoadLibraryExA((std::string(folder, length) + "\\wldap32.dll").c_str(),
                                     nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr) return entries;
    entries.open = Find<TOpenW>(library, "ldap_openW");
    entries.setOption = Find<TSetOption>(library, "ldap_set_optionW");
    entries.bind = Find<TBindW>(library, "ldap_bindW");
    entries.bindSync = Find<TBindW>(library, "ldap_bind_sW");
    entries.unbind = Find<TUnbind>(library, "ldap_unbind");
    entries.add = Find<TAddW>(library, "ldap_addW");
    entries.modify = Find<TAddW>(library, "ldap_modifyW");
    entries.remove = Find<TDeleteW>(library, "ldap_deleteW");
    entries.result = Find<TResult>(library, "ldap_result");
    entries.resultToError = Find<TResultToError>(library, "ldap_result2error");
    return entries;
  }();
  return ldap;
}

// A UTF-8 text as UTF-16; false for text that is not UTF-8. Null stays null.
class TWide {
 public:
  explicit TWide(const char* text) : null_(text == nullptr) {
    if (null_ || *text == '\0') return;
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (length <= 0) {
      valid_ = false;
      return;
    }
    text_.resize(static_cast<std::size_t>(length));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, text_.data(), length);
  }
  bool Valid() const { return valid_; }
  wchar_t* Get() {
    if (null_) return nullptr;
    if (text_.empty()) text_.push_back(L'\0');
    return text_.data();
  }

 private:
  bool null_;
  bool valid_ = true;
  std::wstring text_;
};

// A modification array converted to UTF-16, owning everything it points to.
class TWideMods {
 public:
  explicit TWideMods(TModUtf8** mods) {
    for (TModUtf8** mod = mods; mod != nullptr && *mod != nullptr; ++mod) Convert(**mod);
    for (std::size_t i = 0; i < mods_.size(); ++i) {
      mods_[i].Values = values_[i].data();
      pointers_.push_back(&mods_[i]);
    }
    pointers_.push_back(nullptr);
  }
  bool Valid() const { return valid_; }
  TModWide** Get() { return pointers_.data(); }

 private:
  wchar_t* Keep(const char* text) {
    TWide& wide = texts_.emplace_back(text);
    valid_ = valid_ && wide.Valid();
    return wide.Get();
  }
  void Convert(const TModUtf8& mod) {
    if ((mod.Operation & kModBinaryValues) != 0) valid_ = false;
    std::vector<wchar_t*>& values = values_.emplace_back();
    for (char** value = mod.Values; value != nullptr && *value != nullptr; ++value) {
      values.push_back(Keep(*value));
    }
    values.push_back(nullptr);
    mods_.push_back({static_cast<ULONG>(mod.Operation), Keep(mod.Type), nullptr});
  }

  bool valid_ = true;
  std::deque<TWide> texts_;  // never moved: the arrays point into the texts
  std::vector<std::vector<wchar_t*>> values_;
  std::vector<TModWide> mods_;
  std::vector<TModWide*> pointers_;
};

}  // namespace

extern "C" {

__declspec(dllexport) void* __cdecl ldap_open(const char* host, int port) {
  const TSystemLdap& ldap = SystemLdap();
  TWide wideHost(host);
  if (ldap.open == nullptr || !wideHost.Valid()) return nullptr;
  void* ld = ldap.open(wideHost.Get(), static_cast<ULONG>(port));
  if (ld != nullptr && ldap.setOption != nullptr) {
    ldap.setOption(ld, kOptionProtocolVersion, &kProtocolVersion3);
  }
  return ld;
}

__declspec(dllexport) int __cdecl ldap_bind(void* ld, const char* who, const char* credentials,
                                            int method) {
  TWide wideWho(who), wideCredentials(credentials);
  if (SystemLdap().bind == nullptr || !wideWho.Valid() || !wideCredentials.Valid()) return -1;
  return static_cast<int>(SystemLdap().bind(ld, wideWho.Get(), wideCredentials.Get(),
                                            static_cast<ULONG>(method)));
}

__declspec(dllexport) int __cdecl ldap_bind_s(void* ld, const char* who, const char* credentials,
                                              int method) {
  TWide wideWho(who), wideCredentials(credentials);
  if (SystemLdap().bindSync == nullptr || !wideWho.Valid() || !wideCredentials.Valid()) return -1;
  return static_cast<int>(SystemLdap().bindSync(ld, wideWho.Get(), wideCredentials.Get(),
                                                static_cast<ULONG>(method)));
}

__declspec(dllexport) int __cdecl ldap_unbind(void* ld) {
  if (SystemLdap().unbind == nullptr) return -1;
  return static_cast<int>(SystemLdap().unbind(ld));
}

__declspec(dllexport) int __cdecl ldap_add(void* ld, const char* dn, TModUtf8** attributes) {
  TWide wideDn(dn);
  TWideMods mods(attributes);
  if (SystemLdap().add == nullptr || !wideDn.Valid() || !mods.Valid()) return -1;
  return static_cast<int>(SystemLdap().add(ld, wideDn.Get(), mods.Get()));
}

__declspec(dllexport) int __cdecl ldap_modify(void* ld, const char* dn, TModUtf8** changes) {
  TWide wideDn(dn);
  TWideMods mods(changes);
  if (SystemLdap().modify == nullptr || !wideDn.Valid() || !mods.Valid()) return -1;
  return static_cast<int>(SystemLdap().modify(ld, wideDn.Get(), mods.Get()));
}

__declspec(dllexport) int __cdecl ldap_delete(void* ld, const char* dn) {
  TWide wideDn(dn);
  if (SystemLdap().remove == nullptr || !wideDn.Valid()) return -1;
  return static_cast<int>(SystemLdap().remove(ld, wideDn.Get()));
}

__declspec(dllexport) int __cdecl ldap_result(void* ld, int messageId, int all, TTimeout* timeout,
                                              void** result) {
  if (SystemLdap().result == nullptr) return -1;
  return static_cast<int>(SystemLdap().result(ld, static_cast<ULONG>(messageId),
                                              static_cast<ULONG>(all), timeout, result));
}

__declspec(dllexport) int __cdecl ldap_result2error(void* ld, void* result, int freeIt) {
  if (SystemLdap().resultToError == nullptr) return -1;
  return static_cast<int>(SystemLdap().resultToError(ld, result, static_cast<ULONG>(freeIt)));
}

}  // extern "C"
