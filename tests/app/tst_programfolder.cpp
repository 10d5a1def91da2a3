#include "app/programfolder.h"
#include "support/testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace quillory;

class ProgramFolderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void installedProgramUsesItsShareFolder()
    {
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("share/quillory/skins")));
        QCOMPARE(programFolderFor(prefix.filePath(QStringLiteral("bin"))),
                 prefix.filePath(QStringLiteral("share/quillory")));
    }

    void buildTreeUsesTheExecutablesFolder()
    {
        QTemporaryDir build;
        QVERIFY(QDir(build.path()).mkpath(QStringLiteral("bin/skins")));
        QCOMPARE(programFolderFor(build.filePath(QStringLiteral("bin"))),
                 build.filePath(QStringLiteral("bin")));
        QCOMPARE(programFolder(), QDir::cleanPath(test::binDir()));
    }
};

QUILLORY_TEST(ProgramFolderTest)

#include "tst_programfolder.moc"
