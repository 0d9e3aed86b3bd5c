// Owners for the operating-system handles of the service and process code: every manager,
// service, process, token, pipe and library handle is closed on every way out of the
// function that opened it.
#pragma once

#include <windows.h>

#include <utility>

template <typename Handle, typename Traits>
class TUniqueHandle {
 public:
  TUniqueHandle() = default;
  explicit TUniqueHandle(Handle handle) : handle_(handle) {}
  ~TUniqueHandle() { Reset(); }
  TUniqueHandle(TUniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, Traits::None())) {}
  TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, Traits::None());
    }
    return *this;
  }
  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;

  Handle Get() const { return handle_; }
  explicit operator bool() const { return Traits::Valid(handle_); }
  void Reset(Handle handle = Traits::None()) {
    if (Traits::Valid(handle_)) Traits::Close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = Traits::None();
};

struct TServiceHandleTraits {
  static SC_HANDLE None() { return nullptr; }
  static bool Valid(SC_HANDLE h) { return h != nullptr; }
  static void Close(SC_HANDLE h) { CloseServiceHandle(h); }
};
// A Service Control Manager or service handle.
using TServiceHandle = TUniqueHandle<SC_HANDLE, TServiceHandleTraits>;

struct TKernelHandleTraits {
  static HANDLE None() { return nullptr; }
  // Kernel calls report failure as null (processes, tokens) or as INVALID_HANDLE_VALUE
  // (files, pipes); neither is closed.
  static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
// A process, token, file or pipe handle.
using TKernelHandle = TUniqueHandle<HANDLE, TKernelHandleTraits>;

struct TLibraryTraits {
  static HMODULE None() { return nullptr; }
  static bool Valid(HMODULE h) { return h != nullptr; }
  static void Close(HMODULE h) { FreeLibrary(h); }
};
using TLibrary = TUniqueHandle<HMODULE, TLibraryTraits>;

// Looks an entry point up by name; null when the library or the entry is missing.
template <typename Function>
Function LibraryEntry(const TLibrary& library, const char* name) {
  if (!library) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library.Get(), name)));
}
