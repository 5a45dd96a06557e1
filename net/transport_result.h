#pragma once

#include <string>
#include <utility>

namespace trivane {

// What one transport call came to. Callers decide by the kind; the text is
// only for the operator's log and the status hints.
struct TransportResult {
  enum class Kind {
    kOk,
    kClosedByPeer,  // an orderly close from the other side
    kTimedOut,
    kCancelled,  // the caller's stop request
    kFailed,     // any other failure: refused, reset, unresolved, too long
  };

  Kind kind = Kind::kOk;
  std::string text;  // empty when ok

  bool Ok() const { return kind == Kind::kOk; }
  static TransportResult Failure(Kind kind, std::string text) { return {kind, std::move(text)}; }
};

}  // namespace trivane
