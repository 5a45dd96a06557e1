#include "platform/termination_signals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

namespace trivane {
namespace {

// The stop signals are blocked and read from a descriptor instead of being
// caught: no handler runs at an odd moment (a sanitizer that defers
// handlers could even leave one unrun), and a wait on the descriptor ends
// the moment one arrives.
int stop_signals_fd = -1;
bool termination_requested = false;

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

}  // namespace

void InstallTerminationHandlers() {
  // Before any thread starts, so that every thread inherits the block and
  // the signals stay pending for the descriptor, whoever they were sent to.
  const sigset_t signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  if (stop_signals_fd < 0) stop_signals_fd = signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
  // A reader of the log stream or a peer that goes away must not end the
  // relay; the failed write is reported where it happened instead.
  std::signal(SIGPIPE, SIG_IGN);
}

bool TerminationRequested() {
  if (stop_signals_fd < 0) return termination_requested;
  // Every one waiting is taken, so a second signal cannot keep ending waits.
  signalfd_siginfo info{};
  while (read(stop_signals_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    termination_requested = true;
  }
  return termination_requested;
}

void SleepUntilDeadlineOrSignal(std::chrono::steady_clock::time_point deadline) {
  using std::chrono::milliseconds;
  for (;;) {
    const auto left = std::chrono::ceil<milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    const int timeout = static_cast<int>(std::min<milliseconds::rep>(left.count(), 60'000));
    if (stop_signals_fd < 0) {
      poll(nullptr, 0, timeout);
      continue;
    }
    pollfd waiting{stop_signals_fd, POLLIN, 0};
    if (poll(&waiting, 1, timeout) > 0) return;  // a stop signal is waiting to be read
  }
}

}  // namespace trivane
