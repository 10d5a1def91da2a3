#include "backup/autobackup.h"
#include "backup/autobackupcommandline.h"
#include "backupfixture.h"
#include "platform/zip/ziparchive.h"

#include <QFileInfo>
#include <QTest>

#include <cstring>

using namespace quillory;
using namespace quillory::test;

namespace {

// As cron starts it: no display, no Qt platform choice, the profile named by WINEPREFIX and a
// temporary folder of the test's own so that leftovers can be seen.
ProgramRun runUnattended(const QString &prefix, const QString &tmp, const QStringList &arguments)
{
    return runProgram(QStringLiteral("brevnor"), arguments,
                      {QStringLiteral("WINEPREFIX=") + prefix, QStringLiteral("TMPDIR=") + tmp,
                       QStringLiteral("DISPLAY="), QStringLiteral("WAYLAND_DISPLAY="),
                       QStringLiteral("QT_QPA_PLATFORM=")});
}

} // namespace

class AutoBackupTest : public QObject {
    Q_OBJECT

private:
    LoadedProfile m_profile;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_profile.load()); }

    void commandLines_data()
    {
        QTest::addColumn<QString>("fields");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("items");
        QTest::addColumn<QString>("password");
        QTest::newRow("mail rules only") << "sf=annaxm=0100000000ps=bf=" << 0 << "0100000000"
                                         << "";
        QTest::newRow("ten zeros") << "sf=annaxm=0000000000ps=bf=" << 2 << ""
                                   << "";
        QTest::newRow("two flags") << "sf=annaxm=11ps=bf=" << 0 << "1100000000"
                                   << "";
        QTest::newRow("protected") << "sf=annaxm=0000001000ps=s3cretbf=" << 0 << "0000001000"
                                   << "s3cret";
        QTest::newRow("password with equals") << "sf=annaxm=1ps=ab=cdbf=" << 2 << ""
                                              << "";
        QTest::newRow("flags missing") << "sf=annaxm=ps=bf=" << 2 << ""
                                       << "";
    }

    void commandLines()
    {
        QFETCH(QString, fields);
        QFETCH(int, exitCode);
        QFETCH(QString, items);
        QFETCH(QString, password);
        QTemporaryDir tmp;
        const QString archive = m_profile.dir.filePath(
            QStringLiteral("auto %1.wlm").arg(QLatin1String(QTest::currentDataTag())));
        // The scheduler's line reaches the program split at its blanks.
        const ProgramRun run = runUnattended(m_profile.prefix(), tmp.path(),
                                             (fields + archive).split(QLatin1Char(' ')));
        QVERIFY2(run.exitCode == exitCode, run.err.constData());
        QVERIFY(QDir(tmp.path()).isEmpty());
        if (exitCode == 2) {
            QVERIFY(!QFileInfo::exists(archive));
            QVERIFY(!run.err.isEmpty());
            return;
        }
        QVERIFY(run.err.isEmpty());
        QCOMPARE(ZipArchive::IsProtected(archive), !password.isEmpty());
        const QStringList lines = infoLines(archive, password);
        QCOMPARE(lines.value(3), QStringLiteral("BackupInformation=Auto Backup"));
        QCOMPARE(lines.last(), QStringLiteral("BackupItem=") + items);
        const QMap<QString, QByteArray> entries = archiveContents(archive, password);
        if (items == QLatin1String("0000000000"))
            QCOMPARE(entries.keys(), QStringList{QStringLiteral("krvstore.dat")});
        // The unattended run stores the store's database with the accounts.
        QCOMPARE(entries.contains(QStringLiteral("WindowsMail.MSMessageStore")),
                 items.startsWith(QLatin1Char('1')) || items.at(6) == QLatin1Char('1'));
    }

    void anItemThatFailsStillWritesTheArchive()
    {
        LoadedProfile bare;
        QVERIFY(bare.load({QStringLiteral("--no-contacts")}));
        QTemporaryDir tmp;
        const ProgramRun run =
            runUnattended(bare.prefix(), tmp.path(),
                          {QStringLiteral("sf=annaxm=0000110000ps=bf=") + bare.archive()});
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.err.contains("Backup Contacts"));
        QCOMPARE(infoLines(bare.archive()).last(), QStringLiteral("BackupItem=0000100000"));
        QVERIFY(QDir(tmp.path()).isEmpty());
    }

    // Nobody is there to ask: a backup that may not fit is said and tried all the same.
    void aBackupThatMayNotFitGoesOn()
    {
        LoadedProfile profile;
        QVERIFY(profile.load());
        profile.context->setFreeSpace(
            std::make_unique<FakeSpace>(QList<FreeSpace>{{1000, profile.dir.path()}}));
        QCOMPARE(performAutoBackup(*profile.context,
                                   QStringLiteral("sf=annaxm=1100000000ps=bf=") + profile.archive())
                     .exitStatus,
                 AutoBackupExit::Stored);
        QCOMPARE(profile.dialogs.shown.size(), 1);
        QCOMPARE(profile.dialogs.shown.first().icon, MessageIcon::Warning);
        QVERIFY2(
            profile.dialogs.shown.first().text.contains(QStringLiteral("which has 1.00 KB free")) &&
                profile.dialogs.shown.first().text.endsWith(QStringLiteral("The backup goes on.")),
            qPrintable(profile.dialogs.shown.first().text));
        QVERIFY(QFileInfo::exists(profile.archive()));
    }

    void aMissingMailClientIsSaidOnStandardError()
    {
        LoadedProfile bare;
        QVERIFY(bare.load({QStringLiteral("--no-mail-client")}));
        QTemporaryDir tmp;
        const ProgramRun run = runUnattended(
            bare.prefix(), tmp.path(), {QStringLiteral("sf=annaxm=1ps=bf=") + bare.archive()});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.err.contains("Your Windows System have not install Windows Live Mail"));
        QVERIFY(!QFileInfo::exists(bare.archive()));
    }

    void passwordLeavesTheVisibleCommandLine()
    {
        // The arguments as the kernel lays them out: one after another, each ended by a zero.
        const char text[] = "brevnor\0sf=annaxm=1ps=top\0secretbf=/home/a/my\0backup.wlm";
        QByteArray area(text, sizeof(text));
        char *program = area.data();
        char *argv[] = {program, program + 8, program + 26, program + 46, nullptr};
        hidePasswordInArguments(4, argv);
        // Nothing of the arguments is left to count; a non-zero last byte makes the kernel show
        // the program's path alone.
        QCOMPARE(area.left(8), QByteArray("brevnor\0", 8));
        QCOMPARE(area.mid(8, area.size() - 9), QByteArray(area.size() - 9, '\0'));
        QVERIFY(area.back() != '\0');

        char program2[] = "brevnor";
        char noPassword[] = "sf=annaxm=1ps=bf=/x.wlm";
        char *plain[] = {program2, noPassword, nullptr};
        hidePasswordInArguments(2, plain);
        QCOMPARE(QByteArray(noPassword), QByteArray("sf=annaxm=1ps=bf=/x.wlm"));
    }
};

QUILLORY_TEST(AutoBackupTest)
#include "tst_autobackup.moc"
