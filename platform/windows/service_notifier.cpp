#include "platform/service_notifier.h"

namespace trivane {

// Windows starts the relay from the desktop or the Run key, with no service
// manager to report to: every call does nothing.
ServiceNotifier::ServiceNotifier() = default;
void ServiceNotifier::Ready() {}
void ServiceNotifier::Stopping() {}
void ServiceNotifier::Alive(Clock::time_point /*now*/) {}

}  // namespace trivane
