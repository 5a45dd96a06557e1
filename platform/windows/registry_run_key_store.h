#pragma once

#include <string>
#include <vector>

#include "settings/run_key_store.h"

namespace trivane {

// The Run key in the registry: HKEY_CURRENT_USER read, written and deleted,
// HKEY_LOCAL_MACHINE read only. Every call opens the key and closes it again.
// Only string values are entries; names and data are UTF-8 here.
class RegistryRunKeyStore final : public RunKeyStore {
 public:
  static constexpr std::wstring_view kRunKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

  // Another key path serves the tests, which must not touch the real list.
  explicit RegistryRunKeyStore(std::wstring key_path = std::wstring(kRunKey))
      : key_path_(std::move(key_path)) {}

  bool Open(RunKeyHive hive, bool create) override;
  std::vector<RunValue> Values(RunKeyHive hive) override;
  bool WriteUserValue(std::string_view name, std::string_view data) override;
  bool DeleteUserValue(std::string_view name) override;
  std::string UpperCase(std::string_view text) const override;

 private:
  std::wstring key_path_;
};

}  // namespace trivane
