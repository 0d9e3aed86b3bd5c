#include "net/SMTPClientUnit.h"

#include <cstdio>
#include <memory>

#include "net/CustomWinSocket.h"
#include "net/NetSettings.h"
#include "texts/TextTable.h"

const char kDemonstrationAdminMailbox[] = "admin@demo.zarel.example";
const char kDemonstrationUserMailbox[] = "user@demo.zarel.example";

namespace {

constexpr std::size_t kNameFieldMax = 127;
constexpr std::size_t kServerFieldMax = 255;

std::string Trim(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

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
    sender = Bracketed(Trim(
        from.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1)));
  } else if (from.find('>') == std::string::npos) {
    sender = Bracketed(Trim(from));
  } else {
    sender = from;
  }
  return sender.substr(0, kNameFieldMax);
}

std::vector<std::string> SplitRecipients(const std::string& to) {
  std::vector<std::string> items;
  const std::string list = Trim(to);
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    const std::string item = Trim(list.substr(start, end - start));
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

TSMTPClientThread::TSMTPClientThread(const std::string& address, const std::string& hostName,
                                     const std::string& greetingName, const std::string& to,
                                     const std::string& from, std::uint16_t port,
                                     const std::string& message)
    : address_(address.substr(0, kServerFieldMax)),
      hostName_(hostName.substr(0, kServerFieldMax)),
      greetingName_(greetingName.empty() ? "localhost" : greetingName.substr(0, kNameFieldMax)),
      sender_(NormalizeEnvelopeSender(from)),
      recipients_(SplitRecipients(to)),
      port_(port),
      message_(message),
      thread_(&TSMTPClientThread::Execute, this) {}

TSMTPClientThread::~TSMTPClientThread() {
  Terminate();
  WaitFor();
}

void TSMTPClientThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

bool TSMTPClientThread::Running() const {
  return !terminated_ && socket_ != nullptr && socket_->Connected();
}

void TSMTPClientThread::CloseAndTerminate() {
  if (socket_ != nullptr) socket_->Close();
  terminated_ = true;
}

void TSMTPClientThread::Execute() {
  // Nothing may leave the thread: a failure is simply "not sent".
  try {
    Run();
  } catch (...) {
  }
  reply_.Clear();
  delete socket_;
  socket_ = nullptr;
}

void TSMTPClientThread::Run() {
  socket_ = new TCustomWinSocket();
  try {
    socket_->Open(hostName_, hostName_.empty() ? address_ : std::string(), port_);
    connected_ = true;
  } catch (const ESocketError&) {
    socket_->Close();
    return;
  }
  while (Running()) {
    int code = 0;
    if (!ReadReply(code)) break;
    Act(code);
  }
}

bool TSMTPClientThread::ReadReply(int& code) {
  reply_.Clear();
  char buffer[255];
  for (;;) {
    if (!socket_->WaitForData(kSMTPReplyWaitMs)) {
      CloseAndTerminate();
      return false;
    }
    const int got = socket_->ReceiveBuf(buffer, sizeof buffer);
    if (got <= 0) {
      CloseAndTerminate();
      return false;
    }
    if (reply_.Append(buffer, static_cast<std::size_t>(got))) break;
  }
  code = SMTPReplyCode(reply_.Text());
  lastReply_ = reply_.Text();
  return true;
}

void TSMTPClientThread::Act(int code) {
  switch (state_) {
    case 7:
      if (code != 220 && code != 250) break;
      SendCommand("HELO " + greetingName_);
      recipientCounter_ = 0;
      state_ = 0;
      return;
    case 0:
      if (code != 220 && code != 250) break;
      SendCommand("MAIL From:" + sender_);
      recipientCounter_ = 0;
      state_ = 1;
      return;
    case 1:
      if (code != 250) break;
      ++recipientCounter_;
      SendCommand("RCPT To:" + recipients_[recipientCounter_ - 1]);
      state_ = recipientCounter_ == recipients_.size() ? 2 : 1;
      return;
    case 2:
      if (code != 250) break;
      SendCommand("DATA");
      state_ = 3;
      return;
    case 3:
      if (code != 354) break;
      SendMessageText();
      state_ = 4;
      return;
    case 4:
      if (code != 250) break;
      SendCommand("QUIT");
      sent_ = true;
      state_ = 6;
      return;
    default:
      break;
  }
  CloseAndTerminate();
}

void TSMTPClientThread::SendText(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size() && Running()) {
    const int sent = socket_->SendBuf(text.data() + done, static_cast<int>(text.size() - done));
    if (sent <= 0) {
      CloseAndTerminate();
      return;
    }
    done += static_cast<std::size_t>(sent);
  }
}

void TSMTPClientThread::SendMessageText() {
  // Taken off the front block by block, so a long message is not held twice.
  while (!message_.empty() && Running()) {
    const std::string block = message_.substr(0, kSMTPBlockSize);
    message_.erase(0, block.size());
    for (std::size_t piece = 0; piece < block.size() && Running(); piece += kSMTPPieceSize)
      SendText(block.substr(piece, kSMTPPieceSize));
  }
}

bool SendMailMessage(const std::string& to, const std::string& from, const std::string& replyTo,
                     const std::string& server, const std::string& body,
                     const std::string& subject, std::uint16_t port) {
  try {
    const std::string message =
        ComposeMailMessage(to, from, replyTo, body, subject, FormatMessageDate(true));
    const bool isHostName = EndsWithLetter(server);
    std::unique_ptr<TSMTPClientThread> thread;
    {
      TNetStoreLockGuard lock;
      thread = std::make_unique<TSMTPClientThread>(isHostName ? std::string() : server,
                                                   isHostName ? server : std::string(),
                                                   std::string(), to, from, port, message);
    }
    thread->WaitFor();
    return thread->Sent();
  } catch (...) {
    return false;
  }
}

bool SendDemonstrationMessage() {
  return SendMailMessage(kDemonstrationAdminMailbox, kDemonstrationUserMailbox,
                         kDemonstrationUserMailbox, "127.0.0.1", cDemoMessage, cDemoMessageSubject,
                         GetNetSettings().SmtpPort);
}
