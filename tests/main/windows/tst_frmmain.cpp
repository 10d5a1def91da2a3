#include "app/itemtable.h"
#include "app/programcontext.h"
#include "app/storediscovery.h"
#include "app/systemfacts.h"
#include "help/helplocations.h"
#include "help/windows/frmabout.h"
#include "main/windows/frmmain.h"
#include "platform/runobserver.h"
#include "platform/widgets/widgetdialogs.h"
#include "support/testsupport.h"
#include "testprefix.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <optional>
#include <stdexcept>

using namespace quillory;
using quillory::test::ScriptedDialogs;
using quillory::test::TestPrefix;

namespace {

// One loaded main window over a test prefix, with the user's side scripted.
struct Fixture {
    explicit Fixture(TestPrefix::Profile profile = TestPrefix::Profile::Complete)
        : prefix(profile), context(prefix.path(), dialogs), window(context)
    {
    }

    template <typename T> T *find(const char *name) const
    {
        return window.findChild<T *>(QString::fromLatin1(name));
    }
    QPushButton *button(const char *name) const { return find<QPushButton>(name); }
    QAction *action(const char *name) const { return find<QAction>(name); }
    QTabWidget *tabs() const { return find<QTabWidget>("SSTab1"); }

    TestPrefix prefix;
    ScriptedDialogs dialogs;
    ProgramContext context;
    frmMain window;
};

// A run whose work waits, after telling `progress` when given, until the test lets it end.
struct HeldRun {
    bool start(frmMain &window, const QString &step, const QString &progress = {}, int percent = 0)
    {
        return window.startRun(
            step,
            [this, progress, percent](RunObserver &observer) {
                if (!progress.isEmpty())
                    observer.progress(progress, percent);
                gate.acquire();
                return Result::success();
            },
            [this](const Result &result) { outcome = result; });
    }
    ~HeldRun() { gate.release(); }

    QSemaphore gate;
    std::optional<Result> outcome;
};

QList<bool> enabledStates(const QList<QCheckBox *> &boxes)
{
    QList<bool> states;
    for (const QCheckBox *box : boxes)
        states.append(box->isEnabled());
    return states;
}

QList<bool> tickStates(const QList<QCheckBox *> &boxes)
{
    QList<bool> states;
    for (const QCheckBox *box : boxes)
        states.append(box->isChecked());
    return states;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void loadsTheFoundStore()
    {
        Fixture f;
        QVERIFY(f.prefix.isValid());
        QCOMPARE(f.window.windowTitle(), QStringLiteral("Quillory V1.50"));
        QVERIFY(f.dialogs.shown.isEmpty());
        QCOMPARE(f.button("cmdApply")->text(), QStringLiteral("Backup Now"));
        QVERIFY(f.button("cmdApply")->isEnabled());
        QVERIFY(!f.find<QWidget>("picCon3")->isVisibleTo(&f.window));

        const ProgramValues &values = f.context.values();
        QCOMPARE(QFileInfo(f.context.store().StoreFolder).canonicalFilePath(),
                 QFileInfo(f.prefix.storeFolder()).canonicalFilePath());
        QCOMPARE(values.ComputerName, computerName());
        QCOMPARE(values.LogonUserName, logonUserName());
        QCOMPARE(f.find<QLineEdit>("cbSource")->text(), values.LogonUserName);
        QCOMPARE(f.find<QLineEdit>("cbTarget")->text(), values.LogonUserName);
        QVERIFY(!values.InfoFilePath.isEmpty());
        QVERIFY(QFileInfo(QFileInfo(values.InfoFilePath).path()).isDir());

        // The profile has a mail rule and account folders, but no LDAP account, news rule,
        // contacts folder, signature or stationery.
        QCOMPARE(enabledStates(f.window.backupitem),
                 QList<bool>({true, true, false, false, true, false, true, false, false, true}));
        QCOMPARE(tickStates(f.window.backupitem), QList<bool>(ItemCount, false));
        // Item 0's separators are drawn as "&" ("&&" in a box's text, where "&" marks a key).
        const QString accounts =
            QStringLiteral("Mail Accounts && Messages/News Accounts && Messages");
        for (int i = 0; i < ItemCount; ++i) {
            const QString caption = i == 0 ? accounts : itemTable()[i].caption;
            QCOMPARE(f.window.backupitem[i]->objectName(), QStringLiteral("backupitem_%1").arg(i));
            QCOMPARE(f.window.backupitem[i]->text(), caption);
            QCOMPARE(f.window.restoreitem[i]->text(), caption);
        }
        for (const char *name : {"txtPassword", "txtPassword2"}) {
            auto *box = f.find<QLineEdit>(name);
            QCOMPARE(box->echoMode(), QLineEdit::Password);
            QCOMPARE(box->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, box),
                     int('*'));
        }
    }

    void refusesAMissingOrBrokenStore_data()
    {
        QTest::addColumn<TestPrefix::Profile>("profile");
        QTest::addColumn<QString>("message");
        QTest::newRow("no mail client") << TestPrefix::Profile::WithoutMailClient
                                        << QStringLiteral("Your Windows System have not install "
                                                          "Windows Live Mail ");
        QTest::newRow("no store folder")
            << TestPrefix::Profile::WithoutLocalAppData
            << QStringLiteral(
                   "Your Windows System have not install Windows Live Mail or Windows Live Mail "
                   "error!");
    }

    void refusesAMissingOrBrokenStore()
    {
        QFETCH(TestPrefix::Profile, profile);
        QFETCH(QString, message);
        Fixture f(profile);
        QCOMPARE(f.dialogs.shown.size(), 1);
        QCOMPARE(f.dialogs.shown[0].text, message);
        QCOMPARE(f.dialogs.shown[0].title, QStringLiteral("Quillory"));
        QCOMPARE(f.dialogs.shown[0].icon, MessageIcon::Error);

        // Backup Now stays off for good; the menu keeps its commands.
        QVERIFY(!f.button("cmdApply")->isEnabled());
        f.tabs()->setCurrentIndex(1);
        f.tabs()->setCurrentIndex(0);
        QVERIFY(!f.button("cmdApply")->isEnabled());
        QVERIFY(f.action("backup")->isEnabled());
        QVERIFY(f.action("restore")->isEnabled());
    }

    void menusHoldTheirCommands()
    {
        Fixture f;
        QStringList shown;
        const QList<QAction *> menus = f.window.menuBar()->actions();
        for (const QAction *menu : menus) {
            QString line = menu->menu()->objectName() + QLatin1Char(' ') + menu->text() + u':';
            const QList<QAction *> items = menu->menu()->actions();
            for (const QAction *item : items) {
                line +=
                    QLatin1Char(' ') + (item->isSeparator() ? QStringLiteral("-") : item->text());
                if (!item->shortcut().isEmpty())
                    line += u'[' + item->shortcut().toString() + u']';
            }
            shown.append(line);
        }
        QCOMPARE(shown, QStringList({
                            QStringLiteral("file &File: Backup Now[Ctrl+B] Restore Now[Ctrl+R] - "
                                           "Quit[Ctrl+Q]"),
                            QStringLiteral("option &Option: Task Scheduler - Check for Update"),
                            QStringLiteral("tools &Tools: Backup Data to CD/DVD"),
                            QStringLiteral("help &Help: Help[F1] - Our Website - About[Ctrl+A]"),
                        }));
    }

    void tabsSwitchTheApplyCaption()
    {
        Fixture f;
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        const QRect backupAt = f.button("cmdApply")->geometry();
        f.tabs()->setCurrentIndex(1);
        QCOMPARE(f.button("cmdApply")->text(), QStringLiteral("Restore Now"));
        QCoreApplication::processEvents();
        // The button keeps its width and its place in the row.
        QCOMPARE(f.button("cmdApply")->geometry().x(), backupAt.x());
        QCOMPARE(f.button("cmdApply")->width(), backupAt.width());
        f.tabs()->setCurrentIndex(0);
        QCOMPARE(f.button("cmdApply")->text(), QStringLiteral("Backup Now"));
    }

    void applyAndMenusRequestTheirRuns()
    {
        Fixture f;
        QSignalSpy backups(&f.window, &frmMain::backupRequested);
        QSignalSpy restores(&f.window, &frmMain::restoreRequested);

        f.button("cmdApply")->click();
        QCOMPARE(backups.size(), 1);
        f.tabs()->setCurrentIndex(1);
        f.button("cmdApply")->click();
        QCOMPARE(restores.size(), 1);
        QCOMPARE(restores.takeFirst().at(0).toBool(), true);

        // The menu's commands ignore the tab and ask nothing.
        f.action("backup")->trigger();
        QCOMPARE(backups.size(), 2);
        f.tabs()->setCurrentIndex(0);
        f.action("restore")->trigger();
        QCOMPARE(restores.takeFirst().at(0).toBool(), false);
    }

    void selectAllTicksOnlyEnabledBoxes()
    {
        Fixture f;
        const QList<bool> enabled = enabledStates(f.window.backupitem);
        QVERIFY(!enabled[ItemContacts]);
        f.action("Selectallitems")->trigger();
        QCOMPARE(tickStates(f.window.backupitem), enabled);
        f.action("Unselectallitems")->trigger();
        QCOMPARE(tickStates(f.window.backupitem), QList<bool>(ItemCount, false));

        // On the Restore side a disabled box keeps its tick through "Select all items", and
        // "Deselect all items" clears it too.
        QList<QCheckBox *> &restore = f.window.restoreitem;
        restore[ItemMailRules]->setEnabled(true);
        restore[ItemSettings]->setEnabled(true);
        restore[ItemContacts]->setChecked(true);
        f.action("Selectallitems2")->trigger();
        QList<bool> expected(ItemCount, false);
        expected[ItemMailRules] = expected[ItemSettings] = expected[ItemContacts] = true;
        QCOMPARE(tickStates(restore), expected);
        f.action("Unselectallitems2")->trigger();
        QCOMPARE(tickStates(restore), QList<bool>(ItemCount, false));
    }

    void rightClickOnWhatFramesPopsUpTheSelectMenu_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("selectAll");
        QTest::newRow("backup") << "Frame1"
                                << "selectitem"
                                << "Selectallitems";
        QTest::newRow("restore") << "Frame4"
                                 << "selectitem2"
                                 << "Selectallitems2";
    }

    void rightClickOnWhatFramesPopsUpTheSelectMenu()
    {
        QFETCH(QString, frame);
        QFETCH(QString, menu);
        QFETCH(QString, selectAll);
        Fixture f;
        f.tabs()->setCurrentIndex(frame == QLatin1String("Frame1") ? 0 : 1);
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        auto *what = f.window.findChild<QWidget *>(frame);
        auto *popup = f.window.findChild<QMenu *>(menu);
        QVERIFY(what && popup);

        QTest::mouseClick(what, Qt::LeftButton, {}, QPoint(20, 20));
        QVERIFY(!popup->isVisible());

        QTest::mousePress(what, Qt::RightButton, {}, QPoint(20, 20));
        QVERIFY(popup->isVisible());
        QStringList texts;
        for (const QAction *item : popup->actions())
            texts.append(item->text());
        QCOMPARE(texts, QStringList({QStringLiteral("Select all items"),
                                     QStringLiteral("Deselect all items")}));
        QCOMPARE(popup->actions().first()->objectName(), selectAll);
        popup->close();

        // A right click on one of the boxes inside the frame offers the same menu.
        QWidget *box = what->findChildren<QCheckBox *>().first();
        box->setEnabled(true);
        QTest::mousePress(box, Qt::RightButton, {}, QPoint(4, 4));
        QVERIFY(popup->isVisible());
        popup->close();
    }

    void quittingRemovesTheStagedFilesAndClosesTheWindows()
    {
        Fixture f;
        f.window.show();
        const QString staging = QFileInfo(f.context.values().InfoFilePath).path();
        QVERIFY(test::writeFile(f.context.values().InfoFilePath, "BackupComputer=x\r\n"));

        f.button("cmdQuit")->click();
        QVERIFY(!QFileInfo::exists(staging));
        QVERIFY(f.context.values().InfoFilePath.isEmpty());
        QVERIFY(!f.window.isVisible());
    }

    void closingTheWindowQuitsInOrder()
    {
        Fixture f;
        f.window.show();
        const QString staging = QFileInfo(f.context.values().InfoFilePath).path();
        QVERIFY(f.window.close());
        QVERIFY(!QFileInfo::exists(staging));
    }

    void aRunLocksCommandsAndQuittingButNotTheWindow()
    {
        Fixture f;
        f.window.show();
        const QString staging = QFileInfo(f.context.values().InfoFilePath).path();
        QSignalSpy backups(&f.window, &frmMain::backupRequested);
        HeldRun run;
        QVERIFY(run.start(f.window, QStringLiteral("Starting..."),
                          QStringLiteral("Copying Contacts..."), 40));

        // Progress arrives while the work is still blocked: the window's event loop runs.
        QTRY_COMPARE(f.find<QLabel>("Label1")->text(), QStringLiteral("Copying Contacts..."));
        QCOMPARE(f.find<QProgressBar>("pbshow")->value(), 40);
        QVERIFY(f.find<QWidget>("picCon3")->isVisible());
        QCOMPARE(f.window.cursor().shape(), Qt::WaitCursor);
        f.tabs()->setCurrentIndex(1);
        QCOMPARE(f.button("cmdApply")->text(), QStringLiteral("Restore Now"));

        for (const char *command : {"backup", "restore", "TaskScheduler", "backuptocd", "quit"})
            QVERIFY2(!f.action(command)->isEnabled(), command);
        QVERIFY(!f.button("cmdApply")->isEnabled());
        QVERIFY(!f.button("cmdQuit")->isEnabled());
        QVERIFY(!f.window.startRun(QStringLiteral("again"),
                                   [](RunObserver &) { return Result::success(); }));
        f.action("backup")->trigger();
        QCOMPARE(backups.size(), 0);

        f.window.quit_Click();
        QVERIFY(f.window.isVisible());
        QVERIFY(QFileInfo(staging).isDir());
        QVERIFY(!run.outcome);

        run.gate.release();
        QTRY_VERIFY(run.outcome.has_value());
        QVERIFY(run.outcome->ok());
        QVERIFY(!f.find<QWidget>("picCon3")->isVisible());
        QCOMPARE(f.find<QLabel>("Label1")->text(), QStringLiteral("Please Waiting..."));
        QCOMPARE(f.find<QProgressBar>("pbshow")->value(), 0);
        QCOMPARE(f.window.cursor().shape(), Qt::ArrowCursor);
        QVERIFY(f.button("cmdApply")->isEnabled());
        QVERIFY(f.action("quit")->isEnabled());
        QVERIFY(f.dialogs.shown.isEmpty());
    }

    void closingDuringARunClosesTheWindowWhenItEnds()
    {
        Fixture f;
        f.window.show();
        const QString staging = QFileInfo(f.context.values().InfoFilePath).path();
        HeldRun run;
        QVERIFY(run.start(f.window, QStringLiteral("Starting...")));

        QVERIFY(!f.window.close());
        QVERIFY(!f.window.close());
        QVERIFY(f.window.isVisible());
        QCOMPARE(f.dialogs.messageTexts(),
                 QStringList({QStringLiteral(
                     "A backup or restore is in progress.\r\nThe window closes when it ends.")}));
        QCOMPARE(f.dialogs.shown[0].icon, MessageIcon::Information);

        run.gate.release();
        QTRY_VERIFY(!f.window.isVisible());
        QVERIFY(run.outcome.has_value());
        QVERIFY(!QFileInfo::exists(staging));
    }

    // With the real message boxes: the user reads the notice at leisure while the run ends.
    void theCloseNoticeStaysInFrontAndTheReportFollows()
    {
        TestPrefix prefix;
        WidgetDialogs dialogs;
        ProgramContext context(prefix.path(), dialogs);
        frmMain window(context);
        dialogs.setParent(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSemaphore gate;
        std::atomic<bool> workDone = false;
        const QString report = QStringLiteral("The Backup was Completed!");
        QVERIFY(window.startRun(
            QStringLiteral("Starting..."),
            [&gate, &workDone](RunObserver &) {
                gate.acquire();
                workDone = true;
                return Result::success();
            },
            [&context, &report](const Result &) {
                context.dialogs().message(report, applicationTitle(), MessageIcon::Information);
            }));

        // Each box as it comes to the front.
        QStringList inFront;
        QPointer<QMessageBox> notice;
        int ticksSinceTheWork = 0;
        QTimer user;
        connect(&user, &QTimer::timeout, &user, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            const QString text = box->text().section(QLatin1Char('\r'), 0, 0);
            if (inFront.isEmpty() || inFront.last() != text)
                inFront.append(text);
            if (text.startsWith(QLatin1String("A backup or restore is in progress."))) {
                if (!notice)
                    gate.release();
                notice = box;
                if (workDone && ++ticksSinceTheWork > 10)
                    box->accept();
                return;
            }
            if (notice)
                inFront.append(QStringLiteral("while the notice was open"));
            box->accept();
        });
        user.start(10);
        QVERIFY(!window.close());
        QTRY_VERIFY(!window.isVisible());
        QCOMPARE(inFront,
                 QStringList({QStringLiteral("A backup or restore is in progress."), report}));
    }

    void aRunKeepsTheWindowSize()
    {
        Fixture f;
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QCoreApplication::processEvents();
        const QSize before = f.window.size();
        HeldRun run;
        QVERIFY(run.start(
            f.window,
            QStringLiteral("Copying Email Mail Accounts & Messages/News Accounts & Messages...")));
        QCoreApplication::processEvents();
        QVERIFY(f.find<QWidget>("picCon3")->isVisible());
        QCOMPARE(f.window.size(), before);
        // The bar stays readable beside the longest step text.
        QVERIFY(f.find<QProgressBar>("pbshow")->width() >= 200);

        run.gate.release();
        QTRY_VERIFY(run.outcome.has_value());
        QCoreApplication::processEvents();
        QCOMPARE(f.window.size(), before);
    }

    // Runs on the default screen and, from ctest, on a 1280x900 screen and a netbook's 1024x600
    // less its panel.
    void opensWholeOrFitsItsScreen()
    {
        Fixture f;
        f.window.show();
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QCoreApplication::processEvents();
        const QRect free = f.window.screen()->availableGeometry();
        QVERIFY2(free.size().expandedTo(f.window.frameGeometry().size()) == free.size(),
                 qPrintable(QStringLiteral("%1x%2 on %3x%4")
                                .arg(f.window.frameGeometry().width())
                                .arg(f.window.frameGeometry().height())
                                .arg(free.width())
                                .arg(free.height())));
        for (const char *name : {"cmdAbout", "cmdApply", "cmdQuit"}) {
            const QPushButton *button = f.button(name);
            const QRect at(button->mapTo(&f.window, QPoint(0, 0)), button->size());
            QVERIFY2(button->isVisible() && f.window.rect().contains(at), name);
        }

        // A page scrolls only when the screen cannot hold the window whole (with room to spare
        // for a title bar), and then every control on it can be scrolled into sight.
        const bool roomy = f.window.sizeHint().height() + 100 <= free.height();
        if (roomy)
            QVERIFY(f.window.height() >= f.window.sizeHint().height());
        for (const char *pageName : {"backupScroll", "restoreScroll"}) {
            auto *page = f.find<QScrollArea>(pageName);
            f.tabs()->setCurrentWidget(page->parentWidget());
            QCoreApplication::processEvents();
            if (roomy)
                QVERIFY2(!page->verticalScrollBar()->isVisible(), pageName);
            for (QWidget *control : page->widget()->findChildren<QWidget *>()) {
                if (!control->isVisibleTo(page) || !control->focusPolicy())
                    continue;
                page->ensureWidgetVisible(control, 0, 0);
                QCoreApplication::processEvents();
                QVERIFY2(!control->visibleRegion().isEmpty(), qPrintable(control->objectName()));
            }

            // The Tab key walks the page from its top to the buttons below it, each control in
            // sight as it takes the focus.
            page->verticalScrollBar()->setValue(0);
            f.tabs()->setFocus();
            QStringList walked;
            for (QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                 page->widget()->isAncestorOf(QApplication::focusWidget());
                 QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab)) {
                QWidget *focused = QApplication::focusWidget();
                QCoreApplication::processEvents();
                QVERIFY2(!focused->visibleRegion().isEmpty(), qPrintable(focused->objectName()));
                walked.append(focused->objectName());
            }
            QCOMPARE(QApplication::focusWidget(), f.button("cmdAbout"));
            QVERIFY2(walked.size() >= 3, qPrintable(walked.join(QLatin1Char(' '))));
        }
    }

    void aRunThatThrowsEndsAsAFailure()
    {
        Fixture f;
        std::optional<Result> outcome;
        QVERIFY(f.window.startRun(
            QStringLiteral("Starting..."),
            [](RunObserver &) -> Result { throw std::runtime_error("disk on fire"); },
            [&outcome](const Result &result) { outcome = result; }));
        QTRY_VERIFY(outcome.has_value());
        QVERIFY(!outcome->ok());
        QVERIFY(outcome->message().contains(QStringLiteral("disk on fire")));
        QVERIFY(!f.window.isRunning());

        // Nobody to take the result: the window says it failed.
        QVERIFY(f.window.startRun(QStringLiteral("Starting..."), [](RunObserver &) {
            return Result::failure(QStringLiteral("The archive could not be written."));
        }));
        QTRY_VERIFY(!f.window.isRunning());
        QCOMPARE(f.dialogs.messageTexts(),
                 QStringList({QStringLiteral("The archive could not be written.")}));
        QCOMPARE(f.dialogs.shown[0].icon, MessageIcon::Error);
    }

    void keysKeepTheirHabits_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("answer");
        const QKeySequence ctrlA(Qt::CTRL | Qt::Key_A);
        QTest::newRow("Ctrl+A in a line box") << "cbSource" << ctrlA << "selects all";
        QTest::newRow("Ctrl+A in a multi-line box") << "txtAttachInfo" << ctrlA << "selects all";
        QTest::newRow("Ctrl+A on the tab") << "SSTab1" << ctrlA << "About";
        QTest::newRow("F1 in a line box") << "cbSource" << QKeySequence(Qt::Key_F1) << "help";
    }

    // Text boxes edit as in every Linux program; elsewhere the menu's keys hold.
    void keysKeepTheirHabits()
    {
        QFETCH(QString, focus);
        QFETCH(QKeySequence, key);
        QFETCH(QString, answer);
        Fixture f;
        f.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        auto *focused = f.window.findChild<QWidget *>(focus);
        if (auto *tabs = qobject_cast<QTabWidget *>(focused))
            focused = tabs->tabBar();
        auto *line = qobject_cast<QLineEdit *>(focused);
        auto *lines = qobject_cast<QPlainTextEdit *>(focused);
        const QString typed = QStringLiteral("anna");
        if (line)
            line->setText(typed);
        if (lines)
            lines->setPlainText(typed);
        focused->setFocus();

        QString shownTitle;
        QTimer::singleShot(0, &f.window, [&shownTitle] {
            if (auto *about = qobject_cast<frmabout *>(QApplication::activeModalWidget())) {
                shownTitle = about->windowTitle();
                about->reject();
            }
        });
        QTest::keySequence(focused, key);
        QCOMPARE(shownTitle,
                 answer == QLatin1String("About") ? QStringLiteral("About Quillory") : QString());
        QCOMPARE(f.dialogs.messageTexts().size(), answer == QLatin1String("help") ? 1 : 0);
        if (answer != QLatin1String("selects all"))
            return;
        QCOMPARE(line ? line->selectedText() : lines->textCursor().selectedText(), typed);

        // Copy, paste and undo.
        QTest::keySequence(focused, QKeySequence::Copy);
        QTest::keySequence(focused, QKeySequence::MoveToEndOfLine);
        QTest::keySequence(focused, QKeySequence::Paste);
        const auto text = [line, lines] { return line ? line->text() : lines->toPlainText(); };
        QCOMPARE(text(), typed + typed);
        QTest::keySequence(focused, QKeySequence::Undo);
        QCOMPARE(text(), typed);

        // The menu bar's keys still reach the menus from a text box.
        auto *file = f.find<QMenu>("file");
        QTest::keyClick(focused, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(file->isVisible());
        file->close();
    }

    void theWebsiteWithoutABrowserIsSaid()
    {
        // The offscreen platform has no handler for web addresses.
        Fixture f;
        f.action("website")->trigger();
        QCOMPARE(f.dialogs.shown.size(), 1);
        QVERIFY(f.dialogs.shown[0].text.startsWith(
            QStringLiteral("No program was found to open the web page ") + productWebAddress()));
        QCOMPARE(f.dialogs.shown[0].icon, MessageIcon::Error);
    }

    void aboutButtonShowsTheAboutBox()
    {
        Fixture f;
        f.window.show();
        QString shownTitle;
        QTimer::singleShot(0, &f.window, [&shownTitle] {
            auto *box = qobject_cast<frmabout *>(QApplication::activeModalWidget());
            if (!box)
                return;
            shownTitle = box->windowTitle();
            box->findChild<QPushButton *>(QStringLiteral("Command3"))->click();
        });
        f.button("cmdAbout")->click();
        QCOMPARE(shownTitle, QStringLiteral("About Quillory"));
        QVERIFY(f.window.isVisible());
    }
};

QUILLORY_TEST(MainWindowTest)

#include "tst_frmmain.moc"
