#include "schedule/jobrecord.h"

#include "platform/filereplacement.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace quillory {

namespace {

// A record is a few kilobytes; a larger file is no record of this program's.
constexpr qint64 maxRecordSize = 1024 * 1024;

QString shortResult(int exitStatus)
{
    switch (exitStatus) {
    case 0:
        return QStringLiteral("Completed");
    case 1:
        return QStringLiteral("Completed with problems");
    default:
        return QStringLiteral("Failed");
    }
}

QJsonObject runObject(const JobRun &run)
{
    QJsonObject object = runOutcomeObject(run);
    object.insert(QStringLiteral("result"), shortResult(run.exitStatus));
    object.insert(QStringLiteral("lines"), QJsonArray::fromStringList(run.lines));
    return object;
}

std::optional<JobRun> runFrom(const QJsonObject &object)
{
    const std::optional<RunOutcome> outcome = runOutcomeFrom(object);
    if (!outcome)
        return std::nullopt;
    JobRun run;
    static_cast<RunOutcome &>(run) = *outcome;
    for (const QJsonValue &line : object.value(QStringLiteral("lines")).toArray())
        run.lines.append(line.toString());
    return run;
}

} // namespace

QString JobRun::resultText() const
{
    if (!failed())
        return shortResult(exitStatus);
    return shortResult(exitStatus) + QStringLiteral(": ") + lines.value(0);
}

QString failureSentence(const JobRun &run)
{
    return QStringLiteral("The scheduled backup of %1 failed: %2")
        .arg(QLocale().toString(run.start, QLocale::ShortFormat), run.lines.value(0));
}

void JobRecord::add(const JobRun &run)
{
    last = run;
    if (run.failed())
        lastFailure = run;
    else
        lastComplete = run.start;
}

QByteArray jobRecordText(const JobRecord &record)
{
    QJsonObject object = record.last ? runObject(*record.last) : QJsonObject();
    if (record.lastComplete.isValid())
        object.insert(QStringLiteral("lastComplete"), timeWithOffset(record.lastComplete));
    if (record.lastFailure)
        object.insert(QStringLiteral("lastFailure"), runObject(*record.lastFailure));
    return QJsonDocument(object).toJson();
}

Expected<JobRecord> parseJobRecord(const QByteArray &text)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (!document.isObject())
        return Result::failure(
            QStringLiteral("The job's record cannot be read: %1").arg(error.errorString()));
    const QJsonObject object = document.object();
    JobRecord record;
    record.last = runFrom(object);
    record.lastComplete = timeFromText(object.value(QStringLiteral("lastComplete")).toString());
    record.lastFailure = runFrom(object.value(QStringLiteral("lastFailure")).toObject());
    return record;
}

Expected<JobRecord> readJobRecord(const QString &path)
{
    QFile file(path);
    // A link at the record's name is none of the program's: the next record replaces it.
    if (!file.exists() || QFileInfo(path).isSymLink())
        return JobRecord();
    if (!file.open(QIODevice::ReadOnly))
        return Result::failure(
            QStringLiteral("The job's record %1 cannot be read: %2").arg(path, file.errorString()));
    const QByteArray text = file.read(maxRecordSize + 1);
    if (text.size() > maxRecordSize)
        return Result::failure(
            QStringLiteral("The job's record %1 is too large to be one.").arg(path));
    return parseJobRecord(text);
}

Result writeJobRecord(const QString &path, const JobRecord &record)
{
    return replaceFileContents(path, jobRecordText(record), Access::OwnerOnly,
                               LinkAtTarget::Replaced);
}

} // namespace quillory
