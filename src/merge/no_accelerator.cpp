// The door to the accelerator in builds without it: nothing behind it.
#include "merge/accelerator.h"

Acceleration default_acceleration() { return {false, false, false}; }

bool acceleration_named(std::string_view name, Acceleration& settings) {
  settings = {false, false, false};
  return name == "off";
}

std::unique_ptr<Accelerator> make_accelerator(const Acceleration&, Reader&, Output&) { return nullptr; }
