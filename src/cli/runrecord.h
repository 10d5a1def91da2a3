#pragma once

#include "app/runoutcome.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace quillory {

// What a backup, restore or verify run did, for `--json`: the outcome a scheduled job records,
// written by the same routine, and why the run failed.
class RunRecord {
public:
    enum class Archive { Read, Written };

    // The run starts now, on `archive`, which it reads or writes.
    explicit RunRecord(const QString &archive, Archive use = Archive::Read);

    void addItem(const QString &name, const QString &result, const QString &reason = {});
    // Why the run as a whole failed, when it did.
    void setReason(const QString &reason) { m_reason = reason; }

    // Ends the run with `exitStatus`, which it returns; prints the record as one JSON document
    // on `out` when `json`.
    int finish(int exitStatus, bool json, QTextStream &out);

private:
    RunOutcome m_outcome;
    Archive m_use;
    QString m_reason;
};

// Says on `err` why the run is refused ("brevnor-cli: " and `reason`), records it, and gives the
// exit status of a refused run.
int refuseRun(RunRecord &record, QTextStream &err, const QString &reason);

// The problems of a run's report that belong to the item whose report lines start with `label`,
// without it: the item's reasons.
QStringList itemReasons(const QStringList &problems, const QString &label);

} // namespace quillory
