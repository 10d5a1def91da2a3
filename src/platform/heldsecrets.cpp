#include "platform/heldsecrets.h"

#include <sys/prctl.h>

namespace quillory {

void protectHeldSecrets()
{
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

} // namespace quillory
