// Files that replace user data reach the disk before they take the old file's name, and keep
// the old file's permissions.
#include "platform/cron/jobfile.h"
#include "platform/wine/wineregistrystore.h"
#include "platform/zip/ziparchive.h"
#include "platform/zip/zipentry.h"
#include "support/testsupport.h"
#include "syncrecorder.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace quillory;
using quillory::test::SyncRecorder;
using quillory::test::writeFile;

namespace {

using Replace = std::function<Result(const QString &folder)>;

// Replaces the prefix's user.reg through the registry store.
Result replaceRegistryFile(const QString &prefix)
{
    WineRegistryStore store(prefix);
    if (Result set = store.setValue(
            RegistryRoot::CurrentUser, QString(),
            {QStringLiteral("Version"), RegType::Dword, QByteArray("\x03\x00\x00\x00", 4)});
        !set)
        return set;
    return store.save();
}

// Writes b.wlm again over the one there.
Result replaceArchive(const QString &folder)
{
    if (!writeFile(folder + QStringLiteral("/in/krvstore.dat"), "BackupItem=0000000000\r\n"))
        return Result::failure(QStringLiteral("cannot write the information file"));
    ZipArchive zip;
    if (Result created = zip.CreateArchive(folder + QStringLiteral("/b.wlm")); !created)
        return created;
    if (Result added = zip.AddFiles(folder + QStringLiteral("/in/krvstore.dat")); !added)
        return added;
    return zip.WriteArchive();
}

// Extracts a.contact over the one there, as the file items are restored.
Result restoreFile(const QString &folder)
{
    if (!writeFile(folder + QStringLiteral("/in/a.contact"), "new contact"))
        return Result::failure(QStringLiteral("cannot write the contact"));
    ZipArchive zip;
    if (Result created = zip.CreateArchive(folder + QStringLiteral("/in/in.zip")); !created)
        return created;
    if (Result added = zip.AddFiles(folder + QStringLiteral("/in/a.contact")); !added)
        return added;
    if (Result written = zip.WriteArchive(); !written)
        return written;
    if (Result opened = zip.OpenArchive(folder + QStringLiteral("/in/in.zip")); !opened)
        return opened;
    const Expected<ZipEntry> entry = zip.FindEntry(QStringLiteral("a.contact"));
    return entry ? entry->ExtractInto(folder) : entry.result();
}

Result replaceJobFile(const QString &folder)
{
    return writeJobFile(folder + QStringLiteral("/jobs/job-1"), QStringLiteral("bf=/a.wlm"));
}

const QByteArray userReg = "WINE REGISTRY Version 2\n\n#arch=win64\n\n[Software] 0\n\"a\"=\"b\"\n";

} // namespace

class DurabilityTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void replacedFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("old");
        QTest::addColumn<Replace>("replace");
        QTest::newRow("registry file") << "user.reg" << userReg << Replace(replaceRegistryFile);
        QTest::newRow("archive") << "b.wlm" << QByteArray("old archive") << Replace(replaceArchive);
        QTest::newRow("restored file")
            << "a.contact" << QByteArray("old contact") << Replace(restoreFile);
        QTest::newRow("job file") << "jobs/job-1" << QByteArray("bf=/old.wlm")
                                  << Replace(replaceJobFile);
    }

    void replacedFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, old);
        QFETCH(Replace, replace);
        QTemporaryDir dir;
        const QString target = dir.filePath(name);
        QVERIFY(writeFile(target, old));
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));

        SyncRecorder::clear();
        const Result replaced = replace(dir.path());
        QVERIFY2(replaced, qPrintable(replaced.message()));
        QVERIFY(test::readFile(target) != old);
        QCOMPARE(SyncRecorder::renamesOnto(target), (QList<std::pair<bool, bool>>{{true, true}}));
        QCOMPARE(QFile::permissions(target),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    }

    // A sync that fails is a failure: before the rename the old file stays, after it the caller
    // hears that the new one may not survive a power cut.
    void failedSyncs_data() { replacedFiles_data(); }

    void failedSyncs()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, old);
        QFETCH(Replace, replace);
        QTemporaryDir dir;
        const QString target = dir.filePath(name);
        const QString folder = QFileInfo(target).absolutePath();
        for (const QString &failing :
             {QRegularExpression::escape(target) + QStringLiteral("\\.quillory-"),
              QLatin1Char('^') + QRegularExpression::escape(folder) + QLatin1Char('$')}) {
            QVERIFY(writeFile(target, old));
            SyncRecorder::clear();
            SyncRecorder::failSyncsOf(failing);
            const Result replaced = replace(dir.path());
            SyncRecorder::clear();
            QVERIFY2(!replaced, qPrintable(failing));
            if (failing.endsWith(QLatin1String("quillory-")))
                QCOMPARE(test::readFile(target), old);
            QCOMPARE(QDir(folder).entryList({QStringLiteral("*.quillory-*")},
                                            QDir::Files | QDir::Hidden),
                     QStringList());
        }
    }
};

QUILLORY_TEST(DurabilityTest)
#include "tst_durability.moc"
