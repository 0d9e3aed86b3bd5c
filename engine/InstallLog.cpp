#ifdef _WIN32
#include <windows.h>
#else
#include <sys/utsname.h>
#include <unistd.h>
#endif

#include "engine/InstallLog.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <vector>

#include "base/FileSystemUnit.h"
#include "engine/SetupState.h"

namespace {

// Enough for every run of a day; beyond it the setup simply runs without a log.
constexpr int kMaxLogNumber = 999;
constexpr char kMask[] = "********";
constexpr char kIndent[] = "                         ";  // under "yyyy-mm-dd hh:mm:ss.mmm  "

struct TLogState {
  std::mutex lock;
  std::FILE* file = nullptr;
  std::string path;
  std::vector<std::string> secrets;
  // Where a copy of the log goes when the program ends (empty: nowhere).
  std::string keepFolder;
};

TLogState& Log() {
  static TLogState state;
  return state;
}

std::tm LocalTime(std::time_t when) {
  std::tm parts{};
#ifdef _WIN32
  localtime_s(&parts, &when);
#else
  localtime_r(&when, &parts);
#endif
  return parts;
}

std::string Timestamp() {
  const auto now = std::chrono::system_clock::now();
  const std::tm parts = LocalTime(std::chrono::system_clock::to_time_t(now));
  const long long ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03lld", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, ms);
  return text;
}

// Opens a log file for writing: a new file that must not exist yet, or one appended to (created
// when missing). A link or a file with a second name is never written through (log= may name
// a place where others could have planted one). Null when it cannot be opened.
std::FILE* OpenLogFile(const std::string& path, bool append) {
  return OpenFileForWriting(path, append ? TWriteMode::Append : TWriteMode::CreateNew);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  while (lines.size() > 1 && lines.back().empty()) lines.pop_back();
  return lines;
}

bool IsWordCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// Whole words only: a short password ("a") must not garble every other word of the log.
std::string MaskWords(const std::string& text, const std::string& secret) {
  std::string result;
  std::size_t from = 0;
  for (std::size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 1)) {
    const std::size_t end = at + secret.size();
    if (at < from || (at > 0 && IsWordCharacter(text[at - 1]) && IsWordCharacter(secret.front())) ||
        (end < text.size() && IsWordCharacter(text[end]) && IsWordCharacter(secret.back())))
      continue;
    result.append(text, from, at - from);
    result += kMask;
    from = end;
  }
  return result.append(text, from, std::string::npos);
}

std::string Masked(std::string text, const std::vector<std::string>& secrets) {
  for (const std::string& secret : secrets) text = MaskWords(text, secret);
  return text;
}

// Caller holds the lock.
void WriteEntry(TLogState& log, const std::string& text) {
  if (log.file == nullptr) return;
  const std::vector<std::string> lines = SplitLines(Masked(text, log.secrets));
  std::string entry = Timestamp() + "  " + lines.front() + "\r\n";
  for (std::size_t i = 1; i < lines.size(); ++i) entry += kIndent + lines[i] + "\r\n";
  std::fwrite(entry.data(), 1, entry.size(), log.file);
  // The setup ends by immediate termination: whatever is not on disk now is lost.
  std::fflush(log.file);
}

const char* ButtonsName(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::Ok: return "OK";
    case MessageButtons::YesNo: return "Yes/No";
    case MessageButtons::YesNoDefaultNo: return "Yes/No, No by default";
    case MessageButtons::YesNoCancel: return "Yes/No/Cancel";
    case MessageButtons::OkCancel: return "OK/Cancel";
  }
  return "?";
}

// Caller holds the lock.
void WriteHeader(TLogState& log, const TLogHeader& header) {
  WriteEntry(log, "Zarel Mail Server setup " + header.SetupVersion + " install log");
  WriteEntry(log, "Program: " + header.ProgramPath);
  WriteEntry(log, "Command line: " + header.CommandLine);
  WriteEntry(log, "Windows version: " + header.WindowsVersion);
  WriteEntry(log, "Platform: " + header.Platform);
}

}  // namespace

std::string LogFileName(int year, int month, int day, int number) {
  char name[64];
  std::snprintf(name, sizeof name, "Setup Log %04d-%02d-%02d #%03d.txt", year, month, day, number);
  return name;
}

TLogHeader SystemLogHeader() {
  TLogHeader header;
  header.SetupVersion = ProductVersion;
#ifdef _WIN32
  char path[MAX_PATH + 1] = {};
  header.ProgramPath.assign(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
  header.CommandLine = GetCommandLineA();
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (GetVersionExA(&version)) {
    char text[200];
    std::snprintf(text, sizeof text, "%lu.%lu build %lu %s",
                  static_cast<unsigned long>(version.dwMajorVersion),
                  static_cast<unsigned long>(version.dwMinorVersion),
                  static_cast<unsigned long>(version.dwBuildNumber & 0xFFFF), version.szCSDVersion);
    header.WindowsVersion = text;
    header.Platform = version.dwPlatformId == VER_PLATFORM_WIN32_NT ? "Windows NT family (services)"
                                                                   : "Windows 9x (tray programs)";
  }
#else
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
  if (length > 0) header.ProgramPath.assign(path, static_cast<std::size_t>(length));
  std::ifstream cmdline("/proc/self/cmdline", std::ios::binary);
  std::string word;
  while (std::getline(cmdline, word, '\0')) {
    if (!header.CommandLine.empty()) header.CommandLine += ' ';
    header.CommandLine += word;
  }
  struct utsname names {};
  if (::uname(&names) == 0) {
    header.WindowsVersion = std::string("none (") + names.sysname + " " + names.release + ")";
    header.Platform = names.machine;
  }
#endif
  return header;
}

std::string StartInstallLog(const TLogHeader& header, const std::string& folder) {
  StopInstallLog();
  const std::string base =
      folder.empty() ? GetSpecialFolder(SpecialFolder::Temporary, false) : NormalizePath(folder, true, false);
  const std::tm today = LocalTime(std::time(nullptr));
  TLogState& log = Log();
  std::lock_guard<std::mutex> guard(log.lock);
  for (int number = 1; number <= kMaxLogNumber && log.file == nullptr; ++number) {
    const std::string path =
        base + LogFileName(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday, number);
    log.file = OpenLogFile(path, false);
    if (log.file != nullptr) log.path = path;
  }
  if (log.file == nullptr) return {};
  WriteHeader(log, header);
  return log.path;
}

std::string StartInstallLogFile(const TLogHeader& header, const std::string& path) {
  StopInstallLog();
  TLogState& log = Log();
  std::lock_guard<std::mutex> guard(log.lock);
  log.file = OpenLogFile(path, true);
  if (log.file == nullptr) return {};
  log.path = path;
  WriteHeader(log, header);
  return log.path;
}

void StopInstallLog() {
  TLogState& log = Log();
  std::lock_guard<std::mutex> guard(log.lock);
  if (log.file != nullptr) std::fclose(log.file);
  log.file = nullptr;
  log.path.clear();
  log.keepFolder.clear();
}

std::string InstallLogPath() {
  TLogState& log = Log();
  std::lock_guard<std::mutex> guard(log.lock);
  return log.path;
}

void InstallLog(const std::string& text) {
  TLogState& log = Log();
  std::lock_guard<std::mutex> guard(log.lock);
  WriteEntry(log, text);
}

namespace {
// Caller holds the lock.
void CopyLog(TLogState& log) {
  if (log.file == nullptr || log.keepFolder.empty()) return;
  std::fflush(log.file);
  ForceDirectories(log.keepFolder);
  // Written, not copied: the copy must not follow a link planted in the logs folder.
  if (!WritePrivateFile(ReadWholeFile(log.path, false), log.keepFolder + ExtractFileName(log.path)))
    WriteEntry(log, "The log could not be copied into " + log.keepFolder);
}
}  // namespace

void KeepInstallLogIn(const std::string& folder) {
  TLogState& log = Log();
  std::lock_guard<std::mutex> guard(log.lock);
  log.keepFolder = NormalizePath(folder, true, false);
  WriteEntry(log, "A copy of this log is kept in " + log.keepFolder);
  CopyLog(log);
}

void FinishInstallLog(int exitCode) {
  TLogState& log = Log();
  std::lock_guard<std::mutex> guard(log.lock);
  WriteEntry(log, "Setup ends with exit code " + std::to_string(exitCode));
  CopyLog(log);
}

void AddLogSecret(const std::string& secret) {
  if (secret.empty()) return;
  TLogState& log = Log();
  std::lock_guard<std::mutex> guard(log.lock);
  log.secrets.push_back(secret);
}

std::string MaskLogSecrets(const std::string& text) {
  TLogState& log = Log();
  std::lock_guard<std::mutex> guard(log.lock);
  return Masked(text, log.secrets);
}

void ClearLogSecrets() {
  TLogState& log = Log();
  std::lock_guard<std::mutex> guard(log.lock);
  log.secrets.clear();
}

const char* MessageAnswerName(MessageAnswer answer) {
  switch (answer) {
    case MessageAnswer::Ok: return "OK";
    case MessageAnswer::Cancel: return "Cancel";
    case MessageAnswer::Yes: return "Yes";
    case MessageAnswer::No: return "No";
  }
  return "?";
}

void TLoggedUI::SetStatus(const std::string& text) {
  // Phase texts ("Extracting Files...") mark the log's sections; the multi-line per-file
  // texts ("Copying File:" + path) are left out, each copy logs its own outcome.
  if (SplitLines(text).size() == 1) InstallLog("Status: " + text);
  if (inner_ != nullptr) inner_->SetStatus(text);
}

void TLoggedUI::StepProgress() {
  if (inner_ != nullptr) inner_->StepProgress();
}

void TLoggedUI::ProcessMessages() {
  if (inner_ != nullptr) inner_->ProcessMessages();
}

MessageAnswer TLoggedUI::ShowMessage(const TMessageBox& box) {
  InstallLog("Message box \"" + box.Caption + "\" (" + ButtonsName(box.Buttons) + "):\r\n" + box.Text);
  MessageAnswer answer = box.Buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
  if (inner_ != nullptr) answer = inner_->ShowMessage(box);
  InstallLog(std::string("Answer: ") + MessageAnswerName(answer));
  return answer;
}

void SetLoggedCurrentUI(TInstallUI* ui) {
  static TLoggedUI logged(nullptr);
  logged.SetInner(ui);
  SetCurrentUI(&logged);
}
