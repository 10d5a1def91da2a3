#include "app/windows/skin.h"
#include "support/testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

using namespace quillory;
using quillory::test::writeFile;

class SkinTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theShippedSkinIsApplied()
    {
        const QString shipped = test::binDir() + QStringLiteral("/skins/frmmain.skn");
        Skin skin;
        QVERIFY(skin.load(shipped));
        QWidget window;
        skin.apply(&window);
        QCOMPARE(window.styleSheet().toUtf8(), test::readFile(shipped));
        QCOMPARE(QDir::cleanPath(Skin::windowSkinPath()), QDir::cleanPath(shipped));
    }

    void aBadSkinLeavesTheDefaultLook_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("present");
        QTest::newRow("missing file") << QByteArray() << false;
        QTest::newRow("empty file") << QByteArray(" \n\t") << true;
        QTest::newRow("block not closed") << QByteArray("QWidget { color: red;\n") << true;
        QTest::newRow("stray closing brace") << QByteArray("QWidget { color: red; } }") << true;
        QTest::newRow("comment not closed") << QByteArray("/* QWidget { color: red; }") << true;
        QTest::newRow("string not closed")
            << QByteArray("QLabel { font-family: \"Sans; }\n") << true;
        QTest::newRow("not text") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe", 18)
                                  << true;
    }

    void aBadSkinLeavesTheDefaultLook()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, present);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("frmmain.skn"));
        if (present)
            QVERIFY(writeFile(path, content));

        Skin skin;
        QVERIFY(!skin.load(path));
        QVERIFY(!skin.isLoaded());
        QWidget window;
        window.setStyleSheet(QString());
        skin.apply(&window);
        QVERIFY(window.styleSheet().isEmpty());
    }

    void bracesInsideCommentsAndStringsDoNotCount()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("frmmain.skn"));
        QVERIFY(writeFile(path, "/* } { */\nQLabel { font-family: \"Odd}Name\", 'x{y'; }\n"));
        Skin skin;
        QVERIFY(skin.load(path));
    }

    void aBadSkinReplacesAGoodOneWithNothing()
    {
        QTemporaryDir dir;
        const QString good = dir.filePath(QStringLiteral("good.skn"));
        QVERIFY(writeFile(good, "QWidget { color: navy; }"));
        Skin skin;
        QVERIFY(skin.load(good));
        QVERIFY(!skin.load(dir.filePath(QStringLiteral("gone.skn"))));
        QWidget window;
        skin.apply(&window);
        QVERIFY(window.styleSheet().isEmpty());
    }
};

QUILLORY_TEST(SkinTest)

#include "tst_skin.moc"
