// The layer an input's polylines are put on when each input has its own.
#pragma once

#include <string>
#include <string_view>

// The base name of the file at `path` (no folder, no extension), each
// character a layer name cannot hold (< > / \ " : ; ? * | = ` and control
// characters) made '_'; "_" when nothing is left.
[[nodiscard]] std::string layer_of_input(std::string_view path);
