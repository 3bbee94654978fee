// Runs a block in a child process, so that resource limits, signals and identities it
// takes on cannot reach the test, and a crash or a hang shows as an unfinished run. POSIX
// only (fork): elsewhere the header is empty, and the tests that use it skip.
#ifndef PIXELRY_TESTS_CHILD_H
#define PIXELRY_TESTS_CHILD_H

#include "support/Platform.h"

#ifdef PIXELRY_TESTS_POSIX

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace testing_support {

struct ChildRun {
  bool finished = false;  // the block returned and the child exited normally
  std::string report;     // what the block returned
};

// Runs body (returning a std::string) in a forked child, killed after deadlineSeconds.
template <class Body>
ChildRun inChild(Body&& body, int deadlineSeconds = 60) {
  ChildRun result;
  int channel[2];
  if (pipe(channel) != 0) return result;
  std::fflush(nullptr);  // what is buffered so far is printed once, not again by the child
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    const std::string report = body();
    for (std::size_t at = 0; at < report.size();) {
      const ssize_t put = write(channel[1], report.data() + at, report.size() - at);
      if (put <= 0) break;
      at += static_cast<std::size_t>(put);
    }
    _exit(0);
  }
  close(channel[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(deadlineSeconds);
  pollfd readable{channel[0], POLLIN, 0};
  char chunk[4096];
  while (std::chrono::steady_clock::now() < deadline && poll(&readable, 1, 1000) >= 0) {
    if (!(readable.revents & (POLLIN | POLLHUP))) continue;
    const ssize_t got = read(channel[0], chunk, sizeof chunk);
    if (got <= 0) break;
    result.report.append(chunk, static_cast<std::size_t>(got));
  }
  close(channel[0]);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  result.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return result;
}

}  // namespace testing_support

#endif
#endif
