#include "platform/wine/wineregistrystore.h"
#include "registryfixture.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cstdio>
#include <sys/stat.h>
#include <thread>

using namespace quillory;
using namespace quillory::test;
using namespace Qt::StringLiterals;

namespace {

constexpr auto hkcu = RegistryRoot::CurrentUser;
const QString mail = u"Software\\Microsoft\\Windows Live Mail\\Mail"_s;

quint64 inodeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? quint64(st.st_ino) : 0;
}

// The key paths of the file's section headers, in file order.
QStringList sectionOrder(const QByteArray &text)
{
    QStringList paths;
    static const QRegularExpression header(u"^\\[(.*)\\] \\d+$"_s,
                                           QRegularExpression::MultilineOption);
    for (const auto &match : header.globalMatch(QString::fromLatin1(text)))
        paths.append(match.captured(1));
    return paths;
}

} // namespace

class WineRegistryStoreTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyValueTypeRoundTrips()
    {
        const QList<RegistryValue> values = {
            {QString(), RegType::Sz, sz("default")},
            {u"@"_s, RegType::Sz, sz("a value named @")},
            {u"Ctrl \"q\" \\"_s, RegType::Sz,
             sz("l1\nl2\t\x01"
                "7\x1b\x7f")},
            {u"Ünïcödé"_s, RegType::Sz, sz("Grüße 😀 €1")},
            {u"Expand"_s, RegType::ExpandSz, sz("%USERPROFILE%\\x")},
            {u"Multi"_s, RegType::MultiSz,
             QByteArray("a\0"
                        "1b\0\0",
                        6)},
            {u"NoZero"_s, RegType::Sz, "abc"},
            {u"Dword"_s, RegType::Dword, QByteArray("\xff\xff\xff\xff", 4)},
            {u"ShortDword"_s, RegType::Dword, QByteArray("\x01\x02\x03", 3)},
            {u"Qword"_s, RegType::Qword, QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
            {u"Empty"_s, RegType::Binary, QByteArray()},
            {u"Long"_s, RegType::Binary, QByteArray(300, '\xa5')},
            {u"None"_s, RegType::None, QByteArray("\0", 1)},
            {u"Custom"_s, 0xffff0001u, QByteArray("\x01", 1)},
        };
        QTemporaryDir prefix;
        {
            WineRegistryStore store(prefix.path());
            QVERIFY(store.createKey(hkcu, mail).ok());
            for (const RegistryValue &value : values)
                QVERIFY(store.setValue(hkcu, mail, value).ok());
            QVERIFY(store.save().ok());
        }
        const WineRegistryStore store(prefix.path());
        for (const RegistryValue &value : values)
            QCOMPARE(store.value(hkcu, mail, value.name), value);

        const QByteArray text = readFile(userReg(prefix));
        for (const char *line :
             {"\n@=\"default\"\n", "\n\"@\"=\"a value named @\"\n",
              "\n\"Ctrl \\\"q\\\" \\\\\"=\"l1\\nl2\\t\\0017\\e\x7f\"\n",
              "\n\"\\xdcn\\x00efc\\x00f6d\\xe9\"=\"Gr\\xfc\\x00dfe \\xd83d\\xde00 \\x20ac1\"\n",
              "\n\"Expand\"=str(2):\"%USERPROFILE%\\\\x\"\n",
              "\n\"Multi\"=str(7):\"a\\0001b\\0\"\n", "\n\"NoZero\"=hex(1):61,00,62,00,63,00\n",
              "\n\"Dword\"=dword:ffffffff\n", "\n\"ShortDword\"=hex(4):01,02,03\n",
              "\n\"Empty\"=hex:\n", "\n\"None\"=hex(0):00\n", "\n\"Custom\"=hex(ffff0001):01\n"})
            QVERIFY2(text.contains(line), line);
        // Long data wraps like wineserver's: past 76 characters, two spaces to go on.
        for (const QByteArray &line : text.split('\n'))
            QVERIFY(line.size() <= 78);
        const QByteArray wrapped = "\n\"Long\"=hex:" + QByteArray("a5,").repeated(22) + "\\\n  " +
                                   QByteArray("a5,").repeated(25) + "\\\n  a5,";
        QVERIFY(text.contains(wrapped));
        for (const char c : text)
            QVERIFY(uchar(c) < 0x80);
    }

    void savingWithoutChangesWritesNothing()
    {
        QTemporaryDir prefix;
        QVERIFY(writeFile(userReg(prefix), wineWrittenUserReg()));
        const quint64 inode = inodeOf(userReg(prefix));
        WineRegistryStore store(prefix.path());
        const auto same = store.value(hkcu, mail + u"\\Account [1]"_s, u"server"_s);
        QVERIFY(store.setValue(hkcu, mail + u"\\Account [1]"_s, *same).ok());
        QVERIFY(store.createKey(hkcu, mail).ok());
        QVERIFY(store.save().ok());
        QCOMPARE(inodeOf(userReg(prefix)), inode);
        QCOMPARE(readFile(userReg(prefix)), wineWrittenUserReg());
        QVERIFY(!QFileInfo::exists(prefix.filePath(u"system.reg"_s)));
    }

    void aChangeLeavesTheOtherSectionsByteForByte()
    {
        QTemporaryDir prefix;
        const QByteArray original = wineWrittenUserReg();
        QVERIFY(writeFile(userReg(prefix), original));
        WineRegistryStore store(prefix.path());
        const QString account = mail + u"\\Account [1]"_s;
        QVERIFY(
            store.setValue(hkcu, account, {u"SERVER"_s, RegType::Sz, sz("pop2.example.com")}).ok());
        QVERIFY(store.save().ok());

        const QByteArray saved = readFile(userReg(prefix));
        static const QRegularExpression rewritten(
            u"\\[Software\\\\\\\\Microsoft\\\\\\\\Windows Live Mail\\\\\\\\Mail\\\\\\\\Account "
            "\\\\\\[1\\\\\\]\\] (\\d+)\\n#time=([0-9a-f]+)\\n"_s);
        const auto match = rewritten.match(QString::fromLatin1(saved));
        QVERIFY(match.hasMatch());
        const quint64 filetime = match.captured(2).toULongLong(nullptr, 16);
        QCOMPARE((filetime - 116444736000000000ull) / 10000000ull, match.captured(1).toULongLong());
        QVERIFY(match.captured(1).toLongLong() >= 1700000000);

        QByteArray expected = original;
        expected.replace("Account \\[1\\]] 1796672377\n#time=1dd8682b15fba7e\n"
                         "\"Server\"=\"pop.example.com\"",
                         "Account \\[1\\]] " + match.captured(1).toLatin1() + "\n#time=" +
                             match.captured(2).toLatin1() + "\n\"Server\"=\"pop2.example.com\"");
        QCOMPARE(saved, expected);
    }

    void sectionsFollowWinesOrderAndRules()
    {
        QTemporaryDir prefix;
        QVERIFY(writeFile(userReg(prefix), wineWrittenUserReg()));
        WineRegistryStore store(prefix.path());
        QVERIFY(store.createKey(hkcu, mail + u"\\B New"_s).ok());
        QVERIFY(store.createKey(hkcu, mail + u"\\account [1]\\Deep\\Er"_s).ok());
        QVERIFY(store.createKey(hkcu, u"Software\\Aardvark"_s).ok());
        QVERIFY(store.deleteKey(hkcu, mail + u"\\a]b"_s).ok());
        QVERIFY(store.save().ok());

        const QString wlm = u"Software\\\\Microsoft\\\\Windows Live Mail"_s;
        const QString m = wlm + u"\\\\Mail\\\\"_s;
        // "Deep" has a subkey and no values: like "Mail", it has no section.
        QCOMPARE(sectionOrder(readFile(userReg(prefix))),
                 QStringList({u"Software\\\\Aardvark"_s, wlm, m + u"Account \\[1\\]"_s,
                              m + u"Account \\[1\\]\\\\Deep\\\\Er"_s, m + u"B New"_s,
                              m + u"Sub=With\"Quote"_s, m + u"\\xdcn\\x00efc\\x00f6d\\xe9 Key"_s}));

        // A key without values gets a section of its own once it has no subkeys left.
        QVERIFY(store.deleteKey(hkcu, mail + u"\\Account [1]\\Deep\\Er"_s).ok());
        QVERIFY(!store.deleteKey(hkcu, mail).ok());
        QVERIFY(!store.deleteKey(hkcu, QString()).ok());
        QVERIFY(!store.deleteKey(hkcu, mail + u"\\Missing"_s).ok());
        QVERIFY(store.save().ok());
        QVERIFY(sectionOrder(readFile(userReg(prefix))).contains(m + u"Account \\[1\\]\\\\Deep"_s));
        QVERIFY(!readFile(userReg(prefix)).contains("Deep\\\\Er] "));
        QVERIFY(readFile(userReg(prefix)).contains("Deep] "));
    }

    void handWrittenSectionsSurviveAChangeElsewhere()
    {
        const QByteArray kept = "; hand-made\r\n[A]\r\n\"x\" = \"Gr\xc3\xbc\xc3\x9f"
                                "e\"\r\n"
                                "\r\n[Broken\n\"y\"=\"z\"\n\n[C\\\\D]\n\"v\"=hex:01,\\\n 02\n";
        QTemporaryDir prefix;
        QVERIFY(writeFile(userReg(prefix),
                          "WINE REGISTRY Version 2\n" + kept + "\n[B]\n\"b\"=\"1\"\n"));
        WineRegistryStore store(prefix.path());
        QVERIFY(store.setValue(hkcu, u"b"_s, {u"b"_s, RegType::Sz, sz("2")}).ok());
        QVERIFY(store.save().ok());
        const QByteArray saved = readFile(userReg(prefix));
        QVERIFY(saved.startsWith("WINE REGISTRY Version 2\n" + kept + "\n[B] "));
        QVERIFY(saved.endsWith("\n\"b\"=\"2\"\n"));
        QCOMPARE(store.value(hkcu, u"C\\D"_s, u"v"_s)->data, QByteArray("\x01\x02", 2));
    }

    void aMissingFileIsAnEmptyBranchWrittenWithWinesHeader()
    {
        QTemporaryDir prefix;
        QVERIFY(writeFile(prefix.filePath(u"system.reg"_s),
                          "WINE REGISTRY Version 2\n;; All keys relative to "
                          "REGISTRY\\\\Machine\n\n#arch=win32\n"));
        WineRegistryStore store(prefix.path());
        QVERIFY(store.keyExists(hkcu, QString()));
        QVERIFY(store.subkeys(hkcu, QString()).isEmpty());
        QVERIFY(store.save().ok());
        QVERIFY(!QFileInfo::exists(userReg(prefix)));

        QVERIFY(store.createKey(hkcu, u"Software\\New"_s).ok());
        QVERIFY(store.setValue(hkcu, u"Software\\New"_s, {u"v"_s, RegType::Sz, sz("x")}).ok());
        QVERIFY(store.save().ok());
        const QByteArray text = readFile(userReg(prefix));
        QVERIFY(text.startsWith("WINE REGISTRY Version 2\n"
                                ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
                                "\n#arch=win32\n\n[Software\\\\New] "));
        QVERIFY(text.endsWith("\n\"v\"=\"x\"\n"));
    }

    void aFileChangedBehindOurBackIsNotOverwritten()
    {
        QTemporaryDir prefix;
        QVERIFY(writeFile(userReg(prefix), QByteArray(wineHeader) + "\n[K]\n\"v\"=\"1\"\n"));
        WineRegistryStore store(prefix.path());
        QCOMPARE(store.value(hkcu, u"K"_s, u"v"_s)->data, sz("1"));

        // Without changes of ours, the new file is simply read again.
        QVERIFY(writeFile(userReg(prefix), QByteArray(wineHeader) + "\n[K]\n\"v\"=\"wine\"\n"));
        QCOMPARE(store.value(hkcu, u"K"_s, u"v"_s)->data, sz("wine"));

        QVERIFY(store.setValue(hkcu, u"K"_s, {u"v"_s, RegType::Sz, sz("ours")}).ok());
        const QByteArray theirs = QByteArray(wineHeader) + "\n[K]\n\"v\"=\"wine again\"\n";
        QVERIFY(writeFile(userReg(prefix), theirs));
        const Result saved = store.save();
        QVERIFY(!saved.ok());
        QVERIFY(saved.message().contains(userReg(prefix)));
        QCOMPARE(readFile(userReg(prefix)), theirs);

        store.discard();
        QCOMPARE(store.value(hkcu, u"K"_s, u"v"_s)->data, sz("wine again"));
    }

    void discardForgetsChanges()
    {
        QTemporaryDir prefix;
        QVERIFY(writeFile(userReg(prefix), wineWrittenUserReg()));
        WineRegistryStore store(prefix.path());
        QVERIFY(store.deleteKey(hkcu, mail + u"\\a]b"_s).ok());
        QVERIFY(store.createKey(hkcu, u"Other"_s).ok());
        store.discard();
        QVERIFY(store.keyExists(hkcu, mail + u"\\a]b"_s));
        QVERIFY(!store.keyExists(hkcu, u"Other"_s));
        QVERIFY(store.save().ok());
        QCOMPARE(readFile(userReg(prefix)), wineWrittenUserReg());
    }

    void anUnreadableFileOpensNoKeysAndIsKeptAsItIs_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        const QByteArray rest = QByteArray(wineHeader).mid(23) + "\n[K]\n\"v\"=\"1\"\n";
        QTest::newRow("byte order mark")
            << "\xef\xbb\xbfWINE REGISTRY Version 2" + rest << u"first line"_s;
        QTest::newRow("other first line") << "WINE REGISTRY Version 1" + rest << u"first line"_s;
        QTest::newRow("unknown architecture")
            << QByteArray("WINE REGISTRY Version 2\n#arch=win16\n[K]\n\"v\"=\"1\"\n")
            << u"architecture"_s;
        QTest::newRow("empty") << QByteArray() << u"first line"_s;
        // Windows allows 512 levels; a walk over 100,000 would overflow the stack.
        QTest::newRow("key 100,000 levels deep")
            << "WINE REGISTRY Version 2" + rest + "\n[" + QByteArray("a\\\\").repeated(99999) +
                   "a] 0\n\"v\"=\"1\"\n"
            << u"nested 100000 levels deep"_s;
    }

    void anUnreadableFileOpensNoKeysAndIsKeptAsItIs()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        QTemporaryDir prefix;
        QVERIFY(writeFile(userReg(prefix), content));
        WineRegistryStore store(prefix.path());
        QVERIFY(!store.keyExists(hkcu, QString()));
        QVERIFY(!store.keyExists(hkcu, u"K"_s));
        QVERIFY(store.subkeys(hkcu, QString()).isEmpty());
        QVERIFY(!store.values(hkcu, u"K"_s));
        QVERIFY(!store.value(hkcu, u"K"_s, u"v"_s));
        for (const Result &refused : {store.checkWritable(hkcu), store.createKey(hkcu, u"K2"_s),
                                      store.setValue(hkcu, u"K"_s, {u"v"_s, RegType::Sz, sz("2")}),
                                      store.deleteKey(hkcu, u"K"_s)}) {
            QVERIFY(!refused.ok());
            QVERIFY2(refused.message().contains(userReg(prefix)) &&
                         refused.message().contains(reason),
                     qPrintable(refused.message()));
        }
        QVERIFY(store.save().ok());
        QCOMPARE(readFile(userReg(prefix)), content);
        // The other branch is not affected.
        QVERIFY(store.createKey(RegistryRoot::LocalMachine, u"K"_s).ok());
    }

    // user.reg replaced again and again, by a file that parses and by one that does not, while
    // changes are made: each change works on a file that parses or is refused, whatever the
    // file became between the change's check and the change itself.
    void aFileReplacedDuringAChangeIsUsedOrRefused()
    {
        QTemporaryDir prefix;
        const QByteArray good = wineWrittenUserReg();
        const QByteArray bad = "WINE REGISTRY Version 1\n";
        QVERIFY(writeFile(userReg(prefix), good));
        const QByteArray target = QFile::encodeName(userReg(prefix));
        const QByteArray next = target + ".next";
        std::atomic<bool> stop = false;
        std::thread replacer([&] {
            for (int turn = 0; !stop; ++turn)
                if (writeFile(QFile::decodeName(next), turn % 2 ? bad : good))
                    ::rename(next.constData(), target.constData());
        });
        int refused = 0;
        for (int turn = 0; turn < 200; ++turn) {
            WineRegistryStore store(prefix.path());
            const Result created = store.createKey(hkcu, u"K"_s);
            if (!created) {
                ++refused;
                QVERIFY2(created.message().contains(u"cannot be used as a registry file"_s),
                         qPrintable(created.message()));
            }
            store.discard();
        }
        stop = true;
        replacer.join();
        QVERIFY(refused > 0);
    }

    void otherRootsOpenNoKeys()
    {
        QTemporaryDir prefix;
        QVERIFY(writeFile(userReg(prefix), wineWrittenUserReg()));
        WineRegistryStore store(prefix.path());
        for (const RegistryRoot root : {RegistryRoot::Users, RegistryRoot::ClassesRoot,
                                        RegistryRoot::CurrentConfig, RegistryRoot::None}) {
            QVERIFY(!store.keyExists(root, QString()));
            QVERIFY(!store.keyExists(root, u"Software"_s));
            QVERIFY(store.subkeys(root, QString()).isEmpty());
            QVERIFY(!store.checkWritable(root).ok());
            QVERIFY(!store.createKey(root, u"Software\\X"_s).ok());
        }
    }
};

QUILLORY_TEST(WineRegistryStoreTest)
#include "tst_wineregistrystore.moc"
