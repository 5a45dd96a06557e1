#pragma once

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "base/byte_io.h"
#include "base/wake_plan.h"
#include "net/transport_result.h"

namespace trivane {

// A TCP client with the few operations the links need. Failures are values:
// each call that can fail returns a TransportResult.
//
// Threads: Connect (and a connected notification's log-in, which may wait)
// runs on a connect thread; every other call comes from the tick thread, never
// waits, and never comes while a connect attempt runs on the same client.
class TcpClient {
 public:
  using Notification = std::function<void(TcpClient&)>;
  using Milliseconds = std::chrono::milliseconds;

  static constexpr std::size_t kMaxReceive = 32768;
  static constexpr std::size_t kMaxLine = 16384;

  explicit TcpClient(int tag) : tag_(tag) {}
  ~TcpClient();

  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  int Tag() const { return tag_; }
  const std::string& Host() const { return host_; }
  std::uint16_t Port() const { return port_; }
  void SetAddress(std::string host, std::uint16_t port);

  // Runs inside a successful Connect, on the connecting thread.
  void SetConnectedNotification(Notification notification);
  // Runs in the thread that closes the connection; empty to detach.
  void SetDisconnectedNotification(Notification notification);

  // Resolves, connects within the limit (the stop token cuts the wait short),
  // then runs the connected notification. A failed connect raises no
  // disconnected notification.
  TransportResult Connect(Milliseconds limit, const std::stop_token& stop = {});
  // True while open. A close by the peer that a read has already seen (a
  // line cut off by the hang-up) closes the socket here and raises the
  // disconnected notification, once, and never inside Connect.
  bool Connected();
  // Closes the connection; the disconnected notification runs when it was open.
  void Disconnect();
  // The open socket, for a wait on its readiness; nothing while closed. From
  // the tick thread, never while an attempt runs.
  std::optional<NativeSocket> Socket();

  // Takes what has arrived without waiting: at most one receive of up to
  // `room` bytes (never more than kMaxReceive) into the input buffer; the
  // rest stays in the socket. A close by the peer closes the connection, with
  // the notification, and comes back as kClosedByPeer.
  TransportResult ReadArrived(std::size_t room = kMaxReceive);
  ByteView Input() const { return input_; }
  void DiscardInput() { input_.clear(); }

  // The bytes up to the next LF, without it and without one CR before it. A
  // line that does not come in time leaves the connection open: the caller
  // decides what a silent server means.
  TransportResult ReadLine(std::string& line, Milliseconds limit, const std::stop_token& stop = {});
  TransportResult WriteLine(std::string_view text, Milliseconds limit,
                            const std::stop_token& stop = {});
  // Sends every byte within the limit, waiting as it must: for the connect
  // thread only. A write cut short leaves the stream broken, so the connection
  // is closed then (inside Connect, without the disconnected notification).
  TransportResult WriteBlock(ByteView bytes, Milliseconds limit, const std::stop_token& stop = {});
  // Hands the socket what it takes now, without waiting, and says how much
  // that was in `sent` (0 when its buffer is full). The connection stays open
  // on a failure: the caller closes it and says why.
  TransportResult WriteSome(ByteView bytes, std::size_t& sent);

 private:
  enum class Wait { kDone, kTimedOut, kStopped };
  template <typename Finished>
  Wait RunUntil(Finished finished, std::chrono::steady_clock::time_point deadline,
                const std::stop_token& stop);
  TransportResult ConnectAndNotify(Milliseconds limit, const std::stop_token& stop);
  void AbandonPending(bool close);
  void CloseSocket();
  void NotifyDropped();

  int tag_;
  std::string host_;
  std::uint16_t port_ = 0;
  Notification on_connected_;
  Notification on_disconnected_;
  bool connecting_ = false;
  bool peer_closed_ = false;
  asio::io_context io_;
  asio::ip::tcp::socket socket_{io_};
  Bytes input_;
};

}  // namespace trivane
