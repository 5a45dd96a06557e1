#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/run_key_store.h"

namespace trivane::testing {

// Both start-up lists always open; writes and deletes act on the operator's list.
class AlwaysOpenRunKeyStore : public RunKeyStore {
 public:
  std::vector<RunValue> user, machine;

  bool Open(RunKeyHive, bool) override { return true; }
  std::vector<RunValue> Values(RunKeyHive hive) override {
    return hive == RunKeyHive::kLocalMachine ? machine : user;
  }
  bool WriteUserValue(std::string_view name, std::string_view data) override {
    user.push_back({std::string(name), std::string(data)});
    return true;
  }
  bool DeleteUserValue(std::string_view name) override {
    return std::erase_if(user, [name](const RunValue& v) { return v.name == name; }) > 0;
  }
};

}  // namespace trivane::testing
