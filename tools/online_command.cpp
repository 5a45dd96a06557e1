#include <array>
#include <memory>

#include "tools/commands.h"
#include "tools/hex.h"
#include "tools/message_text.h"
#include "tools/net_support.h"
#include "tools/online_protocol.h"
#include "tools/session_server.h"

namespace trivane::sim {
namespace {

using asio::ip::tcp;

// A password line this long is no password; refusing it bounds the memory a
// stray client can take.
constexpr std::size_t kMaxLoginLine = 4096;

// What the server says, already in the wire code page.
struct ServerTexts {
  std::string greeting;
  std::string password;
  std::string refusal;
};

class OnlineSession : public std::enable_shared_from_this<OnlineSession> {
 public:
  OnlineSession(tcp::socket socket, const ServerTexts& texts, const OnlineOptions& options,
                const TextCodec& codepage, const LineSink& out, std::function<void()> on_end)
      : socket_(std::move(socket)),
        texts_(texts),
        options_(options),
        codepage_(codepage),
        out_(out),
        on_end_(std::move(on_end)) {}

  void Start() {
    asio::error_code error;
    peer_ = EndpointText(socket_.remote_endpoint(error));
    out_("connected " + peer_);
    if (options_.silent) return Read();
    // Reading starts once the greeting is out, so at most one write is ever
    // under way.
    Write(texts_.greeting + "\r\n", [](OnlineSession& self) { self.Read(); });
  }

 private:
  enum class Phase { kPassword, kFrames, kVerdictSent };

  void Read() {
    socket_.async_read_some(asio::buffer(buffer_),
                            [self = shared_from_this()](asio::error_code error, std::size_t n) {
                              if (self->ended_) return;
                              if (error) return self->End(" by peer");
                              self->Received(ByteView(self->buffer_).first(n));
                            });
  }

  void Received(ByteView bytes) {
    if (options_.silent) {
      out_("received " + std::to_string(bytes.size()) + " bytes: " + ToHex(bytes));
      return Read();
    }
    if (phase_ == Phase::kPassword) {
      lines_.Append(bytes);
      if (const auto line = lines_.NextLine()) return Verdict(*line);
      if (lines_.PendingBytes() > kMaxLoginLine) return Refuse("<line too long>");
      return Read();
    }
    if (phase_ == Phase::kFrames) {
      frames_.Append(bytes);
      if (!PrintFrames()) return;
    }
    Read();
  }

  void Verdict(const std::string& line) {
    if (line != texts_.password) return Refuse(Quoted(codepage_.ToDisplay(line)));
    out_("login " + peer_ + " accepted");
    phase_ = Phase::kFrames;
    frames_.Append(lines_.TakeRest());
    Write("\r\n", [](OnlineSession& self) {
      if (self.PrintFrames()) self.Read();
    });
  }

  void Refuse(const std::string& what) {
    out_("login " + peer_ + " refused: " + what);
    phase_ = Phase::kVerdictSent;
    Write(texts_.refusal + "\r\n", [](OnlineSession& self) { self.End(""); });
  }

  // False when the stream broke and the connection was closed.
  bool PrintFrames() {
    OnlineFrame frame;
    std::string problem;
    for (;;) {
      switch (frames_.Next(frame, problem)) {
        case OnlineFrameReader::Result::kFrame:
          out_("FRAME " + DescribeMessage(frame.type, frame.num, frame.payload, codepage_));
          break;
        case OnlineFrameReader::Result::kNeedMore:
          return true;
        case OnlineFrameReader::Result::kMalformed:
          out_("BAD FRAME " + problem);
          End("");
          return false;
      }
    }
  }

  void Write(std::string text, void (*then)(OnlineSession&)) {
    outgoing_ = std::move(text);
    asio::async_write(socket_, asio::buffer(outgoing_),
                      [self = shared_from_this(), then](asio::error_code error, std::size_t) {
                        if (self->ended_) return;
                        if (error) return self->End(" by peer");
                        then(*self);
                      });
  }

  void End(const std::string& how) {
    if (ended_) return;
    ended_ = true;
    asio::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    out_("closed " + peer_ + how);
    on_end_();
  }

  tcp::socket socket_;
  const ServerTexts& texts_;
  const OnlineOptions& options_;
  const TextCodec& codepage_;
  const LineSink& out_;
  std::function<void()> on_end_;
  std::string peer_;
  std::array<std::uint8_t, 32768> buffer_{};
  std::string outgoing_;
  LineReader lines_;
  OnlineFrameReader frames_;
  Phase phase_ = Phase::kPassword;
  bool ended_ = false;
};

}  // namespace

int RunOnline(const OnlineOptions& options, const TextCodec& codepage, const LineSink& out) {
  const ServerTexts texts{codepage.ToWire(options.greeting), codepage.ToWire(options.password),
                          codepage.ToWire(options.refusal)};
  asio::io_context io;
  SessionServer server(io, options.bind, options.port, options.once, out,
                       [&](tcp::socket socket, std::function<void()> ended) {
                         std::make_shared<OnlineSession>(std::move(socket), texts, options,
                                                         codepage, out, std::move(ended))
                             ->Start();
                       });
  RunUntil(io, [&] { return server.Finished(); });
  return 0;
}

}  // namespace trivane::sim
