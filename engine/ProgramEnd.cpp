#include "engine/ProgramEnd.h"

#include "engine/InstallLog.h"

#include <cstdlib>
#include <utility>

namespace {
ProgramEndHandler& Handler() {
  static ProgramEndHandler handler;
  return handler;
}
}  // namespace

void EndProgram(int exitCode) {
  FinishInstallLog(exitCode);
  if (Handler()) Handler()(exitCode);
  // Immediate termination, as the setup always ends: no destructors, no rollback.
  std::_Exit(exitCode);
}

void SetProgramEndHandler(ProgramEndHandler handler) { Handler() = std::move(handler); }
