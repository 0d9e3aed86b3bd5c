#include "serverconfig/MessageVariables.h"

#include <cstdio>
#include <ctime>

#include "base/FileSystemUnit.h"
#include "serverconfig/ConfigTextUnit.h"
#include "serverconfig/HostSeam.h"
#include "serverconfig/NetworkHandoff.h"
#include "serverconfig/StoreFileUnit.h"

namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::size_t kMarkerLength = 2;
constexpr int kTempNameAttempts = 1000;

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::string Formatted(const char* format, int a, int b, int c) {
  char text[32];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

std::string HeaderDate(const TLocalMoment& t) {
  const int day = t.DayOfWeek >= 0 && t.DayOfWeek < 7 ? t.DayOfWeek : 0;
  const int month = t.Month >= 1 && t.Month <= 12 ? t.Month - 1 : 0;
  return std::string(kDayNames[day]) + ", " + Formatted("%02d", t.Day, 0, 0) + " " +
         kMonthNames[month] + " " + Formatted("%04d", t.Year, 0, 0) + " " +
         Formatted("%02d:%02d:%02d", t.Hour, t.Minute, t.Second) + " " +
         TimeZoneTextFromBias(t.BiasMinutes);
}

std::string WithoutAngleBrackets(std::string address) {
  address = TrimText(address);
  if (address.size() >= 2 && address.front() == '<' && address.back() == '>') {
    address = address.substr(1, address.size() - 2);
  }
  return address;
}

// The value of a known variable; false for a name this server does not know.
bool VariableValue(const std::string& name, const TMessageContext& c, std::string& value) {
  const std::string key = LowerCase(name);
  if (key == "recipient") value = c.Alias + "@" + c.Domain;
  else if (key == "alias") value = c.Alias;
  else if (key == "name") value = c.FullName.empty() ? c.Alias : c.FullName;
  else if (key == "domain") value = c.Domain;
  else if (key == "sender") value = WithoutAngleBrackets(c.Sender);
  else if (key == "hostname") value = c.HostName;
  else if (key == "date") value = HeaderDate(c.Time);
  else if (key == "shortdate") value = Formatted("%04d-%02d-%02d", c.Time.Year, c.Time.Month, c.Time.Day);
  else if (key == "time") value = Formatted("%02d:%02d:%02d", c.Time.Hour, c.Time.Minute, c.Time.Second);
  else return false;
  return true;
}

std::size_t NextMarker(const std::string& text, std::size_t from) {
  const std::size_t percent = text.find("%%", from);
  const std::size_t dollar = text.find("$$", from);
  return percent < dollar ? percent : dollar;
}

// A temporary file of its own in folder: the name is taken only when nothing has it yet.
std::string FreshTempName(const std::string& folder, const std::string& prefix) {
  const TLocalMoment now = LocalMomentNow();
  const std::string stamp = Formatted("%04d%02d%02d", now.Year, now.Month, now.Day) +
                            Formatted("%02d%02d%02d", now.Hour, now.Minute, now.Second);
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    const std::string path = folder + prefix + stamp + "-" + std::to_string(attempt) + ".tmp";
    if (!StorePathExists(path)) return path;
  }
  return std::string();
}

}  // namespace

TLocalMoment LocalMomentNow() {
  const std::time_t now = std::time(nullptr);
  TLocalMoment moment;
  if (const std::tm* local = std::localtime(&now)) {
    moment.Year = local->tm_year + 1900;
    moment.Month = local->tm_mon + 1;
    moment.Day = local->tm_mday;
    moment.Hour = local->tm_hour;
    moment.Minute = local->tm_min;
    moment.Second = local->tm_sec;
    moment.DayOfWeek = local->tm_wday;
  }
  moment.BiasMinutes = HostSeam().TimeZoneBiasMinutes();
  return moment;
}

bool HasMessageVariables(const std::string& text) {
  return NextMarker(text, 0) != std::string::npos;
}

std::string ExpandMessageVariables(const std::string& text, const TMessageContext& context) {
  std::string result;
  std::size_t done = 0;
  for (std::size_t open = NextMarker(text, 0); open != std::string::npos;
       open = NextMarker(text, done)) {
    const std::string marker = text.substr(open, kMarkerLength);
    const std::size_t nameStart = open + kMarkerLength;
    std::size_t nameEnd = nameStart;
    while (nameEnd < text.size() && IsNameCharacter(text[nameEnd])) ++nameEnd;
    std::string value;
    const bool closed = nameEnd > nameStart && text.compare(nameEnd, kMarkerLength, marker) == 0;
    if (closed && VariableValue(text.substr(nameStart, nameEnd - nameStart), context, value)) {
      result += text.substr(done, open - done) + value;
      done = nameEnd + kMarkerLength;
    } else {
      // Not a variable here: the marker stays, and the search goes on right after it, where
      // the second marker of "100%% sure %%name%%" may still open one.
      result += text.substr(done, nameStart - done);
      done = nameStart;
    }
  }
  return result + text.substr(done);
}

bool ExpandMessageFile(const std::string& path, const TMessageContext& context,
                       const std::string& tempFolder, const std::string& tempPrefix) {
  std::vector<std::string> lines;
  if (tempFolder.empty() || !ReadTextLines(path, lines)) return false;
  ForceDirectories(tempFolder);
  const std::string temp = FreshTempName(tempFolder, tempPrefix);
  if (temp.empty()) return false;
  TStoreFile file = OpenStoreFile(temp, "wb");
  if (!file) return false;
  bool ok = true;
  for (const std::string& line : lines) {
    const std::string expanded = ExpandMessageVariables(line, context) + "\r\n";
    ok = ok && std::fwrite(expanded.data(), 1, expanded.size(), file.get()) == expanded.size();
  }
  ok = CloseStoreFile(file) && ok;
  if (ok) ok = HostSeam().ReplaceFileKeepingAttributes(temp, path);
  if (!ok) DeleteFileAt(temp);
  return ok;
}
