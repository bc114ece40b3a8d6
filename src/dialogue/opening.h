// The console dialogue: banner, questions, input paths and the resulting file.
#pragma once

// Shows the banner, asks the folder, the count, the input names and the
// result's name, fills num_arch, capas and nomgen, and creates the resulting
// file f2. Returns false, after saying why on standard error, when standard
// input ends early, piped answers do not fit the questions (one is refused,
// or one is left over), or the resulting file cannot be created.
[[nodiscard]] bool opening();
