#pragma once

namespace trivane {

// Where a unit or message came from. The router decides by it what each
// destination gets, and the log shows its lines under its source; nothing
// reads it back from the settings.
struct Origin {
  enum class Kind { kTcpSource, kStudio, kTestPanel };

  Kind kind = Kind::kTcpSource;
  // The TCP source (0-based) for kTcpSource; for the others the source their
  // log lines are shown under: the one last read.
  int source = 0;

  static Origin TcpSource(int i) { return {Kind::kTcpSource, i}; }
  static Origin Studio(int shown_source) { return {Kind::kStudio, shown_source}; }
  static Origin TestPanel(int shown_source) { return {Kind::kTestPanel, shown_source}; }
};

}  // namespace trivane
