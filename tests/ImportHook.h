// Replaces a system function in this test program's import table while the object lives.
// The code under test is linked into the test program and calls the system through that
// table, so a test sees exactly what crossed over to the system, and can answer in its place
// where Wine does not behave as Windows does.
#pragma once

#include <windows.h>

#include <cstring>
#include <vector>

class TImportHook {
 public:
  TImportHook(const char* library, const char* function, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name != 0;
         ++entry) {
      if (lstrcmpiA(reinterpret_cast<char*>(base + entry->Name), library) != 0) continue;
      auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
      auto* slots = reinterpret_cast<void**>(base + entry->FirstThunk);
      for (; names->u1.AddressOfData != 0; ++names, ++slots) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
        const auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
        original_ = *slots;
        slots_.push_back(slots);
        Write(slots, replacement);
      }
    }
  }
  ~TImportHook() {
    for (void** slot : slots_) Write(slot, original_);
  }
  TImportHook(const TImportHook&) = delete;
  TImportHook& operator=(const TImportHook&) = delete;

  bool Installed() const { return !slots_.empty(); }
  // The system's own function, for the replacement to pass calls on to.
  template <typename Function>
  Function Original() const {
    return reinterpret_cast<Function>(original_);
  }

 private:
  static void Write(void** slot, void* value) {
    DWORD old = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
  }

  std::vector<void**> slots_;
  void* original_ = nullptr;
};

// Wine answers where Windows would; some of its answers differ (docs/wine.md).
inline bool RunningUnderWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}
