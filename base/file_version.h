#pragma once

namespace trivane {

// The program's four-part file version: major, minor, release, build.
struct FileVersion {
  int major = 0;
  int minor = 0;
  int release = 0;
  int build = 0;

  bool operator==(const FileVersion&) const = default;
};

}  // namespace trivane
