#include "app/runoutcome.h"

#include <QFileInfo>
#include <QJsonArray>

namespace quillory {

qint64 archiveSizeAfter(const QString &archive, bool wrote, int exitStatus)
{
    if (wrote && exitStatus >= 2)
        return -1;
    const QFileInfo info(archive);
    return info.isFile() ? info.size() : -1;
}

QJsonObject runOutcomeObject(const RunOutcome &run)
{
    QJsonArray items;
    for (const RunOutcome::Item &item : run.items)
        items.append(QJsonObject{
            {QStringLiteral("name"), item.name},
            {QStringLiteral("result"), item.result},
            {QStringLiteral("reason"), item.reason},
        });
    return QJsonObject{
        {QStringLiteral("archive"), run.archive},
        {QStringLiteral("archiveSize"),
         run.archiveSize < 0 ? QJsonValue() : QJsonValue(double(run.archiveSize))},
        {QStringLiteral("start"), timeWithOffset(run.start)},
        {QStringLiteral("end"), timeWithOffset(run.end)},
        {QStringLiteral("exitStatus"), run.exitStatus},
        {QStringLiteral("items"), items},
    };
}

std::optional<RunOutcome> runOutcomeFrom(const QJsonObject &object)
{
    RunOutcome run;
    run.start = timeFromText(object.value(QStringLiteral("start")).toString());
    if (!run.start.isValid())
        return std::nullopt;
    run.end = timeFromText(object.value(QStringLiteral("end")).toString());
    run.exitStatus = object.value(QStringLiteral("exitStatus")).toInt(2);
    run.archive = object.value(QStringLiteral("archive")).toString();
    run.archiveSize = qint64(object.value(QStringLiteral("archiveSize")).toDouble(-1));
    for (const QJsonValue &value : object.value(QStringLiteral("items")).toArray()) {
        const QJsonObject item = value.toObject();
        run.items.append({item.value(QStringLiteral("name")).toString(),
                          item.value(QStringLiteral("result")).toString(),
                          item.value(QStringLiteral("reason")).toString()});
    }
    return run;
}

QString timeWithOffset(const QDateTime &time)
{
    if (!time.isValid())
        return QString();
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

QDateTime timeFromText(const QString &text)
{
    return QDateTime::fromString(text, Qt::ISODate).toLocalTime();
}

} // namespace quillory
