// Shared set-up of the configuration store tests: a fresh store over a fresh folder, with the
// host seam replaced by a fake whose facts the test chooses.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/FileSystemUnit.h"
#include "serverconfig/HostSeam.h"
#include "serverconfig/ServerStore.h"
#include "tests/TestFolder.h"

// The key table written out independently of the code under test.
inline const std::uint8_t kTestKey[16] = {0x3C, 0x9A, 0x51, 0x07, 0xD2, 0x6E, 0x18, 0xB4,
                                          0xA7, 0x2F, 0x90, 0x5D, 0xC3, 0x0B, 0x76, 0xE8};

// Plain bytes as they lie in a file at fileOffset (scrambling by file position).
inline std::string ScrambleAt(std::string bytes, std::size_t fileOffset) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>(static_cast<std::uint8_t>(bytes[i]) ^
                                 kTestKey[(fileOffset + i) % 16]);
  }
  return bytes;
}

struct TShareCall {
  std::string Remote, User, Password;
};

class TFakeHostSeam : public THostSeam {
 public:
  explicit TFakeHostSeam(THostSeam& platform) : platform_(platform) {}

  std::vector<std::string> Dns = {"192.0.2.53", "198.51.100.53"};
  std::vector<std::string> Adapters = {"192.0.2.10", "127.0.0.1"};
  int Bias = 0;
  std::vector<TShareCall> Shares;
  bool FailReplace = false;

  std::vector<std::string> DnsServers() override { return Dns; }
  std::vector<std::string> AdapterAddresses() override { return Adapters; }
  int TimeZoneBiasMinutes() override { return Bias; }
  unsigned long ConnectNetworkShare(const std::string& remote, const std::string& user,
                                    const std::string& password) override {
    Shares.push_back({remote, user, password});
    return 1222;  // no network, as Wine answers
  }
  void* LoadLibraryFile(const std::string& path) override { return platform_.LoadLibraryFile(path); }
  void* LibraryEntry(void* library, const char* name) override {
    return platform_.LibraryEntry(library, name);
  }
  void FreeLibraryFile(void* library) override { platform_.FreeLibraryFile(library); }
  bool ReplaceFileKeepingAttributes(const std::string& source, const std::string& target) override {
    return !FailReplace && platform_.ReplaceFileKeepingAttributes(source, target);
  }

 private:
  THostSeam& platform_;
};

class StoreTest : public ::testing::Test {
 protected:
  StoreTest() : seam_(HostSeam()) {}

  void SetUp() override {
    ResetServerStore();
    SetHostSeam(&seam_);
    InitServerFoldersAt(folder_.path());
    ForceDirectories(ConfigFolder());
  }
  void TearDown() override {
    ResetServerStore();
    SetHostSeam(nullptr);
  }

  std::string Root() const { return folder_.path(); }
  std::string Config() const { return ConfigFolder(); }
  void Write(const std::string& path, const std::string& bytes) { WriteWholeFile(bytes, path, false); }
  std::string Read(const std::string& path) { return ReadWholeFile(path, false); }

  // A settings.cfg holding these plain bytes, scrambled the way the servers write it.
  void WriteSettingsFile(const std::string& plain) {
    Write(Config() + "settings.cfg", ScrambleAt(plain, 0));
  }
  static std::string PlainRecord(std::size_t size = 22204) { return std::string(size, '\0'); }
  static void PutStr(std::string& record, std::size_t offset, const std::string& text) {
    record[offset] = static_cast<char>(text.size());
    record.replace(offset + 1, text.size(), text);
  }
  static void PutU16(std::string& record, std::size_t offset, unsigned value) {
    record[offset] = static_cast<char>(value & 0xFF);
    record[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
  }
  static void PutI32(std::string& record, std::size_t offset, std::int64_t value) {
    for (int i = 0; i < 4; ++i) record[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
  static std::string Entry96(const std::string& name, std::uint8_t a = 0, std::uint8_t b = 0,
                             std::uint8_t c = 0, std::uint8_t d = 0) {
    std::string entry(96, '\0');
    PutStr(entry, 0, name);
    entry[92] = static_cast<char>(a);
    entry[93] = static_cast<char>(b);
    entry[94] = static_cast<char>(c);
    entry[95] = static_cast<char>(d);
    return entry;
  }

  TestFolder folder_;
  TFakeHostSeam seam_;
};
