// floor: the least work any program merging drawings the way talvero does has to do.
//
//   floor OUT_FILE OUT_BYTES IN1 [IN2 ...]
//
// Reads every input file from start to end twice (all inputs once, then all inputs again),
// in 1 MiB blocks straight from the file, folds every byte into a checksum so the reads
// cannot be skipped, and then writes OUT_BYTES bytes to OUT_FILE in 1 MiB blocks.  bench/run
// sets OUT_BYTES to the size of talvero's result, so the time of this program is a lower
// bound for talvero on the same inputs.  Nothing goes to stdout; the checksum and the byte
// counts go to stderr.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kBlock = 1u << 20;

// Reads a whole file, returns false on error; adds the bytes read to `total`.
bool fold_file(const char* path, std::vector<std::uint64_t>& block, std::uint64_t& sum, std::uint64_t& total) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) {
    std::fprintf(stderr, "floor: cannot open %s: %s\n", path, std::strerror(errno));
    return false;
  }
  std::setvbuf(f, nullptr, _IONBF, 0);  // every fread below is one read of the file
  char* bytes = reinterpret_cast<char*>(block.data());
  for (;;) {
    const std::size_t n = std::fread(bytes, 1, kBlock, f);
    if (n == 0) break;
    total += n;
    // Zero the rest of the last word, then fold whole words.
    const std::size_t words = (n + 7) / 8;
    std::memset(bytes + n, 0, words * 8 - n);
    std::uint64_t acc = 0;
    for (std::size_t i = 0; i < words; ++i) acc ^= block[i];
    sum = (sum << 7 | sum >> 57) ^ acc;
  }
  const bool ok = std::ferror(f) == 0;
  if (!ok) std::fprintf(stderr, "floor: read error on %s\n", path);
  std::fclose(f);
  return ok;
}

bool write_bytes(const char* path, std::uint64_t count, const std::vector<std::uint64_t>& block) {
  std::FILE* f = std::fopen(path, "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "floor: cannot create %s: %s\n", path, std::strerror(errno));
    return false;
  }
  std::setvbuf(f, nullptr, _IONBF, 0);
  const char* bytes = reinterpret_cast<const char*>(block.data());
  bool ok = true;
  while (ok && count > 0) {
    const std::size_t n = count < kBlock ? static_cast<std::size_t>(count) : kBlock;
    ok = std::fwrite(bytes, 1, n, f) == n;
    count -= n;
  }
  ok = std::fclose(f) == 0 && ok;
  if (!ok) std::fprintf(stderr, "floor: write error on %s\n", path);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: floor OUT_FILE OUT_BYTES IN1 [IN2 ...]\n", stderr);
    return 2;
  }
  char* end = nullptr;
  errno = 0;
  const unsigned long long out_bytes = std::strtoull(argv[2], &end, 10);
  if (errno != 0 || end == argv[2] || *end != '\0' || argv[2][0] == '-') {
    std::fprintf(stderr, "floor: bad byte count %s\n", argv[2]);
    return 2;
  }

  // One spare word so a partial last word can be zero-padded in place.
  std::vector<std::uint64_t> block(kBlock / 8 + 1);
  std::uint64_t sum = 0;
  std::uint64_t total = 0;
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 3; i < argc; ++i)
      if (!fold_file(argv[i], block, sum, total)) return 1;

  // Output: a block of the last input data (any content would do).
  if (!write_bytes(argv[1], out_bytes, block)) return 1;

  std::fprintf(stderr, "floor: read %llu bytes, wrote %llu bytes, checksum %016llx\n",
               static_cast<unsigned long long>(total), out_bytes, static_cast<unsigned long long>(sum));
  return 0;
}
