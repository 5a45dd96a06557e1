#include <cstdio>
#include <span>

#include "app/command_line.h"
#include "app/headless_loop.h"
#include "base/path_text.h"
#include "core/app_paths.h"
#include "core/controller.h"
#include "platform/executable_path.h"
#include "platform/program_arguments.h"
#include "platform/program_version.h"
#include "platform/system_text_codec.h"
#if TRIVANE_WINDOW
#include "app/window_entry.h"
#endif

int main(int argc, char** argv) {
  using namespace trivane;

  UseUtf8Output();
  const CommandLine options = ParseCommandLine(ProgramArguments(argc, argv));
  if (!options.error.empty()) {
    std::fprintf(stderr, "trivane: %s\n\n%s", options.error.c_str(), UsageText().c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  const FileVersion version = ProgramFileVersion().value_or(BuiltFileVersion());
  if (options.version) {
    std::printf("%s\n", WindowCaption(version).c_str());
    return 0;
  }

  const auto executable = ExecutablePath();
  if (executable.empty() && (!options.ini_file || !options.log_dir)) {
    std::fputs("trivane: cannot find the program's own path; give --ini and --log-dir\n", stderr);
    return 2;
  }
  const ControllerPaths paths{options.ini_file.value_or(IniPathFor(executable)),
                              options.log_dir.value_or(LogDirFor(executable))};

  const std::string code_page =
      options.codepage.value_or(std::string(SystemTextCodec::kDefaultCodePage));
  const auto codepage = SystemTextCodec::Open(code_page);
  if (!codepage) {
    std::fprintf(stderr, "trivane: unknown code page: %s (give %s)\n", code_page.c_str(),
                 SystemTextCodec::kNamesHint.data());
    return 2;
  }

  std::fprintf(stderr, "trivane: settings %s, daily logs in %s\n", PathText(paths.ini_file).c_str(),
               PathText(paths.log_dir).c_str());
  if (!options.headless) {
#if TRIVANE_WINDOW
    if (CanOpenWindow()) {
      // The metrics are for unattended relays; the window shows its own grid.
      if (options.metrics) {
        std::fputs("trivane: --metrics is served by the headless relay only; add --headless\n",
                   stderr);
      }
      return RunWindowed(argc, argv, paths, *codepage, version);
    }
    std::fputs("trivane: no display can be opened; running headless\n", stderr);
#else
    std::fputs("trivane: this build has no window; running headless\n", stderr);
#endif
  }
  return RunHeadless(paths, *codepage, options.metrics.value_or(""), version);
}
