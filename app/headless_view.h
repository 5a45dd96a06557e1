#pragma once

#include <cstdio>
#include <utility>

#include "core/controller_view.h"

namespace trivane {

// The window's stand-in without a desktop: the event log goes to standard
// output, one flushed line per entry; everything visual is ignored.
class HeadlessView final : public ControllerView {
 public:
  explicit HeadlessView(std::FILE* out) : out_(out) {}

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
  bool minimize_requested_ = false;
  bool close_requested_ = false;
};

}  // namespace trivane
