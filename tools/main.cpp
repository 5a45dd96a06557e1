#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "platform/program_arguments.h"
#include "platform/system_desktop.h"
#include "platform/system_text_codec.h"
#include "platform/termination_signals.h"
#include "tools/command_line.h"
#include "tools/commands.h"

int main(int argc, char** argv) {
  using namespace trivane;
  using namespace trivane::sim;

  UseUtf8Output();
  std::vector<std::string> arguments = ProgramArguments(argc, argv);
  if (!arguments.empty()) arguments.erase(arguments.begin());
  const SimCommandLine options = ParseSimCommandLine(arguments);
  if (options.help) {
    std::fputs(UsageText(options.command).c_str(), stdout);
    return 0;
  }
  if (!options.error.empty()) {
    std::fprintf(stderr, "trivane-sim: %s (see trivane-sim %s--help)\n", options.error.c_str(),
                 CommandName(options.command));
    return SimFailure::kBadArguments;
  }
  const auto codepage = SystemTextCodec::Open(options.codepage);
  if (!codepage) {
    std::fprintf(stderr, "trivane-sim: unknown code page: %s (give %s)\n", options.codepage.c_str(),
                 SystemTextCodec::kNamesHint.data());
    return SimFailure::kBadArguments;
  }

  InstallTerminationHandlers();
  const LineSink out = PrintLine;
  try {
    switch (options.command) {
      case SimCommand::kSource:
        return RunSource(options.source, *codepage, out);
      case SimCommand::kOnline:
        return RunOnline(options.online, *codepage, out);
      case SimCommand::kListen:
        return RunListen(options.listen, *codepage, out);
      case SimCommand::kDecode:
        return RunDecode(options.decode, *codepage, out);
      case SimCommand::kStudio: {
        SystemDesktop desktop;
        return RunStudio(options.studio, *codepage, out, desktop);
      }
      case SimCommand::kNone:
        break;
    }
  } catch (const SimFailure& failure) {
    std::fprintf(stderr, "trivane-sim: %s\n", failure.what());
    return failure.ExitCode();
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "trivane-sim: %s\n", failure.what());
    return SimFailure::kRuntime;
  }
  return SimFailure::kBadArguments;
}
