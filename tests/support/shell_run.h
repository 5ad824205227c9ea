// Runs a shell command line from a test and keeps what it printed.
#pragma once

#include <string>

struct ShellRun {
  int code = -1;       // exit status, or -1 when a signal ended it
  std::string output;  // standard output, then whatever the command line sends with it
};

ShellRun run_shell(const std::string& command);
