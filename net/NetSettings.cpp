#include "net/NetSettings.h"

#include <mutex>

namespace {

std::mutex& SettingsMutex() {
  static std::mutex mutex;
  return mutex;
}

TNetSettings& Settings() {
  static TNetSettings settings;
  return settings;
}

}  // namespace

TNetSettings GetNetSettings() {
  std::lock_guard<std::mutex> hold(SettingsMutex());
  return Settings();
}

void SetNetSettings(const TNetSettings& settings) {
  std::lock_guard<std::mutex> hold(SettingsMutex());
  Settings() = settings;
}

TNetStoreLockGuard::TNetStoreLockGuard() {
  const TNetSettings settings = GetNetSettings();
  if (settings.LockStore) settings.LockStore();
  unlock_ = settings.UnlockStore;
}

TNetStoreLockGuard::~TNetStoreLockGuard() {
  if (unlock_) unlock_();
}
