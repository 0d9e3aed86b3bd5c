// Exit codes of setup.exe, distinct per cause so that scripts can tell a failed installation
// from a good one (the README lists them). Every other end of the program is 0.
#pragma once

constexpr int kExitSuccess = 0;
// A fatal error box was shown (missing Setup.Dat, a required file that could not be placed).
constexpr int kExitFatalError = 1;
// Cancel was confirmed while the install sequence was running.
constexpr int kExitCancelledDuringInstall = 2;
// 3 is left out: it is what the C runtime gives a program that aborts.
// An unexpected error escaped the install sequence (or the uninstall, the first-run
// configuration or the start-up); it was logged and shown.
constexpr int kExitInstallException = 4;
// "restart": the server did not stop within 30 s, so nothing was started.
constexpr int kExitRestartTimedOut = 5;
// An unattended run's settings were refused (unknown name, a value that cannot be used):
// nothing was changed on the machine; the log and the console name the setting and why.
constexpr int kExitBadArguments = 6;
// An unattended installation went through, but servers it installed are not running (the
// warning that names them was answered): for a deployment that is no success. The wizard
// shows the same warning to its person and ends with 0.
constexpr int kExitServersNotRunning = 7;
