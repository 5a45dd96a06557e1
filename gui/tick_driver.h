#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "core/relay_driver.h"

namespace trivane {

// The relay's tick on the Qt event loop: the loop watches the sockets the
// driver names and a timer for its next due time, and the tick runs when
// either fires or another thread wakes it. A tick never starts inside
// another: nothing a tick does runs the event loop, and a wake-up that comes
// during one is taken after it. Input for the program's desktop windows is
// served as it comes, through socket notifiers on the descriptors the
// desktop names, and the tick that reads it follows at once.
class TickDriver final : public QObject {
  Q_OBJECT

 public:
  struct Input {
    // The descriptors to watch now; asked again after every serve.
    std::function<std::vector<int>()> descriptors;
    // Serves what has come, without waiting.
    std::function<void()> serve;
  };

  // A desktop that judges a window hung when its thread has not served it
  // for 5 s is served at least this often, though nothing comes.
  static constexpr std::chrono::seconds kServeAtLeastEvery{1};

  // next_wait is asked after every tick (and at Start) what to wait for.
  TickDriver(std::function<void()> tick, std::function<DriverWait()> next_wait, Input input,
             QObject* parent = nullptr);

  // The first wait, as next_wait says.
  void Start();
  void Stop();
  // From any thread: the tick runs soon on the loop's thread.
  void Wake();

 private:
  // The queued end of Wake, on the loop's thread; invoked by name, which
  // needs no slot object to cross the threads.
  Q_INVOKABLE void TakeWake();
  void RunTick();
  void Watch(const WakePlan& plan);
  void WatchDescriptors();
  void Arm();

  std::function<void()> tick_;
  std::function<DriverWait()> next_wait_;
  Input input_;
  QTimer timer_;
  bool running_ = false;
  bool in_tick_ = false;
  // One queued wake-up at most: a burst of them is one tick.
  std::atomic<bool> wake_posted_{false};
  std::map<std::pair<int, QSocketNotifier::Type>, std::unique_ptr<QSocketNotifier>> sockets_;
  std::map<int, std::unique_ptr<QSocketNotifier>> desktop_;
};

}  // namespace trivane
