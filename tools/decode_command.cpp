#include <cstdio>
#include <fstream>
#include <iterator>

#include "tools/commands.h"
#include "tools/stream_decoder.h"

namespace trivane::sim {
namespace {

Bytes ReadInput(const std::string& file) {
  if (file == "-") {
    Bytes bytes;
    std::uint8_t chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;) {
      bytes.insert(bytes.end(), chunk, chunk + n);
    }
    if (std::ferror(stdin)) throw SimFailure(SimFailure::kRuntime, "cannot read standard input");
    return bytes;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) throw SimFailure(SimFailure::kBadArguments, "cannot read " + file);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

int RunDecode(const DecodeOptions& options, const TextCodec& codepage, const LineSink& out) {
  const Bytes input = ReadInput(options.file);
  StreamDecoder decoder(codepage, out, options.decode);
  // A capture is one long arrival: it goes in as fast as the buffer takes it,
  // and a buffer that fills up with bytes nobody can parse is given up whole,
  // as the relay gives it up when its time runs out.
  ByteView rest(input);
  while (!rest.empty()) {
    const std::size_t stored = decoder.Append(rest);
    if (stored == 0) decoder.DiscardHeld();
    rest = rest.subspan(stored);
  }
  decoder.DiscardHeld();
  return 0;
}

}  // namespace trivane::sim
