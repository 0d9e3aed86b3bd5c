// Every run of the setup ends through EndProgram: after a one-shot action, the finish
// actions, a confirmed Cancel or a fatal error box. In the product it ends the process at
// once (nothing is rolled back); tests replace the handler to observe "the program ended
// here, with this code" without dying.
#pragma once

#include <functional>

[[noreturn]] void EndProgram(int exitCode);

// What a test's handler throws to observe the end; jobs let it pass untouched.
struct TProgramEnded {
  int code;
};

using ProgramEndHandler = std::function<void(int exitCode)>;
// Told the exit code just before the program ends, after the log's last line (an unattended
// run prints its result line there). Empty: nobody is told.
void SetProgramEndNotice(std::function<void(int exitCode)> notice);

// The handler must not return (a test's handler throws an exception of its own).
// An empty handler restores the process exit.
void SetProgramEndHandler(ProgramEndHandler handler);
