#include "platform/cron/jobfile.h"

#include "platform/filereplacement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace quillory {

namespace {

// The folder may exist from earlier jobs; it is used only when it is the user's own and is
// closed to everybody else again.
Result prepareFolder(const QString &folder)
{
    const QFileInfo parent(QFileInfo(folder).absolutePath());
    if (!QDir().mkpath(parent.absoluteFilePath()))
        return Result::failure(
            QStringLiteral("The folder %1 could not be made.").arg(parent.absoluteFilePath()));
    if (::mkdir(QFile::encodeName(folder).constData(), S_IRWXU) != 0 && errno != EEXIST)
        return Result::failure(QStringLiteral("The folder %1 could not be made: %2")
                                   .arg(folder, QString::fromLocal8Bit(strerror(errno))));
    const QFileInfo info(folder);
    if (!info.isDir() || info.isSymLink() || info.ownerId() != ::geteuid())
        return Result::failure(
            QStringLiteral("%1 is not a folder of your own, so it cannot keep the job's password.")
                .arg(folder));
    if (!QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return Result::failure(
            QStringLiteral("The folder %1 could not be closed to other users.").arg(folder));
    return Result::success();
}

} // namespace

Result writeJobFile(const QString &path, const QString &arguments,
                    const QMap<QString, QString> &settings)
{
    QByteArray text = arguments.toUtf8() + '\n';
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        text += it.key().toUtf8() + '=' + it.value().toUtf8() + '\n';
    if (const Result folder = prepareFolder(QFileInfo(path).absolutePath()); !folder)
        return folder;
    // Closed to others before the password is written into it.
    if (Result written = replaceFileContents(path, text, Access::OwnerOnly, LinkAtTarget::Replaced);
        !written)
        return Result::failure(QStringLiteral("The job file %1 could not be written: %2")
                                   .arg(path, written.message()));
    return Result::success();
}

void putSchedule(QMap<QString, QString> &settings, const ScheduledJob &job)
{
    settings.insert(QStringLiteral("JobTime"), QString::number(job.job.JobTime));
    settings.insert(QStringLiteral("DaysOfWeek"), QString::number(job.job.DaysOfWeek));
    if (job.runsOnceOn.isValid())
        settings.insert(QStringLiteral("runsOnceOn"), job.runsOnceOn.toString(Qt::ISODate));
}

std::optional<ScheduledJob> scheduleFrom(const QMap<QString, QString> &settings)
{
    bool timeRead = false;
    bool daysRead = false;
    ScheduledJob job;
    job.job.JobTime = settings.value(QStringLiteral("JobTime")).toUInt(&timeRead);
    job.job.DaysOfWeek = quint8(settings.value(QStringLiteral("DaysOfWeek")).toUShort(&daysRead));
    job.runsOnceOn = QDate::fromString(settings.value(QStringLiteral("runsOnceOn")), Qt::ISODate);
    constexpr quint32 msPerDay = 24 * 60 * 60 * 1000;
    if (!timeRead || !daysRead || job.job.JobTime >= msPerDay || job.job.DaysOfWeek > 0x7f ||
        (job.job.DaysOfWeek == 0 && !job.runsOnceOn.isValid()))
        return std::nullopt;
    job.job.Flags = JOB_RUN_PERIODICALLY;
    return job;
}

QString outcomeRecordPath(const QString &jobFile)
{
    return jobFile + QStringLiteral(".last");
}

Expected<JobFileContents> readJobFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Result::failure(
            QStringLiteral("The job file %1 could not be read: %2").arg(path, file.errorString()));
    // A job's argument text is a few hundred bytes; reading stops at the bound, so that a job
    // file that is a device or a huge file cannot hold the program.
    constexpr qint64 maxJobFileSize = 64 * 1024;
    QByteArray text = file.read(maxJobFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return Result::failure(
            QStringLiteral("The job file %1 could not be read: %2").arg(path, file.errorString()));
    if (text.size() > maxJobFileSize)
        return Result::failure(QStringLiteral("The job file %1 is larger than %2 bytes, so it is "
                                              "no job file of this program.")
                                   .arg(path)
                                   .arg(maxJobFileSize));
    // The line end written with the text, or added by an editor.
    if (text.endsWith('\n'))
        text.chop(1);
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    JobFileContents contents{lines.first(), {}};
    for (const QString &line : lines.mid(1)) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0)
            contents.settings.insert(line.left(equals), line.mid(equals + 1));
    }
    return contents;
}

} // namespace quillory
