#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static trivane::testing::PipelineHost host;
  trivane::fuzz::ParseOneArrival(host, data, size, 0x2D, [](trivane::TReadComm&) {
    return host.TakeFront(0, trivane::testing::CutUecpElement);
  });
  return 0;
}
