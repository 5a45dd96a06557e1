#include <gtest/gtest.h>

#include "settings/autostart.h"

namespace trivane {
namespace {

constexpr std::string_view kExe = "/opt/Veltora/Trivane.exe";

class FakeRunKeyStore : public RunKeyStore {
 public:
  std::vector<RunValue> user, machine;
  bool user_exists = false, user_can_open = true, machine_exists = false;
  int writes = 0;

  bool Open(RunKeyHive hive, bool create) override {
    if (hive == RunKeyHive::kLocalMachine) return machine_exists;
    if (create && user_can_open) user_exists = true;
    return user_exists && user_can_open;
  }
  std::vector<RunValue> Values(RunKeyHive hive) override {
    return hive == RunKeyHive::kLocalMachine ? machine : user;
  }
  bool WriteUserValue(std::string_view name, std::string_view data) override {
    ++writes;
    user.push_back({std::string(name), std::string(data)});
    return true;
  }
  bool DeleteUserValue(std::string_view name) override {
    return std::erase_if(user, [name](const RunValue& v) { return v.name == name; }) > 0;
  }
};

TEST(AutoStart, GetScansBothHivesIgnoringCase) {
  FakeRunKeyStore store;
  EXPECT_FALSE(Get_AutoStart(store, kExe));
  EXPECT_TRUE(store.user_exists) << "the user's list is created";

  store.user = {{"Other", "/opt/veltora/trivane.exe --tray"}};
  EXPECT_FALSE(Get_AutoStart(store, kExe));
  store.user.push_back({"X", "/OPT/VELTORA/TRIVANE.EXE"});
  EXPECT_TRUE(Get_AutoStart(store, kExe));

  store.user.clear();
  store.machine = {{"M", "/opt/veltora/trivane.exe"}};
  EXPECT_FALSE(Get_AutoStart(store, kExe)) << "a list that cannot be opened is not read";
  store.machine_exists = true;
  EXPECT_TRUE(Get_AutoStart(store, kExe));
}

TEST(AutoStart, EnableWritesOneValueOnlyWhenNoneMatches) {
  FakeRunKeyStore store;
  Set_AutoStart(store, kExe, true);
  EXPECT_EQ(store.user, (std::vector<RunValue>{{"TRIVANE", std::string(kExe)}}));
  Set_AutoStart(store, kExe, true);
  store.user = {{"Legacy", "/OPT/veltora/TRIVANE.exe"}};
  Set_AutoStart(store, kExe, true);
  EXPECT_EQ(store.writes, 1);

  FakeRunKeyStore locked;
  locked.user_can_open = false;
  Set_AutoStart(locked, kExe, true);
  EXPECT_EQ(locked.writes, 0);
}

TEST(AutoStart, DisableRemovesEveryUserMatchButNoMachineEntry) {
  FakeRunKeyStore store;
  store.machine_exists = true;
  store.machine = {{"M", std::string(kExe)}};
  store.user = {{"TRIVANE", std::string(kExe)},
                {"Keep", "/usr/bin/other"},
                {"Old", "/opt/VELTORA/trivane.EXE"}};

  Set_AutoStart(store, kExe, false);
  EXPECT_EQ(store.user, (std::vector<RunValue>{{"Keep", "/usr/bin/other"}}));
  EXPECT_EQ(store.machine.size(), 1u);
  EXPECT_TRUE(Get_AutoStart(store, kExe));
}

}  // namespace
}  // namespace trivane
