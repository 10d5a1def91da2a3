#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace quillory {

// What one backup, restore or verify run did, as brevnor-cli's `--json` prints it and a
// scheduled job keeps it: written by one routine, so that one reader serves both.
struct RunOutcome {
    struct Item {
        QString name;
        // "succeeded", "partial" (stored, but with files left out), "failed" or "skipped".
        QString result;
        QString reason;
    };

    QString archive;
    // -1 when there is no archive to speak of: none there, or a backup that wrote none (the file
    // left from an earlier run is not this run's).
    qint64 archiveSize = -1;
    QDateTime start;
    QDateTime end;
    int exitStatus = 2;
    QList<Item> items;
};

// The archive's size after a run whose outcome is `exitStatus`; -1 as `RunOutcome` says.
qint64 archiveSizeAfter(const QString &archive, bool wrote, int exitStatus);

// "archive", "archiveSize" (null for -1), "start", "end", "exitStatus" and "items" of {"name",
// "result", "reason"}.
QJsonObject runOutcomeObject(const RunOutcome &run);
// Null when `object` has no valid start.
std::optional<RunOutcome> runOutcomeFrom(const QJsonObject &object);

// ISO 8601 to the second with the offset from UTC ("2026-12-07T09:00:00+01:00"), so that a
// reader elsewhere or after the clocks change reads the same moment; empty for an invalid time.
QString timeWithOffset(const QDateTime &time);
// The moment `text` (as written by `timeWithOffset`) names, in local time; invalid when it names
// none.
QDateTime timeFromText(const QString &text);

} // namespace quillory
