#include "support/shell_run.h"

#include <sys/wait.h>

#include <cstdio>

ShellRun run_shell(const std::string& command) {
  ShellRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return run;
  }
  char buffer[65536];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    run.output.append(buffer, got);
  }
  const int status = ::pclose(pipe);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}
