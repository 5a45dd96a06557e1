#include "platform/linux/iconv_text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <mutex>

namespace trivane {
namespace {

// iconv_open's failure value, which the library defines as (iconv_t)-1.
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)

// iconv keeps shift state in the descriptor; a lock keeps a shared codec safe
// should a second thread ever log.
std::mutex conversion_lock;

// A byte sequence the target cannot express becomes replacement; the rest of
// the text still comes through, so one odd byte never hides a whole line.
std::string Convert(void* handle, std::string_view input, std::string_view replacement) {
  const std::lock_guard guard(conversion_lock);
  auto* converter = static_cast<iconv_t>(handle);
  iconv(converter, nullptr, nullptr, nullptr, nullptr);

  std::string output;
  output.reserve(input.size() * 2);
  char* in = const_cast<char*>(input.data());
  std::size_t in_left = input.size();
  char buffer[1024];
  while (in_left > 0) {
    char* out = buffer;
    std::size_t out_left = sizeof buffer;
    const std::size_t result = iconv(converter, &in, &in_left, &out, &out_left);
    output.append(buffer, static_cast<std::size_t>(out - buffer));
    if (result != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or a truncated sequence at the end (EINVAL): skip one byte.
    output.append(replacement);
    ++in;
    --in_left;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
  }
  char* out = buffer;
  std::size_t out_left = sizeof buffer;
  iconv(converter, nullptr, nullptr, &out, &out_left);
  output.append(buffer, static_cast<std::size_t>(out - buffer));
  return output;
}

}  // namespace

std::unique_ptr<IconvTextCodec> IconvTextCodec::Open(const std::string& code_page) {
  iconv_t to_display = iconv_open("UTF-8", code_page.c_str());
  if (to_display == kNoConverter) return nullptr;
  iconv_t to_wire = iconv_open(code_page.c_str(), "UTF-8");
  if (to_wire == kNoConverter) {
    iconv_close(to_display);
    return nullptr;
  }
  return std::unique_ptr<IconvTextCodec>(new IconvTextCodec(to_display, to_wire));
}

IconvTextCodec::~IconvTextCodec() {
  iconv_close(static_cast<iconv_t>(to_display_));
  iconv_close(static_cast<iconv_t>(to_wire_));
}

std::string IconvTextCodec::ToDisplay(std::string_view wire) const {
  return Convert(to_display_, wire, "\xEF\xBF\xBD");  // U+FFFD
}

std::string IconvTextCodec::ToWire(std::string_view display) const {
  return Convert(to_wire_, display, "?");
}

}  // namespace trivane
