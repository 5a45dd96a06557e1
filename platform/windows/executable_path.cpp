#include <windows.h>

#include "platform/executable_path.h"

#include <string>

namespace trivane {

std::filesystem::path ExecutablePath() {
  // Long paths need more than MAX_PATH; the call says so by filling the buffer.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return std::filesystem::path(buffer);
    }
    if (buffer.size() >= 32'768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace trivane
