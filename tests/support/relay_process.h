#pragma once

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <thread>

#include "support/loopback_peer.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

namespace trivane::testing {

enum class RelayFace { kHeadless, kWindow };

// The real relay, headless unless told otherwise (the window needs a display),
// with its own settings file and log directory.
class RelayProcess {
 public:
  explicit RelayProcess(const std::string& settings, const std::string& exe = TRIVANE_EXE,
                        RelayFace face = RelayFace::kHeadless,
                        const std::vector<std::string>& more_options = {},
                        ChildOutput output = ChildOutput::kPipe)
      : ini_(dir_ / "relay.ini") {
    WriteFileBytes(ini_, "[Settings]\r\n" + settings);
    std::vector<std::string> command{exe, "--ini", ini_.string(), "--log-dir",
                                     (dir_ / "Log").string()};
    if (face == RelayFace::kHeadless) command.insert(command.begin() + 1, "--headless");
    command.insert(command.end(), more_options.begin(), more_options.end());
    process_.emplace(std::move(command), output);
  }

  ~RelayProcess() {
    if (process_) Stop();
  }

  // The next output line containing text, within the limit.
  std::optional<std::string> WaitFor(const std::string& text,
                                     std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return process_->WaitForLine(text, limit);
  }

  // Every line written so far that contains text.
  int Count(const std::string& text) {
    process_->Drain(std::chrono::milliseconds(200));
    int n = 0;
    for (const auto& line : process_->Lines()) n += line.find(text) != std::string::npos;
    return n;
  }

  pid_t Pid() const { return process_->Pid(); }
  void Signal(int signal) { process_->Signal(signal); }

  // The settings file replaced, as an engineer edits it before a reload.
  void RewriteSettings(const std::string& settings) {
    WriteFileBytes(ini_, "[Settings]\r\n" + settings);
  }
  const std::filesystem::path& SettingsFile() const { return ini_; }
  void Drain(std::chrono::milliseconds period) { process_->Drain(period); }

  // SIGTERM; the exit code, or nothing when the relay did not stop in time.
  std::optional<int> Stop() {
    process_->Signal(SIGTERM);
    return process_->WaitForExit(std::chrono::seconds(10));
  }

  // Today's daily file, whatever its date.
  std::string DailyFile() const {
    std::string all;
    std::error_code ignored;
    for (const auto& file : std::filesystem::directory_iterator(dir_ / "Log", ignored)) {
      all += ReadFileBytes(file.path());
    }
    return all;
  }

 private:
  TempDir dir_;
  std::filesystem::path ini_;
  std::optional<Subprocess> process_;
};

inline std::string SourceEntry(int index, std::uint16_t port) {
  const std::string key = index == 0 ? "SrcIP" : "SrcIP" + std::to_string(index);
  return key + "=127.0.0.1:" + std::to_string(port) + "\r\n";
}

// A port that was free a moment ago, for the relay's own server.
inline std::uint16_t FreePort() {
  return LoopbackListener().Port();
}

// The relay listens from its first tick on; a peer retries until it is in.
inline LoopbackConnection ConnectChainPeer(std::uint16_t port, int receive_buffer = 0) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < until) {
    auto peer = LoopbackConnection::Connect(port, receive_buffer);
    if (peer.Open()) {
      std::this_thread::sleep_for(
          std::chrono::milliseconds(200));  // the server takes it into its peer list
      return peer;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return {};
}

}  // namespace trivane::testing
