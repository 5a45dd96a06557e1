#include "net/connect_thread.h"

#include <exception>
#include <system_error>
#include <utility>

namespace trivane {

TConnectThread::TConnectThread(std::int8_t target, Attempt attempt, Finished finished)
    : target_(target), attempt_(std::move(attempt)), finished_(std::move(finished)) {}

TConnectThread::~TConnectThread() {
  Terminate();
}

void TConnectThread::Start() {
  if (thread_.joinable()) return;
  // Without a thread the attempt fails like any other and is retried later;
  // the tick must not stop over it.
  try {
    thread_ = std::jthread([this](std::stop_token stop) { Run(std::move(stop)); });
  } catch (const std::system_error& failure) {
    err_text_ = failure.what();
    done_.store(true, std::memory_order_release);
    if (finished_) finished_();
  }
}

void TConnectThread::Terminate() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
}

void TConnectThread::Run(std::stop_token stop) {
  // An attempt that throws must still end with Done, or the close would wait
  // for ever; its text becomes the attempt's error.
  try {
    err_text_ = attempt_(std::move(stop));
  } catch (const std::exception& failure) {
    err_text_ = failure.what();
  } catch (...) {
    err_text_ = "Connect attempt failed";
  }
  done_.store(true, std::memory_order_release);
  if (finished_) finished_();
}

}  // namespace trivane
