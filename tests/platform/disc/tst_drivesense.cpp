#include "platform/disc/drivesense.h"
#include "support/testsupport.h"

#include <QTest>

using namespace quillory;

class DriveSenseTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void mapsLibburnMessages_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("sense");
        QTest::addColumn<int>("code");
        const auto row = [](const char *name, const char *message, const char *sense, int code) {
            QTest::newRow(name) << QString::fromLatin1(message) << QString::fromLatin1(sense)
                                << code;
        };
        row("loss of streaming", "SCSI error on write(10): [3 0C 09] Loss of streaming",
            "[3 0C 09]", 1008);
        row("other write error", "[3 0C 00] Write error", "[3 0C 00]", 1005);
        row("no medium", "SCSI error: [2 3A 01] Medium not present - tray closed", "[2 3A 01]",
            1033);
        row("format in progress", "[2 04 04] Logical unit not ready, format in progress",
            "[2 04 04]", 1055);
        row("not ready", "[2 04 01] becoming ready", "[2 04 01]", 1002);
        row("past the end", "[5 21 00] Logical block address out of range", "[5 21 00]", 1021);
        row("end of user area", "[5 63 00] End of user area encountered", "[5 63 00]", 1038);
        row("invalid command", "[5 20 00] Invalid command operation code", "[5 20 00]", 1020);
        row("invalid field", "[5 24 00] Invalid field in cdb", "[5 24 00]", 1022);
        row("cannot write format", "[5 30 05] Cannot write medium, incompatible format",
            "[5 30 05]", 1032);
        row("power calibration full", "[3 73 02] Power calibration area is full", "[3 73 02]",
            1047);
        row("session fixation", "[3 72 00] Session fixation error", "[3 72 00]", 1042);
        row("erase failure", "[3 51 00] Erase failure", "[3 51 00]", 1036);
        row("bus reset", "[6 29 00] Power on, reset", "[6 29 00]", 1026);
        row("hardware", "[4 44 00] Internal target failure", "[4 44 00]", 1034);
        row("aborted", "[B 00 00] Aborted command", "[B 00 00]", 1001);
        row("no sense", "[0 00 00] no sense", "[0 00 00]", 1000);
        row("unknown key", "[7 27 00] Write protected", "[7 27 00]", 1051);
        row("lower case hex", "[3 0c 09]", "[3 0C 09]", 1008);
    }
    void mapsLibburnMessages()
    {
        QFETCH(QString, message);
        QFETCH(QString, sense);
        QFETCH(int, code);
        const std::optional<DriveSense> found = senseInMessage(message);
        QVERIFY(found);
        QCOMPARE(found->text(), sense);
        QCOMPARE(driveCodeForSense(*found), code);
    }

    void messagesWithoutSense()
    {
        QVERIFY(!senseInMessage(QStringLiteral("Cannot open file")));
        QVERIFY(!senseInMessage(QStringLiteral("[3 0C]")));
    }
};

QUILLORY_TEST(DriveSenseTest)
#include "tst_drivesense.moc"
