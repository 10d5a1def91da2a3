#include "app/programcontext.h"
#include "app/programstart.h"
#include "support/testsupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace quillory;
using namespace quillory::test;

class StoreDiscoveryTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void anyStoreRootValueMeansInstalled_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("status");
        const int found = int(StoreStatus::Found);
        QTest::newRow("expandable string") << QByteArray(R"("Store Root"=str(2):"C:\\x")") << found;
        QTest::newRow("empty string") << QByteArray(R"("Store Root"="")") << found;
        QTest::newRow("REG_DWORD") << QByteArray(R"("Store Root"=dword:00000001)") << found;
        QTest::newRow("binary") << QByteArray(R"("Store Root"=hex:01,02)") << found;
        QTest::newRow("no data") << QByteArray(R"("Store Root"=hex(0):)") << found;
        QTest::newRow("absent") << QByteArray() << int(StoreStatus::MailClientMissing);
    }

    void anyStoreRootValueMeansInstalled()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, status);
        QTemporaryDir dir;
        const QString prefix = dir.filePath(QStringLiteral("prefix"));
        QVERIFY(makeSampleProfile(prefix));
        const QString userReg = prefix + QStringLiteral("/user.reg");
        QString reg = QString::fromUtf8(readFile(userReg));
        static const QRegularExpression storeRoot(QStringLiteral("\"Store Root\"=[^\\n]*"));
        QVERIFY(reg.contains(storeRoot));
        reg.replace(storeRoot, QString::fromUtf8(line));
        QVERIFY(writeFile(userReg, reg.toUtf8()));

        ScriptedDialogs dialogs;
        ProgramContext context(prefix, dialogs);
        QCOMPARE(int(loadProgram(context)), status);
        QCOMPARE(dialogs.messageTexts().isEmpty(), status == int(StoreStatus::Found));
        QCOMPARE(context.store().StoreFolder.isEmpty(), status != int(StoreStatus::Found));
    }
};

QUILLORY_TEST(StoreDiscoveryTest)
#include "tst_storediscovery.moc"
