#pragma once

#include "platform/result.h"

#include <QString>

namespace quillory {

// The session bus of the user's desktop: the one DBUS_SESSION_BUS_ADDRESS names, else the user's
// bus socket under /run/user; empty when there is neither, as under cron without a desktop.
QString sessionBusAddress();

// Shows a notification through the desktop's freedesktop notifications service. Fails, saying
// why, when no session bus is reachable or nothing on it takes the notification.
Result notifyDesktop(const QString &summary, const QString &body);

} // namespace quillory
