#pragma once

#include <string_view>

namespace trivane {

// The status page, one self-contained document; each "@NONCE@" in it is
// replaced by the response's own nonce.
extern const std::string_view kStatusPageHtml;

}  // namespace trivane
