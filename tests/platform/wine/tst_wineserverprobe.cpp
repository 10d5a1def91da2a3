#include "platform/wine/wineregistrystore.h"
#include "platform/wine/wineserverprobe.h"
#include "registryfixture.h"
#include "support/lockholder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillory;
using namespace quillory::test;
using namespace Qt::StringLiterals;

namespace {

class EnvironmentVariable {
public:
    EnvironmentVariable(const char *name, const QByteArray &value)
        : m_name(name), m_old(qgetenv(name)), m_wasSet(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ~EnvironmentVariable()
    {
        if (m_wasSet)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    QByteArray m_old;
    bool m_wasSet;
};

} // namespace

class WineserverProbeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void nothingRunsForAFreshPrefix()
    {
        QTemporaryDir prefix;
        QCOMPARE(runningWineserver(prefix.path()), std::nullopt);
        QCOMPARE(runningWineserver(prefix.filePath(u"missing"_s)), std::nullopt);
    }

    void aHeldServerLockStopsEveryWrite_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::newRow("Debian, below TMPDIR") << "tmpdir";
        QTest::newRow("Debian, below /tmp") << "tmp";
        QTest::newRow("upstream") << "upstream";
    }

    void aHeldServerLockStopsEveryWrite()
    {
        QFETCH(QString, layout);
        QTemporaryDir prefix;
        QTemporaryDir tmpdir;
        const QString name = u"wine-qt%1"_s.arg(QRandomGenerator::global()->generate(), 0, 16);
        QString base = tmpdir.filePath(name);
        QString cleanup;
        if (layout == QLatin1String("tmp"))
            cleanup = base = u"/tmp/"_s + name;
        if (layout == QLatin1String("upstream")) {
            base = u"/tmp/.wine-%1"_s.arg(::getuid());
            cleanup = base + QLatin1Char('/') + serverFolderName(prefix.path());
            if (!QFileInfo::exists(base))
                cleanup = base;
        } else {
            QVERIFY(writeFile(prefix.filePath(u"wineserver"_s), name.toUtf8() + '\n'));
        }
        const auto removeLater = qScopeGuard([&cleanup] {
            if (!cleanup.isEmpty())
                QDir(cleanup).removeRecursively();
        });
        const QString serverFolder = base + QLatin1Char('/') + serverFolderName(prefix.path());
        QVERIFY(QDir().mkpath(serverFolder));
        const EnvironmentVariable tmp("TMPDIR", QFile::encodeName(tmpdir.path()));

        QVERIFY(writeFile(userReg(prefix), wineWrittenUserReg()));
        WineRegistryStore store(prefix.path());
        const auto hkcu = RegistryRoot::CurrentUser;
        const QString leaf = u"Software\\Microsoft\\Windows Live Mail\\Mail\\a]b"_s;
        QVERIFY(store.createKey(hkcu, u"Before"_s).ok());
        {
            LockHolder server(serverFolder + u"/lock"_s);
            QVERIFY(server.isHolding());
            QCOMPARE(runningWineserver(prefix.path()), server.pid());
            // Changes under way when Wine started are never saved; a new operation cannot begin.
            const Result changedInMemory = store.createKey(hkcu, u"During"_s);
            const Result refusedSave = store.save();
            store.discard();
            for (const Result &refused :
                 {refusedSave, store.checkWritable(hkcu), store.createKey(hkcu, u"Other"_s),
                  store.setValue(hkcu, leaf, {u"v"_s, RegType::Sz, sz("x")}),
                  store.deleteKey(hkcu, leaf)}) {
                QVERIFY(!refused.ok());
                QVERIFY2(refused.message().endsWith(u"close the mail client and Wine"_s),
                         qPrintable(refused.message()));
                QVERIFY(refused.message().contains(QString::number(server.pid())));
            }
            QVERIFY(changedInMemory.ok());
            QVERIFY(!store.keyExists(hkcu, u"Before"_s));
            QCOMPARE(readFile(userReg(prefix)), wineWrittenUserReg());
        }
        QCOMPARE(runningWineserver(prefix.path()), std::nullopt);
        QVERIFY(store.createKey(hkcu, u"Before"_s).ok());
        QVERIFY(store.save().ok());
        QVERIFY(readFile(userReg(prefix)).contains("\n[Before] "));
    }

    // Any other layout: a wineserver process that holds the prefix folder open.
    void aServerProcessHoldingThePrefixIsFound()
    {
        QTemporaryDir prefix;
        QTemporaryDir programs(QCoreApplication::applicationDirPath() + u"/probe-XXXXXX"_s);
        const QString server = programs.filePath(u"wineserver64"_s);
        QVERIFY(QFile::copy(u"/bin/sleep"_s, server));
        QVERIFY(QFile::setPermissions(server, QFile::ReadOwner | QFile::ExeOwner));

        const QByteArray program = QFile::encodeName(server);
        const QByteArray folder = QFile::encodeName(prefix.path());
        int exec[2];
        QCOMPARE(::pipe2(exec, O_CLOEXEC), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
            const char *argv[] = {"wineserver64", "600", nullptr};
            ::execv(program.constData(), const_cast<char **>(argv));
            (void)!::write(exec[1], "!", 1);
            ::_exit(127);
        }
        ::close(exec[1]);
        char byte;
        QCOMPARE(::read(exec[0], &byte, 1), 0); // the pipe closes once the program runs
        ::close(exec[0]);

        const std::optional<qint64> found = runningWineserver(prefix.path());
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        QCOMPARE(found, std::optional<qint64>(pid));
        QCOMPARE(runningWineserver(prefix.path()), std::nullopt);
    }
};

QUILLORY_TEST(WineserverProbeTest)
#include "tst_wineserverprobe.moc"
