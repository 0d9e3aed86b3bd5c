// The SMTP submission client: its pure rules in tables, the dialogue against scripted
// servers, and delivery through an independent SMTP server (aiosmtpd, started by the test
// list). The test list runs this program with TZ=UTC.
#include "tests/NetTestPeer.h"

#include <gtest/gtest.h>

#include <random>

#include "base/FileSystemUnit.h"
#include "net/NetSettings.h"
#include "net/SMTPClientUnit.h"

namespace {

using nettest::TPeerConnection;
using nettest::TScriptedServer;

struct TSmtpScript {
  std::string Greeting = "220 peer ready\r\n";
  std::string Mail = "250 sender ok\r\n";
  std::string Rcpt = "250 recipient ok\r\n";
  std::string Data = "354 go ahead\r\n";
  std::string Accepted = "250 queued\r\n";
};

// Plays a plain SMTP server with the replies given; everything the client sends is kept.
TScriptedServer::TScript SmtpServer(TSmtpScript script) {
  return [script](TPeerConnection& peer) {
    peer.Send(script.Greeting);
    for (;;) {
      const std::string line = peer.ReadLine();
      if (peer.ClientClosed() || line.empty()) return;
      if (line.rfind("HELO", 0) == 0) {
        peer.Send("250 hello\r\n");
      } else if (line.rfind("MAIL", 0) == 0) {
        peer.Send(script.Mail);
      } else if (line.rfind("RCPT", 0) == 0) {
        peer.Send(script.Rcpt);
      } else if (line == "DATA") {
        peer.Send(script.Data);
        if (script.Data.rfind("354", 0) != 0) continue;
        peer.ReadUntil("\r\n.\r\n", 20000);
        peer.Send(script.Accepted);
      } else if (line == "QUIT") {
        peer.Send("221 bye\r\n");
        return;
      } else {
        peer.Send("500 what\r\n");
      }
    }
  };
}

std::string UniqueToken() {
  static std::mt19937 generator{std::random_device{}()};
  return "t" + std::to_string(generator());
}

TEST(SmtpClientRules, EnvelopeSenderIsNormalised) {
  const struct {
    const char* from;
    const char* sender;
  } cases[] = {
      {"user@x.example", "<user@x.example>"},
      {"  user@x.example  ", "<user@x.example>"},
      {"", "<>"},
      {"Demo User <user@x.example>", "<user@x.example>"},
      {"<a@x> <b@y>", "<b@y>"},           // the last "<" wins
      {"Name < spaced@x >", "<spaced@x>"},
      {"Name <open@x", "<open@x>"},       // an unclosed bracket runs to the end
      {"odd>text", "odd>text"},           // only ">" : used as it stands
  };
  for (const auto& c : cases) EXPECT_EQ(NormalizeEnvelopeSender(c.from), c.sender) << c.from;
  EXPECT_EQ(NormalizeEnvelopeSender(std::string(300, 'a')).size(), 127u);
}

TEST(SmtpClientRules, RecipientItemsAreCounted) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitRecipients("a@x"), V{"a@x"});
  EXPECT_EQ(SplitRecipients("a@x;b@y"), (V{"a@x", "b@y"}));  // both, without a final ";"
  EXPECT_EQ(SplitRecipients(" a@x ; b@y ;"), (V{"a@x", "b@y"}));
  EXPECT_EQ(SplitRecipients("a@x;;b@y"), (V{"a@x", "b@y"}));
  EXPECT_EQ(SplitRecipients(""), V{""});
}

TEST(SmtpClientRules, BodyLinesStartingWithDotAreStuffed) {
  const struct {
    const char* body;
    const char* sent;
  } cases[] = {
      {"plain", "plain"},
      {".", ".."},
      {"a\r\n.\r\nb", "a\r\n..\r\nb"},
      {".hidden\r\n..two", "..hidden\r\n...two"},
      {"a\n.bare-lf", "a\n..bare-lf"},
      {"a.b\r\nc.", "a.b\r\nc."},
  };
  for (const auto& c : cases) EXPECT_EQ(DotStuff(c.body), c.sent) << c.body;
}

TEST(SmtpClientRules, ReplyBufferKeepsTheLastLine) {
  const struct {
    std::vector<std::string> pieces;
    bool complete;
    std::string text;
  } cases[] = {
      {{"220 ready\r\n"}, true, "220 ready"},
      {{"250-first\r\n250-second\r\n250 last\r\n"}, true, "250 last"},
      {{"250-fir", "st\r\n250 la", "st\r\n"}, true, "250 last"},
      {{"250-only continuation\r\n"}, false, ""},
      {{"220 no line end yet"}, false, "220 no line end yet"},
      {{"354 go\r"}, false, "354 go\r"},
      {{"25"}, false, "25"},
  };
  for (const auto& c : cases) {
    TSMTPReplyBuffer buffer;
    bool complete = false;
    for (const std::string& piece : c.pieces) complete = buffer.Append(piece.data(), piece.size());
    EXPECT_EQ(complete, c.complete) << c.text;
    EXPECT_EQ(buffer.Text(), c.text);
  }
  TSMTPReplyBuffer longReply;
  const std::string piece = "250 " + std::string(300, 'x');
  bool complete = false;
  for (int i = 0; i < 4 && !complete; ++i) complete = longReply.Append(piece.data(), piece.size());
  EXPECT_TRUE(complete);
  EXPECT_GE(longReply.Text().size(), kSMTPReplyMax);
  EXPECT_EQ(SMTPReplyCode(longReply.Text()), 250);

  // Endless continuation lines end the reply too.
  TSMTPReplyBuffer endless;
  const std::string line = "250-" + std::string(96, 'x') + "\r\n";
  std::size_t fed = 0;
  while (!endless.Append(line.data(), line.size()) && fed < 10 * kSMTPReplyTotalMax) fed += line.size();
  EXPECT_LT(fed, kSMTPReplyTotalMax);
}

TEST(SmtpClientRules, ReplyCodeIsThreeDigits) {
  EXPECT_EQ(SMTPReplyCode("250 ok"), 250);
  EXPECT_EQ(SMTPReplyCode("354"), 354);
  EXPECT_EQ(SMTPReplyCode("25"), 0);
  EXPECT_EQ(SMTPReplyCode("2x0 ok"), 0);
  EXPECT_EQ(SMTPReplyCode(" 250 ok"), 0);
  EXPECT_EQ(SMTPReplyCode(""), 0);
}

TEST(SmtpClientRules, ZoneTextForBias) {
  const struct {
    int bias;
    const char* text;
  } cases[] = {{0, "-0000"}, {-60, "+0100"}, {300, "-0500"}, {-330, "+0530"}, {570, "-0930"}, {-765, "+1245"}};
  for (const auto& c : cases) EXPECT_EQ(ZoneTextForBias(c.bias), c.text) << c.bias;
}

TEST(SmtpClientRules, MessageDateFormat) {
  netbackend::TLocalTime time;
  time.Year = 2026;
  time.Month = 12;
  time.Day = 7;
  time.DayOfWeek = 1;
  time.Hour = 9;
  time.Minute = 5;
  time.Second = 3;
  EXPECT_EQ(FormatMessageDateAt(time, "+0100", true), "Mon, 7 Dec 2026 09:05:03 +0100");
  EXPECT_EQ(FormatMessageDateAt(time, "+0100", false), "Mon, 7 Dec 2026 09:05:03");
  time.Month = 1;
  time.DayOfWeek = 0;
  time.Day = 31;
  EXPECT_EQ(FormatMessageDateAt(time, "-0000", true), "Sun, 31 Jan 2026 09:05:03 -0000");
}

TEST(SmtpClientRules, ZoneComesFromTheHostAndTheStartUpText) {
  // The test list runs this program with TZ=UTC, through the host's time-zone facts.
  EXPECT_EQ(GetTimeZoneText(), "-0000");
  const std::string date = FormatMessageDate(true);
  EXPECT_EQ(date.substr(date.size() - 6), " -0000");
  TNetSettings settings = GetNetSettings();
  settings.TimeZoneText = "+0200";
  SetNetSettings(settings);
  EXPECT_EQ(FormatMessageDate(true).substr(FormatMessageDate(true).size() - 5), "+0200");
  settings.TimeZoneText.clear();
  SetNetSettings(settings);
}

TEST(SmtpClientRules, ComposedMessage) {
  EXPECT_EQ(ComposeMailMessage("admin@x", "user@x", "", "Hello\r\n.", "Hi", "DATE"),
            "Date: DATE\r\nSubject: Hi\r\nFrom: user@x\r\nTo: admin@x\r\n\r\nHello\r\n..\r\n\r\n.\r\n");
  // A line break in a header value must not start a header (or the body) of its own.
  const std::string message = ComposeMailMessage("a@x", "b@x", "c@x", "body", "one\r\nBcc: z@x", "D");
  EXPECT_NE(message.find("Reply-To: c@x\r\n"), std::string::npos);
  EXPECT_EQ(message.find("\r\nBcc:"), std::string::npos);
}

TEST(SmtpClientDialogue, DeliversWithTheExactCommands) {
  TScriptedServer server(SmtpServer({}));
  EXPECT_TRUE(SendMailMessage("admin@x.example", "Demo <user@x.example>", "", "127.0.0.1", "Body",
                              "Subject", server.Port()));
  const auto transcripts = server.Transcripts();
  ASSERT_EQ(transcripts.size(), 1u);
  const std::string& t = transcripts[0];
  EXPECT_EQ(t.rfind("HELO localhost\r\nMAIL From:<user@x.example>\r\nRCPT To:admin@x.example\r\nDATA\r\nDate: ", 0),
            0u)
      << t;
  EXPECT_NE(t.find("\r\nFrom: Demo <user@x.example>\r\nTo: admin@x.example\r\n\r\nBody\r\n\r\n.\r\nQUIT\r\n"),
            std::string::npos)
      << t;
}

TEST(SmtpClientDialogue, GreetingCodesAndMultiLineReplies) {
  const struct {
    const char* greeting;
    bool sent;
  } cases[] = {
      {"220 ready\r\n", true},
      {"250 ready\r\n", true},  // some servers greet with 250
      {"220-first\r\n220-second\r\n220 last\r\n", true},
      {"554 go away\r\n", false},
      {"ready\r\n", false},
  };
  for (const auto& c : cases) {
    TSmtpScript script;
    script.Greeting = c.greeting;
    script.Mail = "250-ok\r\n250-still ok\r\n250 sender ok\r\n";
    TScriptedServer server(SmtpServer(script));
    EXPECT_EQ(SendMailMessage("a@x", "b@x", "", "127.0.0.1", "Body", "S", server.Port()), c.sent) << c.greeting;
    const auto transcripts = server.Transcripts();
    ASSERT_EQ(transcripts.size(), 1u);
    EXPECT_EQ(transcripts[0].find("HELO") != std::string::npos, c.sent) << c.greeting;
  }
}

TEST(SmtpClientDialogue, ReplyArrivingInPiecesIsReadWhole) {
  TScriptedServer server([](TPeerConnection& peer) {
    peer.Send("220-a long");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    peer.Send(" greeting\r\n22");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    peer.Send("0 done\r\n");
    peer.ReadLine();
    peer.Send("421 closing\r\n");
    peer.ReadToEnd(3000);
  });
  EXPECT_FALSE(SendMailMessage("a@x", "b@x", "", "127.0.0.1", "Body", "S", server.Port()));
  ASSERT_EQ(server.Transcripts().size(), 1u);
  // One HELO: the pieces made one reply, and the 421 ended the dialogue without QUIT.
  EXPECT_EQ(server.Transcripts()[0], "HELO localhost\r\n");
}

TEST(SmtpClientDialogue, RejectedRecipientStopsBeforeData) {
  TSmtpScript script;
  script.Rcpt = "550 no such user\r\n";
  TScriptedServer server(SmtpServer(script));
  EXPECT_FALSE(SendMailMessage("nobody@x", "b@x", "", "127.0.0.1", "Body", "S", server.Port()));
  const std::string t = server.Transcripts().at(0);
  EXPECT_NE(t.find("RCPT To:nobody@x\r\n"), std::string::npos);
  EXPECT_EQ(t.find("DATA"), std::string::npos);
  EXPECT_EQ(t.find("QUIT"), std::string::npos);
}

TEST(SmtpClientDialogue, EveryRecipientItemIsAddressed) {
  TScriptedServer server(SmtpServer({}));
  EXPECT_TRUE(SendMailMessage("a@x;b@y", "", "", "127.0.0.1", "Body", "S", server.Port()));
  const std::string t = server.Transcripts().at(0);
  EXPECT_NE(t.find("MAIL From:<>\r\nRCPT To:a@x\r\nRCPT To:b@y\r\nDATA\r\n"), std::string::npos) << t;
}

TEST(SmtpClientDialogue, DataNotAcceptedIsNotSent) {
  for (const char* data : {"451 try later\r\n", "250 but not 354\r\n"}) {
    TSmtpScript script;
    script.Data = data;
    TScriptedServer server(SmtpServer(script));
    EXPECT_FALSE(SendMailMessage("a@x", "b@x", "", "127.0.0.1", "Body", "S", server.Port())) << data;
  }
  TSmtpScript refused;
  refused.Accepted = "552 too big\r\n";
  TScriptedServer server(SmtpServer(refused));
  EXPECT_FALSE(SendMailMessage("a@x", "b@x", "", "127.0.0.1", "Body", "S", server.Port()));
  EXPECT_EQ(server.Transcripts().at(0).find("QUIT"), std::string::npos);
}

TEST(SmtpClientDialogue, LongMessageArrivesWhole) {
  // Longer than one block, so the block and piece splitting is crossed many times.
  std::string body;
  for (int i = 0; body.size() < 200000; ++i) body += "line " + std::to_string(i) + (i % 7 == 0 ? "\r\n.dot\r\n" : "\r\n");
  TScriptedServer server(SmtpServer({}));
  EXPECT_TRUE(SendMailMessage("a@x", "b@x", "", "127.0.0.1", body, "S", server.Port()));
  const std::string t = server.Transcripts().at(0);
  const std::string expected = "\r\n\r\n" + DotStuff(body) + "\r\n\r\n.\r\nQUIT\r\n";
  ASSERT_GE(t.size(), expected.size());
  EXPECT_EQ(t.substr(t.size() - expected.size()), expected);
}

TEST(SmtpClientDialogue, NothingListeningFailsAtOnce) {
  const auto start = std::chrono::steady_clock::now();
  TSMTPClientThread thread("127.0.0.1", "", "", "a@x", "b@x", nettest::ClosedPort(), "x\r\n.\r\n");
  thread.WaitFor();
  EXPECT_FALSE(thread.Connected());
  EXPECT_FALSE(thread.Sent());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_FALSE(SendMailMessage("a@x", "b@x", "", "127.0.0.1", "Body", "S", nettest::ClosedPort()));
  // Not an address, not a name: nothing to connect to.
  EXPECT_FALSE(SendMailMessage("a@x", "b@x", "", "127.0.0.300", "Body", "S", nettest::ClosedPort()));
}

TEST(SmtpClientDialogue, DeadlineAndCancelEndASlowPeer) {
  // Greets forever, one continuation line at a time, each well inside the reply wait.
  TScriptedServer endlessGreeting([](TPeerConnection& peer) {
    for (int i = 0; i < 100 && !peer.ClientClosed(); ++i) {
      peer.Send("220-still greeting\r\n");
      peer.ReadUntil("", 100);
    }
  });
  TScriptedServer silent([](TPeerConnection& peer) { peer.StaySilent(); });
  std::atomic<int> asked{0};
  auto begun = std::chrono::steady_clock::now();
  const TNetCancel cancelAfterThreeHundredMs = [&] {
    ++asked;
    return std::chrono::steady_clock::now() - begun >= std::chrono::milliseconds(300);
  };
  const struct {
    const char* name;
    std::uint16_t port;
    TNetDeadline deadline;
    TNetCancel cancelled;
    int endMs;
  } cases[] = {
      {"deadline", endlessGreeting.Port(), TNetDeadline::After(1000), TNetCancel(), 1000},
      {"cancel", silent.Port(), TNetDeadline(), cancelAfterThreeHundredMs, 300},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    begun = std::chrono::steady_clock::now();
    EXPECT_FALSE(SendMailMessage("a@x", "b@x", "", "127.0.0.1", "Body", "S", c.port, c.deadline, c.cancelled));
    const auto elapsed = std::chrono::steady_clock::now() - begun;
    EXPECT_GE(elapsed, std::chrono::milliseconds(c.endMs - 100));
    EXPECT_LT(elapsed, std::chrono::milliseconds(c.endMs + 1200));
  }
  EXPECT_GE(asked.load(), 2);  // polled while waiting, not once
}

TEST(SmtpClientDialogue, ConstructedUnderStoreLockZero) {
  static std::atomic<int> locks{0}, unlocks{0};
  TNetSettings settings = GetNetSettings();
  const TNetSettings saved = settings;
  settings.LockStore = [] { ++locks; };
  settings.UnlockStore = [] { ++unlocks; };
  SetNetSettings(settings);
  TScriptedServer server(SmtpServer({}));
  EXPECT_TRUE(SendMailMessage("a@x", "b@x", "", "127.0.0.1", "Body", "S", server.Port()));
  SetNetSettings(saved);
  EXPECT_EQ(locks.load(), 1);
  EXPECT_EQ(unlocks.load(), 1);
}

// The independent server's sink keeps each message as <subject letters and digits>.eml.
std::string ReceivedMessage(const std::string& subject) {
  const std::string path = nettest::PeerPath(nettest::NetPeer("MAIL_DIR") + "/" + subject + ".eml");
  for (int i = 0; i < 100 && !FileExists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return ReadWholeFile(path, false);
}

TEST(SmtpClientAgainstRealServer, MessageArrivesIntact) {
  REQUIRE_NET_PEERS();
  const auto port = static_cast<std::uint16_t>(std::stoi(nettest::NetPeer("SMTP_PORT")));
  const std::string subject = UniqueToken();
  const std::string body = "First line\r\n.\r\n.leading dot\r\nLast line";
  ASSERT_TRUE(SendMailMessage("admin@demo.example", "Demo User <user@demo.example>", "user@demo.example",
                              "127.0.0.1", body, subject, port));
  const std::string message = ReceivedMessage(subject);
  ASSERT_FALSE(message.empty());
  EXPECT_NE(message.find("X-Envelope-From: <user@demo.example>\r\n"), std::string::npos) << message;
  EXPECT_NE(message.find("X-Envelope-To: admin@demo.example\r\n"), std::string::npos) << message;
  EXPECT_NE(message.find("Reply-To: user@demo.example\r\n"), std::string::npos);
  // The server undid the dot-stuffing: the lone "." line is part of the body.
  EXPECT_NE(message.find("\r\n\r\n" + body + "\r\n\r\n"), std::string::npos) << message;
  const std::size_t date = message.find("Date: ");
  ASSERT_NE(date, std::string::npos);
  const std::string dateLine = message.substr(date, message.find("\r\n", date) - date);
  EXPECT_EQ(dateLine.substr(dateLine.size() - 6), " -0000") << dateLine;
}

}  // namespace
