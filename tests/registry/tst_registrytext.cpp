#include "platform/text/legacycodepage.h"
#include "testregistry.h"

#include <QTest>

using namespace quillory;
using quillory::test::readFile;
using quillory::test::TestRegistry;
using quillory::test::writeFile;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString rulesKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Rules");
const QString targetKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Target");

// A target with content of its own, which an import must replace entirely.
const QByteArray occupiedTarget = "[Software\\\\Target] 0\n\"Old\"=\"x\"\n"
                                  "\"Multi\"=str(7):\"a\\0b\\0\"\n\n"
                                  "[Software\\\\Target\\\\Stale] 0\n\"s\"=dword:00000001\n\n"
                                  "[Software\\\\Unrelated] 0\n\"u\"=\"kept\"\n";

QByteArray deepKeyLine(int levels)
{
    return QByteArray("\\a").repeated(levels);
}

} // namespace

class RegistryTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void exportWritesTheDocumentedLines()
    {
        TestRegistry source("[Software\\\\Rules] 0\n@=\"root default\"\n\"a=b\"=\"x=y\"\n"
                            "\"All\"=dword:ffffffff\n\"Empty\"=hex:\n\"Flags\"=hex:00,0a,ff\n"
                            "\"Multi\"=str(7):\"a\\0b\\0\"\n\"Path\"=str(2):\"%SystemRoot%\\\\x\"\n"
                            "\"Q\"=hex(b):01,00,00,00,00,00,00,00\n\"Sig\"=\"l1\\r\\nl2\"\n"
                            "\"Version\"=dword:00000003\n\n"
                            "[Software\\\\Rules\\\\Mail] 0\n\"Name\"=\"Gr\\xfc\\x00dfe\"\n\n"
                            "[Software\\\\Rules\\\\Mail\\\\Empty] 0\n\n"
                            "[Software\\\\Rules\\\\News] 0\n\"Exp\"=str(2):\"a\\nb\"\n");
        const QString file = source.file("rules.txt");
        QVERIFY(writeFile(file, "old content"));
        QVERIFY(source.reg.ExportKeyTree(rulesKey, QString(), file));
        QCOMPARE(readFile(file), QByteArray("\\\r\n"
                                            "\"\"= sz:root default\r\n"
                                            "\"a=b\"= sz:x=y\r\n"
                                            "\"All\"= dw:-1\r\n"
                                            "\"Empty\"=bin:\r\n"
                                            "\"Flags\"=bin:0,10,255\r\n"
                                            "\"Multi\"=raw:7,97,0,98,0,0\r\n"
                                            "\"Path\"=esz:%SystemRoot%\\x\r\n"
                                            "\"Q\"=raw:11,1,0,0,0,0,0,0,0\r\n"
                                            "\"Sig\"=szb:108,49,13,10,108,50\r\n"
                                            "\"Version\"= dw:3\r\n"
                                            "\\Mail\r\n"
                                            "\"Name\"= sz:Gr\xc3\xbc\xc3\x9f"
                                            "e\r\n"
                                            "\\Mail\\Empty\r\n"
                                            "\\News\r\n"
                                            "\"Exp\"=esb:97,10,98\r\n"));

        QVERIFY(source.reg.ExportKeyTree(rulesKey + QStringLiteral("\\Missing"), QString(), file));
        QCOMPARE(readFile(file), QByteArray("\\\r\n"));
        QVERIFY(source.reg.ExportKeyTree(rulesKey + QStringLiteral("\\News"), QStringLiteral("\\N"),
                                         file));
        QCOMPARE(readFile(file), QByteArray("\\\r\n\\N\r\n\"Exp\"=esb:97,10,98\r\n"));
    }

    void everyTypeSurvivesARoundTrip()
    {
        TestRegistry source("");
        QCOMPARE(source.reg.CreateKey(rulesKey + QStringLiteral("\\Sub=With\"Quote\\Ünïcödé")), 0);
        QByteArray big(40000, '\0');
        for (qsizetype i = 0; i < big.size(); ++i)
            big[i] = char(i % 251);
        const QList<RegistryValue> values = {
            {QString(), RegType::Sz, "default\0"_qba},
            {QStringLiteral("Signature"), RegType::Sz, "Best,\r\n\r\nAnna\n\0"_qba},
            {QStringLiteral("Expand"), RegType::ExpandSz, "%APPDATA%\\x\0"_qba},
            {QStringLiteral("EmptyText"), RegType::Sz, "\0"_qba},
            {QStringLiteral("Spaces"), RegType::Sz, "  both  \0"_qba},
            {QStringLiteral("x\"=y"), RegType::Dword, "\xff\xff\xff\xff"_qba},
            {QStringLiteral("Grüße"), RegType::Binary, QByteArray()},
            {QStringLiteral("Big"), RegType::Binary, big},
            {QStringLiteral("Multi"), RegType::MultiSz, "Grüße\0b\0\0"_qba},
            {QStringLiteral("Qword"), RegType::Qword, "\x50\x4c\x2b\x3a\x2e\x9c\xc9\x01"_qba},
            {QStringLiteral("None"), RegType::None, QByteArray()},
            {QStringLiteral("Custom"), 0xffff0001u, "\0\xff"_qba},
        };
        for (const RegistryValue &value : values)
            QVERIFY(source.store.setValue(RegistryRoot::CurrentUser,
                                          QStringLiteral("Software\\Rules\\Sub=With\"Quote"),
                                          value));
        QVERIFY(source.store.save());
        WineRegistryStore saved(source.dir.path());
        const QString first = source.file("first.txt");
        QVERIFY(modReg(saved, source.dialogs).ExportKeyTree(rulesKey, QString(), first));

        TestRegistry target(occupiedTarget);
        QVERIFY(target.reg.ImportKeyFile(targetKey, first));
        WineRegistryStore reread(target.dir.path());
        const QString sub = QStringLiteral("Software\\Target\\Sub=With\"Quote");
        QCOMPARE(reread.values(RegistryRoot::CurrentUser, sub)->size(), values.size());
        for (const RegistryValue &value : values)
            QCOMPARE(
                reread.value(RegistryRoot::CurrentUser, sub, value.name).value_or(RegistryValue()),
                value);
        QVERIFY(!reread.keyExists(RegistryRoot::CurrentUser,
                                  QStringLiteral("Software\\Target\\Stale")));
        modReg again(reread, target.dialogs);
        QCOMPARE(again.ReadStringValue(QStringLiteral("HKEY_CURRENT_USER\\Software\\Unrelated"),
                                       QStringLiteral("u")),
                 QStringLiteral("kept"));
        const QString second = target.file("second.txt");
        QVERIFY(again.ExportKeyTree(targetKey, QString(), second));
        QCOMPARE(readFile(second), readFile(first));
        QVERIFY(source.dialogs.shown.isEmpty() && target.dialogs.shown.isEmpty());
    }

    void importReadsLeniently()
    {
        TestRegistry registry(occupiedTarget);
        const QString file = registry.file("in.txt");
        QVERIFY(writeFile(file, "\\\n\"Flags\"=bin:0, 10 ,255\n\"Later\"=qwd:5\n\\\n"
                                "\\Mail\n\"a=b\"= sz:c\n\"n\"= dw:1\n\r\n\\Ignored\n"));
        QVERIFY(registry.reg.ImportKeyFile(targetKey, file));
        const QString target = QStringLiteral("Software\\Target");
        WineRegistryStore reread(registry.dir.path());
        QCOMPARE(
            *reread.values(RegistryRoot::CurrentUser, target),
            QList<RegistryValue>({{QStringLiteral("Flags"), RegType::Binary, "\0\n\xff"_qba}}));
        QCOMPARE(reread.subkeys(RegistryRoot::CurrentUser, target), QStringList(u"Mail"_s));
        QCOMPARE(
            modReg(reread, registry.dialogs).ReadStringValue(targetKey + u"\\Mail"_s, u"a=b"_s),
            u"c"_s);

        QVERIFY(writeFile(file, "\\\r\n"));
        QVERIFY(modReg(reread, registry.dialogs).ImportKeyFile(targetKey, file));
        WineRegistryStore emptied(registry.dir.path());
        QCOMPARE(emptied.values(RegistryRoot::CurrentUser, target)->size(), 0);
        QVERIFY(emptied.subkeys(RegistryRoot::CurrentUser, target).isEmpty());
    }

    // Texts with line breaks as archives made on Windows hold them, over several lines, in the
    // legacy code page.
    void textsGoOnOverTheirLineBreaks_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("lines and an empty one") << "\\\r\n\"text\"= sz:Gr\xfc\xdf"
                                                   "e,\r\n\r\nJ\xfcrgen\r\n\"after\"= dw:7\r\n"_qba
                                                << "Grüße,\r\n\r\nJürgen\0"_qba
                                                << "\x07\0\0\0"_qba;
        QTest::newRow("a lone line feed and a line like a key's")
            << "\\\r\n\"text\"=esz:%a%\nb\r\n\"q\" x\r\n\"after\"= sz:y\r\n"_qba
            << "%a%\nb\r\n\"q\" x\0"_qba
            << "y\0"_qba;
        QTest::newRow("a break at the end of the file")
            << "\\\r\n\"after\"= sz:y\r\n\"text\"= sz:end\r\n\r\n"_qba
            << "end\r\n\0"_qba
            << "y\0"_qba;
    }

    void textsGoOnOverTheirLineBreaks()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, after);
        chooseLegacyCodePage(1252);
        TestRegistry registry(occupiedTarget);
        const QString file = registry.file("windows.txt");
        QVERIFY(writeFile(file, content));
        const Result imported = registry.reg.ImportKeyFile(targetKey, file);
        QVERIFY2(imported, qPrintable(imported.message()));
        const WineRegistryStore reread(registry.dir.path());
        const QString target = QStringLiteral("Software\\Target");
        QCOMPARE(reread.value(RegistryRoot::CurrentUser, target, u"text"_s)->data, text);
        QCOMPARE(reread.value(RegistryRoot::CurrentUser, target, u"after"_s)->data, after);
        QCOMPARE(reread.values(RegistryRoot::CurrentUser, target)->size(), 2);
    }

    void aFileThatCannotBeConvertedChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("line");
        QTest::newRow("number too large") << QByteArray("\\\r\n\"a\"= dw:2147483648\r\n") << 2;
        QTest::newRow("not a number") << QByteArray("\\\r\n\"a\"= dw:x\r\n") << 2;
        QTest::newRow("byte too large") << QByteArray("\\\r\n\\S\r\n\"a\"=bin:1,256\r\n") << 3;
        QTest::newRow("empty byte") << QByteArray("\\\r\n\"a\"=bin:1,,2\r\n") << 2;
        QTest::newRow("no equals sign") << QByteArray("\\\r\nBest,\r\n") << 2;
        QTest::newRow("value before any key") << QByteArray("\"a\"= sz:b\r\n") << 1;
        QTest::newRow("empty key name") << QByteArray("\\\r\n\\a\\\r\n") << 2;
        QTest::newRow("neither UTF-8 nor the code page")
            << QByteArray("\\\r\n\"a\"= sz:\xe9\r\n") << 2;
        QTest::newRow("no equals sign after a number")
            << QByteArray("\\\r\n\"a\"= dw:1\r\nBest,\r\n") << 3;
        QTest::newRow("raw without a type") << QByteArray("\\\r\n\"a\"=raw:,1\r\n") << 2;
        QTest::newRow("raw type too large") << QByteArray("\\\r\n\"a\"=raw:4294967296\r\n") << 2;
        QTest::newRow("raw byte too large") << QByteArray("\\\r\n\"a\"=raw:7,1,256\r\n") << 2;
        QTest::newRow("key 513 levels deep") << "\\\r\n" + deepKeyLine(513) + "\r\n" << 2;
        QTest::newRow("key 200,000 levels deep") << "\\\r\n" + deepKeyLine(200000) + "\r\n" << 2;
    }

    void aFileThatCannotBeConvertedChangesNothing()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, line);
        // A code page in which a lead byte without its second byte is no text.
        chooseLegacyCodePage(932);
        TestRegistry registry(occupiedTarget);
        const QString file = registry.file("bad.txt");
        QVERIFY(writeFile(file, content));
        const QByteArray before = readFile(registry.userReg());
        const Result imported = registry.reg.ImportKeyFile(targetKey, file);
        QVERIFY(!imported);
        QVERIFY2(imported.message().contains(file) &&
                     imported.message().contains(QStringLiteral("line %1").arg(line)),
                 qPrintable(imported.message()));
        QCOMPARE(readFile(registry.userReg()), before);
        QVERIFY(registry.store.keyExists(RegistryRoot::CurrentUser,
                                         QStringLiteral("Software\\Target\\Stale")));
    }

    // The registry allows 512 levels below the root: the target's own levels count too.
    void keysAsDeepAsTheRegistryAllowsAndNoDeeper_data()
    {
        QTest::addColumn<int>("levels");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("512 in all") << 510 << true;
        QTest::newRow("513 in all") << 511 << false;
    }

    void keysAsDeepAsTheRegistryAllowsAndNoDeeper()
    {
        QFETCH(int, levels);
        QFETCH(bool, accepted);
        TestRegistry registry(occupiedTarget);
        const QString file = registry.file("deep.txt");
        QByteArray deep = "\\\r\n";
        for (int level = 1; level <= levels; ++level)
            deep += deepKeyLine(level) + "\r\n";
        deep += "\"v\"=raw:11,1\r\n";
        QVERIFY(writeFile(file, deep));
        const QByteArray before = readFile(registry.userReg());
        const Result imported = registry.reg.ImportKeyFile(targetKey, file);
        QCOMPARE(imported.ok(), accepted);
        if (!accepted) {
            QVERIFY2(imported.message().contains(u"512"_s), qPrintable(imported.message()));
            QCOMPARE(readFile(registry.userReg()), before);
            return;
        }
        WineRegistryStore reread(registry.dir.path());
        const QString exported = registry.file("again.txt");
        QVERIFY(modReg(reread, registry.dialogs).ExportKeyTree(targetKey, QString(), exported));
        QCOMPARE(readFile(exported), deep);
        modReg(reread, registry.dialogs).DeleteKeyTree(targetKey);
        QVERIFY(!WineRegistryStore(registry.dir.path())
                     .keyExists(RegistryRoot::CurrentUser, u"Software\\Target"_s));
    }

    void namesThatCannotBeWrittenFailTheExport_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("valueName");
        QTest::newRow("value name with a line break") << "Software\\Rules"
                                                      << "a\r\nb";
        QTest::newRow("value name holding a separator") << "Software\\Rules"
                                                        << "a\"= sz:b";
        QTest::newRow("key name with a line break") << "Software\\Rules\\a\nb"
                                                    << "v";
    }

    void namesThatCannotBeWrittenFailTheExport()
    {
        QFETCH(QString, key);
        QFETCH(QString, valueName);
        TestRegistry registry("");
        QVERIFY(registry.store.createKey(RegistryRoot::CurrentUser, key));
        QVERIFY(registry.store.setValue(RegistryRoot::CurrentUser, key,
                                        {valueName, RegType::Sz, "x\0"_qba}));
        const QString file = registry.file("out.txt");
        const Result exported = registry.reg.ExportKeyTree(rulesKey, QString(), file);
        QVERIFY(!exported);
        QVERIFY2(exported.message().contains(rulesKey), qPrintable(exported.message()));
    }

    void importNeedsAKnownTarget()
    {
        TestRegistry registry(occupiedTarget);
        const QString file = registry.file("in.txt");
        QVERIFY(writeFile(file, "\\\r\n\"a\"= sz:b\r\n"));
        const QByteArray before = readFile(registry.userReg());
        QVERIFY(!registry.reg.ImportKeyFile(QStringLiteral("HKEY_FOO\\Target"), file));
        QVERIFY(!registry.reg.ImportKeyFile(targetKey + QStringLiteral("\\"), file));
        QCOMPARE(registry.dialogs.messageTexts().size(), 1);
        QVERIFY(!registry.reg.ImportKeyFile(targetKey, registry.file("missing.txt")));
        QCOMPARE(readFile(registry.userReg()), before);
    }
};

QUILLORY_TEST(RegistryTextTest)
#include "tst_registrytext.moc"
