#include "app/status_routes.h"

#include <civetweb.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "app/status_page/status_page.h"
#include "core/status_board.h"

namespace trivane {

namespace {

std::atomic<StatusBoard*> registered_board{nullptr};

// Said on every answer: nothing is cached, sniffed, framed or told where
// the operator came from.
constexpr std::string_view kCommonHeaders =
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "X-Frame-Options: DENY\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "Cross-Origin-Opener-Policy: same-origin\r\n"
    "Cross-Origin-Resource-Policy: same-origin\r\n"
    "Permissions-Policy: camera=(), microphone=(), geolocation=()\r\n";

void Answer(mg_connection* connection, int status, std::string_view reason,
            std::string_view content_type, std::string_view policy, std::string_view body) {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
  head += kCommonHeaders;
  head += "Content-Security-Policy: " + std::string(policy) + "\r\n";
  if (!content_type.empty()) head += "Content-Type: " + std::string(content_type) + "\r\n";
  head += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  mg_write(connection, head.data(), head.size());
  const mg_request_info* request = mg_get_request_info(connection);
  if (std::string_view(request->request_method) != "HEAD" && !body.empty()) {
    mg_write(connection, body.data(), body.size());
  }
}

constexpr std::string_view kDataPolicy = "default-src 'none'; frame-ancestors 'none'";

// 128 bits from the system's random source, in base64.
std::string Nonce() {
  static constexpr std::string_view kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::random_device random;
  std::string nonce;
  for (int i = 0; i < 22; ++i) nonce += kDigits[random() % kDigits.size()];
  return nonce;
}

void AnswerPage(mg_connection* connection) {
  const std::string nonce = Nonce();
  std::string page(kStatusPageHtml);
  constexpr std::string_view kMark = "@NONCE@";
  for (std::size_t at = page.find(kMark); at != std::string::npos; at = page.find(kMark, at)) {
    page.replace(at, kMark.size(), nonce);
    at += nonce.size();
  }
  const std::string policy = "default-src 'none'; script-src 'nonce-" + nonce +
                             "'; style-src 'nonce-" + nonce +
                             "'; connect-src 'self'; img-src 'self'; base-uri 'none'; "
                             "form-action 'none'; frame-ancestors 'none'";
  Answer(connection, 200, "OK", "text/html; charset=utf-8", policy, page);
}

void AnswerStatus(mg_connection* connection, StatusBoard& board) {
  const StatusBoard::View view = board.Look(StatusBoard::Clock::now());
  if (!view.json) {
    Answer(connection, 503, "Service Unavailable", "text/plain; charset=utf-8", kDataPolicy,
           "The relay has not shown its status yet\n");
    return;
  }
  // The page asks with the revision it shows; an unchanged one costs no body.
  std::array<char, 24> since{};
  const mg_request_info* request = mg_get_request_info(connection);
  if (request->query_string != nullptr &&
      mg_get_var(request->query_string, std::char_traits<char>::length(request->query_string),
                 "since", since.data(), since.size()) > 0 &&
      std::string_view(since.data()) == std::to_string(view.revision)) {
    Answer(connection, 204, "No Content", "", kDataPolicy, "");
    return;
  }
  Answer(connection, 200, "OK", "application/json; charset=utf-8", kDataPolicy, *view.json);
}

}  // namespace

StatusRoutes::StatusRoutes(StatusBoard& board) {
  registered_board.store(&board);
}

StatusRoutes::~StatusRoutes() {
  registered_board.store(nullptr);
}

int StatusRoutes::BeginRequest(mg_connection* connection) {
  StatusBoard* board = registered_board.load();
  const mg_request_info* request = mg_get_request_info(connection);
  if (board == nullptr || request == nullptr || request->local_uri == nullptr) return 0;
  const std::string_view uri = request->local_uri;
  if (uri != "/" && uri != "/status.json") return 0;
  const std::string_view method = request->request_method;
  if (method != "GET" && method != "HEAD") {
    Answer(connection, 405, "Method Not Allowed", "text/plain; charset=utf-8", kDataPolicy,
           "Read-only\n");
    return 1;
  }
  if (uri == "/") {
    AnswerPage(connection);
  } else {
    AnswerStatus(connection, *board);
  }
  return 1;
}

}  // namespace trivane
