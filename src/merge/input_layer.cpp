// Layer names from file names.
#include "merge/input_layer.h"

std::string layer_of_input(std::string_view path) {
  // Both kinds of separator and a drive's colon end a folder, on every host.
  const std::size_t slash = path.find_last_of("/\\:");
  std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
  // A name that starts with its only dot (".dxf") keeps it.
  const std::size_t dot = base.find_last_of('.');
  if (dot != std::string_view::npos && dot > 0) base = base.substr(0, dot);
  std::string layer;
  for (const char c : base) {
    const auto u = static_cast<unsigned char>(c);
    const bool refused = u < 32 || u == 127 || std::string_view("<>/\\\":;?*|=`").find(c) != std::string_view::npos;
    layer += refused ? '_' : c;
  }
  return layer.empty() ? "_" : layer;
}
