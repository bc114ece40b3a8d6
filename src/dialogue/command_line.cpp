// Options, the help text, and the merge a script asks for.
#include "dialogue/command_line.h"

#include <string_view>

#include "merge/treatment.h"
#include "state.h"
#include "system/host.h"

const char* const usage_text =
    "usage: talvero\n"
    "       talvero [-q] [-f] -o RESULT INPUT...\n"
    "\n"
    "Pastes ASCII DXF drawings into one: their POLYLINE entities with their\n"
    "VERTEX points and SEQEND ends, every vertex coordinate rounded to an\n"
    "integer (one half added, then truncated toward zero), under a header with\n"
    "the drawings' overall extents. Other entities are not copied. The result\n"
    "has CR LF line ends, and replaces a file only once it is complete.\n"
    "\n"
    "With no arguments, the folder under c:\\images\\, the number of drawings,\n"
    "their names and the result's name are asked on the console. On this host\n"
    "c:\\images\\ stands for the folder named by TALVERO_IMAGES (default:\n"
    "c:\\images\\ on Windows, ./images elsewhere).\n"
    "\n"
    "With -o, the drawings named on the command line (paths on this host, any\n"
    "number of them) are pasted into RESULT without questions:\n"
    "  -o, --output RESULT  the resulting drawing\n"
    "  -f, --force          replace RESULT if it exists (never one of the\n"
    "                       INPUTs, never a write-protected file)\n"
    "  -q, --quiet          nothing on standard output, no closing line and no\n"
    "                       line per drawing on what was copied (warnings\n"
    "                       and failures are still said)\n"
    "  -h, --help           show this text and exit\n"
    "      --version        show the version and exit\n"
    "\n"
    "Exit status: 0 when the result is complete; 1 when the run failed, said on\n"
    "standard error, and nothing was written; 2 for a usage error.\n";

namespace {

CommandLine refuse(CommandLine c, std::string why) {
  c.mode = CommandLine::Mode::usage_error;
  c.error = std::move(why);
  return c;
}

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args) {
  CommandLine c;
  if (args.empty()) return c;
  bool has_result = false;
  bool options_end = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (options_end || a.size() < 2 || a[0] != '-') {
      c.inputs.push_back(a);
      continue;
    }
    // The result's name, given once and not empty; why not, otherwise.
    auto take_result = [&](std::string value, const std::string& option) -> std::string {
      if (value.empty()) return "option '" + option + "' needs a file name";
      if (has_result) return "only one result can be given";
      has_result = true;
      c.result = std::move(value);
      return {};
    };
    if (a == "--") {
      options_end = true;
    } else if (a == "-h" || a == "--help") {
      c.mode = CommandLine::Mode::help;
      return c;
    } else if (a == "--version") {
      c.mode = CommandLine::Mode::version;
      return c;
    } else if (a == "--quiet") {
      c.quiet = true;
    } else if (a == "--force") {
      c.force = true;
    } else if (a == "--output" || a.starts_with("--output=")) {
      std::string value;
      if (a.size() > 8) {
        value = a.substr(9);
      } else if (k + 1 < args.size()) {
        value = args[++k];
      } else {
        return refuse(c, "option '--output' needs a file name");
      }
      if (std::string why = take_result(value, "--output"); !why.empty()) return refuse(c, why);
    } else if (a[1] == '-') {
      return refuse(c, "unknown option '" + a + "'");
    } else {
      // Short options, which may be joined: -qf, -qo RESULT, -oRESULT.
      for (std::size_t j = 1; j < a.size(); ++j) {
        if (a[j] == 'q') {
          c.quiet = true;
        } else if (a[j] == 'f') {
          c.force = true;
        } else if (a[j] == 'h') {
          c.mode = CommandLine::Mode::help;
          return c;
        } else if (a[j] == 'o') {
          std::string value = a.substr(j + 1);
          if (value.empty()) {
            if (k + 1 >= args.size()) return refuse(c, "option '-o' needs a file name");
            value = args[++k];
          }
          if (std::string why = take_result(value, "-o"); !why.empty()) return refuse(c, why);
          break;
        } else {
          return refuse(c, "unknown option '-" + std::string(1, a[j]) + "'");
        }
      }
    }
  }
  if (!has_result) return refuse(c, "no result given (-o RESULT)");
  if (c.inputs.empty()) return refuse(c, "no drawings to paste");
  c.mode = CommandLine::Mode::script;
  return c;
}

int run_script(const CommandLine& command) {
  if (command.quiet) console.silence();
  const std::string& result = command.result;
  std::vector<MergeInput> inputs;
  for (const std::string& path : command.inputs) {
    // Never written to, whatever the options.
    if (path == result || host::same_file(path, result)) {
      console.complain("the result " + result + " is also one of the drawings to paste; nothing was written");
      return 1;
    }
    inputs.push_back({path, path, std::nullopt});
  }
  switch (host::existing_file(result)) {
    case host::Existing::write_protected:
      console.complain(result + " is write-protected: it is not replaced; nothing was written");
      return 1;
    case host::Existing::writable:
      if (!command.force) {
        console.complain(result + " exists: give -f to replace it; nothing was written");
        return 1;
      }
      break;
    case host::Existing::none: break;
  }
  std::string why;
  if (!f2.create_at(result, why)) {
    console.complain("cannot create the resulting file " + result + ": " + why);
    return 1;
  }
  return merge_into_result(inputs) ? 0 : 1;
}
