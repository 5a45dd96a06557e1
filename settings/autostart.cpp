#include "settings/autostart.h"

#include <filesystem>
#include <string>

#include "base/path_text.h"

namespace trivane {

namespace {

bool Starts(const RunKeyStore& store, const RunValue& value, const std::string& upper_exe) {
  return store.UpperCase(value.data) == upper_exe;
}

bool HiveStarts(RunKeyStore& store, RunKeyHive hive, bool create, const std::string& upper_exe) {
  if (!store.Open(hive, create)) return false;
  for (const RunValue& value : store.Values(hive)) {
    if (Starts(store, value, upper_exe)) return true;
  }
  return false;
}

}  // namespace

bool Get_AutoStart(RunKeyStore& store, std::string_view exe_path) {
  const std::string upper_exe = store.UpperCase(exe_path);
  const bool machine = HiveStarts(store, RunKeyHive::kLocalMachine, false, upper_exe);
  // Both hives are always looked at; opening the user's list creates it.
  const bool user = HiveStarts(store, RunKeyHive::kCurrentUser, true, upper_exe);
  return machine || user;
}

void Set_AutoStart(RunKeyStore& store, std::string_view exe_path, bool enable) {
  const std::string upper_exe = store.UpperCase(exe_path);
  if (!store.Open(RunKeyHive::kCurrentUser, true)) return;

  bool exists = false;
  for (const RunValue& value : store.Values(RunKeyHive::kCurrentUser)) {
    if (!Starts(store, value, upper_exe)) continue;
    if (!enable) {
      store.DeleteUserValue(value.name);
      continue;
    }
    exists = true;
    break;
  }
  if (enable && !exists) {
    const std::string name = store.UpperCase(PathText(PathFromText(exe_path).stem()));
    store.WriteUserValue(name, exe_path);
  }
}

}  // namespace trivane
