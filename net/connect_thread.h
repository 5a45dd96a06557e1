#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <thread>

namespace trivane {

// One blocking connect attempt (and, for the online client, its log-in) run off
// the tick thread. The tick thread polls Done and reads ErrText only after it;
// Done is written last, with release order, so no lock is needed.
class TConnectThread {
 public:
  // Returns the failure's text, empty on success. The stop token is set when
  // the owner gives up on the attempt; a long wait should honour it.
  using Attempt = std::function<std::string(std::stop_token)>;

  static constexpr std::int8_t kOnlineTarget = 8;

  // Runs on the attempt's thread once Done is set, so the tick thread can be
  // woken to collect it instead of looking for it on a timer.
  using Finished = std::function<void()>;

  // Created suspended: nothing runs until Start.
  TConnectThread(std::int8_t target, Attempt attempt, Finished finished = {});
  // Asks the attempt to stop and waits for it; the owner frees a thread only
  // after Done, so this wait is short.
  ~TConnectThread();

  TConnectThread(const TConnectThread&) = delete;
  TConnectThread& operator=(const TConnectThread&) = delete;

  void Start();
  void Terminate();

  std::int8_t Target() const { return target_; }
  bool Done() const { return done_.load(std::memory_order_acquire); }
  // Valid once Done is true.
  const std::string& ErrText() const { return err_text_; }

 private:
  void Run(std::stop_token stop);

  std::int8_t target_;
  Attempt attempt_;
  Finished finished_;
  std::string err_text_;
  std::atomic<bool> done_{false};
  std::jthread thread_;
};

}  // namespace trivane
