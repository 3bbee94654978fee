// Runs the project's programs as a user would, without a shell, and collects what they
// print and their exit status. Every run has a deadline, so that a hang fails its test
// instead of stalling the suite. Where the tests run under an emulator (qemu-user), the
// programs are started through it too (PIXELRY_TEST_LAUNCHER, its words apart by spaces).
#ifndef PIXELRY_TESTS_RUNPROGRAM_H
#define PIXELRY_TESTS_RUNPROGRAM_H

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

namespace testing_support {

constexpr int kDeadlineSeconds = 60;

#ifdef _WIN32
const std::string kNullDevice = "NUL";
#else
const std::string kNullDevice = "/dev/null";
#endif

// The lines of a text, without their newlines.
inline std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

struct ProgramRun {
  std::string output;  // what the run's pipe received
  int status;          // exit status, or -1 when it did not exit normally (a crash, the deadline)
  std::vector<std::string> lines() const { return linesOf(output); }
  // The last line, or "" when the program printed none.
  std::string lastLine() const {
    const std::vector<std::string> all = lines();
    return all.empty() ? "" : all.back();
  }
};

// Standard error joins the output in order, or goes to the test's own.
enum class Errors { joined, apart };

struct Launch {
  std::string directory;  // where the program runs; empty: the test's own directory
  std::string input;      // the file on standard input; empty: the null device
  std::string output;     // the file standard output goes to instead of the pipe
  Errors errors = Errors::joined;
  // A limit on the program's address space in bytes (0: none); POSIX only.
  std::uint64_t addressSpace = 0;
  // "NAME=value" settings added to the program's environment; POSIX only.
  std::vector<std::string> environment;
  // The output is text: on Windows its CR LF line ends become LF, as elsewhere.
  bool text = true;
};

// The words that start program: the emulator's first, when the tests run under one.
inline std::vector<std::string> commandWords(const std::string& program,
                                             const std::vector<std::string>& arguments) {
  std::vector<std::string> words;
#ifdef PIXELRY_TEST_LAUNCHER
  const std::string launcher = PIXELRY_TEST_LAUNCHER;
  for (std::size_t start = 0, end; start <= launcher.size(); start = end + 1) {
    end = launcher.find(' ', start);
    if (end == std::string::npos) end = launcher.size();
    if (end > start) words.push_back(launcher.substr(start, end - start));
  }
#endif
  words.push_back(program);
  words.insert(words.end(), arguments.begin(), arguments.end());
  return words;
}

#ifdef _WIN32

inline std::wstring wide(const std::string& text) { return std::filesystem::u8path(text).wstring(); }

// One argument as the C runtime splits a command line: in quotes, with backslashes doubled
// before a quote.
inline std::wstring quotedArgument(const std::wstring& argument) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, L'\\');
  return quoted + L"\"";
}

inline HANDLE inheritable(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                             const Launch& launch = {}) {
  ProgramRun run{"", -1};
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  const HANDLE input =
      inheritable(launch.input.empty() ? kNullDevice : launch.input, GENERIC_READ, OPEN_EXISTING);
  const HANDLE output =
      launch.output.empty() ? writeEnd : inheritable(launch.output, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE errors = writeEnd;
  if (launch.errors == Errors::apart)
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(), &errors, 0,
                    TRUE, DUPLICATE_SAME_ACCESS);
  std::wstring command;
  for (const std::string& word : commandWords(program, arguments))
    command += (command.empty() ? L"" : L" ") + quotedArgument(wide(word));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = errors;
  PROCESS_INFORMATION process{};
  const std::wstring directory = launch.directory.empty() ? L"" : wide(launch.directory);
  const bool started =
      input != INVALID_HANDLE_VALUE && output != INVALID_HANDLE_VALUE &&
      CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                     directory.empty() ? nullptr : directory.c_str(), &startup, &process) != 0;
  // The child has its own copies.
  CloseHandle(writeEnd);
  if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
  if (output != writeEnd && output != INVALID_HANDLE_VALUE) CloseHandle(output);
  if (errors != writeEnd) CloseHandle(errors);
  if (!started) {
    CloseHandle(readEnd);
    return run;
  }
  // The pipe is read on a thread of its own, so that the deadline holds while it blocks.
  std::thread reader([&] {
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) run.output.append(chunk, got);
  });
  if (WaitForSingleObject(process.hProcess, kDeadlineSeconds * 1000) != WAIT_OBJECT_0)
    TerminateProcess(process.hProcess, 0xDEAD);
  WaitForSingleObject(process.hProcess, INFINITE);
  reader.join();
  DWORD code = 0;
  // Exception codes (0xC0000005 for an access violation) are crashes.
  if (GetExitCodeProcess(process.hProcess, &code) && code < 0xC0000000 && code != 0xDEAD)
    run.status = static_cast<int>(code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(readEnd);
  if (launch.text)
    for (std::size_t at; (at = run.output.find("\r\n")) != std::string::npos;) run.output.erase(at, 1);
  return run;
}

#else

// The environment of this process with the settings added (a setting replaces one of the
// same name), prepared before the fork so that the child only assigns a pointer.
inline std::vector<std::string> environmentWith(const std::vector<std::string>& settings) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    bool replaced = false;
    for (const std::string& setting : settings)
      replaced = replaced || text.compare(0, setting.find('=') + 1, setting, 0, setting.find('=') + 1) == 0;
    if (!replaced) entries.push_back(text);
  }
  entries.insert(entries.end(), settings.begin(), settings.end());
  return entries;
}

inline std::vector<char*> pointersTo(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  for (std::string& word : words) pointers.push_back(&word[0]);
  pointers.push_back(nullptr);
  return pointers;
}

inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                             const Launch& launch = {}) {
  ProgramRun run{"", -1};
  int channel[2];
  if (pipe(channel) != 0) return run;
  fcntl(channel[0], F_SETFD, FD_CLOEXEC);  // the program gets the write end as 1 or 2 only
  fcntl(channel[1], F_SETFD, FD_CLOEXEC);
  std::vector<std::string> words = commandWords(program, arguments);
  std::vector<std::string> environment = environmentWith(launch.environment);
  std::vector<char*> argv = pointersTo(words), envp = pointersTo(environment);
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    // Only async-signal-safe calls from here on: another thread may hold a lock.
    const int input = open(launch.input.empty() ? kNullDevice.c_str() : launch.input.c_str(), O_RDONLY);
    const int output =
        launch.output.empty() ? channel[1] : open(launch.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (input < 0 || output < 0 || dup2(input, 0) < 0 || dup2(output, 1) < 0) _exit(127);
    if (launch.errors == Errors::joined && dup2(channel[1], 2) < 0) _exit(127);
    if (!launch.directory.empty() && chdir(launch.directory.c_str()) != 0) _exit(127);
    if (launch.addressSpace != 0) {
      const rlimit limit{static_cast<rlim_t>(launch.addressSpace), static_cast<rlim_t>(launch.addressSpace)};
      setrlimit(RLIMIT_AS, &limit);
    }
    environ = envp.data();
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(channel[1]);
  if (child < 0) {
    close(channel[0]);
    return run;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kDeadlineSeconds);
  const auto late = [&] { return std::chrono::steady_clock::now() >= deadline; };
  pollfd readable{channel[0], POLLIN, 0};
  char chunk[4096];
  while (!late()) {
    const int ready = poll(&readable, 1, 1000);
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0 || !(readable.revents & (POLLIN | POLLHUP))) continue;
    const ssize_t got = read(channel[0], chunk, sizeof chunk);
    if (got <= 0) break;
    run.output.append(chunk, static_cast<std::size_t>(got));
  }
  close(channel[0]);
  // A program that closed its output may still be running: it has until the deadline.
  int status = 0;
  pid_t waited = 0;
  while ((waited = waitpid(child, &status, WNOHANG)) == 0 && !late())
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  if (waited == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return run;
  }
  if (waited == child && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}

#endif

#ifdef GLYPH_GUESS_PATH
// glyph_guess run in dir, where it looks for ideal_characters/ and writes out.bmp.
inline ProgramRun runGlyphGuess(const TempDir& dir, const std::vector<std::string>& arguments,
                                Launch launch = {}) {
  launch.directory = dir.path().u8string();
  return runProgram(GLYPH_GUESS_PATH, arguments, launch);
}
#endif

}  // namespace testing_support

#endif
