#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static trivane::testing::PipelineHost host;
  trivane::fuzz::ParseOneArrival(host, data, size, 0xFE, [](trivane::TReadComm& comm) {
    return host.Uecp().ExtractFrame(comm);
  });
  return 0;
}
