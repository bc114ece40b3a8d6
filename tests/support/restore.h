// A guard for what a test changes in this process: every change made through
// it is undone, newest first, when it goes out of scope, so a failed
// assertion that leaves the test early cannot leak a change into later ones.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "state.h"

namespace support {

// The block size f1 starts with.
inline constexpr std::size_t default_block = std::size_t{1} << 20;

class Restore {
 public:
  Restore() = default;
  Restore(const Restore&) = delete;
  Restore& operator=(const Restore&) = delete;
  ~Restore() {
    for (auto it = undo.rbegin(); it != undo.rend(); ++it) (*it)();
  }

  // Sets an environment variable, or removes it (nullopt).
  void env(const std::string& name, const std::optional<std::string>& value) {
    const char* was = std::getenv(name.c_str());
    later([name, before = was ? std::optional<std::string>(was) : std::nullopt] { put_env(name, before); });
    put_env(name, value);
  }
  // Gives f1 blocks of `bytes`.
  void block_size(std::size_t bytes) {
    if (bytes == default_block) return;
    later([] { f1.resize_block(default_block); });
    f1.resize_block(bytes);
  }
  // Puts the program-wide state back as at program start, and the console on
  // nothing, at the end.
  void state() {
    later([] {
      reset_state();
      console.attach_memory({}, nullptr);
    });
  }
  // Any other step to take at the end.
  void later(std::function<void()> step) { undo.push_back(std::move(step)); }

 private:
  static void put_env(const std::string& name, const std::optional<std::string>& value) {
    if (value)
      ::setenv(name.c_str(), value->c_str(), 1);
    else
      ::unsetenv(name.c_str());
  }

  std::vector<std::function<void()>> undo;
};

}  // namespace support
