// Fuzzes a whole merge. The fuzzer's bytes, cut in two at the first separator
// line, are one or two input drawings in a scratch images folder; the dialogue
// is answered from memory. Every merge of readable inputs into a writable
// folder must complete, leave no temporary file, and stay within a size that
// the inputs bound. It is made twice: with bulk runs, runs ahead and reading
// ahead over small blocks, and with the general reads alone; both must give
// the same result and console texts.
#include <sanitizer/common_interface_defs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "bulk.h"
#include "dialogue.h"
#include "host.h"
#include "merge.h"
#include "scratch.h"
#include "state.h"

namespace {

constexpr std::string_view separator = "\n--8<--\n";

// Tokens of `input` that make the writing pass copy an entity. The count is an
// upper bound whether or not a keyword followed by a NUL byte matches.
std::size_t entity_keywords(std::string_view input) {
  input = input.substr(0, std::min(input.find('\x1a'), input.size()));
  std::string text;
  for (char c : input)
    if (c != '\r') text += c;
  std::size_t n = 0;
  std::size_t at = 0;
  auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (at < text.size()) {
    while (at < text.size() && space(text[at])) ++at;
    std::size_t start = at;
    while (at < text.size() && !space(text[at])) ++at;
    std::string_view token(text.data() + start, at - start);
    token = token.substr(0, std::min(token.find('\0'), token.size()));
    n += token == "POLYLINE" || token == "VERTEX" || token == "SEQEND";
  }
  return n;
}

// Largest output of one entity copy besides its copied tokens: a VERTEX writes
// eight integers and three coordinates, each rounded to up to 310 characters.
constexpr std::size_t entity_bound = 1100;
// The header's six extents may be as long, and the tokens may be written again
// when an entity's last token read fails.
constexpr std::size_t header_bound = 4096;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (fs::temp_directory_path() / "fuzz_merge-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) fail("cannot make a scratch folder");
  scratch = pattern;
  fs::create_directory(scratch / "m");
  ::setenv("TALVERO_IMAGES", scratch.c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view all(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> inputs;
  if (std::size_t cut = all.find(separator); cut != std::string_view::npos)
    inputs = {all.substr(0, cut), all.substr(cut + separator.size())};
  else
    inputs = {all};

  const fs::path folder = scratch / "m";
  std::string answers = "m\n" + std::to_string(inputs.size()) + "\n";
  std::size_t keywords = 0;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    std::string name(1, static_cast<char>('a' + i));
    write(folder / (name + ".dxf"), inputs[i]);
    answers += name + "\n";
    keywords += entity_keywords(inputs[i]);
  }
  answers += "out\n";

  // The merge with the general reads alone, for reference.
  const fs::path result = folder / "out.dxf";
  const BulkSettings defaults = bulk_settings;
  bulk_settings.runs = false;
  bulk_settings.ahead = false;
  reset_state();
  std::string reference_shown;
  console.attach_memory(answers, &reference_shown);
  require(opening() && treatment(), "the merge failed on readable inputs");
  std::string reference;
  {
    std::ifstream f(result, std::ios::binary);
    reference.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  fs::remove(result);

  bulk_settings = defaults;
  bulk_settings.ahead = true;
  bulk_settings.ahead_min_bytes = 0;
  f1.resize_block(509);
  reset_state();
  std::string shown;
  console.attach_memory(answers, &shown);
  require(opening(), "the dialogue failed");
  require(f2.is_open() && fs::exists(f2.temp_path), "no temporary result during the merge");
  const bool merged = treatment();
  f1.resize_block(std::size_t{1} << 20);
  bulk_settings = defaults;
  require(merged, "the merge failed on readable inputs");
  require(shown == reference_shown, "bulk runs changed the console texts");

  require(fs::exists(result), "no result after a complete merge");
  std::size_t limit = header_bound + 3 * size + entity_bound * (keywords + 2 * inputs.size());
  std::size_t got = fs::file_size(result);
  if (got > limit) fail("result of " + std::to_string(got) + " bytes exceeds " + std::to_string(limit));
  std::ifstream f(result, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  require(text.starts_with("  0\r\nSECTION\r\n  2\r\nHEADER\r\n") && text.ends_with("EOF\r\n"),
          "the result does not begin with the header or end with EOF");
  require(text == reference, "bulk runs changed the result");
  for (const auto& e : fs::directory_iterator(folder))
    require(!host::is_temporary_name(e.path().filename().string()), "a temporary file was left");
  fs::remove(result);
  return 0;
}
