#pragma once

#include "platform/userdialogs.h"

#include <QString>

namespace quillory {

// A message for the user: the window shows it in a box with the application's title, the
// command line prints it.
struct RestoreMessage {
    QString text;
    MessageIcon icon = MessageIcon::Information;
    // Why things failed, one line each: the window keeps them out of the text, behind the box's
    // details.
    QString details{};
};

} // namespace quillory
