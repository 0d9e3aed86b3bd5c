// Stand-in for the suite's five server programs (smtp.exe, pop3.exe, control.exe, im.exe,
// cal.exe): one source, the role chosen by the program's own file name. It has exactly the
// outside behaviour the setup relies on, so the setup's service and tray code runs for real:
//
// - Started by the Service Control Manager it runs as a service. The setup registers the
//   service with the bare program path (no arguments), and a tray start on 9x also passes
//   none, so the command line cannot tell the two apart. The service case is recognised by
//   its parent process, the Service Control Manager's services.exe ("/service" forces it).
//   Asking the dispatcher blindly is no option: from a console it blocks for seconds and
//   then fails.
// - Started otherwise (also with "/systray") it runs as a tray program: a hidden top-level
//   window with the class and title the setup looks for, closed by WM_CLOSE.
// - In both modes it serves the named pipe \\.\pipe\<service name> (20-byte commands; as a
//   service, the name it was started under, so a copy registered under another name has a
//   pipe of its own) and, in tray mode, the private window message 0x500. Every command
//   received is appended as one line to logs\<program>-commands.log in its installation
//   folder:
//     pipe <message> <first> <second>      (a command of code 0x1000 from the pipe)
//     pipe-code-<code> <message> <first> <second>   (a command of any other code)
//     window <message> <first> <second>
//   Lifecycle events go to logs\<program>-events.log.
// - A stopped server ends its process, so its program file is free afterwards.
// - A program name that is none of the five ends at once with exit code 2.
//
// Test switches: words in the file <program>.test beside the program (read at start):
//   ignore-stop   the stop control (service) or WM_CLOSE (tray) is ignored
//   fail-start    the service reports itself stopped at once; the tray program exits
//   stop-pending  a stop control moves the service to stop-pending, where it stays
//   slow-stop     a stop control takes kSlowStopMs in stop-pending, as a server that finishes
//                 its connections first
//   slow-start    the service stays kSlowStartMs in start-pending, as a server the manager
//                 is still starting (after a boot) when the setup comes to stop it
//   start-pending the service stays in start-pending for ever, as a server hung in its start
//
// smtp.exe that cannot hold the SMTP port of its configuration store does not start (the
// service reports itself stopped, the tray program exits), as the real server does.
//
// smtp.exe also receives mail (see "The SMTP receiver" below): on 127.0.0.1 at the SMTP port
// of the configuration store in its own folder, storing each accepted message in the
// recipient's mailbox folder, so a message the setup sends can be found where the suite
// keeps it.
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/FileSystemUnit.h"
#include "serverconfig/AccountStore.h"
#include "serverconfig/DomainTable.h"
#include "serverconfig/ServerStore.h"

namespace {

struct TRole {
  const char* program;  // lower-case base name without ".exe"
  const char* serviceName;
  const char* windowClass;
  const char* windowTitle;
};

constexpr TRole kRoles[] = {
    {"smtp", "ZarelSMTP", "TSMTPForm", "SMTP"},
    {"pop3", "ZarelPOP3", "TPOP3Form", "POP3"},
    {"control", "ZarelControl", "TControlForm", "Control"},
    {"im", "ZarelIM", "TIMForm", "Instant Messaging Server"},
    {"cal", "ZarelCalendar", "TGroupWareForm", "GroupWare"},
};

constexpr UINT kServerCommandMessage = 0x500;
constexpr std::uint32_t kWindowMessageCommand = 0x1000;
constexpr DWORD kCommandSize = 20;

struct TSwitches {
  bool ignoreStop = false;
  bool failStart = false;
  bool stopPending = false;
  bool slowStop = false;
  bool slowStart = false;
  bool startPending = false;
};
constexpr DWORD kSlowStopMs = 3000;
constexpr DWORD kSlowStartMs = 2000;

const TRole* role = nullptr;
std::string folder;       // installation folder, ends in '\'
std::string programName;  // e.g. "smtp"
TSwitches switches;
std::mutex logLock;

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

void AppendLine(const std::string& fileName, const std::string& line) {
  const std::lock_guard<std::mutex> guard(logLock);
  const std::string logs = folder + "logs\\";
  CreateDirectoryA(logs.c_str(), nullptr);
  HANDLE file = CreateFileA((logs + fileName).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

void LogEvent(const std::string& text) { AppendLine(programName + "-events.log", text); }

void LogCommand(const std::string& kind, std::uint32_t message, std::uint32_t first, std::uint32_t second) {
  char line[128];
  std::snprintf(line, sizeof line, "%s %lu %lu %lu", kind.c_str(), static_cast<unsigned long>(message),
                static_cast<unsigned long>(first), static_cast<unsigned long>(second));
  AppendLine(programName + "-commands.log", line);
}

bool ResolveRole() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string full = path;
  const std::size_t slash = full.find_last_of("\\/");
  folder = full.substr(0, slash + 1);
  std::string name = Lower(full.substr(slash + 1));
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) name.resize(name.size() - 4);
  programName = name;
  for (const TRole& candidate : kRoles)
    if (name == candidate.program) role = &candidate;
  return role != nullptr;
}

void ReadSwitches() {
  const std::string path = folder + programName + ".test";
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  char buffer[512] = {};
  DWORD read = 0;
  ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr);
  CloseHandle(file);
  const std::string words = Lower(std::string(buffer, read));
  switches.ignoreStop = words.find("ignore-stop") != std::string::npos;
  switches.failStart = words.find("fail-start") != std::string::npos;
  switches.slowStop = words.find("slow-stop") != std::string::npos;
  switches.slowStart = words.find("slow-start") != std::string::npos;
  switches.stopPending = words.find("stop-pending") != std::string::npos;
  switches.startPending = words.find("start-pending") != std::string::npos;
}

std::string ParentProcessName() {
  const DWORD self = GetCurrentProcessId();
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return {};
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
  std::string name;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more && parent != 0; more = Process32Next(snapshot, &entry))
    if (entry.th32ProcessID == parent) name = Lower(entry.szExeFile);
  CloseHandle(snapshot);
  return name;
}

// ---- The command pipe ----------------------------------------------------------------

class TCommandPipe {
 public:
  void Start(const std::string& serviceName) {
    name_ = "\\\\.\\pipe\\" + serviceName;
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this] { Serve(); });
  }
  // Every wait of the server thread also waits for the stop event, so a stop never depends
  // on the thread having reached a certain point: a wake-up connection of our own would miss
  // a pipe the thread has not made yet, and the join would then wait for ever.
  void Stop() {
    if (!thread_.joinable()) return;
    SetEvent(stop_);
    thread_.join();
    CloseHandle(stop_);
    stop_ = nullptr;
  }

 private:
  // One OVERLAPPED with its event, made ready for the next operation by Reset.
  struct TOverlapped {
    OVERLAPPED Data{};
    HANDLE Event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ~TOverlapped() { CloseHandle(Event); }
    OVERLAPPED& Reset() {
      Data = OVERLAPPED{};
      ResetEvent(Event);
      Data.hEvent = Event;
      return Data;
    }
  };

  HANDLE CreateInstance() const {
    return CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 512, 512, 0,
                            nullptr);
  }

  // Waits for the overlapped operation that the call just began; false when the stop came
  // first (the operation is then cancelled and finished) or the operation failed.
  bool Finish(HANDLE pipe, OVERLAPPED& pending, BOOL begun, DWORD& transferred) const {
    const DWORD error = begun ? ERROR_SUCCESS : GetLastError();
    // A client may have connected, written its command and gone before ConnectNamedPipe
    // (ERROR_PIPE_CONNECTED or ERROR_NO_DATA): what it wrote is still there to read.
    if (error == ERROR_PIPE_CONNECTED || error == ERROR_NO_DATA) return true;
    if (error != ERROR_SUCCESS && error != ERROR_IO_PENDING) return false;
    const HANDLE events[] = {pending.hEvent, stop_};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
      CancelIo(pipe);
      GetOverlappedResult(pipe, &pending, &transferred, TRUE);
      return false;
    }
    return GetOverlappedResult(pipe, &pending, &transferred, FALSE) != FALSE;
  }

  bool Stopping() const { return WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0; }

  void Serve() {
    TOverlapped pending;
    // The next instance exists before the current client is served, so a client arriving
    // meanwhile never finds the pipe missing.
    HANDLE next = CreateInstance();
    if (next == INVALID_HANDLE_VALUE) LogEvent("pipe creation failed " + std::to_string(GetLastError()));
    while (next != INVALID_HANDLE_VALUE) {
      HANDLE current = next;
      DWORD unused = 0;
      OVERLAPPED& connection = pending.Reset();
      const BOOL begun = ConnectNamedPipe(current, &connection);
      const bool connected = Finish(current, connection, begun, unused);
      if (!connected && Stopping()) {
        CloseHandle(current);
        return;
      }
      next = CreateInstance();
      if (next == INVALID_HANDLE_VALUE) LogEvent("pipe creation failed " + std::to_string(GetLastError()));
      if (connected) ReadCommands(current, pending);
      DisconnectNamedPipe(current);
      CloseHandle(current);
    }
  }

  void ReadCommands(HANDLE pipe, TOverlapped& pending) const {
    for (;;) {
      unsigned char command[kCommandSize];
      DWORD have = 0;
      while (have < kCommandSize) {
        DWORD read = 0;
        OVERLAPPED& reading = pending.Reset();
        const BOOL begun = ReadFile(pipe, command + have, kCommandSize - have, nullptr, &reading);
        if (!Finish(pipe, reading, begun, read) || read == 0) return;
        have += read;
      }
      std::uint32_t field[5];
      std::memcpy(field, command, sizeof field);  // little-endian, as the setup writes it
      const std::string kind =
          field[0] == kWindowMessageCommand ? std::string("pipe") : "pipe-code-" + std::to_string(field[0]);
      LogCommand(kind, field[1], field[2], field[3]);
    }
  }

  std::string name_;
  HANDLE stop_ = nullptr;
  std::thread thread_;
};

TCommandPipe commandPipe;

// ---- The SMTP receiver (smtp.exe only) -------------------------------------------------
//
// Minimal SMTP on 127.0.0.1 only: HELO/EHLO, MAIL FROM, RCPT TO, DATA, RSET, NOOP, QUIT;
// anything else is answered 500. A recipient is accepted only when the configuration store
// knows its domain and a user account with a mailbox field among the domain's accounts.
// Each accepted message is stored once per recipient, the way the suite lays out a mailbox:
//   <mailbox>\smtp-<time>-<process>-<n>.tmp          plain layout
//   <mailbox>\inbox\smtp-<time>-<process>-<n>.imap   IMAP layout
// written first as "<name>.part" and then renamed, so a reader never sees half a message.
// Connections are served one after the other; a client that stays silent is dropped after
// kSmtpIdleMs, so it cannot hold the receiver for ever.

constexpr std::uint16_t kDefaultSmtpPort = 25;
constexpr std::size_t kSmtpLineMax = 1000;              // command line, CR LF included
constexpr std::size_t kSmtpMessageMax = 10u * 1024 * 1024;
constexpr std::size_t kSmtpRecipientsMax = 100;
constexpr DWORD kSmtpIdleMs = 300000;
constexpr long kSmtpPollMs = 200;  // how soon a stop is noticed

std::string TrimSpaces(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// The address of "FROM:<a@b> SIZE=1" / "TO: <a@b>"; false when the path has no brackets and
// no bare address either.
bool ParsePath(const std::string& argument, std::string& address) {
  const std::string text = TrimSpaces(argument);
  if (!text.empty() && text[0] == '<') {
    const std::size_t close = text.find('>');
    if (close == std::string::npos) return false;
    address = TrimSpaces(text.substr(1, close - 1));
    return true;
  }
  address = text.substr(0, text.find(' '));
  return !address.empty();
}

struct TMailboxTarget {
  std::string Folder;  // ends in '\'
  std::string Extension;
};

// Where messages for the address go; an empty folder when it is no known user account's.
TMailboxTarget RecipientMailbox(const std::string& address) {
  const std::size_t at = address.rfind('@');
  if (at == std::string::npos || at == 0 || at + 1 == address.size()) return {};
  const std::string local = address.substr(0, at);
  if (local.find(';') != std::string::npos) return {};  // one alias, never a list
  int domainIndex = -1;
  if (!FindDomain(address.substr(at + 1), &domainIndex) || domainIndex < 0) return {};
  const int accountIndex = FindAccountIndex(domainIndex, local);
  if (accountIndex < 0) return {};
  TAccountList list;
  if (!OpenAccountList(GetDomainName(domainIndex), list, "", 0, 0)) return {};
  TMailboxTarget target;
  while (!NextAccount(list)) {
    if (list.Index != accountIndex) continue;
    const std::string mailbox = list.Account.Get(account::kMailboxPath);
    // Without a mailbox field the path would be the mail folder itself: no place to store.
    if (list.Account.Get(account::kType) == account::kUserAccount && !mailbox.empty()) {
      const bool imapLayout = list.Account.Get(account::kImapLayout) != 0;
      target = {GetMailboxPath(mailbox, imapLayout, "inbox"), imapLayout ? ".imap" : ".tmp"};
    }
    break;
  }
  CloseAccountList(list);
  return target;
}

class TSmtpReceiver {
 public:
  // False when the port of the configuration store cannot be held: a real server does not
  // start then. Without a configuration the receiver is only a convenience on port 25.
  bool Start() {
    std::uint16_t port = kDefaultSmtpPort;
    InitServerFoldersAt(folder);
    const bool configured = LoadServerSettings(true, false) && ServerSettings().Get(settings::kSmtpPort) != 0;
    if (configured) {
      port = ServerSettings().Get(settings::kSmtpPort);
    } else {
      LogEvent("smtp configuration not loaded from " + ConfigFolder() + ", using port 25");
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
      LogEvent("smtp winsock start failed");
      return !configured;
    }
    started_ = true;
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listener_ == INVALID_SOCKET || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, SOMAXCONN) != 0) {
      LogEvent("smtp listen on 127.0.0.1:" + std::to_string(port) + " failed " + std::to_string(WSAGetLastError()));
      if (listener_ != INVALID_SOCKET) closesocket(listener_);
      listener_ = INVALID_SOCKET;
      return !configured;
    }
    LogEvent("smtp listening on 127.0.0.1:" + std::to_string(port));
    thread_ = std::thread([this] { Serve(); });
    return true;
  }

  void Stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    listener_ = INVALID_SOCKET;
    if (started_) WSACleanup();
    started_ = false;
  }

 private:
  // One connection with its unread bytes.
  struct TSession {
    SOCKET socket = INVALID_SOCKET;
    std::string buffer;
    bool closed = false;
  };

  // Waits until the socket can be read; false on stop, time-out or error.
  bool WaitReadable(SOCKET socket, DWORD limitMs) const {
    const DWORD start = GetTickCount();
    while (!stopping_) {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(socket, &set);
      timeval wait{0, kSmtpPollMs * 1000};
      const int ready = select(0, &set, nullptr, nullptr, &wait);
      if (ready < 0) return false;
      if (ready > 0) return true;
      if (limitMs != INFINITE && GetTickCount() - start >= limitMs) return false;
    }
    return false;
  }

  void Serve() {
    while (WaitReadable(listener_, INFINITE)) {
      TSession session;
      session.socket = accept(listener_, nullptr, nullptr);
      if (session.socket == INVALID_SOCKET) continue;
      Converse(session);
      closesocket(session.socket);
    }
  }

  static bool Send(TSession& session, const std::string& reply) {
    const std::string text = reply + "\r\n";
    std::size_t sent = 0;
    while (sent < text.size()) {
      const int n = send(session.socket, text.data() + sent, static_cast<int>(text.size() - sent), 0);
      if (n <= 0) {
        session.closed = true;
        return false;
      }
      sent += static_cast<std::size_t>(n);
    }
    return true;
  }

  // One line without its LF (and CR). A line longer than limit is read to its end but
  // handed on empty with tooLong set, so a flood never grows the buffer past the limit.
  bool ReadLine(TSession& session, std::size_t limit, std::string& line, bool& tooLong) {
    tooLong = false;
    for (;;) {
      const std::size_t end = session.buffer.find('\n');
      if (end != std::string::npos) {
        if (end + 1 > limit) tooLong = true;
        line = tooLong ? std::string() : session.buffer.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        session.buffer.erase(0, end + 1);
        return true;
      }
      if (session.buffer.size() > limit) {
        tooLong = true;
        session.buffer.clear();
      }
      if (!WaitReadable(session.socket, kSmtpIdleMs)) {
        if (!stopping_) Send(session, "421 idle too long, closing");
        session.closed = true;
        return false;
      }
      char chunk[4096];
      const int n = recv(session.socket, chunk, sizeof chunk, 0);
      if (n <= 0) {
        session.closed = true;
        return false;
      }
      if (tooLong) {
        // Keep only what follows the end of the overlong line.
        const char* newline = static_cast<const char*>(std::memchr(chunk, '\n', static_cast<std::size_t>(n)));
        if (newline == nullptr) continue;
        session.buffer.assign(newline + 1, static_cast<std::size_t>(chunk + n - (newline + 1)));
        line.clear();
        return true;
      }
      session.buffer.append(chunk, static_cast<std::size_t>(n));
    }
  }

  void Converse(TSession& session) {
    std::string sender;
    bool haveSender = false;
    std::vector<TMailboxTarget> mailboxes;  // one per accepted recipient
    const auto reset = [&] {
      sender.clear();
      haveSender = false;
      mailboxes.clear();
    };
    if (!Send(session, "220 127.0.0.1 SMTP ready")) return;
    std::string line;
    bool tooLong = false;
    while (!session.closed && ReadLine(session, kSmtpLineMax, line, tooLong)) {
      if (tooLong) {
        Send(session, "500 line too long");
        continue;
      }
      const std::string verb = Lower(line.substr(0, line.find(' ')));
      const std::string argument = line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1);
      if (verb == "helo") {
        Send(session, "250 127.0.0.1");
      } else if (verb == "ehlo") {
        Send(session, "250-127.0.0.1\r\n250 SIZE " + std::to_string(kSmtpMessageMax));
      } else if (verb == "mail") {
        std::string address;
        if (haveSender) {
          Send(session, "503 sender already given");
        } else if (Lower(argument).rfind("from:", 0) != 0 || !ParsePath(argument.substr(5), address)) {
          Send(session, "501 syntax: MAIL FROM:<address>");
        } else {
          sender = address;
          haveSender = true;
          Send(session, "250 sender ok");
        }
      } else if (verb == "rcpt") {
        std::string address;
        if (!haveSender) {
          Send(session, "503 MAIL first");
        } else if (Lower(argument).rfind("to:", 0) != 0 || !ParsePath(argument.substr(3), address)) {
          Send(session, "501 syntax: RCPT TO:<address>");
        } else if (mailboxes.size() >= kSmtpRecipientsMax) {
          Send(session, "452 too many recipients");
        } else {
          const TMailboxTarget mailbox = RecipientMailbox(address);
          if (mailbox.Folder.empty()) {
            LogEvent("smtp recipient refused " + address);
            Send(session, "550 no such user here");
          } else {
            mailboxes.push_back(mailbox);
            Send(session, "250 recipient ok");
          }
        }
      } else if (verb == "data") {
        if (mailboxes.empty()) {
          Send(session, "503 RCPT first");
          continue;
        }
        if (!Send(session, "354 end with <CRLF>.<CRLF>")) return;
        std::string message;
        bool tooLarge = false;
        if (!ReceiveData(session, message, tooLarge)) return;
        if (tooLarge) {
          Send(session, "552 message too large");
        } else {
          bool stored = true;
          for (const TMailboxTarget& mailbox : mailboxes) stored = StoreMessage(mailbox, message) && stored;
          Send(session, stored ? "250 message stored" : "451 message not stored");
        }
        reset();
      } else if (verb == "rset") {
        reset();
        Send(session, "250 reset");
      } else if (verb == "noop") {
        Send(session, "250 ok");
      } else if (verb == "quit") {
        Send(session, "221 bye");
        return;
      } else {
        Send(session, "500 command not recognised");
      }
    }
  }

  // The message up to the line ".", dot-unstuffed, each line ending in CR LF. Beyond the
  // size bound the rest is still read (to find the end) but dropped. False when the
  // connection ended first.
  bool ReceiveData(TSession& session, std::string& message, bool& tooLarge) {
    std::string line;
    bool tooLong = false;
    while (ReadLine(session, kSmtpMessageMax + 2, line, tooLong)) {
      if (line == ".") return true;
      if (tooLarge || tooLong) {
        tooLarge = true;
        message.clear();
        continue;
      }
      if (!line.empty() && line[0] == '.') line.erase(0, 1);
      message += line;
      message += "\r\n";
      if (message.size() > kSmtpMessageMax) {
        tooLarge = true;
        message.clear();
      }
    }
    return false;
  }

  bool StoreMessage(const TMailboxTarget& target, const std::string& message) {
    const std::string& mailbox = target.Folder;
    ForceDirectories(mailbox);
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u%02u%02u%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    const std::string base = mailbox + "smtp-" + stamp + "-" + std::to_string(GetCurrentProcessId()) + "-";
    for (int attempt = 0; attempt < 1000; ++attempt) {
      const std::string name = base + std::to_string(++counter_);
      const std::string part = name + ".part";
      const std::string path = name + target.Extension;
      HANDLE file = CreateFileA(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_EXISTS) continue;
        break;
      }
      DWORD written = 0;
      const bool complete = WriteFile(file, message.data(), static_cast<DWORD>(message.size()), &written, nullptr) &&
                            written == message.size();
      CloseHandle(file);
      // MoveFileA refuses an existing target, so an older message is never replaced.
      if (complete && MoveFileA(part.c_str(), path.c_str())) {
        LogEvent("smtp message stored " + path);
        return true;
      }
      DeleteFileA(part.c_str());
      if (!complete) break;
    }
    LogEvent("smtp message not stored in " + mailbox + " " + std::to_string(GetLastError()));
    return false;
  }

  SOCKET listener_ = INVALID_SOCKET;
  bool started_ = false;
  std::atomic<bool> stopping_{false};
  unsigned counter_ = 0;
  std::thread thread_;
};

TSmtpReceiver smtpReceiver;

void StopServerWork();

// Where the protocol work of each role starts and stops. The pipe is common to all five;
// smtp.exe also receives mail.
// False when the server cannot do its work (smtp.exe cannot hold its configured port).
bool StartServerWork(const std::string& serviceName) {
  commandPipe.Start(serviceName);
  if (std::string(role->program) == "smtp" && !smtpReceiver.Start()) {
    StopServerWork();
    return false;
  }
  return true;
}
void StopServerWork() {
  smtpReceiver.Stop();
  commandPipe.Stop();
}

// ---- Service mode ------------------------------------------------------------------------

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;

void ReportStatus(DWORD state, DWORD exitCode = NO_ERROR, DWORD specificCode = 0) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWin32ExitCode = exitCode;
  status.dwServiceSpecificExitCode = specificCode;
  status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 60000;
  SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI ServiceControlHandler(DWORD control, DWORD, LPVOID, LPVOID) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      if (switches.ignoreStop) {
        LogEvent("stop ignored");
        return NO_ERROR;
      }
      ReportStatus(SERVICE_STOP_PENDING);
      if (switches.stopPending) {
        LogEvent("stop pending for ever");
        return NO_ERROR;
      }
      SetEvent(stopEvent);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD argc, LPSTR* argv) {
  // The name the manager started us under (a copy may be registered under another name).
  const std::string serviceName = argc > 0 && argv[0] != nullptr ? argv[0] : role->serviceName;
  statusHandle = RegisterServiceCtrlHandlerExA(serviceName.c_str(), ServiceControlHandler, nullptr);
  if (statusHandle == nullptr) return;
  ReportStatus(SERVICE_START_PENDING);
  if (switches.failStart) {
    LogEvent("service " + serviceName + " failed to start (test switch)");
    ReportStatus(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, 1);
    return;
  }
  if (switches.slowStart) {
    LogEvent("starting slowly (test switch)");
    Sleep(kSlowStartMs);
  }
  if (switches.startPending) {
    LogEvent("start pending for ever (test switch)");
    Sleep(INFINITE);
  }
  stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!StartServerWork(serviceName)) {
    LogEvent("service " + serviceName + " failed to start: its port is taken");
    ReportStatus(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, 2);
    return;
  }
  // Logged before the state is visible, so whoever sees "running" finds the line.
  LogEvent("service " + serviceName + " running");
  ReportStatus(SERVICE_RUNNING);
  WaitForSingleObject(stopEvent, INFINITE);
  if (switches.slowStop) {
    LogEvent("stopping slowly (test switch)");
    Sleep(kSlowStopMs);
  }
  StopServerWork();
  LogEvent("service " + serviceName + " stopped");
  ReportStatus(SERVICE_STOPPED);
}

int RunAsService() {
  SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(role->serviceName), ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) {
    LogEvent("service dispatcher failed " + std::to_string(GetLastError()));
    return 1;
  }
  return 0;
}

// ---- Tray mode ---------------------------------------------------------------------------

NOTIFYICONDATAA trayIcon{};

LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kServerCommandMessage:
      LogCommand("window", message, static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam));
      return 1;
    case WM_CLOSE:
      if (switches.ignoreStop) {
        LogEvent("close ignored");
        return 0;
      }
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      Shell_NotifyIconA(NIM_DELETE, &trayIcon);
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

int RunAsTrayProgram() {
  if (switches.failStart) {
    LogEvent("tray program failed to start (test switch)");
    return 1;
  }
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = TrayWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = role->windowClass;
  windowClass.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  RegisterClassA(&windowClass);
  if (!StartServerWork(role->serviceName)) {
    LogEvent("tray program failed to start: its port is taken");
    return 1;
  }
  // Logged before the window can be found, so whoever finds it finds the line.
  LogEvent("tray program running");
  HWND window = CreateWindowExA(0, role->windowClass, role->windowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) {
    LogEvent("window creation failed " + std::to_string(GetLastError()));
    StopServerWork();
    return 1;
  }
  // Without a display driver's tray the icon is simply not shown.
  trayIcon.cbSize = sizeof trayIcon;
  trayIcon.hWnd = window;
  trayIcon.uID = 1;
  trayIcon.uFlags = NIF_ICON | NIF_TIP;
  trayIcon.hIcon = windowClass.hIcon;
  lstrcpynA(trayIcon.szTip, role->windowTitle, sizeof trayIcon.szTip);
  Shell_NotifyIconA(NIM_ADD, &trayIcon);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  StopServerWork();
  LogEvent("tray program stopped");
  return 0;
}

bool HasArgument(int argc, char** argv, const char* wanted) {
  for (int i = 1; i < argc; ++i)
    if (lstrcmpiA(argv[i], wanted) == 0) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (!ResolveRole()) return 2;
  ReadSwitches();
  const bool asService = HasArgument(argc, argv, "/service") ||
                         (!HasArgument(argc, argv, "/systray") && ParentProcessName() == "services.exe");
  return asService ? RunAsService() : RunAsTrayProgram();
}
