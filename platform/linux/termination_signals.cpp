#include "platform/termination_signals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <utility>

#include "platform/linux/stop_signal_descriptor.h"

namespace trivane {
namespace {

// The stop signals are blocked and read from a descriptor instead of being
// caught: no handler runs at an odd moment (a sanitizer that defers
// handlers could even leave one unrun), and a wait on the descriptor ends
// the moment one arrives.
int stop_signals_fd = -1;
bool termination_requested = false;
bool reload_requested = false;
HangUp hang_up_means = HangUp::kStops;

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  return signals;
}

// Every signal waiting is taken, so none can keep ending waits.
void TakeWaitingSignals() {
  if (stop_signals_fd < 0) return;
  signalfd_siginfo info{};
  while (read(stop_signals_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    if (info.ssi_signo == SIGHUP && hang_up_means == HangUp::kReloads) {
      reload_requested = true;
    } else {
      termination_requested = true;
    }
  }
}

}  // namespace

void InstallTerminationHandlers(HangUp hang_up) {
  hang_up_means = hang_up;
  // Before any thread starts, so that every thread inherits the block and
  // the signals stay pending for the descriptor, whoever they were sent to.
  const sigset_t signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  if (stop_signals_fd < 0) stop_signals_fd = signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
  // A reader of the log stream or a peer that goes away must not end the
  // relay; the failed write is reported where it happened instead.
  std::signal(SIGPIPE, SIG_IGN);
}

int StopSignalDescriptor() {
  return stop_signals_fd;
}

bool TerminationRequested() {
  TakeWaitingSignals();
  return termination_requested;
}

bool TakeReloadRequest() {
  TakeWaitingSignals();
  return std::exchange(reload_requested, false);
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
    if (poll(&waiting, 1, timeout) > 0) return;  // a signal is waiting to be read
  }
}

// Linux lets the close end in the main loop.
void SetCloseToTheEnd(const std::function<void()>& /*close*/) {}

}  // namespace trivane
