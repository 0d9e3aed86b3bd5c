// Message submission: composes one plain message and hands it to an SMTP server over one
// TCP connection, on a worker thread the caller waits for. Used to prove a freshly started
// SMTP service with the demonstration message. Portable.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "net/NetBackend.h"

constexpr std::uint16_t kSMTPPort = 25;
constexpr int kSMTPReplyWaitMs = 60000;
// A reply is cut here; its code is still read from the front.
constexpr std::size_t kSMTPReplyMax = 1000;
// Continuation lines are dropped as they come, so this bounds what one reply may take in all:
// a server that never ends its reply must not hold the caller forever.
constexpr std::size_t kSMTPReplyTotalMax = 65536;
constexpr std::size_t kSMTPBlockSize = 65536;
constexpr std::size_t kSMTPPieceSize = 2048;

// The demonstration domain's mailboxes (installation data).
extern const char kDemonstrationAdminMailbox[];
extern const char kDemonstrationUserMailbox[];

// "<" + address + ">" out of a From text ("Name <a@b>", "a@b", ""); see the .cpp for the rules.
std::string NormalizeEnvelopeSender(const std::string& from);
// The recipient items of a ";"-separated list, trimmed, empty ones left out; at least one item.
std::vector<std::string> SplitRecipients(const std::string& to);
// SMTP transparency: a body line that starts with "." gets one more in front.
std::string DotStuff(const std::string& body);
// The complete message text, ending in CR LF "." CR LF.
std::string ComposeMailMessage(const std::string& to, const std::string& from,
                               const std::string& replyTo, const std::string& body,
                               const std::string& subject, const std::string& date);

// Collects one server reply from received pieces: continuation lines ("250-...") are
// dropped as they complete, so the reply left is its last line.
class TSMTPReplyBuffer {
 public:
  void Clear() {
    text_.clear();
    total_ = 0;
  }
  // True when the reply is complete (its last line ended, or the cap was reached).
  bool Append(const char* data, std::size_t length);
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  std::size_t total_ = 0;
};

// The number in the first three characters, 0 when they are not three digits.
int SMTPReplyCode(const std::string& reply);

// Sign and four digits from a bias in minutes west of UTC (UTC gives "-0000").
std::string ZoneTextForBias(int biasMinutes);
std::string GetTimeZoneText();
// "Sun, 7 Dec 2026 09:05:03 +0100"; without the zone the text ends at the seconds.
std::string FormatMessageDateAt(const netbackend::TLocalTime& time, const std::string& zone,
                                bool withZone);
std::string FormatMessageDate(bool withZone);

class TCustomWinSocket;

// One SMTP dialogue on its own thread, started by the constructor. The caller waits with
// WaitFor, then reads the results and deletes the object.
class TSMTPClientThread {
 public:
  TSMTPClientThread(const std::string& address, const std::string& hostName,
                    const std::string& greetingName, const std::string& to,
                    const std::string& from, std::uint16_t port, const std::string& message);
  ~TSMTPClientThread();
  TSMTPClientThread(const TSMTPClientThread&) = delete;
  TSMTPClientThread& operator=(const TSMTPClientThread&) = delete;

  void WaitFor();
  void Terminate() { terminated_ = true; }

  // Read after WaitFor.
  bool Sent() const { return sent_; }
  bool Connected() const { return connected_; }
  const std::string& LastReply() const { return lastReply_; }

 private:
  void Execute();
  void Run();
  bool ReadReply(int& code);
  void Act(int code);
  void SendText(const std::string& text);
  void SendCommand(const std::string& command) { SendText(command + "\r\n"); }
  void SendMessageText();
  void CloseAndTerminate();
  bool Running() const;

  std::string address_;
  std::string hostName_;
  std::string greetingName_;
  std::string sender_;
  std::vector<std::string> recipients_;
  std::uint16_t port_;
  std::string message_;
  int state_ = 7;
  std::size_t recipientCounter_ = 0;
  TSMTPReplyBuffer reply_;
  std::string lastReply_;
  bool sent_ = false;
  bool connected_ = false;
  TCustomWinSocket* socket_ = nullptr;
  std::atomic<bool> terminated_{false};
  std::thread thread_;  // last: starts once every field above is set
};

// Composes and sends one message; true only when the server accepted the message data.
// A server text that ends with a letter is a host name, anything else a dotted address.
bool SendMailMessage(const std::string& to, const std::string& from, const std::string& replyTo,
                     const std::string& server, const std::string& body,
                     const std::string& subject, std::uint16_t port = kSMTPPort);

// The demonstration message from the demonstration domain's user to its administrator,
// through the local SMTP service. The result only tells the tests.
bool SendDemonstrationMessage();
