#pragma once

#include "app/storediscovery.h"

namespace quillory {

class ProgramContext;

// What every start does before any work: reads the computer's and the user's names and finds
// the mail store. When the mail client or its store is missing, says so through the context's
// dialogs (a box in the window, standard error without one) and returns the status.
StoreStatus loadProgram(ProgramContext &context);

} // namespace quillory
