#include <windows.h>

#include "platform/program_version.h"

#include <vector>

#include "platform/executable_path.h"

namespace trivane {

std::optional<FileVersion> ProgramFileVersion() {
  const std::wstring path = ExecutablePath().wstring();
  if (path.empty()) return std::nullopt;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return std::nullopt;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      fixed == nullptr || length < sizeof *fixed || fixed->dwSignature != 0xFEEF04BD) {
    return std::nullopt;
  }
  return FileVersion{.major = HIWORD(fixed->dwFileVersionMS),
                     .minor = LOWORD(fixed->dwFileVersionMS),
                     .release = HIWORD(fixed->dwFileVersionLS),
                     .build = LOWORD(fixed->dwFileVersionLS)};
}

}  // namespace trivane
