#include "net/SMTPClientUnit.h"

#include <chrono>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

#include "base/StringUnit.h"
#include "net/CustomWinSocket.h"
#include "net/NetSettings.h"

namespace {

constexpr std::size_t kNameFieldMax = 127;
constexpr std::size_t kServerFieldMax = 255;

// A header value stays on its own line: a line break in a subject or address would end
// the header early or add headers of its own.
std::string HeaderValue(const std::string& value) {
  std::string line = value;
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  return line;
}

std::string Bracketed(const std::string& address) {
  std::string text(1, '<');
  text += address;
  text += '>';
  return text;
}

bool EndsWithLetter(const std::string& text) {
  if (text.empty()) return false;
  const char c = text.back();
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::string NormalizeEnvelopeSender(const std::string& from) {
  const std::size_t open = from.rfind('<');
  std::string sender;
  if (open != std::string::npos) {
    // Up to the first ">" after the last "<"; an unclosed bracket runs to the end.
    const std::size_t close = from.find('>', open);
    sender = Bracketed(TrimText(
        from.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1)));
  } else if (from.find('>') == std::string::npos) {
    sender = Bracketed(TrimText(from));
  } else {
    sender = from;
  }
  return sender.substr(0, kNameFieldMax);
}

std::vector<std::string> SplitRecipients(const std::string& to) {
  std::vector<std::string> items;
  const std::string list = TrimText(to);
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    const std::string item = TrimText(list.substr(start, end - start));
    if (!item.empty()) items.push_back(item);
    start = end + 1;
  }
  if (items.empty()) items.emplace_back();
  return items;
}

std::string DotStuff(const std::string& body) {
  std::string stuffed;
  stuffed.reserve(body.size() + 16);
  bool lineStart = true;
  for (const char c : body) {
    if (lineStart && c == '.') stuffed += '.';
    stuffed += c;
    lineStart = c == '\n';
  }
  return stuffed;
}

std::string ComposeMailMessage(const std::string& to, const std::string& from,
                               const std::string& replyTo, const std::string& body,
                               const std::string& subject, const std::string& date) {
  std::string message = "Date: " + HeaderValue(date) + "\r\n";
  message += "Subject: " + HeaderValue(subject) + "\r\n";
  message += "From: " + HeaderValue(from) + "\r\n";
  if (!replyTo.empty()) message += "Reply-To: " + HeaderValue(replyTo) + "\r\n";
  message += "To: " + HeaderValue(to) + "\r\n";
  message += "\r\n";
  message += DotStuff(body) + "\r\n\r\n.\r\n";
  return message;
}

bool TSMTPReplyBuffer::Append(const char* data, std::size_t length) {
  text_.append(data, length);
  total_ += length;
  std::size_t lineEnd;
  while ((lineEnd = text_.find("\r\n")) != std::string::npos && text_.size() > 3 && text_[3] == '-')
    text_.erase(0, lineEnd + 2);
  if (text_.size() >= 2 && text_.compare(text_.size() - 2, 2, "\r\n") == 0) {
    text_.resize(text_.size() - 2);
    return true;
  }
  return text_.size() >= kSMTPReplyMax || total_ >= kSMTPReplyTotalMax;
}

int SMTPReplyCode(const std::string& reply) {
  if (reply.size() < 3) return 0;
  int code = 0;
  for (int i = 0; i < 3; ++i) {
    if (reply[i] < '0' || reply[i] > '9') return 0;
    code = code * 10 + (reply[i] - '0');
  }
  return code;
}

std::string ZoneTextForBias(int biasMinutes) {
  const int magnitude = biasMinutes < 0 ? -biasMinutes : biasMinutes;
  char text[16];
  std::snprintf(text, sizeof text, "%c%02d%02d", biasMinutes < 0 ? '+' : '-', (magnitude / 60) % 100,
                magnitude % 60);
  return text;
}

std::string GetTimeZoneText() { return ZoneTextForBias(netbackend::LocalTimeZoneBias()); }

std::string FormatMessageDateAt(const netbackend::TLocalTime& time, const std::string& zone,
                                bool withZone) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* day = time.DayOfWeek >= 0 && time.DayOfWeek < 7 ? kDays[time.DayOfWeek] : "Sun";
  const char* month = time.Month >= 1 && time.Month <= 12 ? kMonths[time.Month - 1] : "Jan";
  char text[128];
  std::snprintf(text, sizeof text, "%s, %d %s %d %.2d:%.2d:%.2d %s", day, time.Day, month, time.Year,
                time.Hour, time.Minute, time.Second, zone.c_str());
  std::string date = text;
  if (!withZone) date.resize(date.rfind(' '));
  return date;
}

std::string FormatMessageDate(bool withZone) {
  std::string zone = GetNetSettings().TimeZoneText;
  if (zone.empty()) zone = GetTimeZoneText();
  return FormatMessageDateAt(netbackend::LocalTimeNow(), zone, withZone);
}

// Where the dialogue stands: what the next reply of the server answers.
enum class TSMTPState {
  Greeting,   // the server's greeting: HELO goes next
  Helo,       // the answer to HELO: MAIL From goes next
  Recipient,  // the answer to MAIL From or to a RCPT To before the last one
  LastRcpt,   // the answer to the last RCPT To: DATA goes next
  Data,       // the answer to DATA: the message goes next
  Message,    // the answer to the message: QUIT goes next, the message is sent
  Quit,       // the answer to QUIT: nothing more
};

struct TSMTPClientThread::TDialogue {
  std::string Address;
  std::string HostName;
  std::string GreetingName;
  std::string Sender;
  std::vector<std::string> Recipients;
  std::uint16_t Port = kSMTPPort;
  std::string Message;
  TNetDeadline Deadline;
  TSMTPState State = TSMTPState::Greeting;
  std::size_t RecipientCounter = 0;
  TSMTPReplyBuffer Reply;
  std::string LastReply;
  bool Sent = false;
  bool Connected = false;
  std::unique_ptr<TCustomWinSocket> Socket;
  std::atomic<bool> Terminated{false};
  // Set once the worker has finished with every field above.
  std::mutex Mutex;
  std::condition_variable Done;
  bool Finished = false;

  void Execute();
  void Run();
  bool ReadReply(int& code);
  void Act(int code);
  void SendText(const std::string& text);
  void SendCommand(const std::string& command) { SendText(command + "\r\n"); }
  void SendMessageText();
  void CloseAndTerminate();
  bool Running() const { return !Terminated && Socket != nullptr && Socket->Connected(); }
};

void TSMTPClientThread::TDialogue::CloseAndTerminate() {
  if (Socket != nullptr) Socket->Close();
  Terminated = true;
}

void TSMTPClientThread::TDialogue::Execute() {
  // Nothing may leave the thread: a failure is simply "not sent".
  try {
    Run();
  } catch (...) {
  }
  Reply.Clear();
  Socket.reset();
  std::lock_guard<std::mutex> hold(Mutex);
  Finished = true;
  Done.notify_all();
}

void TSMTPClientThread::TDialogue::Run() {
  Socket = std::make_unique<TCustomWinSocket>();
  Socket->Deadline = Deadline;
  try {
    Socket->Open(HostName, HostName.empty() ? Address : std::string(), Port);
    Connected = true;
  } catch (const ESocketError&) {
    Socket->Close();
    return;
  }
  while (Running()) {
    int code = 0;
    if (!ReadReply(code)) break;
    Act(code);
  }
}

bool TSMTPClientThread::TDialogue::ReadReply(int& code) {
  Reply.Clear();
  char buffer[255];
  // Each reply gets its own wait, the whole dialogue the deadline; the wait is cut in
  // slices so that a terminate request is seen.
  const TNetDeadline replyLimit = TNetDeadline::After(kSMTPReplyWaitMs);
  for (;;) {
    const int sliceMs = Deadline.RemainingMs(replyLimit.RemainingMs(kNetPollSliceMs));
    if (Terminated || sliceMs <= 0) {
      CloseAndTerminate();
      return false;
    }
    const int ready = netbackend::WaitReadable(Socket->Handle(), sliceMs);
    if (ready == 0) continue;
    const int got = ready == 1 ? Socket->ReceiveBuf(buffer, sizeof buffer) : 0;
    if (got <= 0) {
      CloseAndTerminate();
      return false;
    }
    if (Reply.Append(buffer, static_cast<std::size_t>(got))) break;
  }
  code = SMTPReplyCode(Reply.Text());
  LastReply = Reply.Text();
  return true;
}
void TSMTPClientThread::TDialogue::Act(int code) {
  switch (State) {
    case TSMTPState::Greeting:
      if (code != 220 && code != 250) break;
      SendCommand("HELO " + GreetingName);
      RecipientCounter = 0;
      State = TSMTPState::Helo;
      return;
    case TSMTPState::Helo:
      if (code != 220 && code != 250) break;
      SendCommand("MAIL From:" + Sender);
      RecipientCounter = 0;
      State = TSMTPState::Recipient;
      return;
    case TSMTPState::Recipient:
      if (code != 250) break;
      ++RecipientCounter;
      SendCommand("RCPT To:" + Recipients[RecipientCounter - 1]);
      State = RecipientCounter == Recipients.size() ? TSMTPState::LastRcpt : TSMTPState::Recipient;
      return;
    case TSMTPState::LastRcpt:
      if (code != 250) break;
      SendCommand("DATA");
      State = TSMTPState::Data;
      return;
    case TSMTPState::Data:
      if (code != 354) break;
      SendMessageText();
      State = TSMTPState::Message;
      return;
    case TSMTPState::Message:
      if (code != 250) break;
      SendCommand("QUIT");
      Sent = true;
      State = TSMTPState::Quit;
      return;
    default:
      break;
  }
  CloseAndTerminate();
}

void TSMTPClientThread::TDialogue::SendText(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size() && Running()) {
    const int sent = Socket->SendBuf(text.data() + done, static_cast<int>(text.size() - done));
    if (sent <= 0) {
      CloseAndTerminate();
      return;
    }
    done += static_cast<std::size_t>(sent);
  }
}

void TSMTPClientThread::TDialogue::SendMessageText() {
  // Taken off the front block by block, so a long message is not held twice.
  while (!Message.empty() && Running()) {
    const std::string block = Message.substr(0, kSMTPBlockSize);
    Message.erase(0, block.size());
    for (std::size_t piece = 0; piece < block.size() && Running(); piece += kSMTPPieceSize)
      SendText(block.substr(piece, kSMTPPieceSize));
  }
}

TSMTPClientThread::TSMTPClientThread(const std::string& address, const std::string& hostName,
                                     const std::string& greetingName, const std::string& to,
                                     const std::string& from, std::uint16_t port,
                                     const std::string& message, const TNetDeadline& deadline)
    : dialogue_(std::make_shared<TDialogue>()) {
  TDialogue& d = *dialogue_;
  d.Address = address.substr(0, kServerFieldMax);
  d.HostName = hostName.substr(0, kServerFieldMax);
  d.GreetingName = greetingName.empty() ? "localhost" : greetingName.substr(0, kNameFieldMax);
  d.Sender = NormalizeEnvelopeSender(from);
  d.Recipients = SplitRecipients(to);
  d.Port = port;
  d.Message = message;
  d.Deadline = deadline;
  // The worker holds the dialogue too, so it may outlive this object.
  std::shared_ptr<TDialogue> shared = dialogue_;
  thread_ = std::thread([shared] { shared->Execute(); });
}

TSMTPClientThread::~TSMTPClientThread() {
  Terminate();
  const bool finished = WaitFinished(2 * kNetPollSliceMs);
  if (!thread_.joinable()) return;
  if (finished)
    thread_.join();
  else
    thread_.detach();
}

void TSMTPClientThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

bool TSMTPClientThread::WaitFinished(int ms) {
  std::unique_lock<std::mutex> hold(dialogue_->Mutex);
  return dialogue_->Done.wait_for(hold, std::chrono::milliseconds(ms), [this] { return dialogue_->Finished; });
}

bool TSMTPClientThread::WaitFor(const TNetCancel& cancelled) {
  // The worker ends by the deadline on its own; the grace covers its last slice.
  int graceMs = 5 * kNetPollSliceMs;
  while (!WaitFinished(kNetPollSliceMs)) {
    if ((cancelled && cancelled()) || (dialogue_->Deadline.Passed() && (graceMs -= kNetPollSliceMs) <= 0)) {
      Terminate();
      return false;
    }
  }
  WaitFor();
  return true;
}

void TSMTPClientThread::Terminate() { dialogue_->Terminated = true; }

bool TSMTPClientThread::Sent() const {
  std::lock_guard<std::mutex> hold(dialogue_->Mutex);
  return dialogue_->Finished && dialogue_->Sent;
}

bool TSMTPClientThread::Connected() const {
  std::lock_guard<std::mutex> hold(dialogue_->Mutex);
  return dialogue_->Finished && dialogue_->Connected;
}

std::string TSMTPClientThread::LastReply() const {
  std::lock_guard<std::mutex> hold(dialogue_->Mutex);
  return dialogue_->Finished ? dialogue_->LastReply : std::string();
}

bool SendMailMessage(const std::string& to, const std::string& from, const std::string& replyTo,
                     const std::string& server, const std::string& body,
                     const std::string& subject, std::uint16_t port, const TNetDeadline& deadline,
                     const TNetCancel& cancelled) {
  std::unique_ptr<TSMTPClientThread> thread;
  try {
    const std::string message =
        ComposeMailMessage(to, from, replyTo, body, subject, FormatMessageDate(true));
    const bool isHostName = EndsWithLetter(server);
    TNetStoreLockGuard lock;
    thread = std::make_unique<TSMTPClientThread>(isHostName ? std::string() : server,
                                                 isHostName ? server : std::string(), std::string(),
                                                 to, from, port, message, deadline);
  } catch (...) {
    return false;
  }
  // Outside the try: what the caller's predicate throws (the program ending on a confirmed
  // Cancel, in tests) is the caller's, and the thread's deletion still ends the dialogue.
  return thread->WaitFor(cancelled) && thread->Sent();
}
