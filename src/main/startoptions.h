#pragma once

#include <optional>

namespace quillory {

// The options brevnor answers itself. `--help` prints how to start the program and ends it with
// 0; any other option is refused with the same text and 2. nullopt when the arguments hold no
// option: the window, the argument text of an unattended backup, or a scheduled job's --job.
std::optional<int> answerStartOptions(int argc, char *argv[]);

} // namespace quillory
