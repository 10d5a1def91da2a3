// Files that replace user data reach the disk before they take the old file's name, and keep
// the old file's permissions.
#include "platform/wine/wineregistrystore.h"
#include "platform/zip/ziparchive.h"
#include "support/testsupport.h"
#include "syncrecorder.h"

#include <QFileInfo>
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
        QCOMPARE(SyncRecorder::renamesOnto(target), QList<bool>{true});
        QCOMPARE(QFile::permissions(target),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    }
};

QUILLORY_TEST(DurabilityTest)
#include "tst_durability.moc"
