#pragma once

#include <cstdio>
#include <utility>

#include "core/controller_view.h"

namespace trivane {

// The window's stand-in without a desktop: the event log goes to standard
// output, one flushed line per entry; everything visual is ignored. On the
// journal each line starts with its priority: errors for the lines a link
// tags as exceptions or errors, information for the rest.
class HeadlessView final : public ControllerView {
 public:
  HeadlessView(std::FILE* out, bool with_priorities) : out_(out), priorities_(with_priorities) {}

  void SetCaption(const std::string& /*caption*/) override {}
  void EntryAdded(const LogEntry& entry) override;
  void SetTrayHint(const std::string& /*hint*/) override {}
  void ShowTrayIcon(bool /*shown*/) override {}
  void MinimizeApplication() override { minimize_requested_ = true; }
  void ShowCloseDialog(bool /*shown*/) override {}
  void ShowTestPanel(bool /*shown*/) override {}
  void RequestClose() override { close_requested_ = true; }
  // No dialog without a window: the ini file is edited by hand.
  bool Show_Settings() override { return false; }

  bool TakeMinimizeRequest() { return std::exchange(minimize_requested_, false); }
  bool TakeCloseRequest() { return std::exchange(close_requested_, false); }

 private:
  std::FILE* out_;
  bool priorities_;
  bool minimize_requested_ = false;
  bool close_requested_ = false;
};

}  // namespace trivane
