#pragma once

#include <cstdint>
#include <string_view>

#include "base/date_time.h"
#include "base/text_codec.h"
#include "links/line_status.h"
#include "links/relay_metrics.h"
#include "protocols/records.h"
#include "settings/settings.h"

namespace trivane {

class UnitRouter;

// The narrow set of shared services a link reaches on the controller. Links get
// nothing else of it, so each link can be driven alone in a test.
class LinkHost {
 public:
  virtual ~LinkHost() = default;

  // link: 0-based TCP source number, negative for none.
  virtual void OutLog(int link, std::string_view message, std::string_view tag) = 0;
  // The same for a failure: the entry is an error.
  virtual void OutError(int link, std::string_view message, std::string_view tag) = 0;
  virtual void SetLineStatus(int column, LineStatus status) = 0;
  // Data went through the link: its column shows the time instead of a state.
  virtual void MarkLastData(int column) = 0;
  // The settings as last applied; only the controller changes them.
  virtual const TSettings& Settings() const = 0;
  // The tick sampled at the start of the current TimerTick.
  virtual std::int64_t NowTick() const = 0;
  // A fresh reading, for events outside the tick's own sequence.
  virtual std::int64_t GetTick64() = 0;
  virtual TDateTime Now() = 0;
  // Source bytes given up as invalid go to the daily file, unchanged.
  virtual void Write_Error(int source, const TReadComm& comm) = 0;
  // A region block received or sent goes to the daily file.
  virtual void Write_Log(std::uint32_t size, std::uint32_t over, std::uint32_t extra,
                         std::string_view name) = 0;
  // The station's code page of texts on the wire.
  virtual const TextCodec& Codepage() const = 0;
  // The one route of units and messages to the destinations.
  virtual UnitRouter& Router() = 0;
  // Numbers for the station's monitoring; a link only counts into them.
  virtual RelayMetrics& Metrics() = 0;
  // From any thread: something the next tick must see has happened off the
  // tick's path (a connect attempt ended), so the driver should not sleep on.
  virtual void WakeDriver() = 0;
};

}  // namespace trivane
