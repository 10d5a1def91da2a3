#include "app/itemtable.h"
#include "main/windows/frmmain.h"
#include "platform/runobserver.h"
#include "schedule/windows/frmoption.h"
#include "schedule/windows/frmtasks.h"
#include "schedule/windows/schedulercommand.h"
#include "schedulerfixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace quillory;
using namespace quillory::test;

namespace {

const char *const dayNames[] = {"chkMonday", "chkTuesday",  "chkWednesday", "chkThursday",
                                "chkFriday", "chkSaturday", "chkSunday"};

QList<bool> dayTicks(const SchedulerFixture &f)
{
    QList<bool> ticks;
    for (const char *day : dayNames)
        ticks.append(f.get<QCheckBox>(day)->isChecked());
    return ticks;
}

QColor boxColour(const QLineEdit *box)
{
    return box->palette().color(QPalette::Disabled, QPalette::Base);
}

} // namespace

// The dialog's own behaviour. Its scheduler is a crontab nobody has, so anything that reached
// the scheduler would show up as a failure message.
class FrmoptionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void loadsTheProfilesChoices()
    {
        SchedulerFixture f(noSuchCrontabUser,
                           {QStringLiteral("--no-contacts"), QStringLiteral("--no-stationery")});
        QVERIFY(f.loaded);
        QCOMPARE(f.dialog->windowTitle(), QStringLiteral("Task Scheduler"));
        QVERIFY(f.messages().isEmpty());
        QCOMPARE(f.get<QLineEdit>("cbSource")->text(), f.values().LogonUserName.trimmed());
        for (int i = 0; i < ItemCount; ++i) {
            QCheckBox *box = f.dialog->backupitem[i];
            QCOMPARE(box->objectName(), QStringLiteral("backupitem_%1").arg(i));
            // Item 0's separators read "&" as on the main window ("&&", where "&" marks a key).
            QCOMPARE(box->text(), i == ItemMailAccounts
                                      ? QStringLiteral("Mail Accounts && Messages/News Accounts "
                                                       "&& Messages")
                                      : itemTable()[i].caption);
            QVERIFY(!box->isChecked());
            QCOMPARE(box->isEnabled(), i != ItemContacts && i != ItemStationeries);
        }

        const QComboBox *times = f.get<QComboBox>("cmbStartTime");
        QVERIFY(times->isEditable());
        QCOMPARE(times->count(), 48);
        QCOMPARE(times->itemText(0), QStringLiteral("0:00"));
        QCOMPARE(times->itemText(47), QStringLiteral("23:30"));
        QCOMPARE(times->currentText(), QStringLiteral("9:00"));
        // The list opens where the text stands.
        QCOMPARE(times->currentIndex(), 18);

        const std::pair<const char *, const char *> captions[] = {
            {"chkDaily", "Run daily"},
            {"chkSunday", "Sunday"},
            {"cmdTargetFile", "Browse..."},
            {"ifprotect", "Protect backup file with password"},
            {"Command3", "Add Task to Scheduler"},
            {"Command1", "Open Scheduler"},
            {"Command2", "Cancel"}};
        for (const auto &[name, caption] : captions)
            QCOMPARE(f.get<QAbstractButton>(name)->text(), QString::fromLatin1(caption));
        QVERIFY(!f.get<QCheckBox>("chkDaily")->isChecked());
        QCOMPARE(dayTicks(f), QList<bool>(7, false));
        QVERIFY(!f.get<QCheckBox>("ifprotect")->isChecked());
        QVERIFY(f.get<QLineEdit>("txtTargetFile")->text().isEmpty());
        for (const char *name : {"txtPassword", "txtPassword2"}) {
            const QLineEdit *box = f.get<QLineEdit>(name);
            QVERIFY(!box->isEnabled());
            QVERIFY(box->text().isEmpty());
            QCOMPARE(box->echoMode(), QLineEdit::Password);
            QCOMPARE(boxColour(box), QApplication::palette().color(QPalette::Button));
        }
        QVERIFY(f.get<QPushButton>("Command3")->isEnabled());
    }

    // A netbook's 1024x600 less its panel, and the window manager's frame.
    void fitsASmallScreen()
    {
        SchedulerFixture f(noSuchCrontabUser);
        f.dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.dialog.get()));
        const QSize smallScreen(1024 - 12, 560 - 40);
        QCOMPARE(f.dialog->minimumSizeHint().boundedTo(smallScreen), f.dialog->minimumSizeHint());
    }

    void withoutTheMailClientOnlyClosing()
    {
        SchedulerFixture f(noSuchCrontabUser, {QStringLiteral("--no-mail-client")});
        QVERIFY(f.loaded);
        QCOMPARE(f.messages(),
                 QStringList{QStringLiteral("Your Windows System have not install Windows Live "
                                            "Mail ")});
        QCOMPARE(f.profile.dialogs.shown[0].icon, MessageIcon::Error);
        QCOMPARE(f.profile.dialogs.shown[0].title, QStringLiteral("Quillory"));
        QVERIFY(!f.get<QPushButton>("Command3")->isEnabled());
        QCOMPARE(f.get<QComboBox>("cmbStartTime")->count(), 0);
        QVERIFY(f.get<QLineEdit>("cbSource")->text().isEmpty());
    }

    void runDailyTicksAndClearsEveryDay()
    {
        SchedulerFixture f(noSuchCrontabUser);
        auto *daily = f.get<QCheckBox>("chkDaily");
        daily->click();
        QCOMPARE(dayTicks(f), QList<bool>(7, true));
        f.get<QCheckBox>("chkMonday")->click();
        QVERIFY(daily->isChecked());
        daily->click();
        QCOMPARE(dayTicks(f), QList<bool>(7, false));
        f.get<QCheckBox>("chkFriday")->click();
        QVERIFY(!daily->isChecked());
    }

    void passwordOptionEmptiesAndGreysTheBoxes()
    {
        SchedulerFixture f(noSuchCrontabUser);
        auto *protect = f.get<QCheckBox>("ifprotect");
        auto *first = f.get<QLineEdit>("txtPassword");
        auto *second = f.get<QLineEdit>("txtPassword2");
        protect->click();
        for (QLineEdit *box : {first, second}) {
            QVERIFY(box->isEnabled());
            QCOMPARE(box->palette().color(QPalette::Base),
                     QApplication::palette().color(QPalette::Base));
        }
        const QString typed(25, QLatin1Char('k'));
        QTest::keyClicks(first, typed);
        QTest::keyClicks(second, typed);
        QCOMPARE(first->text(), typed.left(20));
        QCOMPARE(second->text(), typed);
        QCOMPARE(first->displayText(), QString(20, QLatin1Char('*')));
        QCOMPARE(second->displayText(), QString(25, QLatin1Char('*')));

        protect->click();
        for (QLineEdit *box : {first, second}) {
            QVERIFY(!box->isEnabled());
            QVERIFY(box->text().isEmpty());
            QCOMPARE(boxColour(box), QApplication::palette().color(QPalette::Button));
        }
        protect->click();
        QVERIFY(first->text().isEmpty() && second->text().isEmpty());
    }

    void browseChoosesTheSharedArchiveName()
    {
        SchedulerFixture f(noSuchCrontabUser);
        auto *target = f.get<QLineEdit>("txtTargetFile");
        // Only the save dialog sets the name: what the box shows is what the job writes.
        QVERIFY(target->isReadOnly());

        f.values().BackupFileName = f.profile.archive(QStringLiteral("from the Backup tab.wlm"));
        f.click("cmdTargetFile");
        QCOMPARE(f.profile.dialogs.shown.size(), 1);
        const ScriptedDialogs::Shown save = f.profile.dialogs.shown[0];
        QCOMPARE(save.kind, QStringLiteral("save"));
        QCOMPARE(save.title, QStringLiteral("Save Windows Live Mail Data as"));
        QCOMPARE(save.text,
                 f.profile.dir.path() + QStringLiteral("|brevnor.wlm|Quillory File (*.wlm)"));
        QVERIFY(target->text().isEmpty());
        QCOMPARE(f.values().BackupFileName,
                 f.profile.archive(QStringLiteral("from the Backup tab.wlm")));

        const QString chosen = f.profile.archive(QStringLiteral("weekly.wlm"));
        f.chooseArchive(chosen);
        QCOMPARE(target->text(), chosen);
        QCOMPARE(f.values().BackupFileName, chosen);

        // An existing file is replaced only when the user says so; "No" leads back to the save
        // dialog, on the same file, where cancelling keeps the earlier choice.
        const QString existing = f.profile.archive(QStringLiteral("old.wlm"));
        QVERIFY(writeFile(existing, "old"));
        f.profile.dialogs.answers.enqueue(MessageAnswer::No);
        f.chooseArchive(existing);
        QCOMPARE(f.values().BackupFileName, chosen);
        const QList<ScriptedDialogs::Shown> asked =
            f.profile.dialogs.shown.mid(f.profile.dialogs.shown.size() - 3);
        QCOMPARE(asked[1].icon, MessageIcon::Warning);
        QCOMPARE(asked[1].buttons, MessageButtons::YesNo);
        QCOMPARE(asked[2].kind, QStringLiteral("save"));
        QCOMPARE(asked[2].text,
                 f.profile.dir.path() + QStringLiteral("|old.wlm|Quillory File (*.wlm)"));
        const QString other = f.profile.archive(QStringLiteral("other.wlm"));
        f.profile.dialogs.fileAnswers.enqueue(existing);
        f.profile.dialogs.fileAnswers.enqueue(other);
        f.profile.dialogs.answers.enqueue(MessageAnswer::No);
        f.click("cmdTargetFile");
        QCOMPARE(target->text(), other);
        QCOMPARE(f.values().BackupFileName, other);
        f.profile.dialogs.answers.enqueue(MessageAnswer::Yes);
        f.chooseArchive(existing);
        QCOMPARE(target->text(), existing);
        QCOMPARE(f.values().BackupFileName, existing);
        QCOMPARE(readFile(existing), QByteArray("old"));
    }

    void checksRunInOrderAndSubmitNothing()
    {
        SchedulerFixture f(noSuchCrontabUser);
        const auto lastShown = [&f] { return f.profile.dialogs.shown.last(); };
        f.click("Command3");
        QCOMPARE(f.messages(), QStringList{QStringLiteral("Please select at least one item.")});
        QCOMPARE(lastShown().icon, MessageIcon::Warning);

        f.tickItems(QStringLiteral("0000010000"));
        f.click("Command3");
        QCOMPARE(f.messages().last(), QStringLiteral("Invalid backup file name."));
        QCOMPARE(lastShown().icon, MessageIcon::Warning);

        // A name the Backup tab chose is not this dialog's choice.
        f.values().BackupFileName = f.profile.archive();
        f.click("Command3");
        QCOMPARE(f.messages().last(), QStringLiteral("Invalid backup file name."));

        f.chooseArchive(f.profile.archive());
        f.get<QCheckBox>("ifprotect")->click();
        f.click("Command3");
        QCOMPARE(f.messages().last(), QStringLiteral("Please enter Password!"));
        QCOMPARE(lastShown().icon, MessageIcon::Error);

        QTest::keyClicks(f.get<QLineEdit>("txtPassword2"), QStringLiteral("only here"));
        f.click("Command3");
        QCOMPARE(f.messages().last(), QStringLiteral("Incorect Password!"));
        QCOMPARE(lastShown().icon, MessageIcon::Error);

        // The first box keeps 20 of the 25 characters, so the two differ.
        f.get<QCheckBox>("ifprotect")->click();
        f.get<QCheckBox>("ifprotect")->click();
        const QString typed(25, QLatin1Char('p'));
        QTest::keyClicks(f.get<QLineEdit>("txtPassword"), typed);
        QTest::keyClicks(f.get<QLineEdit>("txtPassword2"), typed);
        f.click("Command3");
        QCOMPARE(f.messages().last(), QStringLiteral("Incorect Password!"));

        QCOMPARE(f.messages().size(), 6);
        for (const ScriptedDialogs::Shown &shown : std::as_const(f.profile.dialogs.shown))
            if (shown.kind == QLatin1String("message"))
                QCOMPARE(shown.title, QStringLiteral("Quillory"));
    }

    void aStartTimeThatIsNoTimeOfDayIsRefused_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("hour 24") << "24:00";
        QTest::newRow("minute 60") << "9:60";
        QTest::newRow("words") << "nine";
        QTest::newRow("seconds") << "9:00:30";
        QTest::newRow("empty") << "";
    }

    void aStartTimeThatIsNoTimeOfDayIsRefused()
    {
        QFETCH(QString, typed);
        SchedulerFixture f(noSuchCrontabUser);
        f.tickItems(QStringLiteral("1000000000"));
        f.chooseArchive(f.profile.archive());
        auto *times = f.get<QComboBox>("cmbStartTime");
        times->lineEdit()->clear();
        QTest::keyClicks(times->lineEdit(), typed);
        f.click("Command3");
        QCOMPARE(f.messages().size(), 1);
        QVERIFY2(f.messages()[0].contains(QLatin1String("is not a time of day")),
                 qPrintable(f.messages()[0]));
        QCOMPARE(f.profile.dialogs.shown.last().icon, MessageIcon::Warning);
        QCOMPARE(times->count(), 48);
    }

    void schedulerFailureIsSaidWithItsReason()
    {
        SchedulerFixture f(noSuchCrontabUser);
        f.tickItems(QStringLiteral("1000000000"));
        f.chooseArchive(f.profile.archive());
        f.click("Command3");
        const QStringList lines = f.messages().value(0).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QStringLiteral("Task schedul fail."));
        QVERIFY(lines[1].startsWith(QLatin1String("The crontab could not be read: ")));
        QCOMPARE(f.profile.dialogs.shown.last().icon, MessageIcon::None);
        QCOMPARE(f.profile.dialogs.shown.last().buttons, MessageButtons::Ok);
        QCOMPARE(f.get<QLineEdit>("txtTargetFile")->text(), f.profile.archive());
    }

    void openSchedulerSaysWhyItCannotList()
    {
        SchedulerFixture f(noSuchCrontabUser);
        f.dialog->show();
        int listed = -1;
        QTimer::singleShot(0, f.dialog.get(), [&listed] {
            auto *tasks = qobject_cast<frmTasks *>(QApplication::activeModalWidget());
            if (!tasks)
                return;
            listed = tasks->findChild<QTreeWidget *>()->topLevelItemCount();
            tasks->findChild<QPushButton *>(QStringLiteral("cmdClose"))->click();
        });
        f.click("Command1");
        QCOMPARE(listed, 0);
        QCOMPARE(f.messages().size(), 1);
        QVERIFY(f.messages()[0].startsWith(QLatin1String("The crontab could not be read: ")));
        QCOMPARE(f.profile.dialogs.shown[0].icon, MessageIcon::Error);
        QVERIFY(f.dialog->isVisible());
    }

    void closingEmptiesTheSharedArchiveName_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "Cancel";
        QTest::newRow("close button") << "close";
        QTest::newRow("Escape") << "Escape";
    }

    void closingEmptiesTheSharedArchiveName()
    {
        QFETCH(QString, how);
        SchedulerFixture f(noSuchCrontabUser);
        f.dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.dialog.get()));
        f.chooseArchive(f.profile.archive());
        QCOMPARE(f.values().BackupFileName, f.profile.archive());
        if (how == QLatin1String("Cancel"))
            f.click("Command2");
        else if (how == QLatin1String("close"))
            QVERIFY(f.dialog->close());
        else
            QTest::keyClick(f.dialog.get(), Qt::Key_Escape);
        QVERIFY(!f.dialog->isVisible());
        QVERIFY(f.values().BackupFileName.isEmpty());
    }

    void mainWindowOpensTheDialogModally()
    {
        SchedulerFixture f(noSuchCrontabUser);
        frmMain window(*f.profile.context);
        auto *command = window.findChild<QAction *>(QStringLiteral("TaskScheduler"));
        QVERIFY(!command->isEnabled());
        attachScheduler(window, *f.scheduler);
        QVERIFY(command->isEnabled());
        window.show();
        auto *backupBox = window.findChild<QLineEdit *>(QStringLiteral("txtTargetFile"));
        backupBox->setText(f.profile.archive());
        f.values().BackupFileName = f.profile.archive();

        QString shown;
        QTimer::singleShot(0, &window, [&shown, &f] {
            auto *dialog = qobject_cast<Frmoption *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            shown = dialog->windowTitle();
            f.profile.dialogs.fileAnswers.enqueue(f.profile.archive());
            dialog->findChild<QPushButton *>(QStringLiteral("cmdTargetFile"))->click();
            dialog->findChild<QPushButton *>(QStringLiteral("Command2"))->click();
        });
        command->trigger();
        QCOMPARE(shown, QStringLiteral("Task Scheduler"));
        QVERIFY(f.values().BackupFileName.isEmpty());
        // The Backup tab's box shows the name its backup would write.
        QCOMPARE(backupBox->text(), QString());

        // Not while a run is in progress.
        QSemaphore gate;
        QVERIFY(window.startRun(QStringLiteral("Starting..."), [&gate](RunObserver &) {
            gate.acquire();
            return Result::success();
        }));
        const auto release = qScopeGuard([&gate] { gate.release(); });
        QVERIFY(!command->isEnabled());
        gate.release();
        QTRY_VERIFY(!window.isRunning());
        QVERIFY(command->isEnabled());
    }
};

QUILLORY_TEST(FrmoptionTest)
#include "tst_frmoption.moc"
