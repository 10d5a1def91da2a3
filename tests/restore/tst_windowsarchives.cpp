#include "app/storediscovery.h"
#include "platform/text/legacycodepage.h"
#include "platform/wine/wineregistrystore.h"
#include "restorefixture.h"
#include "windowsarchive.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

using namespace quillory;
using namespace quillory::test;
using namespace Qt::StringLiterals;

namespace {

// What a user on Windows backed up, in their language.
struct WindowsTexts {
    QString user;
    QString description; // two lines
    QString contact;
    QString account;
    QString message; // folder/file inside the account
    QString rule;
    QString signature; // several lines
    QString password;
};

QString keyBelow(const QString &keyPath)
{
    return keyPath.section(u'\\', 1);
}

} // namespace
Q_DECLARE_METATYPE(WindowsTexts)

// Archives made on Windows: information file, lists, registry text files and entry
// names in the ANSI code page, restored value for value and file for file.
class WindowsArchivesTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static QString infoText(const WindowsTexts &texts)
    {
        return u"BackupComputer=PC-"_s + texts.user + u"\r\nBackupLogonUser="_s + texts.user +
               u"\r\nBackupTime=08.12.2026 05:00:00\r\nBackupInformation="_s +
               QString(texts.description).replace(u"\r\n"_s, u"PS$KRV"_s) +
               u"\r\nBackupmailaccountsandmessages="_s + texts.account +
               u".zip;WindowsMail.MSMessageStore\r\nBackupmailRules=OBR1A.tmp\r\n"
               u"BackupContacts="_s +
               texts.contact +
               u";Gruppe.group\r\nBacKupsignatures=OBR2B.tmp\r\n"_s
               u"BackupItem=1100010100\r\n"_s;
    }

    // Writes the archive of the row and returns its path.
    QString writeArchive(int codePage, const WindowsTexts &texts, zip_uint16_t method)
    {
        const QString accountArchive = m_dir.filePath(QString::number(codePage) + u"-inner.zip"_s);
        if (!WindowsArchive(codePage)
                 .add(texts.message.section(u'/', 0, 0) + u'/', {})
                 .add(texts.message, "message of " + texts.user.toUtf8())
                 .write(accountArchive))
            return {};
        const QString archive = m_dir.filePath(QString::number(codePage) + u".wlm"_s);
        const bool written =
            WindowsArchive(codePage)
                .add(texts.account + u".zip"_s, readFile(accountArchive))
                .addText(u"OBR1A.tmp"_s, u"\\\r\n\\"_s + texts.rule + u"\r\n\"Name\"= sz:"_s +
                                             texts.rule + u"\r\n\"Flags\"=bin:1,0,255\r\n"_s)
                .add(texts.contact, "contact of " + texts.user.toUtf8())
                .add(u"Gruppe.group"_s, "group")
                .addText(u"OBR2B.tmp"_s, u"\\\r\n\\00000001\r\n\"name\"= sz:"_s + texts.user +
                                             u"\r\n\"text\"= sz:"_s + texts.signature +
                                             u"\r\n\"type\"= dw:1\r\n"_s)
                .addText(u"krvstore.dat"_s, infoText(texts))
                .write(archive, texts.password, method);
        return written ? archive : QString();
    }

private Q_SLOTS:
    void restoresEveryTextAndName_data()
    {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<int>("legacyPage");
        QTest::addColumn<int>("method");
        QTest::addColumn<WindowsTexts>("texts");
        QTest::newRow("Windows-1252, ZipCrypto") << 1252 << 1252 << int(ZIP_EM_TRAD_PKWARE)
                                                 << WindowsTexts{u"Jürgen"_s,
                                                                 u"Wöchentlich\r\nfür Jürgen"_s,
                                                                 u"Müller.contact"_s,
                                                                 u"Konto Größe"_s,
                                                                 u"Posteingang/Grüße.eml"_s,
                                                                 u"Regel für Spam"_s,
                                                                 u"Grüße,\r\n\r\nJürgen"_s,
                                                                 u"Paßwort"_s};
        QTest::newRow("Windows-1251, AES") << 1251 << 1251 << int(ZIP_EM_AES_256)
                                           << WindowsTexts{u"Юрий"_s,
                                                           u"Еженедельно\r\nдля Юрия"_s,
                                                           u"Иванов.contact"_s,
                                                           u"Почта"_s,
                                                           u"Входящие/Привет.eml"_s,
                                                           u"Правило"_s,
                                                           u"С уважением,\r\nЮрий"_s,
                                                           u"пароль"_s};
        // Code page 932 has backslashes as second bytes: ソ is 83 5C, 表 is 95 5C.
        QTest::newRow("Windows-932, unprotected") << 932 << 932 << int(ZIP_EM_NONE)
                                                  << WindowsTexts{u"太郎"_s,
                                                                  u"毎週\r\n太郎へ"_s,
                                                                  u"ソフト.contact"_s,
                                                                  u"アカウント"_s,
                                                                  u"受信トレイ/表示.eml"_s,
                                                                  u"規則"_s,
                                                                  u"敬具\r\n太郎"_s,
                                                                  QString()};
        // An archive of this program is UTF-8 whatever the legacy code page.
        QTest::newRow("UTF-8, AES") << 0 << 1251 << int(ZIP_EM_AES_256)
                                    << WindowsTexts{u"Jürgen"_s,
                                                    u"Wöchentlich\r\nfür Jürgen"_s,
                                                    u"Müller.contact"_s,
                                                    u"Konto Größe"_s,
                                                    u"Posteingang/Grüße.eml"_s,
                                                    u"Regel für Spam"_s,
                                                    u"Grüße,\r\nJürgen"_s,
                                                    u"Grüße"_s};
    }

    void restoresEveryTextAndName()
    {
        QFETCH(int, codePage);
        QFETCH(int, legacyPage);
        QFETCH(int, method);
        QFETCH(WindowsTexts, texts);
        chooseLegacyCodePage(legacyPage);
        const QString archive = writeArchive(codePage, texts, zip_uint16_t(method));
        QVERIFY(!archive.isEmpty());
        QCOMPARE(ZipArchive::IsProtected(archive), !texts.password.isEmpty());

        SampleProfile profile;
        QVERIFY(profile.isValid());
        Session session(profile.path());
        const OpenOutcome opened = session.open(archive, texts.password);
        QVERIFY2(opened.status == OpenStatus::Opened, qPrintable(opened.reason));
        QCOMPARE(session.state.origin, u"Computer:PC-"_s + texts.user + u"\r\nUser:"_s +
                                           texts.user + u"\r\nDate:08.12.2026 05:00:00"_s);
        QCOMPARE(session.state.description, texts.description);

        const RestoreOutcome outcome = session.restore(allItems());
        QVERIFY2(outcome.problems.isEmpty(), qPrintable(outcome.problems.join(u'\n')));
        QCOMPARE(outcome.message.text, reportOf({{0, true}, {1, true}, {5, true}, {7, true}}));

        QCOMPARE(readFile(profile.store(u"Contacts/Default/"_s + texts.contact)),
                 "contact of " + texts.user.toUtf8());
        QCOMPARE(readFile(profile.store(texts.account + u'/' + texts.message)),
                 "message of " + texts.user.toUtf8());

        const WineRegistryStore registry(profile.path());
        const RegistryRoot user = RegistryRoot::CurrentUser;
        const QString rule = keyBelow(MailKeys::mailRules) + u'\\' + texts.rule;
        QCOMPARE(registry.value(user, rule, u"Name"_s)->data, texts.rule.toUtf8() + '\0');
        QCOMPARE(registry.value(user, rule, u"Flags"_s)->data, QByteArray("\x01\x00\xff", 3));
        const QString signature = keyBelow(MailKeys::signatures) + u"\\00000001"_s;
        QCOMPARE(registry.values(user, signature)->size(), 3);
        QCOMPARE(registry.value(user, signature, u"text"_s)->data, texts.signature.toUtf8() + '\0');
        QCOMPARE(registry.value(user, signature, u"name"_s)->data, texts.user.toUtf8() + '\0');

        // brevnor-cli, told the code page, shows the same texts.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"WINEPREFIX"_s, profile.path());
        environment.insert(u"QUILLORY_PASSWORD"_s, texts.password);
        environment.remove(u"QUILLORY_CODEPAGE"_s);
        environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
        QProcess cli;
        cli.setProcessEnvironment(environment);
        cli.start(binDir() + u"/brevnor-cli"_s,
                  {u"info"_s, u"--codepage"_s, QString::number(legacyPage), archive});
        cli.closeWriteChannel();
        QVERIFY(cli.waitForFinished(-1));
        const QString shown = QString::fromUtf8(cli.readAllStandardOutput());
        QVERIFY2(cli.exitCode() == 0 && shown.contains(u"User:"_s + texts.user) &&
                     shown.contains(texts.description.section(u"\r\n"_s, 1)),
                 qPrintable(shown + QString::fromUtf8(cli.readAllStandardError())));

        // The account's nested archive is deflated, as archivers on Windows may write it: list
        // inflates it to read its directory.
        cli.start(binDir() + u"/brevnor-cli"_s,
                  {u"list"_s, u"--codepage"_s, QString::number(legacyPage), archive});
        cli.closeWriteChannel();
        QVERIFY(cli.waitForFinished(-1));
        const QString listed = QString::fromUtf8(cli.readAllStandardOutput());
        QVERIFY2(cli.exitCode() == 0 &&
                     listed.contains(u"  account \"%1\": 1 message, %2 bytes\n    %3: 1 message"_s
                                         .arg(texts.account)
                                         .arg(texts.user.toUtf8().size() + 11)
                                         .arg(texts.message.section(u'/', 0, 0))) &&
                     listed.contains(u"  "_s + texts.contact + u": "_s) &&
                     listed.contains(u"1 mailrules (Mail Rules): 2 keys, 2 values"_s),
                 qPrintable(listed + QString::fromUtf8(cli.readAllStandardError())));
    }

    // The code page Wine gives a locale, and the one the environment chooses over it.
    void accountArchivesOfOtherArchivers_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("refusal");
        // bzip2 makes far more of a byte than deflate can: no reason to call it damaged.
        QTest::newRow("bzip2, by Info-ZIP's zip") << u"bzip2"_s << QString();
        QTest::newRow("private and read-only files") << u"modes"_s << QString();
        QTest::newRow("Deflate64") << u"deflate64"_s
                                   << u"uses the compression method Deflate64, which Quillory "
                                      "cannot read; the archive itself may be sound"_s;
    }

    // Account archives that other archivers made: read where the method allows, with the files'
    // permissions; a method that cannot be read is said to be one, not damage.
    void accountArchivesOfOtherArchivers()
    {
        QFETCH(QString, how);
        QFETCH(QString, refusal);
        QTemporaryDir made;
        const QString inbox = made.filePath(u"Inbox"_s);
        QVERIFY(writeFile(inbox + u"/1.eml"_s, QByteArray(2000000, 'x')));
        QVERIFY(writeFile(inbox + u"/2.eml"_s, "Subject: private\r\n"));
        QVERIFY(writeFile(inbox + u"/3.eml"_s, "Subject: kept\r\n"));
        QFile::setPermissions(inbox + u"/2.eml"_s, QFile::ReadOwner | QFile::WriteOwner);
        QFile::setPermissions(inbox + u"/3.eml"_s,
                              QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        const QString nested = made.filePath(u"Work.zip"_s);
        const ProgramRun zipped =
            runProgram(u"sh"_s, {u"-c"_s, u"cd \"$0\" && zip -q -r $1 Work.zip Inbox"_s,
                                 made.path(), how == u"bzip2"_s ? u"-Z bzip2"_s : QString()});
        QVERIFY2(zipped.exitCode == 0, zipped.err.constData());
        QByteArray bytes = readFile(nested);
        if (how == u"deflate64"_s) {
            // The method field of every local and central header: deflate (8) becomes 9.
            for (const QByteArray &signature :
                 {QByteArray("PK\x03\x04", 4), QByteArray("PK\x01\x02", 4)}) {
                const qsizetype methodAt = signature[2] == 3 ? 8 : 10;
                for (qsizetype at = bytes.indexOf(signature); at >= 0;
                     at = bytes.indexOf(signature, at + 4))
                    if (bytes[at + methodAt] == 8)
                        bytes[at + methodAt] = 9;
            }
        }
        const QString archive = m_dir.filePath(u"other-%1.wlm"_s.arg(how));
        QVERIFY(ArchiveWriter()
                    .add(u"krvstore.dat"_s,
                         infoFile(u"1000000000"_s,
                                  {{u"Backupmailaccountsandmessages"_s, u"Work.zip"_s}}))
                    .add(u"Work.zip"_s, bytes)
                    .write(archive));
        SampleProfile target;
        const auto before = treeOf(target.store());
        Session session(target.path());
        QCOMPARE(session.open(archive).status, OpenStatus::Opened);
        const RestoreOutcome outcome = session.restore(allItems());
        if (!refusal.isEmpty()) {
            QVERIFY2(outcome.message.text.contains(refusal), qPrintable(outcome.message.text));
            QVERIFY(!outcome.message.text.contains(u"damaged"_s));
            QCOMPARE(treeOf(target.store()), before);
            return;
        }
        QVERIFY2(outcome.problems.isEmpty(), qPrintable(outcome.problems.join(u'\n')));
        for (const QString &name : {u"1.eml"_s, u"2.eml"_s, u"3.eml"_s}) {
            const QString restored = target.store(u"Work/Inbox/"_s + name);
            QCOMPARE(readFile(restored), readFile(inbox + u'/' + name));
            QCOMPARE(QFileInfo(restored).permissions() & 0x0F0F,
                     QFileInfo(inbox + u'/' + name).permissions() & 0x0F0F);
        }
    }

    void namesInTheDosCodePage_data()
    {
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QString>("folder");
        // 0x81, the DOS "ü", is undefined in Windows-1252.
        QTest::newRow("DOS Western (850)") << 850 << u"Entwürfe"_s;
        QTest::newRow("Windows-1252") << 1252 << u"Entwürfe"_s;
    }

    // Names that Windows Explorer and archivers on Windows write in the DOS code page come back
    // as the user wrote them, never as invisible control characters.
    void namesInTheDosCodePage()
    {
        QFETCH(int, codePage);
        QFETCH(QString, folder);
        // A Western user's program, whatever the rows before chose.
        chooseLegacyCodePage(1252);
        const QString nested = m_dir.filePath(u"dos-%1.zip"_s.arg(codePage));
        QVERIFY(WindowsArchive(codePage).add(folder + u"/1.eml"_s, "message").write(nested));
        const QString archive = m_dir.filePath(u"dos-%1.wlm"_s.arg(codePage));
        QVERIFY(ArchiveWriter()
                    .add(u"krvstore.dat"_s,
                         infoFile(u"1000000000"_s,
                                  {{u"Backupmailaccountsandmessages"_s, u"Work.zip"_s}}))
                    .add(u"Work.zip"_s, readFile(nested))
                    .write(archive));
        SampleProfile target;
        Session session(target.path());
        QCOMPARE(session.open(archive).status, OpenStatus::Opened);
        const RestoreOutcome outcome = session.restore(allItems());
        QVERIFY2(outcome.problems.isEmpty(), qPrintable(outcome.problems.join(u'\n')));
        QCOMPARE(readFile(target.store(u"Work/"_s + folder + u"/1.eml"_s)), QByteArray("message"));
    }

    void legacyCodePageFollowsTheLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("codePage");
        QTest::newRow("German") << u"de_DE.UTF-8"_s << 1252;
        QTest::newRow("no locale") << u"C.UTF-8"_s << 1252;
        QTest::newRow("Polish") << u"pl_PL.UTF-8"_s << 1250;
        QTest::newRow("Russian") << u"ru_RU.UTF-8"_s << 1251;
        QTest::newRow("Serbian in Latin") << u"sr_RS@latin"_s << 1250;
        QTest::newRow("Greek") << u"el_GR.UTF-8"_s << 1253;
        QTest::newRow("Turkish") << u"tr_TR.UTF-8"_s << 1254;
        QTest::newRow("Hebrew") << u"he_IL.UTF-8"_s << 1255;
        QTest::newRow("Arabic") << u"ar_EG.UTF-8"_s << 1256;
        QTest::newRow("Lithuanian") << u"lt_LT.UTF-8"_s << 1257;
        QTest::newRow("Thai") << u"th_TH.UTF-8"_s << 874;
        QTest::newRow("Japanese") << u"ja_JP.UTF-8"_s << 932;
        QTest::newRow("Chinese, China") << u"zh_CN.UTF-8"_s << 936;
        QTest::newRow("Korean") << u"ko_KR.UTF-8"_s << 949;
        QTest::newRow("Chinese, Taiwan") << u"zh_TW.UTF-8"_s << 950;
    }

    void legacyCodePageFollowsTheLocale()
    {
        QFETCH(QString, locale);
        QFETCH(int, codePage);
        QCOMPARE(codePageOfLocale(locale), codePage);
        chooseLegacyCodePage(0);
        qunsetenv("QUILLORY_CODEPAGE");
        qputenv("LC_ALL", locale.toUtf8());
        QCOMPARE(legacyCodePage(), codePage);
        qputenv("QUILLORY_CODEPAGE", "1257");
        QCOMPARE(legacyCodePage(), 1257);
        qunsetenv("QUILLORY_CODEPAGE");
        qunsetenv("LC_ALL");
    }
};

QUILLORY_TEST(WindowsArchivesTest)
#include "tst_windowsarchives.moc"
