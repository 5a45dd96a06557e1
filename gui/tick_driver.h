#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "base/tick_schedule.h"

namespace trivane {

// The 10 ms tick on the Qt event loop, on the headless schedule: drift-free,
// and a tick whose time has passed is skipped rather than run back to back.
// A tick never starts inside another: the single-shot timer is armed only
// when a tick has ended, and nothing a tick does runs the event loop. Between
// ticks, input for the program's desktop windows is served as it comes,
// through socket notifiers on the descriptors the desktop names.
class TickDriver final : public QObject {
  Q_OBJECT

 public:
  struct Input {
    // The descriptors to watch now; asked again after every serve.
    std::function<std::vector<int>()> descriptors;
    // Serves what has come, without waiting.
    std::function<void()> serve;
  };

  TickDriver(std::function<void()> tick, Input input, TickClock::duration period,
             QObject* parent = nullptr);

  // The first tick one period from now.
  void Start();
  void Stop();

 private:
  void OnTimer();
  void ServeInput();
  void WatchDescriptors();
  void Arm();

  std::function<void()> tick_;
  Input input_;
  TickClock::duration period_;
  QTimer timer_;
  TickClock::time_point due_{};
  bool running_ = false;
  std::map<int, std::unique_ptr<QSocketNotifier>> notifiers_;
};

}  // namespace trivane
