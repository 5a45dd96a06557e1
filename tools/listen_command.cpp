#include <algorithm>
#include <array>
#include <chrono>

#include "tools/commands.h"
#include "tools/net_support.h"
#include "tools/stream_decoder.h"

namespace trivane::sim {
namespace {

using asio::ip::tcp;

constexpr std::chrono::seconds kConnectLimit{5};
// The relay gives up on unparseable bytes after a second without arrivals.
constexpr std::chrono::milliseconds kDiscardAfter{1000};

class Listener {
 public:
  Listener(asio::io_context& io, const ListenOptions& options, const TextCodec& codepage,
           const LineSink& out)
      : io_(io),
        socket_(io),
        idle_timer_(io),
        options_(options),
        out_(out),
        decoder_(codepage, out, options.decode) {}

  // Throws SimFailure when the relay cannot be reached.
  void Connect() {
    const std::string target = options_.host + ":" + std::to_string(options_.port);
    tcp::resolver resolver(io_);
    asio::error_code error;
    const auto endpoints = resolver.resolve(options_.host, std::to_string(options_.port), error);
    if (error)
      throw SimFailure(SimFailure::kRuntime, "cannot resolve " + target + ": " + error.message());
    bool finished = false;
    bool timed_out = false;
    asio::steady_timer limit(io_, kConnectLimit);
    limit.async_wait([&](asio::error_code timer_error) {
      if (timer_error) return;
      timed_out = true;
      socket_.close();
    });
    asio::async_connect(socket_, endpoints, [&](asio::error_code connect_error, const auto&) {
      error = connect_error;
      finished = true;
      limit.cancel();
    });
    RunUntil(io_, [&] { return finished || timed_out; });
    if (timed_out) error = asio::error::timed_out;
    if (!finished && !timed_out) return;  // stopped by a signal
    if (error) {
      throw SimFailure(SimFailure::kRuntime,
                       "cannot connect to " + target + ": " + error.message());
    }
    out_("connected " + target);
    Read();
  }

  bool Finished() const { return closed_; }

 private:
  // Only what fits the buffer is read, as the relay reads; the rest waits in
  // the socket until the held bytes are parsed or given up.
  void Read() {
    const std::size_t room = decoder_.Room();
    if (room == 0) {
      paused_ = true;
      return;
    }
    socket_.async_read_some(asio::buffer(buffer_.data(), std::min(room, buffer_.size())),
                            [this](asio::error_code error, std::size_t n) {
                              if (error) {
                                idle_timer_.cancel();
                                decoder_.DiscardHeld();
                                out_(error == asio::error::eof
                                         ? "closed by peer"
                                         : "closed by peer: " + error.message());
                                closed_ = true;
                                return;
                              }
                              Arrived(ByteView(buffer_).first(n));
                              Read();
                            });
  }

  void Arrived(ByteView bytes) {
    decoder_.Append(bytes);
    idle_timer_.cancel();
    if (decoder_.HeldBytes() == 0) return;
    idle_timer_.expires_after(kDiscardAfter);
    idle_timer_.async_wait([this](asio::error_code error) {
      if (error) return;
      decoder_.DiscardHeld();
      if (paused_) {
        paused_ = false;
        Read();
      }
    });
  }

  asio::io_context& io_;
  tcp::socket socket_;
  asio::steady_timer idle_timer_;
  const ListenOptions& options_;
  const LineSink& out_;
  StreamDecoder decoder_;
  std::array<std::uint8_t, 32768> buffer_{};
  bool closed_ = false;
  bool paused_ = false;  // the buffer is full: reading waits for the discard
};

}  // namespace

int RunListen(const ListenOptions& options, const TextCodec& codepage, const LineSink& out) {
  asio::io_context io;
  Listener listener(io, options, codepage, out);
  listener.Connect();
  RunUntil(io, [&] { return listener.Finished(); });
  return 0;
}

}  // namespace trivane::sim
