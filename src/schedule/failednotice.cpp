#include "schedule/failednotice.h"

#include "app/runoutcome.h"
#include "platform/filereplacement.h"
#include "platform/userdialogs.h"
#include "schedule/jobrecord.h"

#include <QDir>
#include <QFile>
#include <QStringList>

namespace quillory {

namespace {

const QString toldName = QStringLiteral("failures-told");

QDateTime lastTold(const QDir &folder)
{
    QFile file(folder.filePath(toldName));
    if (!file.open(QIODevice::ReadOnly))
        return QDateTime();
    return timeFromText(QString::fromUtf8(file.read(64)).trimmed());
}

} // namespace

void tellFailedScheduledBackups(UserDialogs &dialogs, const QString &jobFolder,
                                const QDateTime &now)
{
    const QDir folder(jobFolder);
    if (!folder.exists())
        return;
    const QDateTime told = lastTold(folder);
    QStringList sentences;
    QStringList reports;
    for (const QString &name :
         folder.entryList({QStringLiteral("job-*.last")}, QDir::Files, QDir::Name)) {
        const Expected<JobRecord> record = readJobRecord(folder.filePath(name));
        if (!record || !record->lastFailure)
            continue;
        const JobRun &failure = *record->lastFailure;
        const QDateTime ended = failure.end.isValid() ? failure.end : failure.start;
        if (told.isValid() && ended <= told)
            continue;
        sentences.append(failureSentence(failure));
        reports.append(failure.lines.join(QLatin1Char('\n')));
    }
    // Kept before the message waits for the user: a second window started meanwhile says nothing
    // more.
    replaceFileContents(folder.filePath(toldName), timeWithOffset(now).toUtf8(), Access::OwnerOnly,
                        LinkAtTarget::Replaced);
    if (!sentences.isEmpty())
        dialogs.message(sentences.join(QLatin1Char('\n')), applicationTitle(), MessageIcon::Error,
                        MessageButtons::Ok, reports.join(QStringLiteral("\n\n")));
}

} // namespace quillory
