// Finding, querying, starting, stopping and restarting the suite's servers, and delivering
// numbered commands to them; shared by the wizard, the install engine and the one-shot
// "restart" command. Nothing here shows anything: a failed call leaves the server as it was.
//
// On the NT family a server is a Windows service; on 9x it is a tray program found by its
// window class and title (IsNTPlatform decides).
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "base/HandleTypes.h"

// The private command message of the servers; the first parameter selects the action.
constexpr std::uint32_t kServerCommandMessage = 0x500;

HWND FindServerWindow(int kind);
std::string GetServerServiceName(int kind);
std::string GetServerExeName(int kind);

// Always false off NT.
bool IsServiceInstalled(const std::string& serviceName);
bool IsServiceInState(const std::string& serviceName, DWORD state);
// On NT the service's state, else (and on 9x only) whether the tray window exists.
bool IsServerInState(int kind, DWORD state);

// ServerFolder() + the kind's program file; empty when the kind has no program file.
std::string InstalledServerProgram(int kind);

// Ends by force the processes running the kind's installed program (full path compared,
// letter case ignored); a program of the same name elsewhere is left alone.
bool ForceEndServer(int kind);

// Sends the tray program's window WM_CLOSE; with wait, polls until the window is gone or
// 10 s have passed (a program that will not close is left running).
void CloseTrayProgram(int kind, bool wait);
// Launches the installed program through the shell, shown normally, from the installation
// folder, when the file exists; with wait, polls until its window shows or 10 s have passed.
void LaunchTrayProgram(int kind, const std::string& parameters, bool wait);

void SetServerRunning(int kind, bool start, bool wait);

// Stops the service; with wait, polls until it has stopped or 10 s have passed and then ends
// the kind's installed program by force. Gives the Win32 code of a failed call (manager not
// opened, stop control refused); a service that is not installed is no failure.
DWORD StopNamedService(const std::string& serviceName, int kind, bool wait);
// Ends by force the kind's installed program for a service that is still start-pending after
// the servers' deadline: such a service accepts no stop control. Its failure actions are
// suspended meanwhile, as after a stop that timed out.
void EndHungStartByForce(const std::string& serviceName, int kind);
// Starts the service; with wait, polls until it runs or 10 s have passed. Gives the Win32
// code of a failed call (manager or service not opened, start refused).
DWORD StartNamedService(const std::string& serviceName, bool wait);

// Stops and restarts one server; before the start it waits for the installed program file to
// come free. False when the server did not stop within 30 s: then nothing was started.
bool RestartServer(int kind);
// The kind named by a "restart" word; false when the word is not a whole decimal number.
bool ParseServerKindWord(const std::string& word, int& kind);

// The window's reply, 0 when there is no window.
LRESULT SendServerWindowMessage(int kind, std::uint32_t message, std::uint32_t first, std::uint32_t second);
// True when the command was delivered: on NT through the running service's pipe, off NT as
// the window message to the tray program's window (false when there is no such window).
bool SendServerCommand(int kind, std::uint32_t message, std::uint32_t first, std::uint32_t second);

// Waits until the existing file can be opened exclusively, trying every 16 ms; a time-out
// of 0 means 20 s. False at once when the file does not exist, false at the deadline.
bool WaitFileFree(const std::string& path, std::uint32_t timeoutMs = 0);

// Client end of a server's command pipe. Waiting for a busy pipe is serialised process-wide.
class TPipeClient {
 public:
  // Connects to \\.\pipe\<name>; false when no instance could be opened.
  bool Connect(const std::string& pipeName);
  bool Connected() const { return static_cast<bool>(pipe_); }
  // Writes every byte, repeating partial writes; false on the first failed write.
  bool Write(const void* data, std::size_t size);

 private:
  TKernelHandle pipe_;
};

// The 20-byte command a server's pipe reads (little-endian): code 0x1000 (window-message
// command, no reply), message number, two parameters, reserved 0.
struct TServerPipeCommand {
  std::uint32_t code;
  std::uint32_t message;
  std::uint32_t first;
  std::uint32_t second;
  std::uint32_t reserved;
};
static_assert(sizeof(TServerPipeCommand) == 20, "the servers read exactly 20 bytes");
constexpr std::uint32_t kWindowMessageCommand = 0x1000;
