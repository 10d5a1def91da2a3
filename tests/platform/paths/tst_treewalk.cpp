#include "platform/treewalk.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace quillory;
using quillory::test::writeFile;
using namespace Qt::StringLiterals;

class TreeWalkTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

private Q_SLOTS:
    // A store as it may be met: a folder reached through a link, a link back up the tree, one to
    // nothing, a pipe, and a message whose every read fails.
    void initTestCase()
    {
        QVERIFY(QDir().mkpath(path(u"store/Work/Inbox"_s)));
        QVERIFY(QDir().mkpath(path(u"elsewhere/Sent"_s)));
        QVERIFY(writeFile(path(u"store/top.eml"_s), "t"));
        QVERIFY(writeFile(path(u"store/Work/Inbox/a.eml"_s), "a"));
        QVERIFY(writeFile(path(u"elsewhere/Sent/b.eml"_s), "bb"));
        QVERIFY(QFile::link(path(u"elsewhere"_s), path(u"store/Home"_s)));
        QVERIFY(QFile::link(path(u"store"_s), path(u"store/Work/Inbox/up"_s)));
        QVERIFY(QFile::link(path(u"gone"_s), path(u"store/Work/to nothing"_s)));
        QCOMPARE(::mkfifo(QFile::encodeName(path(u"store/Work/pipe"_s)).constData(), 0600), 0);
        QVERIFY(QDir().mkpath(path(u"bad/Inbox"_s)));
        QVERIFY(QFile::link(u"/proc/self/mem"_s, path(u"bad/Inbox/bad.eml"_s)));
    }

    void walk_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<int>("options");
        // Files as "path", folders as "path/", sorted; or the words the walk fails with.
        QTest::addColumn<QStringList>("expected");
        const int recurse = int(WalkOption::Recurse);
        const int readable = int(WalkOption::Recurse | WalkOption::RequireReadable);
        QTest::newRow("every folder once, only regular files")
            << u"store"_s << recurse
            << QStringList{u"Home/"_s,  u"Home/Sent/"_s,  u"Home/Sent/b.eml"_s,
                           u"Work/"_s,  u"Work/Inbox/"_s, u"Work/Inbox/a.eml"_s,
                           u"top.eml"_s};
        QTest::newRow("the folder's own files") << u"store"_s << 0 << QStringList{u"top.eml"_s};
        QTest::newRow("readable files")
            << u"store"_s << readable
            << QStringList{u"Home/"_s,  u"Home/Sent/"_s,  u"Home/Sent/b.eml"_s,
                           u"Work/"_s,  u"Work/Inbox/"_s, u"Work/Inbox/a.eml"_s,
                           u"top.eml"_s};
        QTest::newRow("a file that cannot be read")
            << u"bad"_s << readable
            << QStringList{u"The file %1 cannot be read: Input/output error"_s.arg(
                   path(u"bad/Inbox/bad.eml"_s))};
        QTest::newRow("no such folder")
            << u"none"_s << recurse
            << QStringList{u"The folder %1 does not exist."_s.arg(path(u"none"_s))};
    }

    void walk()
    {
        QFETCH(QString, root);
        QFETCH(int, options);
        QFETCH(QStringList, expected);
        QStringList met;
        const Result result =
            walkTree(path(root), WalkOptions(options), [&met](const WalkedEntry &found) {
                met.append(found.folder ? found.path + u"/"_s : found.path);
                return Result::success();
            });
        if (!result)
            met = QStringList{result.message()};
        // Each folder before what it holds.
        for (const QString &entry : std::as_const(met)) {
            const QString name = entry.endsWith(u"/"_s) ? entry.chopped(1) : entry;
            if (name.contains(QLatin1Char('/')) && result)
                QVERIFY2(met.indexOf(name.section(QLatin1Char('/'), 0, -2) + u"/"_s) <
                             met.indexOf(entry),
                         qPrintable(entry));
        }
        met.sort();
        QCOMPARE(met, expected);
    }

    // What permissions hide fails the walk, naming it, rather than being passed over: a folder
    // that cannot be listed, and a file behind a link into a folder that may not be searched.
    void whatCannotBeReachedFailsTheWalk_data()
    {
        QTest::addColumn<QString>("hidden");
        QTest::addColumn<QString>("expected");
        QTest::newRow("folder") << u"locked/Inbox"_s << u"The folder %1 cannot be read."_s;
        QTest::newRow("linked file")
            << u"locked/Inbox/a.eml"_s << u"The file %1 cannot be read: Permission denied"_s;
    }

    void whatCannotBeReachedFailsTheWalk()
    {
        QFETCH(QString, hidden);
        QFETCH(QString, expected);
        if (::geteuid() == 0)
            QSKIP("Permissions do not keep root from reading.");
        QTemporaryDir dir;
        const auto at = [&dir](const QString &relative) { return dir.filePath(relative); };
        QVERIFY(QDir().mkpath(at(u"locked/Inbox"_s)));
        QVERIFY(writeFile(at(u"locked/Inbox/a.eml"_s), "a"));
        QVERIFY(QDir().mkpath(at(u"walked"_s)));
        QVERIFY(QFile::link(at(hidden), at(u"walked/to it"_s)));
        QVERIFY(QFile::setPermissions(at(u"locked/Inbox"_s), QFileDevice::WriteOwner));
        const Result result = walkTree(at(u"walked"_s), WalkOption::Recurse,
                                       [](const WalkedEntry &) { return Result::success(); });
        QFile::setPermissions(at(u"locked/Inbox"_s), QFileDevice::ReadOwner |
                                                         QFileDevice::WriteOwner |
                                                         QFileDevice::ExeOwner);
        QCOMPARE(result.message(), expected.arg(at(u"walked/to it"_s)));
    }
};

QUILLORY_TEST(TreeWalkTest)
#include "tst_treewalk.moc"
