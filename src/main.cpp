// talvero: pastes several ASCII DXF drawings into one, asking on the console
// or as a script's command line says.
#include <cstdio>
#include <string>
#include <vector>

#include "dialogue/command_line.h"
#include "dialogue/opening.h"
#include "merge/treatment.h"
#include "state.h"
#include "system/host.h"

int main(int argc, char** argv) {
  const CommandLine command = parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
  switch (command.mode) {
    case CommandLine::Mode::help: std::fputs(usage_text, stdout); return 0;
    case CommandLine::Mode::version: std::fputs("talvero " TALVERO_VERSION "\n", stdout); return 0;
    case CommandLine::Mode::usage_error:
      std::fprintf(stderr, "talvero: %s\nTry 'talvero --help'.\n", command.error.c_str());
      return 2;
    case CommandLine::Mode::script: {
      host::prepare_process();
      console.attach_standard();
      const int status = run_script(command);
      console.flush();
      return status;
    }
    case CommandLine::Mode::dialogue: break;
  }
  host::prepare_process();
  console.attach_standard();
  bool ok = opening() && treatment();
  console.flush();
  return ok ? 0 : 1;
}
