// A fresh temporary folder per test, removed with everything in it afterwards.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "base/FileSystemUnit.h"

class TestFolder {
 public:
  TestFolder() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = GetSpecialFolder(SpecialFolder::Temporary, false) + "zarel-test-" +
            std::to_string(stamp) + "-" + std::to_string(counter++) + "\\";
    ForceDirectories(path_);
  }
  ~TestFolder() { RemoveFolderTree(path_); }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  // The folder, ending in a separator.
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + relative; }

 private:
  std::string path_;
};
