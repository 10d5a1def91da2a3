#pragma once

#include "platform/userdialogs.h"

#include <QString>

namespace quillory {

// A message for the user: the window shows it in a box with the application's title, the
// command line prints it.
struct RestoreMessage {
    QString text;
    MessageIcon icon = MessageIcon::Information;
};

} // namespace quillory
