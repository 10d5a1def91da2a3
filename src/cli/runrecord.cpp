#include "cli/runrecord.h"

#include "cli/exitstatus.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace quillory {

RunRecord::RunRecord(const QString &archive, Archive use) : m_use(use)
{
    m_outcome.archive = QFileInfo(archive).absoluteFilePath();
    m_outcome.start = QDateTime::currentDateTime();
}

void RunRecord::addItem(const QString &name, const QString &result, const QString &reason)
{
    m_outcome.items.append({name, result, reason});
}

int RunRecord::finish(int exitStatus, bool json, QTextStream &out)
{
    if (!json)
        return exitStatus;
    m_outcome.end = QDateTime::currentDateTime();
    m_outcome.exitStatus = exitStatus;
    m_outcome.archiveSize =
        archiveSizeAfter(m_outcome.archive, m_use == Archive::Written, exitStatus);
    QJsonObject record = runOutcomeObject(m_outcome);
    record.insert(QStringLiteral("reason"), m_reason);
    out << QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Indented));
    out.flush();
    return exitStatus;
}

QStringList itemReasons(const QStringList &problems, const QString &label)
{
    const QString prefix = label + QStringLiteral(": ");
    QStringList reasons;
    for (const QString &problem : problems)
        if (problem.startsWith(prefix))
            reasons.append(problem.mid(prefix.size()));
    return reasons;
}

int refuseRun(RunRecord &record, QTextStream &err, const QString &reason)
{
    err << "brevnor-cli: " << reason << '\n';
    record.setReason(reason);
    return CliExit::Refused;
}

} // namespace quillory
