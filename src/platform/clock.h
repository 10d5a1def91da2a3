#pragma once

#include <QDateTime>

namespace quillory {

// The time scheduled jobs go by: when runs were due, when they started and ended, when archives
// were written. QUILLORY_NOW, a local time such as "2026-12-08T09:00", sets the clock to that
// time at the program's start, from where it runs on, so that a week of scheduled times can be
// stepped through without waiting; anything that is not a time leaves the system's clock.
QDateTime clockNow();
// Whether QUILLORY_NOW stands in for the system's clock.
bool clockIsSet();

} // namespace quillory
