// Runs the project's programs as a user would, and collects what they print and their exit
// status. Every run has a deadline, so that a hang fails its test instead of stalling the
// suite.
#ifndef PIXELRY_TESTS_RUNPROGRAM_H
#define PIXELRY_TESTS_RUNPROGRAM_H

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace testing_support {

constexpr int kDeadlineSeconds = 60;

// The lines of a text, without their newlines.
inline std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

// A path or argument quoted for the shell.
inline std::string shellQuoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

struct ProgramRun {
  std::string output;  // standard output, and standard error unless kept apart
  int status;          // exit status, or -1 when killed (a crash or the deadline)
  std::vector<std::string> lines() const { return linesOf(output); }
};

// Standard error joins the output in order, or goes to the test's own.
enum class Errors { joined, apart };

// Runs program with the arguments in directory (the current one when empty), after the
// shell words in before (e.g. "ulimit -v 1024 && ").
inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                             const std::string& directory = "", const std::string& before = "",
                             Errors errors = Errors::joined) {
  std::string command = directory.empty() ? "" : "cd " + shellQuoted(directory) + " && ";
  command += before + "timeout -s KILL " + std::to_string(kDeadlineSeconds) + " " + shellQuoted(program);
  for (const std::string& argument : arguments) command += " " + shellQuoted(argument);
  ProgramRun run{"", -1};
  std::FILE* pipe = popen((command + (errors == Errors::joined ? " 2>&1" : "")).c_str(), "r");
  if (!pipe) return run;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.output.append(chunk, got);
  const int status = pclose(pipe);
  // The shell reports a program killed by a signal as 128 + the signal.
  if (WIFEXITED(status) && WEXITSTATUS(status) < 128) run.status = WEXITSTATUS(status);
  return run;
}

#ifdef GLYPH_GUESS_PATH
// glyph_guess run in dir, where it looks for ideal_characters/ and writes out.bmp.
inline ProgramRun runGlyphGuess(const TempDir& dir, const std::vector<std::string>& arguments,
                                const std::string& before = "", Errors errors = Errors::joined) {
  return runProgram(GLYPH_GUESS_PATH, arguments, dir.path().string(), before, errors);
}
#endif

}  // namespace testing_support

#endif
