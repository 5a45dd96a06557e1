#include "fuzz_checks.h"

// No first-byte gate: the parser checks its own magic and must refuse any other front.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static trivane::testing::PipelineHost host;
  trivane::fuzz::ParseOneArrival(host, data, size, -1, [](trivane::TReadComm&) {
    return host.TakeFront(0, trivane::testing::CutVl2);
  });
  return 0;
}
