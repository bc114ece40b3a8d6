// talvero: pastes several ASCII DXF drawings into one, asking on the console.
#include <cstdio>
#include <cstring>

#include "dialogue/opening.h"
#include "merge/treatment.h"
#include "state.h"
#include "system/host.h"

namespace {

constexpr const char* usage =
    "usage: talvero\n"
    "Pastes ASCII DXF drawings into one. It takes no arguments: the folder under\n"
    "c:\\images\\, the number of drawings, their names and the result's name are\n"
    "asked on the console. On this host c:\\images\\ stands for the folder named by\n"
    "TALVERO_IMAGES (default: c:\\images\\ on Windows, ./images elsewhere).\n"
    "Options: --help, --version.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
      std::fputs(usage, stdout);
      return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
      std::fputs("talvero " TALVERO_VERSION "\n", stdout);
      return 0;
    }
    std::fprintf(stderr, "talvero: unexpected argument '%s'\n%s", argv[1], usage);
    return 2;
  }
  host::prepare_process();
  console.attach_standard();
  bool ok = opening() && treatment();
  console.flush();
  return ok ? 0 : 1;
}
