#include "platform/wine/winepaths.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace quillory;

class WinePathsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_prefix;

    bool makeFolder(const QString &relative) { return QDir(m_prefix).mkpath(relative); }
    bool makeLink(const QString &target, const QString &relative)
    {
        return QFile::link(target, m_prefix + QLatin1Char('/') + relative);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_prefix = m_dir.filePath(QStringLiteral("prefix"));
        QVERIFY(makeFolder(QStringLiteral("dosdevices/unc/srv/share/sub")));
        QVERIFY(makeLink(QStringLiteral("../drive_c"), QStringLiteral("dosdevices/c:")));
        QVERIFY(makeLink(QStringLiteral("/"), QStringLiteral("dosdevices/z:")));
        QVERIFY(makeLink(m_dir.filePath(QStringLiteral("gone")), QStringLiteral("dosdevices/e:")));
        QVERIFY(makeFolder(
            QStringLiteral("drive_c/users/anna/AppData/Local/Microsoft/Windows Live Mail/Work")));
        QVERIFY(makeFolder(QStringLiteral("drive_c/Ünïcödé Dir")));
        QVERIFY(makeFolder(QStringLiteral("drive_c/Привет")));
        QVERIFY(makeFolder(QStringLiteral("drive_c/Case")));
        QVERIFY(makeFolder(QStringLiteral("drive_c/CASE")));
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("home/Documents/My Stationery"))));
        QVERIFY(makeLink(m_dir.filePath(QStringLiteral("home/Documents")),
                         QStringLiteral("drive_c/users/anna/Documents")));
        QVERIFY(
            test::writeFile(m_prefix + QStringLiteral("/dosdevices/unc/srv/share/sub/F.txt"), "x"));
    }

    // `expected` is relative to the prefix unless it starts with "/"; empty means no mapping.
    void mapsPaths_data()
    {
        QTest::addColumn<QString>("windowsPath");
        QTest::addColumn<QString>("expected");
        const QString local = QStringLiteral("dosdevices/c:/users/anna/AppData/Local");
        QTest::newRow("drive path") << "C:\\users\\anna\\AppData\\Local" << local;
        QTest::newRow("other case, forward slashes, on-disk spelling kept")
            << "c:/USERS/Anna/appdata/LOCAL/microsoft/windows live mail"
            << local + QStringLiteral("/Microsoft/Windows Live Mail");
        QTest::newRow("missing names keep the given spelling")
            << "C:\\users\\anna\\AppData\\Local\\Microsoft\\WINDOWS LIVE MAIL\\New\\SUB\\work"
            << local + QStringLiteral("/Microsoft/Windows Live Mail/New/SUB/work");
        QTest::newRow("dot-dot never leaves the drive")
            << "C:\\users\\..\\..\\..\\users\\.\\anna\\\\AppData\\Local\\" << local;
        QTest::newRow("trailing dots and spaces are ignored")
            << "C:\\users\\anna. \\AppData..\\Local" << local;
        QTest::newRow("drive root") << "C:\\"
                                    << "dosdevices/c:";
        QTest::newRow("bare drive") << "c:"
                                    << "dosdevices/c:";
        QTest::newRow("drive letter is looked up in lower case") << "Z:\\ETC"
                                                                 << "dosdevices/z:/etc";
        QTest::newRow("dangling drive link still names the drive") << "E:\\Some\\Path"
                                                                   << "dosdevices/e:/Some/Path";
        QTest::newRow("unknown drive") << "D:\\x"
                                       << "";
        QTest::newRow("non-Latin drive-like name") << "Ä:\\x"
                                                   << "";
        QTest::newRow("Latin-1 letters fold") << "C:\\üNÏCÖDÉ dir\\x"
                                              << "dosdevices/c:/Ünïcödé Dir/x";
        QTest::newRow("Cyrillic letters fold") << "C:\\пРИВЕТ"
                                               << "dosdevices/c:/Привет";
        QTest::newRow("exact case preferred") << "C:\\CASE"
                                              << "dosdevices/c:/CASE";
        QTest::newRow("exact case preferred, other spelling") << "C:\\Case"
                                                              << "dosdevices/c:/Case";
        QTest::newRow("verbatim prefix") << "\\\\?\\C:\\users\\anna\\AppData\\Local" << local;
        QTest::newRow("NT prefix") << "\\??\\c:\\Users\\ANNA\\AppData\\Local" << local;
        QTest::newRow("host path") << "\\\\?\\unix\\etc\\..\\etc\\.\\hostname"
                                   << "/etc/hostname";
        QTest::newRow("host root") << "\\??\\unix"
                                   << "/";
        QTest::newRow("share") << "\\\\SRV\\Share\\sub\\F.TXT"
                               << "dosdevices/unc/srv/share/sub/F.txt";
        QTest::newRow("verbatim share") << "\\\\?\\UNC\\srv\\share\\sub"
                                        << "dosdevices/unc/srv/share/sub";
        QTest::newRow("dot-dot never leaves the share") << "//srv/share/../../sub"
                                                        << "dosdevices/unc/srv/share/sub";
        QTest::newRow("unknown share") << "\\\\srv\\other\\x"
                                       << "";
        QTest::newRow("unknown server") << "\\\\elsewhere\\share"
                                        << "";
        QTest::newRow("server without share") << "\\\\srv"
                                              << "";
        QTest::newRow("device namespace") << "\\\\.\\COM1"
                                          << "";
        QTest::newRow("drive-relative") << "C:users"
                                        << "";
        QTest::newRow("root of the current drive") << "\\users"
                                                   << "";
        QTest::newRow("relative") << "users\\anna"
                                  << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("NUL inside")
            << QStringLiteral("C:\\users") + QChar(0) + QStringLiteral("x") << "";
    }

    void mapsPaths()
    {
        QFETCH(QString, windowsPath);
        QFETCH(QString, expected);
        const std::optional<QString> host = WinePaths(m_prefix).toHostPath(windowsPath);
        if (expected.isEmpty()) {
            QCOMPARE(host, std::nullopt);
            return;
        }
        QVERIFY(host);
        QCOMPARE(*host, expected.startsWith(QLatin1Char('/'))
                            ? expected
                            : m_prefix + QLatin1Char('/') + expected);
    }

    void caseVariantsResolveToAnEntryOnDisk()
    {
        const std::optional<QString> host =
            WinePaths(m_prefix).toHostPath(QStringLiteral("C:\\cAsE"));
        QVERIFY(host);
        const QString name = QFileInfo(*host).fileName();
        QVERIFY2(name == QLatin1String("Case") || name == QLatin1String("CASE"), qPrintable(name));
    }

    void expandsVariables_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expanded");
        QTest::newRow("name in any case") << "%localappdata%\\Microsoft"
                                          << "C:\\users\\anna\\AppData\\Local\\Microsoft";
        QTest::newRow("two in a row") << "%A%%B%"
                                      << "12";
        QTest::newRow("unknown stays whole") << "%NOPE%\\x"
                                             << "%NOPE%\\x";
        QTest::newRow("unknown, then text") << "%NOPE%B%"
                                            << "%NOPE%B%";
        QTest::newRow("lone percent") << "100% sure"
                                      << "100% sure";
        QTest::newRow("empty name") << "a%%b"
                                    << "a%%b";
        QTest::newRow("value is not expanded again") << "%LOOP%"
                                                     << "%A%";
    }

    void expandsVariables()
    {
        QFETCH(QString, text);
        QFETCH(QString, expanded);
        const WinePaths::Variables variables{
            {QStringLiteral("LOCALAPPDATA"), QStringLiteral("C:\\users\\anna\\AppData\\Local")},
            {QStringLiteral("A"), QStringLiteral("1")},
            {QStringLiteral("b"), QStringLiteral("2")},
            {QStringLiteral("LOOP"), QStringLiteral("%A%")}};
        QCOMPARE(WinePaths::expandVariables(text, variables), expanded);
    }

    void mapsExpandedPaths()
    {
        const WinePaths paths(m_prefix);
        const WinePaths::Variables variables{
            {QStringLiteral("USERPROFILE"), QStringLiteral("C:\\users\\anna")}};
        QCOMPARE(paths.toHostPath(QStringLiteral("%UserProfile%\\AppData\\Local"), variables),
                 m_prefix + QStringLiteral("/dosdevices/c:/users/anna/AppData/Local"));
        QCOMPARE(paths.toHostPath(QStringLiteral("%UserProfile%\\AppData")), std::nullopt);
    }

    void canonicalPathsFollowEveryLink()
    {
        const WinePaths paths(m_prefix);
        const QString realRoot = QFileInfo(m_dir.path()).canonicalFilePath();
        QCOMPARE(paths.toCanonicalHostPath(QStringLiteral("C:\\USERS\\anna\\appdata")),
                 realRoot + QStringLiteral("/prefix/drive_c/users/anna/AppData"));
        QCOMPARE(
            paths.toCanonicalHostPath(QStringLiteral("C:\\users\\anna\\documents\\my stationery")),
            realRoot + QStringLiteral("/home/Documents/My Stationery"));
        QCOMPARE(paths.toCanonicalHostPath(QStringLiteral("C:\\users\\anna\\Music")), std::nullopt);
        QCOMPARE(paths.toCanonicalHostPath(QStringLiteral("E:\\")), std::nullopt);
        QCOMPARE(paths.toCanonicalHostPath(QStringLiteral("D:\\")), std::nullopt);
    }

    void relativePrefixIsMadeAbsolute()
    {
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        const WinePaths paths(QStringLiteral("prefix/"));
        QVERIFY(QDir::setCurrent(saved));
        QCOMPARE(paths.prefixPath(), m_prefix);
        QCOMPARE(paths.toHostPath(QStringLiteral("C:\\users")),
                 m_prefix + QStringLiteral("/dosdevices/c:/users"));
    }
};

QUILLORY_TEST(WinePathsTest)
#include "tst_winepaths.moc"
