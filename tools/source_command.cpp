#include <array>
#include <memory>

#include "tools/commands.h"
#include "tools/hex.h"
#include "tools/net_support.h"
#include "tools/session_server.h"

namespace trivane::sim {
namespace {

using asio::ip::tcp;

// One relay's connection: the units, round after round, then close or hold.
class SourceSession : public std::enable_shared_from_this<SourceSession> {
 public:
  SourceSession(tcp::socket socket, const std::vector<Bytes>& units, const SourceOptions& options,
                const LineSink& out, std::function<void()> on_end)
      : socket_(std::move(socket)),
        timer_(socket_.get_executor()),
        units_(units),
        options_(options),
        out_(out),
        on_end_(std::move(on_end)) {}

  void Start() {
    asio::error_code error;
    peer_ = EndpointText(socket_.remote_endpoint(error));
    out_("connected " + peer_);
    WatchPeer();
    PlayRound();
  }

 private:
  // A relay never sends; a read only tells when it has gone.
  void WatchPeer() {
    socket_.async_read_some(asio::buffer(discard_),
                            [self = shared_from_this()](asio::error_code error, std::size_t) {
                              if (self->ended_) return;
                              if (error) return self->End(" by peer");
                              self->WatchPeer();
                            });
  }

  void PlayRound() {
    next_unit_ = 0;
    SendNext();
  }

  void SendNext() {
    if (ended_) return;
    if (next_unit_ == units_.size()) return RoundDone();
    const Bytes& unit = units_[next_unit_];
    asio::async_write(
        socket_, asio::buffer(unit),
        [self = shared_from_this(), &unit](asio::error_code error, std::size_t) {
          if (self->ended_) return;
          if (error) return self->End(" by peer");
          self->out_("sent " + std::to_string(unit.size()) + " bytes: " + ToHex(unit));
          ++self->next_unit_;
          self->SendNext();
        });
  }

  void RoundDone() {
    ++rounds_played_;
    const bool endless = options_.repeat == 0 && !units_.empty();
    if (endless || rounds_played_ < options_.repeat) {
      timer_.expires_after(std::chrono::milliseconds(options_.interval_ms));
      timer_.async_wait([self = shared_from_this()](asio::error_code error) {
        if (!error && !self->ended_) self->PlayRound();
      });
    } else if (!options_.hold) {
      End("");
    }
  }

  void End(const std::string& how) {
    if (ended_) return;
    ended_ = true;
    asio::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    timer_.cancel();
    out_("closed " + peer_ + how);
    on_end_();
  }

  tcp::socket socket_;
  asio::steady_timer timer_;
  const std::vector<Bytes>& units_;
  const SourceOptions& options_;
  const LineSink& out_;
  std::function<void()> on_end_;
  std::string peer_;
  std::array<std::uint8_t, 4096> discard_{};
  std::size_t next_unit_ = 0;
  std::uint32_t rounds_played_ = 0;
  bool ended_ = false;
};

}  // namespace

int RunSource(const SourceOptions& options, const TextCodec& codepage, const LineSink& out) {
  const std::vector<Bytes> units = BuildUnits(options.units, codepage);
  asio::io_context io;
  SessionServer server(io, options.bind, options.port, options.once, out,
                       [&](tcp::socket socket, std::function<void()> ended) {
                         std::make_shared<SourceSession>(std::move(socket), units, options, out,
                                                         std::move(ended))
                             ->Start();
                       });
  RunUntil(io, [&] { return server.Finished(); });
  return 0;
}

}  // namespace trivane::sim
