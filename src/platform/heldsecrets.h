#pragma once

namespace quillory {

// Makes the process non-dumpable once it holds a password: a crash then writes no core file
// that would keep the password on disk, and other processes of the user cannot read its
// memory. Harmless to call again.
void protectHeldSecrets();

} // namespace quillory
