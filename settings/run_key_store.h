#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/ascii_text.h"

namespace trivane {

// The two places a start-up entry can live: the operator's own, which we may
// change, and the machine-wide one, which we only read.
enum class RunKeyHive { kCurrentUser, kLocalMachine };

struct RunValue {
  std::string name;
  std::string data;  // the program path the entry starts

  bool operator==(const RunValue&) const = default;
};

// The list of programs started at log-on. Every call stands alone and
// failures are values: the autostart switch must never stop the program.
class RunKeyStore {
 public:
  virtual ~RunKeyStore() = default;

  // True when the hive's list exists (after creating it, when asked to and
  // allowed to).
  virtual bool Open(RunKeyHive hive, bool create) = 0;

  // The entries in a stable order; empty when the list cannot be read.
  virtual std::vector<RunValue> Values(RunKeyHive hive) = 0;

  // The machine-wide list is never changed, so these act on the current user only.
  virtual bool WriteUserValue(std::string_view name, std::string_view data) = 0;
  virtual bool DeleteUserValue(std::string_view name) = 0;

  // The upper case that program paths are compared and named in: the
  // system's own. Windows' follows the user's language, so a path of
  // Cyrillic folders matches however its letters were written; a store
  // without one of its own changes the ASCII letters only.
  virtual std::string UpperCase(std::string_view text) const { return UpperAscii(text); }
};

}  // namespace trivane
