#pragma once

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "support/loopback_peer.h"
#include "support/subprocess.h"

namespace trivane::testing {

// A headless Chromium driven over WebDriver (Debian's chromium-driver), for
// pages the relay serves on loopback. Scripts return strings; what a test
// needs of the page it joins into one text.
class WebDriver {
 public:
  static constexpr const char* kDriver = "/usr/bin/chromedriver";
  static constexpr const char* kBrowser = "/usr/bin/chromium";

  WebDriver() : port_(LoopbackListener().Port()) {
    driver_.emplace(std::vector<std::string>{kDriver, "--port=" + std::to_string(port_)},
                    ChildOutput::kPipe);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until && !Request("GET", "/status", "")) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // Root needs --no-sandbox; the temporary profile keeps runs apart.
    const auto created = Request(
        "POST", "/session",
        R"({"capabilities":{"alwaysMatch":{"goog:chromeOptions":{"binary":")" +
            std::string(kBrowser) +
            R"(","args":["--headless=new","--no-sandbox","--disable-gpu","--disable-dev-shm-usage",)"
            R"("--no-first-run","--window-size=1280,900"]}}}})",
        std::chrono::seconds(60));
    if (created) session_ = StringField(*created, "sessionId");
  }
  ~WebDriver() {
    if (session_) Request("DELETE", "/session/" + *session_, "");
    if (driver_) driver_->Signal(SIGTERM);
  }

  WebDriver(const WebDriver&) = delete;
  WebDriver& operator=(const WebDriver&) = delete;

  // Why no browser can be had here, or nothing when one runs.
  static std::optional<std::string> Unavailable() {
    for (const char* program : {kDriver, kBrowser}) {
      if (!std::filesystem::exists(program)) {
        return std::string(program) + " is not installed (Debian: chromium chromium-driver)";
      }
    }
    return std::nullopt;
  }
  bool Started() const { return session_.has_value(); }

  bool Open(const std::string& url) {
    return session_ && Request("POST", "/session/" + *session_ + "/url",
                               R"({"url":")" + url + R"("})", std::chrono::seconds(30));
  }
  // The script's string result; nothing when it failed or returned no string.
  std::optional<std::string> Run(const std::string& script) {
    if (!session_) return std::nullopt;
    const auto answer = Request("POST", "/session/" + *session_ + "/execute/sync",
                                R"({"script":)" + Quoted(script) + R"(,"args":[]})");
    if (!answer) return std::nullopt;
    return StringField(*answer, "value");
  }

 private:
  // The body of a 200 answer.
  std::optional<std::string> Request(std::string_view method, const std::string& path,
                                     const std::string& body,
                                     std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    LoopbackConnection connection = LoopbackConnection::Connect(port_);
    if (!connection.Open()) return std::nullopt;
    const std::string request = std::string(method) + " " + path +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                                "Content-Type: application/json\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body;
    if (!connection.Send(std::string_view(request))) return std::nullopt;
    // The driver keeps the connection open whatever it says: the answer ends
    // where its length says.
    const auto until = std::chrono::steady_clock::now() + limit;
    std::string text;
    std::size_t start = std::string::npos;
    std::size_t length = 0;
    while (start == std::string::npos || text.size() < start + 4 + length) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          until - std::chrono::steady_clock::now());
      Bytes chunk;
      if (left.count() <= 0 || !connection.ReadSome(chunk, left)) return std::nullopt;
      text.append(chunk.begin(), chunk.end());
      if (start == std::string::npos && (start = text.find("\r\n\r\n")) != std::string::npos) {
        std::string head = text.substr(0, start);
        for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::size_t field = head.find("content-length:");
        if (field != std::string::npos) length = std::stoul(head.substr(field + 15));
      }
    }
    if (!text.starts_with("HTTP/1.1 200")) return std::nullopt;
    return text.substr(start + 4, length);
  }

  static std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
      if (c == '"' || c == '\\') out += '\\';
      if (c == '\n') {
        out += "\\n";
        continue;
      }
      out += c;
    }
    return out + "\"";
  }

  // The string value of the first "name" in a JSON text, its escapes undone
  // (\uXXXX only below U+0800, all the page's texts need).
  static std::optional<std::string> StringField(const std::string& json, std::string_view name) {
    const std::string key = "\"" + std::string(name) + "\":\"";
    std::size_t at = json.find(key);
    if (at == std::string::npos) return std::nullopt;
    std::string out;
    for (at += key.size(); at < json.size() && json[at] != '"'; ++at) {
      if (json[at] != '\\' || at + 1 >= json.size()) {
        out += json[at];
        continue;
      }
      const char escaped = json[++at];
      switch (escaped) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'u': {
          const unsigned code = std::stoul(json.substr(at + 1, 4), nullptr, 16);
          at += 4;
          if (code < 0x80) {
            out += static_cast<char>(code);
          } else {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
          }
          break;
        }
        default:
          out += escaped;
      }
    }
    return out;
  }

  std::uint16_t port_;
  std::optional<Subprocess> driver_;
  std::optional<std::string> session_;
};

}  // namespace trivane::testing
