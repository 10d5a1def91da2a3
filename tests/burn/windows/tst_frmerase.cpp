#include "burn/windows/frmerase.h"
#include "modaldialog.h"
#include "platform/disc/discfixture.h"
#include "scripteddiscwriter.h"
#include "support/testsupport.h"

#include <QCheckBox>
#include <QTest>

using namespace quillory;
using quillory::test::controlStates;
using quillory::test::execAndLeftOpen;
using quillory::test::ImageDrive;
using quillory::test::labelText;
using quillory::test::ScriptedDialogs;
using quillory::test::ScriptedDiscWriter;
using quillory::test::strings;

namespace {

void click(QDialog &dialog, const char *name)
{
    QTest::mouseClick(dialog.findChild<QWidget *>(QLatin1String(name)), Qt::LeftButton);
}

const QStringList buttons{QStringLiteral("cmdErase"), QStringLiteral("cmdCancel")};

} // namespace

class FrmEraseTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Quick, as the dialog opens, on an image file that holds a session.
    void eraseLeavesTheImageBlank()
    {
        ImageDrive drive;
        QVERIFY(drive.writer->AddFolder(QStringLiteral("\\"), drive.makeSources()));
        QVERIFY(drive.writer->StartWrite() && drive.events->waitForEnd());
        QVERIFY(drive.events->has(QStringLiteral("WriteCompleted")));
        drive.events->log.clear();
        ScriptedDialogs dialogs;
        frmErase dialog(*drive.writer, dialogs, nullptr);
        QString status;
        QVERIFY(!execAndLeftOpen(dialog, [&] {
            QVERIFY(dialog.findChild<QCheckBox *>(QStringLiteral("chkQuikErase"))->isChecked());
            click(dialog, "cmdErase");
            QVERIFY(drive.events->waitForEnd());
            status = labelText(dialog, QStringLiteral("lblStatus"));
        }));
        QCOMPARE(drive.events->log, strings({"EraseStarted", "EraseCompleted"}));
        QCOMPARE(status, QStringLiteral("Erase operation complete!!!"));
        QCOMPARE(dialogs.messageTexts(), strings({"Erase Completed!!!"}));
        QCOMPARE(dialogs.shown[0].icon, MessageIcon::Information);
        QCOMPARE(dialogs.shown[0].title, QStringLiteral("Quillory"));

        drive.writer->InitializeDrives(false); // lets go of the image file
        const test::ProgramRun toc =
            test::runProgram(QStringLiteral("xorriso"),
                             {QStringLiteral("-indev"), QStringLiteral("stdio:") + drive.image,
                              QStringLiteral("-toc")});
        QVERIFY2(toc.out.contains("Media status : is blank"), toc.out.constData());
    }

    // Each refusal says why and closes the dialog.
    void checksBeforeErasing_data()
    {
        QTest::addColumn<int>("media");
        QTest::addColumn<bool>("driveSupportsIt");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("icon");
        const int information = int(MessageIcon::Information);
        const QString notRewritable = QStringLiteral("The current media is not Re-Writable.");
        QTest::newRow("no medium")
            << 254 << true << true << QStringList() << "No Media Loaded." << information;
        QTest::newRow("DVD+R") << 10 << true << true << QStringList() << notRewritable
                               << information;
        QTest::newRow("CD-R") << 255 << true << true << QStringList() << notRewritable
                              << information;
        QTest::newRow("CD-RW, drive without support")
            << 253 << false << true << QStringList()
            << "Selected drive does not support Re-Writable discs of this format." << information;
        QTest::newRow("DVD-RW, erase refused")
            << 3 << true << false << strings({"EraseDisc(true)"}) << "Error Erasing Disc!!!"
            << int(MessageIcon::Error);
    }
    void checksBeforeErasing()
    {
        QFETCH(int, media);
        QFETCH(bool, driveSupportsIt);
        QFETCH(bool, starts);
        QFETCH(QStringList, calls);
        QFETCH(QString, message);
        QFETCH(int, icon);
        ScriptedDiscWriter writer;
        writer.mediaType = media;
        writer.operationsStart = starts;
        if (!driveSupportsIt)
            writer.supported.remove(DiscWriter::SupportsCdRw);
        ScriptedDialogs dialogs;
        frmErase dialog(writer, dialogs, nullptr);
        QVERIFY(!execAndLeftOpen(dialog, [&] { click(dialog, "cmdErase"); }));
        QCOMPARE(writer.calls, calls);
        QCOMPARE(dialogs.messageTexts(), QStringList{message});
        QCOMPARE(int(dialogs.shown[0].icon), icon);
    }

    // A full erase that fails, then one that completes; the dialog stays while erasing.
    void eraseFollowsTheEvents()
    {
        ScriptedDiscWriter writer;
        writer.mediaType = DiscWriter::MediaCdRw;
        ScriptedDialogs dialogs;
        frmErase dialog(writer, dialogs, nullptr);
        QStringList steps;
        const auto note = [&](const QString &step) {
            steps.append(step + QLatin1Char(' ') + labelText(dialog, QStringLiteral("lblStatus")) +
                         QLatin1Char(' ') + controlStates(dialog, buttons).join(QLatin1Char(',')) +
                         (dialog.isVisible() ? QString() : QStringLiteral(" closed")));
        };
        const bool leftOpen = execAndLeftOpen(dialog, [&] {
            dialog.findChild<QCheckBox *>(QStringLiteral("chkQuikErase"))->click();
            click(dialog, "cmdErase");
            dialog.close();
            note(QStringLiteral("requested"));
            Q_EMIT writer.EraseStarted();
            dialog.close();
            QTest::keyClick(&dialog, Qt::Key_Escape);
            note(QStringLiteral("started"));
            Q_EMIT writer.WriteError(3, 1036, QStringLiteral("Erasing failed."),
                                     QStringLiteral("03 51 00"));
            note(QStringLiteral("failed"));
            click(dialog, "cmdErase");
            Q_EMIT writer.EraseStarted();
            Q_EMIT writer.EraseCompleted();
            note(QStringLiteral("completed"));
        });
        QVERIFY(!leftOpen);
        QCOMPARE(writer.calls, strings({"EraseDisc(false)", "EraseDisc(false)"}));
        QCOMPARE(steps,
                 strings({"requested Erases the CD-RW in the selected drive. -cmdErase,-cmdCancel",
                          "started Erasing Disc...Please Wait!! -cmdErase,-cmdCancel",
                          "failed Erasing Disc...Please Wait!! cmdErase,cmdCancel",
                          "completed Erase operation complete!!! cmdErase,cmdCancel closed"}));
        // A full erase is asked for once more, naming the medium.
        const char *ask = "Erase everything on the CD-RW in the selected drive?\nA full erase "
                          "cannot be stopped, and what the disc holds is gone for good.";
        QCOMPARE(dialogs.messageTexts(), strings({ask,
                                                  "Writing Error: (3)   Erasing failed.\n"
                                                  "The disc could not be erased (1036).\n"
                                                  " Error Sense Data: 03 51 00",
                                                  ask, "Erase Completed!!!"}));
        QCOMPARE(dialogs.shown[1].icon, MessageIcon::Error);
    }
};

QUILLORY_TEST(FrmEraseTest)
#include "tst_frmerase.moc"
