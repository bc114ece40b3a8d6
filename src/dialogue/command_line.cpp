// Options, the help text, and the merge a script asks for.
#include "dialogue/command_line.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "merge/treatment.h"
#include "state.h"
#include "system/host.h"

const char* const usage_text =
    "usage: talvero\n"
    "       talvero [-q] [-f] [OPTION...] -o RESULT INPUT...\n"
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
    "c:\\images\\ on Windows, ./images elsewhere). Answers piped in must answer\n"
    "the questions in turn: one that is refused, or left over, ends the run.\n"
    "\n"
    "With -o, the drawings named on the command line (paths on this host, any\n"
    "number of them) are pasted into RESULT without questions:\n"
    "  -o, --output RESULT  the resulting drawing; - for standard output (the\n"
    "                       console texts then go to standard error)\n"
    "  -f, --force          replace RESULT if it exists (never one of the\n"
    "                       INPUTs, never a write-protected file)\n"
    "  -q, --quiet          no console texts, no closing line and no line per\n"
    "                       drawing on what was copied (warnings and failures\n"
    "                       are still said)\n"
    "      --inserts        block references placed as the drawing places them:\n"
    "                       their blocks' polylines (and, with --curves and\n"
    "                       --lines, curves and lines) in world coordinates\n"
    "      --curves[=TOL]   arcs, circles, ellipses, splines and bulges as\n"
    "                       polylines whose chords stay within TOL of the curve\n"
    "                       (default 0.5, the rounding's own error)\n"
    "      --lines          LINE entities as polylines, consecutive lines of one\n"
    "                       layer whose ends meet joined into one\n"
    "      --scale=F        every coordinate multiplied by F before rounding\n"
    "      --layer-per-input  each drawing's polylines on a layer named after\n"
    "                       its file\n"
    "  -h, --help, /?       show this text and exit\n"
    "      --version        show the version and exit\n"
    "\n"
    "A RESULT that is a device or a FIFO is never replaced: given -f, it is\n"
    "written into as it stands. A RESULT that is a symbolic link is kept, and\n"
    "the file it points to is replaced.\n"
    "\n"
    "Exit status: 0 when the result is complete; 1 when the run failed, said on\n"
    "standard error, and nothing was written (a result written into standard\n"
    "output, a device or a FIFO may be left incomplete); 2 for a usage error.\n";

namespace {

CommandLine refuse(CommandLine c, std::string why) {
  c.mode = CommandLine::Mode::usage_error;
  c.error = std::move(why);
  return c;
}

// The number an option's value holds, whole: false when it holds none or
// one that is not finite.
bool option_number(std::string_view text, double& value) {
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return !text.empty() && error == std::errc() && stop == end && std::isfinite(value);
}

}  // namespace

CommandLine parse_command_line(const std::vector<std::string>& args) {
  CommandLine c;
  if (args.empty()) return c;
  bool has_result = false;
  bool options_end = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    // As Windows programs ask for their help.
    if (!options_end && a == "/?") {
      c.mode = CommandLine::Mode::help;
      return c;
    }
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
    } else if (a == "--inserts") {
      c.drawing.inserts = true;
    } else if (a == "--lines") {
      c.drawing.lines = true;
    } else if (a == "--layer-per-input") {
      c.drawing.layer_per_input = true;
    } else if (a == "--curves" || a.starts_with("--curves=")) {
      c.drawing.curves = true;
      if (a.size() > 8 &&
          !(option_number(std::string_view(a).substr(9), c.drawing.tolerance) && c.drawing.tolerance > 0))
        return refuse(c, "option '--curves' needs a tolerance above 0, not '" + a.substr(9) + "'");
    } else if (a == "--scale" || a.starts_with("--scale=")) {
      std::string value;
      if (a.size() > 7) {
        value = a.substr(8);
      } else if (k + 1 < args.size()) {
        value = args[++k];
      } else {
        return refuse(c, "option '--scale' needs a factor");
      }
      if (!option_number(value, c.drawing.scale) || c.drawing.scale == 0)
        return refuse(c, "option '--scale' needs a factor other than 0, not '" + value + "'");
      c.drawing.scaled = true;
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

namespace {

// Why an existing result is kept (not replaced, nor written into), or empty.
std::string kept_because(const std::string& result, bool force) {
  const host::Existing existing = host::existing_file(result);
  if (existing == host::Existing::write_protected) return result + " is write-protected: it is not replaced";
  if (existing == host::Existing::none || force) return {};
  switch (host::result_place(result).kind) {
    case host::ResultPlace::Kind::folder: return {};  // never a result: refused when created
    case host::ResultPlace::Kind::other: return result + " exists: give -f to write into it";
    default: return result + " exists: give -f to replace it";
  }
}

}  // namespace

int run_script(const CommandLine& command) {
  const std::string& result = command.result;
  const bool to_standard_output = result == "-";
  if (command.quiet)
    console.silence();
  else if (to_standard_output)
    console.texts_to_standard_error();
  // Inputs are never written to, whatever the options: standard output may
  // be appending to one.
  const std::optional<host::FileId> output = to_standard_output ? host::standard_output_id() : std::nullopt;
  std::vector<MergeInput> inputs;
  for (const std::string& path : command.inputs) {
    if (to_standard_output ? output && output == host::file_id(path)
                           : path == result || host::same_file(path, result)) {
      console.complain("the result " + (to_standard_output ? std::string("standard output") : result) +
                       " is also one of the drawings to paste; nothing was written");
      return 1;
    }
    inputs.push_back({path, path, std::nullopt});
  }
  if (to_standard_output) {
    f2.create_on_standard_output();
  } else {
    if (const std::string kept = kept_because(result, command.force); !kept.empty()) {
      console.complain(kept + "; nothing was written");
      return 1;
    }
    std::string why;
    if (!f2.create_at(result, why)) {
      console.complain("cannot create the resulting file " + result + ": " + why);
      return 1;
    }
  }
  MergeOptions options;
  options.drawing = command.drawing;
  return merge_into_result(inputs, options) ? 0 : 1;
}
