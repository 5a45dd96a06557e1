#include "platform/termination_signals.h"

#include <pthread.h>
#include <time.h>

#include <csignal>

namespace trivane {
namespace {

volatile std::sig_atomic_t termination_requested = 0;

extern "C" void OnTerminationSignal(int /*signal*/) {
  termination_requested = 1;
}

}  // namespace

void InstallTerminationHandlers() {
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  // A write to a daily file or a socket that the signal interrupts carries on
  // rather than failing half done. The tick's sleep is never resumed, so the
  // stop is still seen at once.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A parent that blocked these (a shell job, a service wrapper) would
  // otherwise leave the relay unable to be stopped.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_UNBLOCK, &stop_signals, nullptr);
  // A reader of the log stream or a peer that goes away must not end the
  // relay; the failed write is reported where it happened instead.
  std::signal(SIGPIPE, SIG_IGN);
}

bool TerminationRequested() {
  return termination_requested != 0;
}

void SleepUntilDeadlineOrSignal(std::chrono::steady_clock::time_point deadline) {
  // steady_clock is CLOCK_MONOTONIC here. Unlike std::this_thread::sleep_until,
  // an interrupted sleep is not resumed.
  const auto since_epoch = deadline.time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since_epoch);
  timespec until{};
  until.tv_sec = static_cast<time_t>(seconds.count());
  until.tv_nsec = static_cast<long>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch - seconds).count());
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
}

}  // namespace trivane
