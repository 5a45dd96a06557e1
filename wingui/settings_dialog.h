#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

#include "settings/run_key_store.h"
#include "settings/settings.h"

namespace trivane {

// Show_Settings: TF_Settings, modal over owner, its controls bound to the
// dialog's rules (SettingsForm) and its errors in message boxes. The owner's
// thread serves the dialog meanwhile, so its timers keep running. True exactly
// when the dialog closed by a successful Save.
bool ShowSettingsDialog(HWND owner, TSettings& record, const std::filesystem::path& ini,
                        RunKeyStore& run_keys, const std::string& exe_path);

}  // namespace trivane
