#include "backupfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>

using namespace quillory;
using namespace quillory::test;
using namespace Qt::Literals::StringLiterals;

namespace {

ino_t inodeOf(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// Each file of the folder with what it is: the description of an archive, "other" for anything
// else.
QMap<QString, QString> folderContents(const QString &folder)
{
    QMap<QString, QString> contents;
    const QDir dir(folder);
    for (const QFileInfo &file :
         dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString description = infoLines(file.filePath()).value(3);
        contents.insert(file.fileName(), description.isEmpty()
                                             ? QStringLiteral("other")
                                             : description.section(QLatin1Char('='), 1));
    }
    return contents;
}

} // namespace

// brevnor-cli backup --keep 3, run on five days by the program's clock; the third run fails.
class GenerationsTest : public QObject {
    Q_OBJECT

    LoadedProfile m_profile;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_profile.load()); }

    void keepsTheLastArchivesUnderTheirDates()
    {
        QTemporaryDir target;
        const QString archive = target.filePath(QStringLiteral("mail.wlm"));
        // Names that are not, or not quite, the dated copies': never touched nor counted.
        QMap<QString, QString> foreign = {
            {QStringLiteral("mail 2026-11-30 0900.wlm.txt"), QStringLiteral("other")},
            {QStringLiteral("mail 2026-11-30 900.wlm"), QStringLiteral("other")},
            {QStringLiteral("mail 2026-11-30 0900 copy.wlm"), QStringLiteral("other")},
            {QStringLiteral("Mail 2026-11-30 0900.wlm"), QStringLiteral("other")},
            {QStringLiteral("mail 2026-11-29 0900.wlm"), QStringLiteral("other")},
            {QStringLiteral("mail 2026-11-28 0900.wlm"), QStringLiteral("other")},
        };
        for (auto it = foreign.cbegin(); it != foreign.cend(); ++it)
            QVERIFY(writeFile(target.filePath(it.key()), "not an archive"));
        // A link and a folder of the dated form are not the program's either.
        QVERIFY(QFile::remove(target.filePath(QStringLiteral("mail 2026-11-29 0900.wlm"))));
        QVERIFY(QFile::link(QStringLiteral("/etc/hostname"),
                            target.filePath(QStringLiteral("mail 2026-11-29 0900.wlm"))));
        QVERIFY(QFile::remove(target.filePath(QStringLiteral("mail 2026-11-28 0900.wlm"))));
        QVERIFY(QDir(target.path()).mkdir(QStringLiteral("mail 2026-11-28 0900.wlm")));

        struct Step {
            const char *day;
            bool fails;
            QMap<QString, QString> archives;
        };
        const QList<Step> steps = {
            {"2026-12-01", false, {{u"mail.wlm"_s, u"run 1"_s}}},
            {"2026-12-02",
             false,
             {{u"mail.wlm"_s, u"run 2"_s}, {u"mail 2026-12-01 0900.wlm"_s, u"run 1"_s}}},
            {"2026-12-03",
             true,
             {{u"mail.wlm"_s, u"run 2"_s}, {u"mail 2026-12-01 0900.wlm"_s, u"run 1"_s}}},
            {"2026-12-04",
             false,
             {{u"mail.wlm"_s, u"run 4"_s},
              {u"mail 2026-12-01 0900.wlm"_s, u"run 1"_s},
              {u"mail 2026-12-02 0900.wlm"_s, u"run 2"_s}}},
            {"2026-12-05",
             false,
             {{u"mail.wlm"_s, u"run 5"_s},
              {u"mail 2026-12-02 0900.wlm"_s, u"run 2"_s},
              {u"mail 2026-12-04 0900.wlm"_s, u"run 4"_s}}},
        };
        QString lastWritten;
        for (int run = 1; run <= steps.size(); ++run) {
            const Step &step = steps[run - 1];
            const ino_t previous = inodeOf(archive);
            // A run without a mail store writes nothing.
            const QString prefix =
                step.fails ? target.filePath(QStringLiteral("no prefix")) : m_profile.prefix();
            const ProgramRun backup =
                runProgram(QStringLiteral("brevnor-cli"),
                           {QStringLiteral("backup"), archive, QStringLiteral("--items=1"),
                            QStringLiteral("--keep"), QStringLiteral("3"),
                            QStringLiteral("--description"), QStringLiteral("run %1").arg(run)},
                           {QStringLiteral("WINEPREFIX=") + prefix,
                            QStringLiteral("QUILLORY_NOW=%1T09:00").arg(QLatin1String(step.day))});
            QVERIFY2((backup.exitCode == 2) == step.fails, backup.err.constData());
            QMap<QString, QString> expected = foreign;
            for (auto it = step.archives.cbegin(); it != step.archives.cend(); ++it)
                expected.insert(it.key(), it.value());
            expected.insert(QStringLiteral("mail 2026-11-29 0900.wlm"), QStringLiteral("other"));
            expected.insert(QStringLiteral("mail 2026-11-28 0900.wlm"), QStringLiteral("other"));
            QCOMPARE(folderContents(target.path()), expected);
            // The archive replaced lives on as a second name of the same file.
            if (!lastWritten.isEmpty() && !step.fails)
                QCOMPARE(
                    inodeOf(target.filePath(QStringLiteral("mail %1 0900.wlm").arg(lastWritten))),
                    previous);
            if (!step.fails)
                lastWritten = QLatin1String(step.day);
        }
    }

    // Runs within one second keep every copy under a name of its own (the minute, the second,
    // then a counter), a link at the minute's name stays as it is, and the oldest by that order
    // go first.
    void runsWithinAMinuteLoseNoCopy()
    {
        QTemporaryDir target;
        const QString archive = target.filePath(QStringLiteral("mail.wlm"));
        const QString minute = QStringLiteral("mail 2026-12-06 0900.wlm");
        QVERIFY(QFile::link(QStringLiteral("/etc/hostname"), target.filePath(minute)));
        const auto backUp = [&](int run, int keep) {
            const ProgramRun backup =
                runProgram(QStringLiteral("brevnor-cli"),
                           {QStringLiteral("backup"), archive, QStringLiteral("--items=1"),
                            QStringLiteral("--keep"), QString::number(keep),
                            QStringLiteral("--description"), QStringLiteral("run %1").arg(run)},
                           {QStringLiteral("WINEPREFIX=") + m_profile.prefix(),
                            QStringLiteral("QUILLORY_NOW=2026-12-06T09:00")});
            return backup.exitCode == 0 ? QByteArray() : backup.err + ' ';
        };
        for (int run = 1; run <= 4; ++run)
            QCOMPARE(backUp(run, 5), QByteArray());
        QMap<QString, QString> expected = {
            {u"mail.wlm"_s, u"run 4"_s},
            {minute, u"other"_s},
            {u"mail 2026-12-06 090000.wlm"_s, u"run 1"_s},
            {u"mail 2026-12-06 090000 (2).wlm"_s, u"run 2"_s},
            {u"mail 2026-12-06 090000 (3).wlm"_s, u"run 3"_s},
        };
        QCOMPARE(folderContents(target.path()), expected);
        QCOMPARE(QFileInfo(target.filePath(minute)).symLinkTarget(), u"/etc/hostname"_s);

        QCOMPARE(backUp(5, 3), QByteArray());
        expected = {{u"mail.wlm"_s, u"run 5"_s},
                    {minute, u"other"_s},
                    {u"mail 2026-12-06 090000 (3).wlm"_s, u"run 3"_s},
                    {u"mail 2026-12-06 090000 (4).wlm"_s, u"run 4"_s}};
        QCOMPARE(folderContents(target.path()), expected);
    }
};

QUILLORY_TEST(GenerationsTest)
#include "tst_generations.moc"
