// Fuzzes the dialogue: the fuzzer's bytes are the operator's answers, over an
// images folder d holding two drawings, one in a subfolder and a link to one
// of them, answered at a terminal or piped. Whatever the answers, no input is
// ever replaced, a failed run changes no file and leaves no temporary one,
// and a completed run leaves its result where the dialogue said.
#include <sanitizer/common_interface_defs.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialogue/opening.h"
#include "merge/treatment.h"
#include "scratch.h"
#include "state.h"
#include "system/host.h"

namespace {

namespace fs = std::filesystem;

std::optional<support::ScratchImages> images;  // removed at exit
std::map<std::string, std::string> drawings;   // the fixture drawings and their bytes
const std::string link_name = "d/alias.dxf";   // a link to d/a.dxf

// Says what broke where the sanitizers report (standard error may be closed), then stops.
void require(bool ok, const char* what) {
  if (ok) return;
  __sanitizer_report_error_summary((std::string("fuzz_dialogue: ") + what).c_str());
  std::abort();
}

// True when the fixture drawing is one of the inputs the dialogue took.
bool named_as_input(const std::string& drawing) {
  for (int n = 1; n <= num_arch; ++n) {
    std::error_code ec;
    std::string path = host::map_path(reinterpret_cast<const char*>(capas[n].nombre));
    if (fs::equivalent(path, images->path(drawing), ec)) return true;
  }
  return false;
}

// Removes whatever the run made and puts the fixture back as it was.
void restore() {
  std::vector<fs::path> extra;
  for (const auto& e : fs::recursive_directory_iterator(images->root())) {
    std::string rel = fs::relative(e.path(), images->root()).string();
    if (!e.is_directory() && rel != link_name && drawings.count(rel) == 0) extra.push_back(e.path());
  }
  for (const fs::path& p : extra) fs::remove(p);
  for (const auto& [rel, bytes] : drawings)
    if (!images->exists(rel) || images->read(rel) != bytes) images->write(rel, bytes);
  if (!fs::is_symlink(images->path(link_name))) {
    fs::remove(images->path(link_name));
    fs::create_symlink("a.dxf", images->path(link_name));
  }
}

const char* const drawing_a =
    "  0\nSECTION\n  2\nHEADER\n  9\n$EXTMIN\n 10\n1.5\n 20\n2.5\n 30\n0.0\n  9\n$EXTMAX\n 10\n10.5\n 20\n20.5\n"
    " 30\n5.0\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n  0\nPOLYLINE\n  8\nA\n 66\n1\n 70\n     0\n 10\n0\n"
    " 20\n0\n  0\nVERTEX\n  8\nA\n 70\n     0\n 10\n2.5\n 20\n3.5\n 30\n4.5\n  0\nSEQEND\n  0\nENDSEC\n  0\nEOF\n";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  images.emplace();
  std::string a = drawing_a;
  std::string b = a;
  b.replace(b.find("\nA\n"), 3, "\nB\n");
  drawings = {{"d/a.dxf", a}, {"d/b.dxf", b}, {"d/s/c.dxf", a + "  0\nEOF\n"}};
  restore();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view answers(reinterpret_cast<const char*>(data), size);
  // ".." in a name could reach folders outside the scratch one.
  if (answers.find("..") != std::string_view::npos) return -1;

  reset_state();
  std::string shown, errors;
  // Typed at a terminal (refused answers asked again) or piped, by the first byte.
  console.attach_memory(answers, &shown, &errors, size > 0 && (data[0] & 1) != 0);
  bool done = false;
  if (opening()) {
    require(f2.is_open() && fs::exists(f2.temp_path), "no temporary result after the dialogue");
    require(f2.temp_path.starts_with(f2.target + ".tmp"), "the temporary result is not beside the result");
    done = treatment();
    require(!done || fs::exists(f2.host_path), "no result after a complete merge");
  }
  require(images->temporaries().empty(), "a temporary file was left");
  for (const auto& [rel, bytes] : drawings) {
    // An input is never the result; a failed run writes nothing at all.
    if (!done || named_as_input(rel))
      require(images->exists(rel) && images->read(rel) == bytes, "a drawing was changed");
  }
  restore();
  return 0;
}
