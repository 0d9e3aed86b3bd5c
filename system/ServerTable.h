// The suite's servers: service names, program files, the texts of their services and the
// window class and title by which a tray program is found.
//
// ServerKind 0..4 are the five servers; 6 (web mail) and the aliases 8 (= 1) and 10 (= 2,
// without a program file) exist for the shared service functions only.
#pragma once

#include <string>

struct TServerInfo {
  const char* serviceName;
  const char* programFile;  // empty for kind 10
  const char* displayName;  // empty where no service is ever created
  const char* description;
  const char* windowClass;
  const char* windowTitle;
};

constexpr int kSmtpServer = 0;
constexpr int kPop3Server = 1;
constexpr int kControlServer = 2;
constexpr int kIMServer = 3;
constexpr int kGroupWareServer = 4;
constexpr int kWebMailServer = 6;

// The table row of a kind, null for a kind that names no server.
const TServerInfo* FindServerInfo(int kind);

// True on the NT family (servers are services), false on 9x (servers are tray programs).
// Decided once from the Windows version: the Service Control Manager may answer even where
// the version says 9x, so asking it would decide wrongly.
bool IsNTPlatform();
