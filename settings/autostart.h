#pragma once

#include <string_view>

#include "settings/run_key_store.h"

namespace trivane {

// True when an entry of either hive starts this program; entries are matched by
// their data, compared with the program path in upper case.
bool Get_AutoStart(RunKeyStore& store, std::string_view exe_path);

// Changes the current user's entries only. Disabling removes every entry that
// starts this program, whatever its name; enabling adds one named after the
// program file (upper case, no directory or extension) unless one exists.
// Failures are silent.
void Set_AutoStart(RunKeyStore& store, std::string_view exe_path, bool enable);

}  // namespace trivane
