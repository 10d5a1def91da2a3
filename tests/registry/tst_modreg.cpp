#include "testregistry.h"

#include <QTest>

using namespace quillory;
using quillory::test::readFile;
using quillory::test::TestRegistry;

namespace {

const QString testKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\T");

QString below(const char *subkey)
{
    return testKey + QLatin1Char('\\') + QLatin1String(subkey);
}

} // namespace

class ModRegTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void splitKeyPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<uint>("root");
        QTest::addColumn<QString>("rest");
        QTest::addColumn<bool>("rejected");
        QTest::newRow("root alone") << "HKEY_CURRENT_USER" << 0x80000001u << "" << false;
        QTest::newRow("subkeys") << "HKEY_DYN_DATA\\Software\\X" << 0x80000006u << "Software\\X"
                                 << false;
        QTest::newRow("unknown root, no message") << "HKEY_FOO\\x" << 0u << "x" << false;
        QTest::newRow("trailing backslash") << "HKEY_CURRENT_USER\\" << 0u << "" << true;
        QTest::newRow("abbreviation") << "HKCU\\Software" << 0u << "" << true;
        QTest::newRow("case matters") << "hkey_current_user\\Software" << 0u << "" << true;
    }

    void splitKeyPath()
    {
        QFETCH(QString, path);
        QFETCH(uint, root);
        QFETCH(QString, rest);
        QFETCH(bool, rejected);
        TestRegistry registry("");
        QString split = path;
        std::uint32_t splitRoot = 1;
        registry.reg.SplitKeyPath(split, splitRoot);
        QCOMPARE(splitRoot, root);
        if (!rejected) {
            QCOMPARE(split, rest);
            QVERIFY(registry.dialogs.shown.isEmpty());
            return;
        }
        QCOMPARE(registry.dialogs.shown.size(), 1);
        const auto &shown = registry.dialogs.shown[0];
        QCOMPARE(shown.text, QStringLiteral("Incorrect Format:\n\n") + path);
        QCOMPARE(shown.title, QStringLiteral("Quillory"));
        QCOMPARE(shown.icon, MessageIcon::None);
        QCOMPARE(shown.buttons, MessageButtons::Ok);
        QCOMPARE(registry.reg.CreateKey(path), RegStatus::InvalidHandle);
    }

    void readStringValue_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("leading spaces dropped") << "Lead"
                                                << "Inbox";
        QTest::newRow("trailing spaces kept") << "Trail"
                                              << "Inbox  ";
        QTest::newRow("default value") << ""
                                       << "";
        QTest::newRow("expandable, unexpanded") << "Exp"
                                                << "%SystemRoot%\\x";
        QTest::newRow("UTF-8") << "Uni"
                               << "Grüße €";
        QTest::newRow("254 bytes fit") << "Max" << QString(254, QLatin1Char('x'));
        QTest::newRow("255 bytes do not") << "Over"
                                          << "Error";
        QTest::newRow("a number is no text") << "Dw"
                                             << "Error";
        QTest::newRow("missing value") << "Missing"
                                       << "Error";
    }

    void readStringValue()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        TestRegistry registry("[Software\\\\T] 0\n@=\"\"\n\"Lead\"=\"  Inbox\"\n\"Trail\"=\"Inbox  "
                              "\"\n\"Exp\"=str(2):\"%SystemRoot%\\\\x\"\n\"Uni\"=\"Gr\\xfc\\x00dfe "
                              "\\x20ac\"\n\"Dw\"=dword:00000001\n\"Max\"=\"" +
                              QByteArray(254, 'x') + "\"\n\"Over\"=\"" + QByteArray(255, 'x') +
                              "\"\n");
        QCOMPARE(registry.reg.ReadStringValue(testKey, name), expected);
        QCOMPARE(registry.reg.ReadStringValue(below("Missing"), name), QStringLiteral("Error"));
    }

    void createAndListKeys()
    {
        TestRegistry registry("[Software\\\\T\\\\A] 0\n\"v\"=\"1\"\n\n[Software\\\\T\\\\B] 0\n");
        modReg &reg = registry.reg;
        QCOMPARE(reg.ListSubkeys(testKey), QStringList({QStringLiteral("A"), QStringLiteral("B")}));
        QVERIFY(reg.ListSubkeys(below("A")).isEmpty());
        QVERIFY(reg.ListSubkeys(below("Missing")).isEmpty());

        const QByteArray before = readFile(registry.userReg());
        QCOMPARE(reg.CreateKey(below("A")), RegStatus::Success);
        QCOMPARE(readFile(registry.userReg()), before);
        QCOMPARE(reg.CreateKey(below("New\\Deep")), RegStatus::Success);
        WineRegistryStore reread(registry.dir.path());
        QVERIFY(
            reread.keyExists(RegistryRoot::CurrentUser, QStringLiteral("Software\\T\\New\\Deep")));
    }

    void deleteKeys()
    {
        TestRegistry registry(
            "[Software\\\\T\\\\X\\\\Y] 0\n\n[Software\\\\T\\\\X\\\\Z\\\\Deep\\\\Deeper] "
            "0\n\n[Software\\\\T\\\\Keep] 0\n\"k\"=\"kept\"\n\n[Top] 0\n");
        modReg &reg = registry.reg;
        QCOMPARE(reg.DeleteKey(below("X\\Y")), RegStatus::Success);
        QCOMPARE(reg.DeleteKey(below("X")), RegStatus::AccessDenied);
        QCOMPARE(reg.DeleteKey(below("Missing")), RegStatus::FileNotFound);
        QCOMPARE(reg.DeleteKey(QStringLiteral("HKEY_CURRENT_USER\\Top")), RegStatus::Success);
        QCOMPARE(reg.ListSubkeys(below("X")), QStringList(QStringLiteral("Z")));

        const QByteArray before = readFile(registry.userReg());
        reg.DeleteKeyTree(below("Missing"));
        QCOMPARE(readFile(registry.userReg()), before);
        reg.DeleteKeyTree(below("X"));
        WineRegistryStore reread(registry.dir.path());
        modReg after(reread, registry.dialogs);
        QCOMPARE(after.ListSubkeys(testKey), QStringList(QStringLiteral("Keep")));
        QCOMPARE(after.ReadStringValue(below("Keep"), QStringLiteral("k")), QStringLiteral("kept"));
        QVERIFY(!after.KeyExists(QStringLiteral("HKEY_CURRENT_USER\\Top")));
    }
};

QUILLORY_TEST(ModRegTest)
#include "tst_modreg.moc"
