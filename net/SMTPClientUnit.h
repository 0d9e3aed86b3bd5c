// Message submission: composes one plain message and hands it to an SMTP server over one
// TCP connection, on a worker thread the caller waits for. Used to prove a freshly started
// SMTP service with the demonstration message (composed by the engine). Portable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/NetBackend.h"
#include "net/NetDeadline.h"

constexpr std::uint16_t kSMTPPort = 25;
constexpr int kSMTPReplyWaitMs = 60000;
// A reply is cut here; its code is still read from the front.
constexpr std::size_t kSMTPReplyMax = 1000;
// Continuation lines are dropped as they come, so this bounds what one reply may take in all:
// a server that never ends its reply must not hold the caller forever.
constexpr std::size_t kSMTPReplyTotalMax = 65536;
constexpr std::size_t kSMTPBlockSize = 65536;
constexpr std::size_t kSMTPPieceSize = 2048;

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

// One SMTP dialogue on its own thread, started by the constructor. The caller waits with
// WaitFor, then reads the results and deletes the object. Every wait of the dialogue (the
// look-up, the connect, each reply, each send) ends by the deadline.
class TSMTPClientThread {
 public:
  TSMTPClientThread(const std::string& address, const std::string& hostName,
                    const std::string& greetingName, const std::string& to,
                    const std::string& from, std::uint16_t port, const std::string& message,
                    const TNetDeadline& deadline = TNetDeadline());
  // Terminates the dialogue; a worker still inside a look-up or a connect is left to end
  // by itself (by the deadline at the latest), so deleting never waits for the network.
  ~TSMTPClientThread();
  TSMTPClientThread(const TSMTPClientThread&) = delete;
  TSMTPClientThread& operator=(const TSMTPClientThread&) = delete;

  // Until the dialogue has ended.
  void WaitFor();
  // Asks cancelled between short waits; when it says stop, or the deadline has passed, the
  // dialogue is terminated and the result is false (not ended: nothing to read). An
  // exception from cancelled passes to the caller.
  bool WaitFor(const TNetCancel& cancelled);
  void Terminate();

  // Read after WaitFor; false and empty while the dialogue has not ended.
  bool Sent() const;
  bool Connected() const;
  std::string LastReply() const;

  struct TDialogue;  // shared by the object and its worker

 private:
  bool WaitFinished(int ms);

  std::shared_ptr<TDialogue> dialogue_;
  std::thread thread_;
};

// Composes and sends one message; true only when the server accepted the message data.
// A server text that ends with a letter is a host name, anything else a dotted address.
// The whole exchange ends by the deadline; cancelled (may be empty) is asked by the waiting
// thread between short waits and stops the exchange when it says so.
bool SendMailMessage(const std::string& to, const std::string& from, const std::string& replyTo,
                     const std::string& server, const std::string& body,
                     const std::string& subject, std::uint16_t port = kSMTPPort,
                     const TNetDeadline& deadline = TNetDeadline(),
                     const TNetCancel& cancelled = TNetCancel());
