#include "app/production_parts.h"

#include <cstdio>

#include "net/internal_server.h"
#include "net/ip_readers.h"
#include "net/online_uplink.h"
#include "studio/studio_link.h"

namespace trivane {

ControllerParts MakeProductionParts(LinkHost& host, Desktop* desktop,
                                    RelayMainWindow* main_window) {
  ControllerParts parts;
  parts.sources = std::make_unique<IPReaders>(host);
  if (desktop != nullptr && main_window != nullptr && main_window->Handle() != 0) {
    auto studio = std::make_unique<DesktopStudioLink>(host, *desktop, main_window->Handle());
    main_window->Attach(studio.get());
    parts.studio = std::move(studio);
  }
  parts.server = std::make_unique<InternalServer>(host);
  parts.online = std::make_unique<OnlineUplink>(host);
  return parts;
}

Desktop* UsableDesktop(SystemDesktop& desktop, const RelayMainWindow& main_window) {
  if (main_window.Handle() != 0) return &desktop;
  std::fprintf(stderr, "trivane: %s cannot be used: no studio link\n", desktop.Where().c_str());
  return nullptr;
}

}  // namespace trivane
