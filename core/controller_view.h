#pragma once

#include <string>

#include "core/event_log.h"
#include "core/status_grid.h"

namespace trivane {

// What the controller asks of its window. The window reads the models (event
// log, status grid) directly and is told of their changes as their observer
// from the start, "Program started" included; this covers the rest.
class ControllerView : public EventLogObserver, public StatusGridObserver {
 public:
  ~ControllerView() override = default;

  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetTrayHint(const std::string& hint) = 0;
  // Enabled and visible together, or neither.
  virtual void ShowTrayIcon(bool shown) = 0;
  // Minimising must end in the controller's OnMinimize.
  virtual void MinimizeApplication() = 0;
  virtual void ShowCloseDialog(bool shown) = 0;
  virtual void ShowTestPanel(bool shown) = 0;
  // Ask the window to close again; it then calls FormClose once more.
  virtual void RequestClose() = 0;
  // The settings dialog, modal; true when it closed with a successful Save.
  // The ticks go on while it is open.
  virtual bool Show_Settings() = 0;
};

}  // namespace trivane
