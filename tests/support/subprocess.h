#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace trivane::testing {

// How the child's standard output looks to it: a plain pipe, or the journal's
// stream as a service manager announces it (JOURNAL_STREAM names the pipe).
enum class ChildOutput { kPipe, kJournal };

// A child program with its standard output on a pipe, read with time limits so
// a test can never hang on it. The child is killed if the test forgets it.
class Subprocess {
 public:
  explicit Subprocess(std::vector<std::string> arguments, ChildOutput output = ChildOutput::kPipe) {
    int pipe_fds[2];
    // Close-on-exec: a second child must not hold the first one's output open.
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) return;
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
      if (std::string_view(*variable).starts_with("JOURNAL_STREAM=")) continue;
      environment.emplace_back(*variable);
    }
    struct stat pipe_status {};
    if (output == ChildOutput::kJournal && fstat(pipe_fds[1], &pipe_status) == 0) {
      environment.push_back("JOURNAL_STREAM=" + std::to_string(pipe_status.st_dev) + ":" +
                            std::to_string(pipe_status.st_ino));
    }
    std::vector<char*> envp;
    for (auto& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    // Whatever the test runner blocked or ignored, the child starts as a
    // service manager would start it: no signal blocked, stop signals default.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    for (const int stop : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&stop_signals, stop);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &stop_signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data()) != 0) {
      pid_ = -1;
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    out_fd_ = pipe_fds[0];
  }

  ~Subprocess() {
    if (pid_ > 0 && !exit_status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_fd_ >= 0) close(out_fd_);
  }

  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  void Signal(int signal_number) const {
    if (!exit_status_) kill(pid_, signal_number);
  }

  // Reads output until a line contains needle; gives the line, or nothing when
  // the time is up or the output ends.
  std::optional<std::string> WaitForLine(const std::string& needle,
                                         std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
      for (auto end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        lines_.push_back(line);
        if (line.find(needle) != std::string::npos) return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          until - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) return std::nullopt;
    }
  }

  // Takes in the lines the child writes during the period.
  void Drain(std::chrono::milliseconds period) {
    const auto until = std::chrono::steady_clock::now() + period;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          until - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) break;
    }
    for (auto end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
      lines_.push_back(pending_.substr(0, end));
      pending_.erase(0, end + 1);
    }
  }

  // Waits for the child to end; its exit code, or nothing after the limit.
  std::optional<int> WaitForExit(std::chrono::milliseconds limit) {
    if (exit_status_) return exit_status_;
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return exit_status_;
      }
      usleep(10'000);
    }
    ReportStuck();
    return std::nullopt;
  }

  // Everything the child wrote until it closed its output (after it exited).
  std::string RemainingOutput() {
    while (ReadSome(1000)) {
    }
    return pending_;
  }

  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  // A child that does not end is a fault to chase down, often one that does
  // not show up again: put its threads' stacks in the test's output while it
  // is still stuck.
  void ReportStuck() const {
    std::fprintf(stderr, "child %d did not exit in time; steady clock at %lld ns\n",
                 static_cast<int>(pid_),
                 static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                            std::chrono::steady_clock::now().time_since_epoch())
                                            .count()));
    // Which signals it has pending, blocked, ignored and caught.
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.starts_with("Sig") || line.starts_with("ShdPnd") || line.starts_with("State")) {
        std::fprintf(stderr, "%s\n", line.c_str());
      }
    }
    if (access(kDebugger, X_OK) != 0) return;
    const std::string attach = std::to_string(pid_);
    std::vector<std::string> arguments{
        "/usr/bin/timeout",        "30", kDebugger, "-p", attach, "-batch", "-ex",
        "thread apply all bt full"};
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    pid_t debugger = -1;
    if (posix_spawn(&debugger, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
      waitpid(debugger, nullptr, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
  }

  static constexpr const char* kDebugger = "/usr/bin/gdb";

  bool ReadSome(int timeout_ms) {
    pollfd poller{out_fd_, POLLIN, 0};
    if (poll(&poller, 1, timeout_ms) <= 0) return false;
    char buffer[4096];
    const auto n = read(out_fd_, buffer, sizeof buffer);
    if (n <= 0) return false;
    pending_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int out_fd_ = -1;
  std::optional<int> exit_status_;
  std::string pending_;
  std::vector<std::string> lines_;
};

}  // namespace trivane::testing
