#pragma once

namespace quillory {

// Exit statuses of brevnor-cli's commands.
namespace CliExit {
constexpr int Success = 0;
// An item could not be backed up or restored (for `profile`: no usable mail store).
constexpr int ItemFailed = 1;
// A usage error, an archive that cannot be read or is damaged, a wrong password, or a run that
// changed nothing.
constexpr int Refused = 2;
} // namespace CliExit

} // namespace quillory
