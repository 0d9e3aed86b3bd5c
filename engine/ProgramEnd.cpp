#include "engine/ProgramEnd.h"

#include "engine/InstallLog.h"

#include <cstdlib>
#include <utility>

namespace {
ProgramEndHandler& Handler() {
  static ProgramEndHandler handler;
  return handler;
}
std::function<void(int)>& Notice() {
  static std::function<void(int)> notice;
  return notice;
}
}  // namespace

void EndProgram(int exitCode) {
  FinishInstallLog(exitCode);
  if (Notice()) Notice()(exitCode);
  if (Handler()) Handler()(exitCode);
  // Immediate termination, as the setup always ends: no destructors, no rollback.
  std::_Exit(exitCode);
}

void SetProgramEndNotice(std::function<void(int)> notice) { Notice() = std::move(notice); }

void SetProgramEndHandler(ProgramEndHandler handler) { Handler() = std::move(handler); }
