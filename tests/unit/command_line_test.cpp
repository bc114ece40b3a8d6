// The command line read into what a run does: the dialogue, a script's merge
// (its result, its drawings and its options), the help, the version, or a
// usage error that says what is wrong.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "dialogue/command_line.h"

namespace {

using Mode = CommandLine::Mode;

struct Arguments {
  std::vector<std::string> args;
  CommandLine expected;  // but for a script, its mode and error text alone count
};
void PrintTo(const Arguments& a, std::ostream* os) { *os << ::testing::PrintToString(a.args); }

CommandLine run(Mode mode) {
  CommandLine c;
  c.mode = mode;
  return c;
}
CommandLine script(std::string result, std::vector<std::string> inputs, bool quiet = false, bool force = false) {
  CommandLine c = run(Mode::script);
  c.quiet = quiet, c.force = force, c.result = std::move(result), c.inputs = std::move(inputs);
  return c;
}
CommandLine refused(std::string why) {
  CommandLine c = run(Mode::usage_error);
  c.error = std::move(why);
  return c;
}

class CommandLineArguments : public ::testing::TestWithParam<Arguments> {};

TEST_P(CommandLineArguments, AreReadAsTheRunTheyAskFor) {
  const CommandLine got = parse_command_line(GetParam().args);
  const CommandLine& want = GetParam().expected;
  EXPECT_EQ(got.mode, want.mode);
  EXPECT_EQ(got.error, want.error);
  if (want.mode != Mode::script) return;
  EXPECT_EQ(got.quiet, want.quiet);
  EXPECT_EQ(got.force, want.force);
  EXPECT_EQ(got.result, want.result);
  EXPECT_EQ(got.inputs, want.inputs);
  const DrawingOptions &g = got.drawing, &w = want.drawing;
  EXPECT_EQ(std::tie(g.inserts, g.curves, g.tolerance, g.lines, g.scaled, g.scale, g.layer_per_input),
            std::tie(w.inserts, w.curves, w.tolerance, w.lines, w.scaled, w.scale, w.layer_per_input));
}

const CommandLine help = run(Mode::help);

// A script's merge of r from a with the drawing options set by `set`.
template <class Set>
CommandLine drawing(Set set) {
  CommandLine c = script("r", {"a"});
  set(c.drawing);
  return c;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, CommandLineArguments,
    ::testing::Values(
        Arguments{{}, {}},
        // The result's option may stand anywhere; names keep their spaces.
        Arguments{{"-o", "r.dxf", "a.dxf", "b c.dxf"}, script("r.dxf", {"a.dxf", "b c.dxf"})},
        Arguments{{"a.dxf", "--output", "r.dxf", "b.dxf"}, script("r.dxf", {"a.dxf", "b.dxf"})},
        Arguments{{"--output=r.dxf", "a.dxf"}, script("r.dxf", {"a.dxf"})},
        Arguments{{"-or.dxf", "a.dxf"}, script("r.dxf", {"a.dxf"})},
        Arguments{{"--quiet", "--force", "-o", "r", "a"}, script("r", {"a"}, true, true)},
        Arguments{{"-q", "-o", "r", "a"}, script("r", {"a"}, true, false)},
        Arguments{{"-f", "-o", "r", "a"}, script("r", {"a"}, false, true)},
        // Short options joined; the first o takes the rest, or the next argument.
        Arguments{{"-qf", "-o", "r", "a"}, script("r", {"a"}, true, true)},
        Arguments{{"-qfo", "r", "a"}, script("r", {"a"}, true, true)},
        Arguments{{"-fqor", "a"}, script("r", {"a"}, true, true)},
        // The result is whatever follows -o.
        Arguments{{"-o", "-q", "a"}, script("-q", {"a"})},
        // After "--" everything is a drawing; "-" alone is a name.
        Arguments{{"-o", "r", "--", "-q", "--force", "-"}, script("r", {"-q", "--force", "-"})},
        Arguments{{"-o", "r", "-"}, script("r", {"-"})},
        // Help wherever it is asked for, joined to other options too.
        Arguments{{"-h"}, help}, Arguments{{"--help"}, help}, Arguments{{"-o", "r", "a", "--help"}, help},
        Arguments{{"-qh"}, help}, Arguments{{"--help", "more"}, help},
        // As Windows programs ask for it, but for a drawing's name after "--".
        Arguments{{"/?"}, help}, Arguments{{"-o", "r", "a", "/?"}, help},
        Arguments{{"-o", "r", "--", "/?"}, script("r", {"/?"})}, Arguments{{"--version"}, run(Mode::version)},
        // What is taken beyond polylines, and how.
        Arguments{{"--inserts", "--lines", "--layer-per-input", "-o", "r", "a"},
                  drawing([](DrawingOptions& d) { d.inserts = d.lines = d.layer_per_input = true; })},
        Arguments{{"--curves", "-o", "r", "a"}, drawing([](DrawingOptions& d) { d.curves = true; })},
        Arguments{{"--curves=0.01", "-o", "r", "a"},
                  drawing([](DrawingOptions& d) { d.curves = true, d.tolerance = 0.01; })},
        Arguments{{"--scale=100", "-o", "r", "a"}, drawing([](DrawingOptions& d) { d.scaled = true, d.scale = 100; })},
        Arguments{{"--scale", "-1e-3", "-o", "r", "a"},
                  drawing([](DrawingOptions& d) { d.scaled = true, d.scale = -1e-3; })},
        Arguments{{"--scale=0", "-o", "r", "a"}, refused("option '--scale' needs a factor other than 0, not '0'")},
        Arguments{{"--scale=2x", "-o", "r", "a"}, refused("option '--scale' needs a factor other than 0, not '2x'")},
        Arguments{{"--scale=inf", "-o", "r", "a"}, refused("option '--scale' needs a factor other than 0, not 'inf'")},
        Arguments{{"-o", "r", "a", "--scale"}, refused("option '--scale' needs a factor")},
        Arguments{{"--curves=0", "-o", "r", "a"}, refused("option '--curves' needs a tolerance above 0, not '0'")},
        Arguments{{"--curves=", "-o", "r", "a"}, refused("option '--curves' needs a tolerance above 0, not ''")},
        // Usage errors.
        Arguments{{"a.dxf"}, refused("no result given (-o RESULT)")},
        Arguments{{"-qf", "a.dxf"}, refused("no result given (-o RESULT)")},
        Arguments{{"--", "-o", "r", "a"}, refused("no result given (-o RESULT)")},
        Arguments{{"-o", "r.dxf"}, refused("no drawings to paste")},
        Arguments{{"-o", "r", "--"}, refused("no drawings to paste")},
        Arguments{{"-o"}, refused("option '-o' needs a file name")},
        Arguments{{"-o", "", "a"}, refused("option '-o' needs a file name")},
        Arguments{{"a", "-qo"}, refused("option '-o' needs a file name")},
        Arguments{{"--output"}, refused("option '--output' needs a file name")},
        Arguments{{"--output=", "a"}, refused("option '--output' needs a file name")},
        Arguments{{"-o", "r", "-o", "s", "a"}, refused("only one result can be given")},
        Arguments{{"-or", "--output=s", "a"}, refused("only one result can be given")},
        Arguments{{"-x"}, refused("unknown option '-x'")},
        Arguments{{"-qx", "-o", "r", "a"}, refused("unknown option '-x'")},
        Arguments{{"--bogus", "-o", "r", "a"}, refused("unknown option '--bogus'")},
        Arguments{{"--quiet=yes", "-o", "r", "a"}, refused("unknown option '--quiet=yes'")},
        Arguments{{"--outputs", "r", "a"}, refused("unknown option '--outputs'")}));

}  // namespace
