#pragma once

#include <filesystem>
#include <vector>

#include "settings/run_key_store.h"

namespace trivane {

// Start-up entries as XDG autostart desktop files: the current user's list is
// $XDG_CONFIG_HOME/autostart, the machine-wide lists are "autostart" under each
// of $XDG_CONFIG_DIRS, read only. An entry is one "<name>.desktop" file whose
// data is the program its Exec line starts. Files we cannot read or parse, and
// entries switched off with Hidden=true, are not entries.
class XdgAutostartStore final : public RunKeyStore {
 public:
  XdgAutostartStore(std::filesystem::path user_dir,
                    std::vector<std::filesystem::path> machine_dirs);

  // Null arguments stand for unset variables. Relative paths are ignored, as
  // the base-directory rules require; an empty user directory means none.
  static XdgAutostartStore FromEnvironmentValues(const char* xdg_config_home, const char* home,
                                                 const char* xdg_config_dirs);
  static XdgAutostartStore FromEnvironment();

  const std::filesystem::path& user_dir() const { return user_dir_; }
  const std::vector<std::filesystem::path>& machine_dirs() const { return machine_dirs_; }

  bool Open(RunKeyHive hive, bool create) override;
  std::vector<RunValue> Values(RunKeyHive hive) override;
  bool WriteUserValue(std::string_view name, std::string_view data) override;
  bool DeleteUserValue(std::string_view name) override;

 private:
  std::filesystem::path user_dir_;
  std::vector<std::filesystem::path> machine_dirs_;
};

}  // namespace trivane
