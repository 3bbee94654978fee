// Runs a program through the shell and collects what it prints and its exit status.
#ifndef PIXELRY_TESTS_RUNPROGRAM_H
#define PIXELRY_TESTS_RUNPROGRAM_H

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

namespace testing_support {

struct ProgramRun {
  std::string output;
  int status;  // exit status, or -1 when the program did not exit normally
};

// Runs a shell command line and returns its standard output and exit status.
inline ProgramRun runCommand(const std::string& command) {
  ProgramRun run{"", -1};
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char chunk[4096];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) run.output.append(chunk, got);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// A path or argument quoted for the shell.
inline std::string shellQuoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The lines of a program's output, without their newlines.
inline std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

}  // namespace testing_support

#endif
