#pragma once

#include "base/desktop.h"
#include "base/text_codec.h"
#include "tools/command_line.h"
#include "tools/line_output.h"

namespace trivane::sim {

// Each runs one subcommand to its end and gives the exit status; failures
// that end it early are thrown as SimFailure.
int RunSource(const SourceOptions& options, const TextCodec& codepage, const LineSink& out);
int RunOnline(const OnlineOptions& options, const TextCodec& codepage, const LineSink& out);
int RunListen(const ListenOptions& options, const TextCodec& codepage, const LineSink& out);
int RunDecode(const DecodeOptions& options, const TextCodec& codepage, const LineSink& out);
// A stand-in playout studio on `desktop`: the local bus in the program, an
// in-process fake in the tests.
int RunStudio(const StudioOptions& options, const TextCodec& codepage, const LineSink& out,
              Desktop& desktop);

}  // namespace trivane::sim
