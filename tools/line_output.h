#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace trivane::sim {

// Where the simulator's lines go: standard output in the program, a list in
// the tests.
using LineSink = std::function<void(std::string_view line)>;

// One line to standard output, flushed at once: an engineer watches it live
// and a test waits for it through a pipe.
void PrintLine(std::string_view line);

// A failure that ends the program with its exit code and a message on
// standard error.
class SimFailure : public std::runtime_error {
 public:
  static constexpr int kRuntime = 1;
  static constexpr int kBadArguments = 2;

  SimFailure(int exit_code, const std::string& message)
      : std::runtime_error(message), exit_code_(exit_code) {}
  int ExitCode() const { return exit_code_; }

 private:
  int exit_code_;
};

}  // namespace trivane::sim
