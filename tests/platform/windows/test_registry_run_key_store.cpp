#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/windows/registry_run_key_store.h"
#include "platform/windows/wide_text.h"
#include "settings/autostart.h"

namespace trivane {
namespace {

// A Run list of the test's own under both hives, removed afterwards.
class RegistryRunKeyTest : public ::testing::Test {
 protected:
  RegistryRunKeyTest()
      : path_(L"Software\\TrivaneTests\\Run" + std::to_wstring(std::random_device()())),
        store(path_) {}
  ~RegistryRunKeyTest() override {
    RegDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, path_.c_str());
  }

  void Put(HKEY root, const std::wstring& name, const std::wstring& data, DWORD type = REG_SZ) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(root, path_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  std::optional<std::wstring> Get(HKEY root, const std::wstring& name) {
    wchar_t data[1024] = {};
    DWORD bytes = sizeof data;
    if (RegGetValueW(root, path_.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, data, &bytes) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    return std::wstring(data);
  }

  std::wstring path_;
  RegistryRunKeyStore store;
};

TEST_F(RegistryRunKeyTest, OnAndOffWriteAndDeleteTheUsersValuesOnly) {
  const std::string exe = "C:\\Program Files\\Trivane\\Trivane.exe";
  EXPECT_FALSE(store.Open(RunKeyHive::kCurrentUser, false));
  EXPECT_FALSE(Get_AutoStart(store, exe));
  EXPECT_TRUE(store.Open(RunKeyHive::kCurrentUser, false)) << "looking created the user's key";
  EXPECT_FALSE(store.Open(RunKeyHive::kLocalMachine, false)) << "but never the machine's";

  Set_AutoStart(store, exe, true);
  EXPECT_EQ(Get(HKEY_CURRENT_USER, L"TRIVANE"), L"C:\\Program Files\\Trivane\\Trivane.exe");
  EXPECT_TRUE(Get_AutoStart(store, "c:\\program files\\trivane\\TRIVANE.EXE"));
  Set_AutoStart(store, exe, true);
  EXPECT_EQ(store.Values(RunKeyHive::kCurrentUser).size(), 1u) << "nothing written twice";

  // Off removes every value that starts this program, whatever its name;
  // other programs and values that are not strings stay.
  Put(HKEY_CURRENT_USER, L"Relay old", L"C:\\PROGRAM FILES\\TRIVANE\\TRIVANE.EXE");
  Put(HKEY_CURRENT_USER, L"Other", L"C:\\Other.exe");
  Put(HKEY_CURRENT_USER, L"Number", L"C:\\Program Files\\Trivane\\Trivane.exe", REG_BINARY);
  Set_AutoStart(store, exe, false);
  EXPECT_FALSE(Get(HKEY_CURRENT_USER, L"TRIVANE"));
  EXPECT_FALSE(Get(HKEY_CURRENT_USER, L"Relay old"));
  EXPECT_EQ(Get(HKEY_CURRENT_USER, L"Other"), L"C:\\Other.exe");
  EXPECT_EQ(store.Values(RunKeyHive::kCurrentUser),
            (std::vector<RunValue>{{"Other", "C:\\Other.exe"}}));
  EXPECT_FALSE(Get_AutoStart(store, exe));
}

TEST_F(RegistryRunKeyTest, AMachineWideEntryIsReadAndNeverChanged) {
  const std::string exe = "D:\\Relay\\trivane.exe";
  Put(HKEY_LOCAL_MACHINE, L"Station relay", L"D:\\RELAY\\TRIVANE.EXE");
  EXPECT_TRUE(Get_AutoStart(store, exe));
  Set_AutoStart(store, exe, false);
  EXPECT_TRUE(Get_AutoStart(store, exe));
  EXPECT_EQ(Get(HKEY_LOCAL_MACHINE, L"Station relay"), L"D:\\RELAY\\TRIVANE.EXE");
}

TEST_F(RegistryRunKeyTest, NamesAndPathsBeyondAsciiGoThroughWholeAndCompareInTheUsersUpperCase) {
  const std::string exe = "C:\\Эфир\\Реле\\trivane.exe";
  Set_AutoStart(store, exe, true);
  EXPECT_EQ(Get(HKEY_CURRENT_USER, L"TRIVANE"), WideFromUtf8(exe));
  const auto values = store.Values(RunKeyHive::kCurrentUser);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].data, exe);
  EXPECT_TRUE(Get_AutoStart(store, exe));

  // Windows' upper case is the user's language's, not ASCII's: the same
  // program written in other letters is the same entry, and goes on off.
  EXPECT_EQ(store.UpperCase(exe), "C:\\ЭФИР\\РЕЛЕ\\TRIVANE.EXE");
  Put(HKEY_CURRENT_USER, L"Written by hand", WideFromUtf8("C:\\эфир\\РЕЛЕ\\Trivane.exe"));
  EXPECT_TRUE(Get_AutoStart(store, "c:\\эфир\\реле\\TRIVANE.exe"));
  Set_AutoStart(store, "C:\\ЭФИР\\реле\\trivane.exe", false);
  EXPECT_TRUE(store.Values(RunKeyHive::kCurrentUser).empty());
  EXPECT_EQ(store.UpperCase("Программа"), "ПРОГРАММА");
  Set_AutoStart(store, "C:\\Эфир\\Программа.exe", true);
  EXPECT_EQ(Get(HKEY_CURRENT_USER, WideFromUtf8("ПРОГРАММА")),
            WideFromUtf8("C:\\Эфир\\Программа.exe"));
}

}  // namespace
}  // namespace trivane
