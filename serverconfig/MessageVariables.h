// The variables of a message text that the server fills in for its recipient: a welcome text
// written once by the administrator greets every new account by name.
//
// A variable is a name between two "%%" or between two "$$" (the two forms mean the same;
// letter case of the name is ignored):
//   recipient  the recipient's address                     john@example.com
//   alias      the recipient's first alias                 john
//   name       the recipient's full name (else the alias)  John Smith
//   domain     the recipient's domain                      example.com
//   sender     the sender's address, without "<" ">"       john@example.com
//   hostname   the server's host name                      mail.example.com
//   date       date and time as in a message header        Tue, 07 Dec 2026 10:05:00 +0100
//   shortdate  the date                                    2026-12-07
//   time       the time                                    10:05:00
// Anything else stays as it stands: an unknown name ("%%coupon%%"), a marker without its
// partner, or a marker pair around text that is no name ("100%% sure, 50%%").
// Portable.
#pragma once

#include <string>

struct TLocalMoment {
  int Year = 1980, Month = 1, Day = 1, Hour = 0, Minute = 0, Second = 0;
  int DayOfWeek = 2;        // 0 Sunday; 1 January 1980 was a Tuesday
  int BiasMinutes = 0;      // minutes to add to get UTC (positive west of Greenwich)
};
// The local time now, with the zone the host reports.
TLocalMoment LocalMomentNow();

struct TMessageContext {
  std::string Sender;     // as handed over, possibly in angle brackets
  std::string Alias;
  std::string FullName;
  std::string Domain;
  std::string HostName;
  TLocalMoment Time;
};

// True when the text holds a marker ("%%" or "$$") and so may name a variable.
bool HasMessageVariables(const std::string& text);
std::string ExpandMessageVariables(const std::string& text, const TMessageContext& context);

// The expansion of a whole file: every line expanded into a temporary file in tempFolder
// (named with the temporary-file prefix and a time stamp), which then replaces the file.
// False leaves the file as it was and no temporary file behind.
bool ExpandMessageFile(const std::string& path, const TMessageContext& context,
                       const std::string& tempFolder, const std::string& tempPrefix);
