#include "burn/errortexts.h"
#include "burn/windows/frmdiscinfo.h"
#include "modaldialog.h"
#include "platform/disc/discfixture.h"
#include "scripteddiscwriter.h"
#include "support/testsupport.h"

#include <QTest>

using namespace quillory;
using namespace Qt::Literals::StringLiterals;
using quillory::test::controlStates;
using quillory::test::execAndLeftOpen;
using quillory::test::ImageDrive;
using quillory::test::labelText;
using quillory::test::ScriptedDialogs;
using quillory::test::ScriptedDiscWriter;
using quillory::test::strings;

namespace {

const QStringList valueLabels{
    QStringLiteral("lblValueMediaType"),         QStringLiteral("lblValueDiscStatus"),
    QStringLiteral("lblValueFreeSpace"),         QStringLiteral("lblValueUsedSpace"),
    QStringLiteral("lblValueTotalCapacity"),     QStringLiteral("lblValueSessions"),
    QStringLiteral("lblValueLastSessionStatus"), QStringLiteral("lblValueDiscType")};
const QStringList boxes{QStringLiteral("chkMultiSessionAllowed"),
                        QStringLiteral("chkImportPermitted"),
                        QStringLiteral("chkISO9660FS"),
                        QStringLiteral("chkJolietFS"),
                        QStringLiteral("chkUDFFS"),
                        QStringLiteral("chkOtherFS")};
const QStringList buttons{QStringLiteral("cmdCloseSession"), QStringLiteral("cmdCloseDisc"),
                          QStringLiteral("cmdOK")};

QStringList labelTexts(const QDialog &dialog)
{
    QStringList texts;
    for (const QString &name : valueLabels)
        texts.append(labelText(dialog, name));
    return texts;
}

bool writeSession(ImageDrive &drive, const QString &sources)
{
    drive.writer->ClearImage();
    drive.events->log.clear();
    return drive.writer->AddFolder(QStringLiteral("\\"), sources) && drive.writer->StartWrite() &&
           drive.events->waitForEnd() && drive.events->has(QStringLiteral("WriteCompleted"));
}

} // namespace

class FrmDiscInfoTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Image files: blank, grown by two sessions, and holding data that is no ISO image.
    void informationOfImageFiles_data()
    {
        QTest::addColumn<int>("sessions");
        QTest::addColumn<bool>("foreign");
        QTest::addColumn<QStringList>("texts"); // media, status, used, sessions, last, type
        QTest::addColumn<QStringList>("ticked");
        QTest::newRow("blank") << 0 << false
                               << strings({"DVD+RW", "Empty Disc", "0.00 MB", "0", "Empty Session",
                                           "Unknown"})
                               << strings({"chkMultiSessionAllowed", "-chkImportPermitted",
                                           "-chkISO9660FS", "-chkJolietFS", "-chkUDFFS",
                                           "-chkOtherFS"});
        QTest::newRow("two sessions")
            << 2 << false << strings({"DVD+RW", "Disc Open", "", "2", "Closed Session", "Unknown"})
            << strings({"chkMultiSessionAllowed", "chkImportPermitted", "chkISO9660FS",
                        "chkJolietFS", "-chkUDFFS", "-chkOtherFS"});
        // 200,000 bytes are 97 whole blocks.
        QTest::newRow("not ISO") << 0 << true
                                 << strings({"DVD+RW", "Disc is Closed", "0.19 MB", "0",
                                             "Closed Session", "Unknown"})
                                 << strings({"-chkMultiSessionAllowed", "-chkImportPermitted",
                                             "-chkISO9660FS", "-chkJolietFS", "-chkUDFFS",
                                             "chkOtherFS"});
    }
    void informationOfImageFiles()
    {
        QFETCH(int, sessions);
        QFETCH(bool, foreign);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, ticked);
        ImageDrive drive;
        for (int i = 0; i < sessions; ++i)
            QVERIFY(writeSession(drive, drive.makeSources(QStringLiteral("s%1").arg(i))));
        if (foreign) {
            QVERIFY(test::writeFile(drive.image, test::noise(200000)));
            QVERIFY(drive.reselect());
        }
        ScriptedDialogs dialogs;
        frmDiscInfo dialog(*drive.writer, dialogs, nullptr);
        QStringList shown;
        QStringList states;
        QVERIFY(!execAndLeftOpen(dialog, [&] {
            shown = labelTexts(dialog);
            states = controlStates(dialog, boxes + buttons);
            QTest::mouseClick(dialog.findChild<QWidget *>(QStringLiteral("cmdOK")), Qt::LeftButton);
        }));
        const QString free = FormatMegabytes(double(drive.writer->FreeBlocks()) * 2048);
        if (texts[2].isEmpty()) { // where the sessions end depends on the image's layout
            QVERIFY(shown.value(3).endsWith(QLatin1String(" MB")));
            QVERIFY(shown.value(3) != QLatin1String("0.00 MB"));
            texts[2] = shown.value(3);
        }
        QCOMPARE(shown, (QStringList{texts[0], texts[1], free, texts[2],
                                     FormatMegabytes(double(drive.writer->CapacityBlocks()) * 2048),
                                     texts[3], texts[4], texts[5]}));
        QCOMPARE(drive.writer->FreeBlocks() > 0, !foreign);
        QCOMPARE(states, (ticked + strings({"-cmdCloseSession", "-cmdCloseDisc", "cmdOK"})));
        QVERIFY(dialogs.shown.isEmpty());
    }

    void noMediumShowsNothing()
    {
        ScriptedDiscWriter writer;
        writer.mediaType = DiscWriter::MediaNone;
        ScriptedDialogs dialogs;
        frmDiscInfo dialog(writer, dialogs, nullptr);
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialogs.messageTexts(),
                 QStringList{QStringLiteral("No Media Loaded...Cannot Get Disc Info!")});
        QCOMPARE(dialogs.shown[0].icon, MessageIcon::Information);
        QCOMPARE(dialogs.shown[0].title, QStringLiteral("Quillory"));
    }

    // Optical media an image file cannot be; values outside a table leave "N/A".
    void valueTables_data()
    {
        QTest::addColumn<QList<int>>("facts"); // media, disc status, last session, CD type
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("closable");
        QTest::newRow("unknown codes")
            << QList<int>{4, 7, 9, 1} << strings({"N/A", "N/A", "N/A", "N/A"}) << false;
        QTest::newRow("closed CD-R")
            << QList<int>{255, 2, 3, 0}
            << strings({"CD-R", "Disc is Closed", "Closed Session", "CD-DA/CD-ROM"}) << false;
        QTest::newRow("incomplete CD-RW")
            << QList<int>{253, 1, 1, 32}
            << strings({"CD-RW", "Disc Open", "Incomplete Session", "CD-ROM XA"}) << true;
    }
    void valueTables()
    {
        QFETCH(QList<int>, facts);
        QFETCH(QStringList, texts);
        QFETCH(bool, closable);
        ScriptedDiscWriter writer;
        writer.mediaType = facts[0];
        writer.discStatus = facts[1];
        writer.lastSessionState = facts[2];
        writer.discType = facts[3];
        writer.freeBlocks = 768;
        writer.usedBlocks = 358400;
        ScriptedDialogs dialogs;
        frmDiscInfo dialog(writer, dialogs, nullptr);
        QStringList shown;
        QStringList states;
        execAndLeftOpen(dialog, [&] {
            shown = labelTexts(dialog);
            states = controlStates(dialog, buttons);
        });
        QCOMPARE(shown, (QStringList{texts[0], texts[1], u"1.50 MB"_s, u"700.00 MB"_s,
                                     u"701.50 MB"_s, u"0"_s, texts[2], texts[3]}));
        const QString off = closable ? QString() : QStringLiteral("-");
        QCOMPARE(states,
                 (QStringList{off + u"cmdCloseSession"_s, off + u"cmdCloseDisc"_s, u"cmdOK"_s}));
    }

    // Closing follows the component's events; the dialog cannot be closed meanwhile.
    void closingSessionAndDisc()
    {
        ScriptedDiscWriter writer;
        writer.mediaType = DiscWriter::MediaCdR;
        writer.lastSessionState = DiscWriter::SessionIncomplete;
        ScriptedDialogs dialogs;
        frmDiscInfo dialog(writer, dialogs, nullptr);
        const auto click = [&](const char *name) {
            QTest::mouseClick(dialog.findChild<QWidget *>(QLatin1String(name)), Qt::LeftButton);
        };
        QStringList steps;
        const auto note = [&](const QString &step) {
            steps.append(step + QLatin1Char(' ') + labelText(dialog, QStringLiteral("lblStatus")) +
                         QLatin1Char(' ') + controlStates(dialog, buttons).join(QLatin1Char(',')) +
                         (dialog.isVisible() ? QString() : QStringLiteral(" closed")));
        };
        const bool leftOpen = execAndLeftOpen(dialog, [&] {
            click("cmdCloseSession");
            dialog.close();
            QTest::keyClick(&dialog, Qt::Key_Escape);
            note(QStringLiteral("requested"));
            Q_EMIT writer.ClosingSession();
            note(QStringLiteral("closing"));
            Q_EMIT writer.WriteCompleted(); // the component still reports it incomplete
            note(QStringLiteral("completed"));

            writer.operationsStart = false;
            click("cmdCloseDisc");
            note(QStringLiteral("refused"));

            writer.operationsStart = true;
            click("cmdCloseDisc");
            Q_EMIT writer.ClosingDisc();
            note(QStringLiteral("closing"));
            writer.lastSessionState = DiscWriter::SessionClosed;
            Q_EMIT writer.WriteCompleted();
            note(QStringLiteral("completed"));
            click("cmdOK");
        });
        QVERIFY(!leftOpen);
        QCOMPARE(writer.calls,
                 (strings({"CloseMedia(false)", "CloseMedia(true)", "CloseMedia(true)"})));
        QCOMPARE(
            steps,
            (strings({"requested  -cmdCloseSession,-cmdCloseDisc,-cmdOK",
                      "closing ...Closing Session... -cmdCloseSession,-cmdCloseDisc,-cmdOK",
                      "completed Closing Successful!! cmdCloseSession,cmdCloseDisc,cmdOK",
                      "refused Closing Successful!! cmdCloseSession,cmdCloseDisc,cmdOK",
                      "closing ...Closing Disc... -cmdCloseSession,-cmdCloseDisc,-cmdOK",
                      "completed Closing Successful!! -cmdCloseSession,-cmdCloseDisc,cmdOK"})));
        QCOMPARE(dialogs.messageTexts(),
                 (strings({"Session/Disc Closed Successful!", "Error attempting to Close Disc!",
                           "Session/Disc Closed Successful!"})));
        QCOMPARE(dialogs.shown[1].icon, MessageIcon::Error);
        QCOMPARE(dialogs.shown[2].icon, MessageIcon::Information);
        QCOMPARE(labelText(dialog, QStringLiteral("lblValueLastSessionStatus")),
                 QStringLiteral("Closed Session"));
    }

    void writeErrorEndsTheDialog_data()
    {
        QTest::addColumn<int>("category");
        QTest::addColumn<QString>("message");
        QTest::newRow("refused") << 2
                                 << QStringLiteral("Writing Error: (2)   The disc is closed.\n");
        QTest::newRow("drive error") << 3
                                     << QStringLiteral("Writing Error: (3)   The disc is closed.\n"
                                                       "A generic session closing error "
                                                       "occurred (1042).\n"
                                                       " Error Sense Data: 05 2C 00");
    }
    void writeErrorEndsTheDialog()
    {
        QFETCH(int, category);
        QFETCH(QString, message);
        ScriptedDiscWriter writer;
        writer.lastSessionState = DiscWriter::SessionIncomplete;
        ScriptedDialogs dialogs;
        frmDiscInfo dialog(writer, dialogs, nullptr);
        QVERIFY(!execAndLeftOpen(dialog, [&] {
            QTest::mouseClick(dialog.findChild<QWidget *>(QStringLiteral("cmdCloseDisc")),
                              Qt::LeftButton);
            Q_EMIT writer.WriteError(category, 1042, QStringLiteral("The disc is closed."),
                                     QStringLiteral("05 2C 00"));
        }));
        QCOMPARE(dialogs.messageTexts(), QStringList{message});
        QCOMPARE(dialogs.shown[0].icon, MessageIcon::Error);
        // The dialog let go of the writer: later events are the burning window's alone.
        Q_EMIT writer.WriteError(category, 1042, QString(), QString());
        QCOMPARE(dialogs.shown.size(), 1);
    }
};

QUILLORY_TEST(FrmDiscInfoTest)
#include "tst_frmdiscinfo.moc"
