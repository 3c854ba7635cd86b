#include "app/slash_program.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/process_setup.h"
#include "app/program_info.h"
#include "runtime/exit_status.h"
#include "runtime/process_runtime.h"
#include "runtime/runtime_error.h"
#include "window/effect_window.h"
#include "window/hosts/backend_choice.h"

namespace slash {
namespace {

// The help or version text; text that cannot be written is reported.
int PrintInfo(const std::string& text) {
  errno = 0;
  if (std::fputs(text.c_str(), stdout) != EOF && std::fflush(stdout) == 0) return kStatusDone;
  std::fprintf(stderr, "slash: cannot write to standard output: %s\n",
               std::strerror(errno != 0 ? errno : EIO));
  return kStatusOutputFailure;
}

int RunEffect(const std::string& command_line, const BackendWrapper& wrap) {
  std::unique_ptr<WindowBackend> backend = OpenBackend(ChooseProcessBackend());
  if (wrap) backend = wrap(std::move(backend));
  ProcessRuntime runtime(command_line, [&backend] {
    const PixelRect primary = backend->PrimaryMonitor();
    return ScreenSize{primary.width, primary.height};
  });
  F_Vesk window(*backend);
  // The effect's end and a closed window both end the program normally.
  window.Run(runtime);
  EndRun(kStatusDone);
  return kStatusDone;
}

}  // namespace

int SlashMain(int argc, char** argv, const BackendWrapper& wrap) {
  OpenStandardDescriptors();
  IgnoreBrokenPipes();
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  switch (FindInfoRequest(arguments)) {
    case InfoRequest::kHelp:
      return PrintInfo(SlashHelp());
    case InfoRequest::kVersion:
      return PrintInfo(VersionText("slash"));
    case InfoRequest::kNone:
      break;
  }
  ExitOnStopSignals();
  try {
    return RunEffect(EffectCommandText(arguments), wrap);
  } catch (const RuntimeError& error) {
    ReportErrorLine(ErrorReportLine(error));
    return error.exit_status();
  } catch (const std::exception& error) {
    ReportErrorLine(UnexpectedErrorLine(&error));
    return kStatusEffectError;
  } catch (...) {
    ReportErrorLine(UnexpectedErrorLine(nullptr));
    return kStatusEffectError;
  }
}

}  // namespace slash
