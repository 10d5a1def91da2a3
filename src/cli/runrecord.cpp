#include "cli/runrecord.h"

#include "cli/exitstatus.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace quillory {

RunRecord::RunRecord(const QString &archive)
    : m_archive(archive), m_start(QDateTime::currentDateTime())
{
}

void RunRecord::addItem(const QString &name, const QString &result, const QString &reason)
{
    m_items.append({name, result, reason});
}

int RunRecord::finish(int exitStatus, bool json, QTextStream &out)
{
    if (!json)
        return exitStatus;
    QJsonArray items;
    for (const Item &item : m_items)
        items.append(QJsonObject{{QStringLiteral("name"), item.name},
                                 {QStringLiteral("result"), item.result},
                                 {QStringLiteral("reason"), item.reason}});
    const QFileInfo archive(m_archive);
    // The time with its offset from UTC, to the second, so that a script reads it unambiguously.
    const auto stamp = [](const QDateTime &time) {
        return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
    };
    const QJsonObject record{
        {QStringLiteral("archive"), archive.absoluteFilePath()},
        {QStringLiteral("archiveSize"),
         archive.isFile() ? QJsonValue(archive.size()) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("start"), stamp(m_start)},
        {QStringLiteral("end"), stamp(QDateTime::currentDateTime())},
        {QStringLiteral("exitStatus"), exitStatus},
        {QStringLiteral("items"), items},
        {QStringLiteral("reason"), m_reason},
    };
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
