#include "platform/linux/xdg_autostart_store.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/linux/desktop_entry.h"

namespace trivane {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kExtension = ".desktop";
constexpr std::string_view kDisplayName = "Veltora Trivane";
// Desktop entries are a few hundred bytes; anything far larger is not one.
constexpr std::uintmax_t kMaxEntrySize = std::uintmax_t{64} * 1024;

struct EntryFile {
  std::string name;
  fs::path path;
};

// The directory's "*.desktop" files, by name, so the order does not depend on
// the file system.
std::vector<EntryFile> EntryFiles(const fs::path& dir) {
  std::vector<EntryFile> files;
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    const std::string file_name = it->path().filename().string();
    if (file_name.size() <= kExtension.size() || !file_name.ends_with(kExtension)) continue;
    files.push_back({file_name.substr(0, file_name.size() - kExtension.size()), it->path()});
  }
  std::sort(files.begin(), files.end(),
            [](const EntryFile& a, const EntryFile& b) { return a.name < b.name; });
  return files;
}

std::optional<DesktopEntry> ReadEntry(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return std::nullopt;
  const std::uintmax_t size = fs::file_size(path, error);
  if (error || size > kMaxEntrySize) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return std::nullopt;
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return ParseDesktopEntry(text);
}

// Entries from directories in priority order: a file name met once hides the
// same name further down, even when the first one is hidden or unreadable.
std::vector<RunValue> ScanDirs(const std::vector<fs::path>& dirs) {
  std::vector<RunValue> values;
  std::set<std::string> seen;
  for (const fs::path& dir : dirs) {
    for (const EntryFile& file : EntryFiles(dir)) {
      if (!seen.insert(file.name).second) continue;
      const auto entry = ReadEntry(file.path);
      if (entry && !entry->hidden) values.push_back({file.name, entry->program});
    }
  }
  return values;
}

bool IsUsableName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::optional<fs::path> AbsolutePath(const char* value) {
  if (value == nullptr || *value == '\0') return std::nullopt;
  fs::path path(value);
  if (!path.is_absolute()) return std::nullopt;
  return path;
}

}  // namespace

XdgAutostartStore::XdgAutostartStore(fs::path user_dir, std::vector<fs::path> machine_dirs)
    : user_dir_(std::move(user_dir)), machine_dirs_(std::move(machine_dirs)) {}

XdgAutostartStore XdgAutostartStore::FromEnvironmentValues(const char* xdg_config_home,
                                                           const char* home,
                                                           const char* xdg_config_dirs) {
  fs::path user_dir;
  if (const auto config_home = AbsolutePath(xdg_config_home)) {
    user_dir = *config_home / "autostart";
  } else if (const auto home_dir = AbsolutePath(home)) {
    user_dir = *home_dir / ".config" / "autostart";
  }

  std::string_view dirs_text = (xdg_config_dirs != nullptr && *xdg_config_dirs != '\0')
                                   ? std::string_view(xdg_config_dirs)
                                   : std::string_view("/etc/xdg");
  std::vector<fs::path> machine_dirs;
  while (true) {
    const auto colon = dirs_text.find(':');
    const std::string dir(dirs_text.substr(0, colon));
    if (const auto path = AbsolutePath(dir.c_str())) machine_dirs.push_back(*path / "autostart");
    if (colon == std::string_view::npos) break;
    dirs_text.remove_prefix(colon + 1);
  }
  return XdgAutostartStore(std::move(user_dir), std::move(machine_dirs));
}

XdgAutostartStore XdgAutostartStore::FromEnvironment() {
  return FromEnvironmentValues(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"),
                               std::getenv("XDG_CONFIG_DIRS"));
}

bool XdgAutostartStore::Open(RunKeyHive hive, bool create) {
  std::error_code error;
  if (hive == RunKeyHive::kLocalMachine) {
    return std::any_of(machine_dirs_.begin(), machine_dirs_.end(),
                       [&error](const fs::path& dir) { return fs::is_directory(dir, error); });
  }
  if (user_dir_.empty()) return false;
  if (create) fs::create_directories(user_dir_, error);
  return fs::is_directory(user_dir_, error);
}

std::vector<RunValue> XdgAutostartStore::Values(RunKeyHive hive) {
  if (hive == RunKeyHive::kLocalMachine) return ScanDirs(machine_dirs_);
  if (user_dir_.empty()) return {};
  return ScanDirs({user_dir_});
}

bool XdgAutostartStore::WriteUserValue(std::string_view name, std::string_view data) {
  if (user_dir_.empty() || !IsUsableName(name)) return false;
  std::ofstream out(user_dir_ / (std::string(name) + std::string(kExtension)),
                    std::ios::binary | std::ios::trunc);
  if (!out.is_open()) return false;
  out << FormatDesktopEntry(kDisplayName, data);
  out.close();
  return out.good();
}

bool XdgAutostartStore::DeleteUserValue(std::string_view name) {
  if (user_dir_.empty() || !IsUsableName(name)) return false;
  std::error_code error;
  return fs::remove(user_dir_ / (std::string(name) + std::string(kExtension)), error);
}

}  // namespace trivane
