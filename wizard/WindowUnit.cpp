#include "wizard/WindowUnit.h"

namespace {
constexpr char kNameProperty[] = "ZarelName";
}  // namespace

void SetControlName(HWND window, const std::string& name) {
  const ATOM atom = GlobalAddAtomA(name.c_str());
  SetPropA(window, kNameProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(atom)));
}

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(window, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}
