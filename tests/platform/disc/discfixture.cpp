#include "discfixture.h"

#include "support/testsupport.h"

#include <QDir>
#include <QEventLoop>
#include <QTimer>

namespace quillory::test {

DiscEvents::DiscEvents(DiscWriter &writer)
{
    const auto add = [this](const QString &entry) { log.append(entry); };
    connect(&writer, &DiscWriter::DirectoryAdded, this,
            [add](const QString &parent, const QString &key, const QString &, int, bool) {
                add(QStringLiteral("DirectoryAdded(%1,%2)").arg(parent, key));
            });
    connect(&writer, &DiscWriter::DirectoryRenamed, this,
            [add](const QString &oldKey, const QString &newKey, bool) {
                add(QStringLiteral("DirectoryRenamed(%1,%2)").arg(oldKey, newKey));
            });
    connect(&writer, &DiscWriter::DirectoryRemoved, this, [add](const QString &key, int, bool) {
        add(QStringLiteral("DirectoryRemoved(%1)").arg(key));
    });
    connect(&writer, &DiscWriter::ImageCleared, this,
            [add] { add(QStringLiteral("ImageCleared")); });
    connect(&writer, &DiscWriter::WritePreparing, this,
            [add] { add(QStringLiteral("WritePreparing")); });
    connect(&writer, &DiscWriter::WriteProgress, this,
            [add](int, qint64, qint64) { add(QStringLiteral("WriteProgress")); });
    connect(&writer, &DiscWriter::FileError, this, [add](int code, const QString &name) {
        add(QStringLiteral("FileError(%1,%2)").arg(code).arg(QDir(name).dirName()));
    });
    connect(&writer, &DiscWriter::WriteError, this,
            [add](int category, int code, const QString &, const QString &) {
                add(QStringLiteral("WriteError(%1,%2)").arg(category).arg(code));
            });
    connect(&writer, &DiscWriter::WriteCancelled, this,
            [add] { add(QStringLiteral("WriteCancelled")); });
    connect(&writer, &DiscWriter::WriteCompleted, this,
            [add] { add(QStringLiteral("WriteCompleted")); });
    connect(&writer, &DiscWriter::VerifyStarted, this,
            [add](int n) { add(QStringLiteral("VerifyStarted(%1)").arg(n)); });
    connect(&writer, &DiscWriter::VerifyProgress, this,
            [add](const QString &key, const QString &, int, int, int status, qint64, qint64) {
                add(QStringLiteral("VerifyProgress(%1,%2)").arg(key).arg(status));
            });
    connect(&writer, &DiscWriter::VerifyCompleted, this, [add](int compared, int matched) {
        add(QStringLiteral("VerifyCompleted(%1,%2)").arg(compared).arg(matched));
    });
    connect(&writer, &DiscWriter::EraseStarted, this,
            [add] { add(QStringLiteral("EraseStarted")); });
    connect(&writer, &DiscWriter::EraseCompleted, this,
            [add] { add(QStringLiteral("EraseCompleted")); });
    connect(&writer, &DiscWriter::ImportedFilesDropped, this,
            [add](int count) { add(QStringLiteral("ImportedFilesDropped(%1)").arg(count)); });
}

QStringList DiscEvents::names() const
{
    QStringList names;
    for (const QString &entry : log)
        names.append(entry.section(QLatin1Char('('), 0, 0));
    return names;
}

bool DiscEvents::waitForEnd(const QStringList &ends)
{
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(60000);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        for (const QString &end : ends)
            if (has(end))
                loop.quit();
    });
    poll.start(20);
    loop.exec();
    for (const QString &end : ends)
        if (has(end))
            return true;
    return false;
}

ImageDrive::ImageDrive() : image(folder.filePath(QStringLiteral("disc.iso")))
{
    qputenv("QUILLORY_DISC_DRIVES", image.toUtf8());
    writer = std::make_unique<BurnDiscWriter>();
    events = std::make_unique<DiscEvents>(*writer);
    reselect();
}

bool ImageDrive::reselect()
{
    if (!writer->InitializeDrives(false))
        return false;
    for (int i = 0; i < writer->DeviceCount(); ++i)
        if (writer->DeviceDrive(i) == image)
            return writer->SelectDevice(i);
    return false;
}

QString ImageDrive::makeSources(const QString &name)
{
    const QString root = folder.filePath(name);
    QDir().mkpath(root + QStringLiteral("/Mail/2024-05/deep"));
    QDir().mkpath(root + QStringLiteral("/empty"));
    writeFile(root + QStringLiteral("/backup.wlm"), noise(300000, 1));
    writeFile(root + QStringLiteral("/Mail/a message with a long name of sixty characters.eml"),
              noise(5000, 2));
    writeFile(root + QStringLiteral("/Mail/2024-05/Grüße.txt"), QByteArray("hello\n"));
    writeFile(root + QStringLiteral("/Mail/2024-05/deep/empty.dat"), QByteArray());
    return root;
}

namespace {

QMap<QString, QByteArray> extracted(const QString &program, const QStringList &arguments,
                                    const QString &into)
{
    const ProgramRun run = runProgram(program, arguments);
    if (run.exitCode != 0)
        qWarning("%s failed: %s", qPrintable(program), run.err.constData());
    return treeOf(into);
}

} // namespace

QMap<QString, QByteArray> extractedWithXorriso(const QString &image, const QString &into)
{
    return extracted(QStringLiteral("xorriso"),
                     {QStringLiteral("-osirrox"), QStringLiteral("on"), QStringLiteral("-indev"),
                      image, QStringLiteral("-extract"), QStringLiteral("/"), into},
                     into);
}

QMap<QString, QByteArray> extractedWith7zip(const QString &image, const QString &into)
{
    return extracted(
        QStringLiteral("7zz"),
        {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + into, image}, into);
}

} // namespace quillory::test
