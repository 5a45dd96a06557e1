#include <windows.h>

#include "platform/windows/registry_run_key_store.h"

#include "platform/windows/wide_text.h"

namespace trivane {
namespace {

HKEY Root(RunKeyHive hive) {
  return hive == RunKeyHive::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// Closes on every way out.
class Key {
 public:
  Key(RunKeyHive hive, const std::wstring& path, bool create, REGSAM access) {
    const LONG result =
        create ? RegCreateKeyExW(Root(hive), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 access, nullptr, &key_, nullptr)
               : RegOpenKeyExW(Root(hive), path.c_str(), 0, access, &key_);
    if (result != ERROR_SUCCESS) key_ = nullptr;
  }
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  explicit operator bool() const { return key_ != nullptr; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

bool RegistryRunKeyStore::Open(RunKeyHive hive, bool create) {
  // The machine-wide list is never created, only read.
  const bool may_create = create && hive == RunKeyHive::kCurrentUser;
  return static_cast<bool>(Key(hive, key_path_, may_create, KEY_READ));
}

std::vector<RunValue> RegistryRunKeyStore::Values(RunKeyHive hive) {
  std::vector<RunValue> values;
  const Key key(hive, key_path_, false, KEY_READ);
  if (!key) return values;
  DWORD longest_name = 0;
  DWORD longest_data = 0;
  if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &longest_name, &longest_data, nullptr, nullptr) != ERROR_SUCCESS) {
    return values;
  }
  std::wstring name(longest_name + 1, L'\0');
  std::wstring data(longest_data / sizeof(wchar_t) + 1, L'\0');
  for (DWORD index = 0;; ++index) {
    auto name_length = static_cast<DWORD>(name.size());
    auto data_bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    DWORD type = 0;
    const LONG result = RegEnumValueW(key.get(), index, name.data(), &name_length, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data.data()), &data_bytes);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS) continue;  // changed meanwhile: the next one still counts
    if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
    std::wstring_view text(data.data(), data_bytes / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.remove_suffix(1);
    values.push_back(
        {Utf8FromWide(std::wstring_view(name.data(), name_length)), Utf8FromWide(text)});
  }
  return values;
}

bool RegistryRunKeyStore::WriteUserValue(std::string_view name, std::string_view data) {
  const Key key(RunKeyHive::kCurrentUser, key_path_, true, KEY_SET_VALUE);
  if (!key) return false;
  const std::wstring wide_name = WideFromUtf8(name);
  const std::wstring wide_data = WideFromUtf8(data);
  const auto bytes = static_cast<DWORD>((wide_data.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key.get(), wide_name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(wide_data.c_str()), bytes) == ERROR_SUCCESS;
}

bool RegistryRunKeyStore::DeleteUserValue(std::string_view name) {
  const Key key(RunKeyHive::kCurrentUser, key_path_, false, KEY_SET_VALUE);
  if (!key) return false;
  return RegDeleteValueW(key.get(), WideFromUtf8(name).c_str()) == ERROR_SUCCESS;
}

std::string RegistryRunKeyStore::UpperCase(std::string_view text) const {
  std::wstring wide = WideFromUtf8(text);
  if (!wide.empty()) CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  return Utf8FromWide(wide);
}

}  // namespace trivane
