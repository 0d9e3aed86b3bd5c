// The command-line runs that end without the wizard: restart one server, uninstall, open the
// web mail or web administration address, open the logs folder, and any other first word
// (the configuration is loaded and nothing else happens). Each ends the program.
#pragma once

#include <string>

#include "app/CommandLine.h"

// "restart" with its kind word: a word that is not a whole decimal number restarts nothing (a
// guess could stop a server nobody asked for). Exit code 5 when the server did not stop in
// time, else 0.
[[noreturn]] void RunRestartCommand(const std::string& kindWord);

// The first-word commands; the server's folders and settings are loaded from the setup
// program's own folder first.
[[noreturn]] void RunFirstWordCommand(const TCommandLine& commandLine);
