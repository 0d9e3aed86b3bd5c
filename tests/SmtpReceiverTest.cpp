// The SMTP receiver of the smtp.exe stand-in, run for real under Wine as a tray program in a
// scratch installation folder whose configuration store is made with our serverconfig: what
// the setup's own SMTP client sends must land in the recipient's mailbox folder.
#include <winsock2.h>  // before windows.h, which ServicesTestSupport.h includes

#include "tests/ServicesTestSupport.h"

#include <algorithm>

#include "net/SMTPClientUnit.h"
#include "serverconfig/AccountStore.h"
#include "serverconfig/DomainTable.h"
#include "serverconfig/ServerStore.h"
#include "system/ServicesFuncUnit.h"
#include "tests/TestFolder.h"

namespace {

const std::string kStandInDir = WinePath(ZAREL_STANDIN_DIR) + "\\";

// A loopback port nobody listens on right now.
std::uint16_t FreeLoopbackPort() {
  SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int length = sizeof address;
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  closesocket(probe);
  return ntohs(address.sin_port);
}

TAccountRecord UserAccount(const std::string& aliases, const std::string& mailbox, bool imapLayout) {
  TAccountRecord record;
  record.Set(account::kAliases, aliases);
  record.Set(account::kAccountName, aliases.substr(0, aliases.find(';')));
  record.Set(account::kMailboxPath, mailbox);
  record.Set(account::kImapLayout, imapLayout ? 1 : 0);
  return record;
}

// File names (not paths) in folder matching pattern.
std::vector<std::string> FilesIn(const std::string& folder, const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + pattern).c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// Every file below folder, as paths relative to it.
void CollectFiles(const std::string& folder, const std::string& prefix, std::vector<std::string>& files) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      CollectFiles(folder + name + "\\", prefix + name + "\\", files);
    else
      files.push_back(prefix + name);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
}

struct TFindWindow {
  DWORD processId;
  HWND window;
};

BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM data) {
  auto* find = reinterpret_cast<TFindWindow*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  if (owner != find->processId || std::string(className) != "TSMTPForm") return TRUE;
  find->window = window;
  return FALSE;
}

HWND WindowOfProcess(DWORD processId) {
  TFindWindow find{processId, nullptr};
  EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&find));
  return find.window;
}

// A plain client for the dialogue cases the submission client never produces.
class TRawSmtp {
 public:
  explicit TRawSmtp(std::uint16_t port) {
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    DWORD wait = 10000;
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait), sizeof wait);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~TRawSmtp() { closesocket(socket_); }
  bool Connected() const { return connected_; }

  void Send(const std::string& text) { send(socket_, text.data(), static_cast<int>(text.size()), 0); }
  // The last line of the next reply (continuation lines skipped), without CR LF.
  std::string Reply() {
    for (;;) {
      std::string line;
      char c;
      while (recv(socket_, &c, 1, 0) == 1) {
        if (c == '\n') break;
        if (c != '\r') line += c;
      }
      if (line.size() < 4 || line[3] != '-') return line;
    }
  }
  std::string Ask(const std::string& command) {
    Send(command + "\r\n");
    return Reply().substr(0, 3);
  }
  // True when the server closed the connection.
  bool Closed() {
    char c;
    return recv(socket_, &c, 1, 0) == 0;
  }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  bool connected_ = false;
};

}  // namespace

class SmtpReceiverTest : public ::testing::Test {
 protected:
  TestFolder scratch;
  std::string installDir;  // with a space, as "C:\Program Files\Zarel\" has
  std::string mailDir;
  std::uint16_t port = 0;
  std::unique_ptr<TChildProcess> server;
  bool serviceTest = false;  // a ZarelSMTP service is removed afterwards, whatever failed

  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    installDir = scratch / "Zarel Mail\\";
    mailDir = installDir + "mail\\";
    ForceDirectories(installDir);
    ASSERT_TRUE(CopyFile(kStandInDir + "smtp.exe", installDir + "smtp.exe", false));
  }

  void TearDown() override {
    server.reset();
    if (serviceTest) DeleteServiceCompletely("ZarelSMTP");
    KillProcessByPath(installDir + "smtp.exe");
    ResetServerStore();
    WSACleanup();
  }

  // The store of the installation: example.com with anna (plain mailbox, alias "annie"),
  // carl (IMAP layout) and a user without a mailbox field; a second domain with nobody.
  void MakeConfiguration() {
    port = FreeLoopbackPort();
    ResetServerStore();
    InitServerFoldersAt(installDir);
    ForceDirectories(ConfigFolder());
    ServerSettings().Set(settings::kSmtpPort, port);
    ASSERT_TRUE(AddDomain("example.com"));
    ASSERT_TRUE(AddDomain("empty.example"));
    ASSERT_TRUE(SaveServerSettings());
    ASSERT_TRUE(RegisterDomain("example.com"));
    ASSERT_TRUE(RegisterDomain("empty.example"));
    ASSERT_TRUE(SaveAccount(0, UserAccount("anna;annie", "example.com\\anna\\", false), -1, false));
    ASSERT_TRUE(SaveAccount(0, UserAccount("carl", "example.com\\carl\\", true), -1, false));
    ASSERT_TRUE(SaveAccount(0, UserAccount("nobox", "", false), -1, false));
    ResetServerStore();
  }

  std::vector<std::string> Events() const { return ReadLines(installDir + "logs\\smtp-events.log"); }
  bool EventLogged(const std::string& part) const {
    const std::vector<std::string> lines = Events();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(part) != std::string::npos; });
  }

  void StartServer() {
    server = std::make_unique<TChildProcess>(installDir + "smtp.exe", "/systray");
    ASSERT_TRUE(server->Started());
    ASSERT_TRUE(WaitFor([&] { return EventLogged("tray program running"); }, 10000)) << ::testing::PrintToString(Events());
  }

  // WM_CLOSE as the setup sends it; the program must end and free its file.
  void CloseServer() {
    HWND window = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (window = WindowOfProcess(server->Id())) != nullptr; }, 10000));
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(server->Wait(10000), 0u);
    EXPECT_TRUE(EventLogged("tray program stopped"));
    EXPECT_TRUE(WaitFileFree(installDir + "smtp.exe", 5000));
    EXPECT_TRUE(DeleteFileA((installDir + "smtp.exe").c_str()));
  }

  std::vector<std::string> AllMailFiles() const {
    std::vector<std::string> files;
    CollectFiles(mailDir, "", files);
    std::sort(files.begin(), files.end());
    return files;
  }
};

TEST_F(SmtpReceiverTest, StoresWhatTheClientSendsInEachRecipientsMailboxAndRefusesStrangers) {
  MakeConfiguration();
  StartServer();
  ASSERT_TRUE(WaitFor([&] { return EventLogged("smtp listening on 127.0.0.1:" + std::to_string(port)); }, 5000))
      << ::testing::PrintToString(Events());

  // A lone "." line and lines that begin with dots travel dot-stuffed and must arrive as sent.
  const std::string body = "First line\r\n.\r\n.hidden start\r\n..two dots\r\nlast line";
  ASSERT_TRUE(SendMailMessage("anna@example.com", "Sender <sender@elsewhere.example>", "", "127.0.0.1", body,
                              "Receiver check", port));
  const std::string annaBox = mailDir + "example.com\\anna\\";
  const std::vector<std::string> annaFiles = FilesIn(annaBox, "*");
  ASSERT_EQ(annaFiles.size(), 1u) << ::testing::PrintToString(AllMailFiles());
  ASSERT_EQ(annaFiles[0].substr(annaFiles[0].size() - 4), ".tmp");
  const std::string stored = ReadWholeFile(annaBox + annaFiles[0], false);
  const std::size_t headEnd = stored.find("\r\n\r\n");
  ASSERT_NE(headEnd, std::string::npos) << stored;
  EXPECT_NE(stored.find("Subject: Receiver check\r\n"), std::string::npos) << stored;
  EXPECT_NE(stored.find("To: anna@example.com\r\n"), std::string::npos) << stored;
  EXPECT_EQ(stored.substr(headEnd + 4), body + "\r\n\r\n");
  EXPECT_TRUE(EventLogged("smtp message stored " + annaBox + annaFiles[0]));

  // Unknown account, unknown domain, a domain without that account, an account without a
  // mailbox field: refused at RCPT, so the client reports failure and nothing is stored.
  for (const char* stranger : {"nobody@example.com", "anna@unknown.example", "anna@empty.example",
                               "nobox@example.com"}) {
    EXPECT_FALSE(SendMailMessage(stranger, "sender@elsewhere.example", "", "127.0.0.1", "lost", "No", port))
        << stranger;
    EXPECT_TRUE(EventLogged("smtp recipient refused " + std::string(stranger))) << stranger;
  }
  EXPECT_EQ(AllMailFiles().size(), 1u) << ::testing::PrintToString(AllMailFiles());

  // Two recipients, one by an alias in other case: one copy each, the IMAP layout's in its
  // inbox folder. Anna's second message gets a name of its own.
  ASSERT_TRUE(SendMailMessage("Annie@Example.com;carl@example.com", "sender@elsewhere.example", "", "127.0.0.1",
                              "for both", "Both", port));
  EXPECT_EQ(FilesIn(annaBox, "*.tmp").size(), 2u);
  const std::string carlInbox = mailDir + "example.com\\carl\\inbox\\";
  const std::vector<std::string> carlFiles = FilesIn(carlInbox, "*");
  ASSERT_EQ(carlFiles.size(), 1u) << ::testing::PrintToString(AllMailFiles());
  EXPECT_EQ(carlFiles[0].substr(carlFiles[0].size() - 5), ".imap");
  const std::string carlMessage = ReadWholeFile(carlInbox + carlFiles[0], false);
  EXPECT_EQ(carlMessage.substr(carlMessage.find("\r\n\r\n") + 4), "for both\r\n\r\n");
  EXPECT_EQ(AllMailFiles().size(), 3u) << ::testing::PrintToString(AllMailFiles());

  CloseServer();
}

TEST_F(SmtpReceiverTest, DialogueOrderUnknownCommandsAndBoundedLines) {
  MakeConfiguration();
  StartServer();
  ASSERT_TRUE(WaitFor([&] { return EventLogged("smtp listening"); }, 5000)) << ::testing::PrintToString(Events());
  {
    TRawSmtp smtp(port);
    ASSERT_TRUE(smtp.Connected());
    EXPECT_EQ(smtp.Reply().substr(0, 3), "220");
    EXPECT_EQ(smtp.Ask("EHLO tester"), "250");
    EXPECT_EQ(smtp.Ask("VRFY anna"), "500");
    EXPECT_EQ(smtp.Ask(""), "500");
    EXPECT_EQ(smtp.Ask("RCPT TO:<anna@example.com>"), "503");  // no sender yet
    EXPECT_EQ(smtp.Ask("DATA"), "503");
    EXPECT_EQ(smtp.Ask("MAIL TO:<x@y>"), "501");
    EXPECT_EQ(smtp.Ask("MAIL FROM:<>"), "250");  // the null sender of bounces
    EXPECT_EQ(smtp.Ask("MAIL FROM:<a@b>"), "503");
    EXPECT_EQ(smtp.Ask("DATA"), "503");  // no recipient yet
    EXPECT_EQ(smtp.Ask("RCPT TO:<anna@example.com>"), "250");
    EXPECT_EQ(smtp.Ask("RSET"), "250");
    EXPECT_EQ(smtp.Ask("DATA"), "503");  // the reset dropped the recipient
    EXPECT_EQ(smtp.Ask("NOOP"), "250");
    // An overlong line is refused as a whole, and the line after it is read normally.
    EXPECT_EQ(smtp.Ask("NOOP " + std::string(3000, 'x')), "500");
    EXPECT_EQ(smtp.Ask("HELO tester"), "250");
    // A transaction given in one piece: the stored text is unstuffed up to the lone dot.
    smtp.Send("MAIL FROM:<a@b>\r\nRCPT TO:<anna@example.com>\r\nDATA\r\n");
    EXPECT_EQ(smtp.Reply().substr(0, 3), "250");
    EXPECT_EQ(smtp.Reply().substr(0, 3), "250");
    EXPECT_EQ(smtp.Reply().substr(0, 3), "354");
    smtp.Send("Subject: raw\r\n\r\n..x\r\n.\r\n");
    EXPECT_EQ(smtp.Reply().substr(0, 3), "250");
    // Beyond the size bound the message is read to its end and refused; the session goes on.
    EXPECT_EQ(smtp.Ask("MAIL FROM:<a@b>"), "250");
    EXPECT_EQ(smtp.Ask("RCPT TO:<anna@example.com>"), "250");
    EXPECT_EQ(smtp.Ask("DATA"), "354");
    std::string large;
    const std::string line = std::string(998, 'y') + "\r\n";
    while (large.size() <= 10u * 1024 * 1024) large += line;
    smtp.Send(large + ".\r\n");
    EXPECT_EQ(smtp.Reply().substr(0, 3), "552");
    EXPECT_EQ(smtp.Ask("NOOP"), "250");
    EXPECT_EQ(smtp.Ask("QUIT"), "221");
    EXPECT_TRUE(smtp.Closed());
  }
  const std::vector<std::string> files = FilesIn(mailDir + "example.com\\anna\\", "*");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(ReadWholeFile(mailDir + "example.com\\anna\\" + files[0], false), "Subject: raw\r\n\r\n.x\r\n");

  // A client that is still connected does not keep the program from closing.
  TRawSmtp idle(port);
  ASSERT_TRUE(idle.Connected());
  EXPECT_EQ(idle.Reply().substr(0, 3), "220");
  CloseServer();
}

TEST_F(SmtpReceiverTest, WithoutAConfigurationItFallsBackToPort25AndSaysSo) {
  StartServer();
  EXPECT_TRUE(WaitFor([&] { return EventLogged("smtp configuration not loaded"); }, 5000))
      << ::testing::PrintToString(Events());
  // Whether port 25 can be had depends on the machine; either outcome is logged.
  EXPECT_TRUE(WaitFor([&] { return EventLogged("127.0.0.1:25"); }, 5000)) << ::testing::PrintToString(Events());
  CloseServer();
}

// Another program holds the configured port: the server gives up at once and says why. Its
// command pipe is already being made when the port fails, and taking it down again must depend
// neither on how far that got nor on who else serves a pipe of that name (a connection to wake
// its own pipe thread may reach another program's instance): every start ends, none hangs.
TEST_F(SmtpReceiverTest, WhenItsPortIsTakenItEndsAtOnceEveryTime) {
  MakeConfiguration();
  const TKernelHandle otherInstance(CreateNamedPipeA("\\\\.\\pipe\\ZarelSMTP", PIPE_ACCESS_DUPLEX,
                                                     PIPE_TYPE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 512,
                                                     512, 0, nullptr));
  ASSERT_TRUE(otherInstance) << GetLastError();
  SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  constexpr int kStarts = 8;
  for (int start = 1; start <= kStarts; ++start) {
    const TChildProcess attempt(installDir + "smtp.exe", "/systray");
    ASSERT_TRUE(attempt.Started());
    EXPECT_EQ(attempt.Wait(10000), 1u) << "start " << start;
  }
  closesocket(holder);
  const std::vector<std::string> lines = Events();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "tray program failed to start: its port is taken"), kStarts)
      << ::testing::PrintToString(lines);
}

// As the installed suite runs it: a service of the Service Control Manager, stopped by it.
TEST_F(SmtpReceiverTest, AsAServiceItStoresTheMessageAndStopsCleanly) {
  serviceTest = true;
  DeleteServiceCompletely("ZarelSMTP");
  MakeConfiguration();
  {
    const TServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    const std::string path = "\"" + installDir + "smtp.exe\"";
    const TServiceHandle service(CreateServiceA(manager.Get(), "ZarelSMTP", "Zarel SMTP", SERVICE_ALL_ACCESS,
                                                SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                SERVICE_ERROR_IGNORE, path.c_str(), nullptr, nullptr, nullptr,
                                                nullptr, nullptr));
    ASSERT_TRUE(service) << GetLastError();
    ASSERT_TRUE(StartServiceA(service.Get(), 0, nullptr)) << GetLastError();
  }
  ASSERT_TRUE(WaitFor([] { return ServiceState("ZarelSMTP") == SERVICE_RUNNING; }, 10000));
  EXPECT_TRUE(EventLogged("service ZarelSMTP running"));
  EXPECT_TRUE(EventLogged("smtp listening on 127.0.0.1:" + std::to_string(port))) << ::testing::PrintToString(Events());

  EXPECT_TRUE(SendMailMessage("anna@example.com", "sender@elsewhere.example", "", "127.0.0.1", "from the service",
                              "Service", port));
  const std::vector<std::string> files = FilesIn(mailDir + "example.com\\anna\\", "*.tmp");
  ASSERT_EQ(files.size(), 1u) << ::testing::PrintToString(AllMailFiles());
  const std::string stored = ReadWholeFile(mailDir + "example.com\\anna\\" + files[0], false);
  EXPECT_EQ(stored.substr(stored.find("\r\n\r\n") + 4), "from the service\r\n\r\n");

  {
    const TServiceHandle service = OpenTestService("ZarelSMTP", SERVICE_ALL_ACCESS);
    SERVICE_STATUS status{};
    EXPECT_TRUE(ControlService(service.Get(), SERVICE_CONTROL_STOP, &status));
  }
  EXPECT_TRUE(WaitFor([] { return ServiceState("ZarelSMTP") == SERVICE_STOPPED; }, 10000));
  EXPECT_TRUE(EventLogged("service ZarelSMTP stopped"));
  EXPECT_TRUE(WaitFileFree(installDir + "smtp.exe", 5000));
}
