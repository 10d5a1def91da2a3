#include "platform/wine/wineregistryfile.h"
#include "platform/wine/wineregistrystore.h"
#include "registryfixture.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace quillory;
using namespace quillory::test;
using namespace Qt::StringLiterals;

namespace {

const QString wlm = QStringLiteral("Software\\Microsoft\\Windows Live Mail");

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out += char(v);
    return out;
}

} // namespace

class WineRegistryFormatTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsWhatWineWrote_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<uint>("type");
        QTest::addColumn<QByteArray>("data");
        QByteArray counting;
        for (int i = 0; i < 100; ++i)
            counting += char(i);
        QTest::newRow("default") << "" << 1u << sz("");
        QTest::newRow("big endian") << "BigEndian" << 5u << bytes({1, 0, 0, 0});
        QTest::newRow("binary") << "Binary" << 3u << bytes({0, 0xff, 0x10, 0xab});
        QTest::newRow("controls") << "Ctrl" << 1u
                                  << sz("l1\nl2\tT\rR\x01"
                                        "A");
        QTest::newRow("dword") << "Dword" << 4u << bytes({0x78, 0x56, 0x34, 0x12});
        QTest::newRow("surrogates") << "Emoji" << 1u << sz("x\xf0\x9f\x98\x80y");
        QTest::newRow("empty binary") << "EmptyBinary" << 3u << QByteArray();
        QTest::newRow("expand") << "Expand" << 2u
                                << sz("%LOCALAPPDATA%\\Microsoft\\Windows Live Mail");
        QTest::newRow("padded hex escape") << "HexLike" << 1u << sz("é1");
        QTest::newRow("continued hex") << "LongBinary" << 3u << counting;
        QTest::newRow("multi") << "Multi" << 7u
                               << QByteArray("first\0second \"q\"\0Ümlaut\0\0", 26);
        QTest::newRow("padded octal") << "MultiDigit" << 7u
                                      << QByteArray("a\0"
                                                    "1b\0\0",
                                                    6);
        QTest::newRow("none") << "None" << 0u << bytes({0, 0});
        QTest::newRow("quotes and backslashes")
            << "Quotes\"Name" << 1u << sz("say \"hi\" to C:\\dir\\sub\\ and \\\\server\\share");
        QTest::newRow("qword") << "Qword" << 11u
                               << bytes({0xef, 0xcd, 0xab, 0x89, 0x67, 0x45, 0x23, 0x01});
        QTest::newRow("unicode") << "Unicode" << 1u << sz("Grüße – Привет – 日本語 – €");
    }

    void readsWhatWineWrote()
    {
        QFETCH(QString, name);
        QFETCH(uint, type);
        QFETCH(QByteArray, data);
        QTemporaryDir prefix;
        QVERIFY(writeFile(userReg(prefix), wineWrittenUserReg()));
        const WineRegistryStore store(prefix.path());
        const std::optional<RegistryValue> value =
            store.value(RegistryRoot::CurrentUser, wlm, name);
        QVERIFY(value);
        QCOMPARE(value->name, name);
        QCOMPARE(value->type, type);
        QCOMPARE(value->data, data);
    }

    void enumeratesAsWineDoes()
    {
        QTemporaryDir prefix;
        QVERIFY(writeFile(userReg(prefix), wineWrittenUserReg()));
        const WineRegistryStore store(prefix.path());
        const auto hkcu = RegistryRoot::CurrentUser;

        QStringList valueNames;
        const auto values = store.values(hkcu, wlm);
        QVERIFY(values);
        for (const RegistryValue &value : *values)
            valueNames.append(value.name);
        QCOMPARE(valueNames.size(), 19);
        QCOMPARE(valueNames.mid(0, 6), QStringList({u""_s, u"BigEndian"_s, u"Binary"_s, u"Ctrl"_s,
                                                    u"Dword"_s, u"DwordDec"_s}));

        // "Mail" has no section of its own: it exists as the parent of its subkeys.
        QCOMPARE(store.subkeys(hkcu, wlm), QStringList{u"Mail"_s});
        QCOMPARE(store.subkeys(hkcu, wlm + QStringLiteral("\\Mail")),
                 QStringList({u"a]b"_s, u"Account [1]"_s, u"Sub=With\"Quote"_s, u"Ünïcödé Key"_s}));
        QVERIFY(store.values(hkcu, wlm + QStringLiteral("\\Mail"))->isEmpty());

        QVERIFY(store.keyExists(hkcu, QStringLiteral("SOFTWARE\\microsoft\\WINDOWS LIVE MAIL\\"
                                                     "mail\\account [1]")));
        QCOMPARE(store.value(hkcu, wlm, QStringLiteral("plainsz"))->name,
                 QStringLiteral("PlainSz"));
        QVERIFY(!store.keyExists(hkcu, wlm + QStringLiteral("\\Missing")));
        QVERIFY(!store.values(hkcu, wlm + QStringLiteral("\\Missing")));
        QVERIFY(!store.value(hkcu, wlm, QStringLiteral("Missing")));
    }

    void sortsLowerCasedNamesPrefixFirst()
    {
        QTemporaryDir prefix;
        QVERIFY(writeFile(userReg(prefix), QByteArray(wineHeader) +
                                               "\n[K\\\\b]\n[K\\\\_x]\n[K\\\\Ab]\n[K\\\\a]\n"
                                               "[K\\\\A\\]]\n[K]\n\"b\"=\"\"\n\"_\"=\"\"\n"
                                               "\"B1\"=\"\"\n\"a\"=\"\"\n"));
        const WineRegistryStore store(prefix.path());
        // '_' sorts before the letters, as lower case does and upper case would not.
        QCOMPARE(store.subkeys(RegistryRoot::CurrentUser, QStringLiteral("K")),
                 QStringList({u"_x"_s, u"a"_s, u"A]"_s, u"Ab"_s, u"b"_s}));
        QStringList names;
        const auto values = store.values(RegistryRoot::CurrentUser, u"K"_s);
        QVERIFY(values);
        for (const RegistryValue &value : *values)
            names.append(value.name);
        QCOMPARE(names, QStringList({u"_"_s, u"a"_s, u"b"_s, u"B1"_s}));
    }

    void writesSectionsAsWineDoes()
    {
        const QByteArray wine = wineWrittenUserReg();
        const Expected<WineRegistryFile> file = WineRegistryFile::parse(wine);
        QVERIFY(file);
        QByteArray sections;
        std::function<void(const WineRegistryKey &)> collect = [&](const WineRegistryKey &key) {
            if (!key.values().empty())
                sections += WineRegistryFile::sectionText(key);
            for (const auto &[name, subkey] : key.subkeys())
                collect(*subkey);
        };
        collect(file->root());
        // The excerpt's "..." line stands where Wine wrote the keys that were left out.
        QCOMPARE(sections.mid(1), wine.mid(wine.indexOf("[Software")));
        QCOMPARE(file->text(), wine);
    }

    void readerRules_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("name");
        QTest::addColumn<uint>("type");
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("hex escape takes four digits at most")
            << QByteArray("\"v\"=\"\\x41424\"") << "v" << 1u
            << sz("\xe4\x85\x82"
                  "4");
        QTest::newRow("hex escape without digits")
            << QByteArray("\"v\"=\"\\xg\"") << "v" << 1u << sz("xg");
        QTest::newRow("unknown escapes stand for themselves")
            << QByteArray("\"v\"=\"\\q\\u0043\\[\"") << "v" << 1u << sz("qu0043[");
        QTest::newRow("octal escapes") << QByteArray("\"v\"=\"\\12\\0001\\101\"") << "v" << 1u
                                       << QByteArray("\n\0"
                                                     "1A\0",
                                                     5);
        QTest::newRow("raw UTF-8") << QByteArray("\"v\"=\"Gr\xc3\xbc\xc3\x9f"
                                                 "e\"")
                                   << "v" << 1u << sz("Grüße");
        QTest::newRow("spaces around equals, indented line")
            << QByteArray("  \"v\" =  \"x\"") << "v" << 1u << sz("x");
        QTest::newRow("str: is a plain string")
            << QByteArray("\"v\"=str:\"x\"") << "v" << 1u << sz("x");
        QTest::newRow("CR LF with continued hex")
            << QByteArray("\"v\"=hex:01,\\\r\n  02,\\\r\n  0A\r\n") << "v" << 3u
            << bytes({1, 2, 10});
        QTest::newRow("upper-case hex, custom type") << QByteArray("\"v\"=hex(FFFF0001):AB, cd")
                                                     << "v" << 0xffff0001u << bytes({0xab, 0xcd});
        QTest::newRow("hex(2) holds UTF-16")
            << QByteArray("\"v\"=hex(2):25,00,41,00,25,00,00,00") << "v" << 2u << sz("%A%");
        QTest::newRow("hex(1) without its zero")
            << QByteArray("\"v\"=hex(1):61,00") << "v" << 1u << QByteArray("a");
        QTest::newRow("dword that is no number is zero")
            << QByteArray("\"v\"=dword:xyz") << "v" << 4u << bytes({0, 0, 0, 0});
        QTest::newRow("unreadable hex leaves an empty REG_NONE")
            << QByteArray("\"v\"=hex:01,zz") << "v" << 0u << QByteArray();
        QTest::newRow("unclosed string leaves an empty REG_NONE")
            << QByteArray("\"v\"=\"abc") << "v" << 0u << QByteArray();
        QTest::newRow("a value named @")
            << QByteArray("@=\"default\"\n\"@\"=\"at\"") << "@" << 1u << sz("at");
        QTest::newRow("the default value")
            << QByteArray("\"@\"=\"at\"\n@=\"default\"") << "" << 1u << sz("default");
        QTest::newRow("comments and options")
            << QByteArray("#time=1d00000000000000\n;\"v\"=\"no\"\n#class=\"c\"\n\"v\"=\"yes\"")
            << "v" << 1u << sz("yes");
    }

    void readerRules()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, name);
        QFETCH(uint, type);
        QFETCH(QByteArray, data);
        QTemporaryDir prefix;
        QVERIFY(writeFile(userReg(prefix),
                          "WINE REGISTRY Version 2\n\n[Key \\[1\\]] 0\n" + body + '\n'));
        const WineRegistryStore store(prefix.path());
        const auto value = store.value(RegistryRoot::CurrentUser, QStringLiteral("Key [1]"), name);
        QVERIFY(value);
        QCOMPARE(value->type, type);
        QCOMPARE(value->data, data);
    }

    void headersThatDifferInCaseMerge()
    {
        QTemporaryDir prefix;
        QVERIFY(writeFile(userReg(prefix), QByteArray(wineHeader) +
                                               "\n[Soft\\\\Key]\n\"Name\"=\"1\"\n\n"
                                               "[SOFT\\\\kEY]\n\"NAME\"=\"2\"\n\"other\"=\"3\"\n"));
        const WineRegistryStore store(prefix.path());
        const auto hkcu = RegistryRoot::CurrentUser;
        QCOMPARE(store.subkeys(hkcu, QString()), QStringList{u"Soft"_s});
        QCOMPARE(store.subkeys(hkcu, QStringLiteral("Soft")), QStringList{u"Key"_s});
        const QList<RegistryValue> values = *store.values(hkcu, QStringLiteral("soft\\key"));
        QCOMPARE(values.size(), 2);
        QCOMPARE(values[0], (RegistryValue{u"Name"_s, 1, sz("2")}));
        QCOMPARE(values[1], (RegistryValue{u"other"_s, 1, sz("3")}));
    }
};

QUILLORY_TEST(WineRegistryFormatTest)
#include "tst_wineregistryformat.moc"
