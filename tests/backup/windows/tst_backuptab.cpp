#include "app/profilelock.h"
#include "app/programcontext.h"
#include "app/tempfile.h"
#include "backup/windows/backuptab.h"
#include "backupfixture.h"
#include "burn/windows/frmmaindvdwrite.h"
#include "main/windows/frmmain.h"
#include "main/windows/maintabs.h"

#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace quillory;
using namespace quillory::test;

namespace {

// The main window with its Backup tab over a sample profile, the user's side scripted.
struct Window {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<ProgramContext> context;
    std::unique_ptr<frmMain> main;
    MainTabs tabs;

    bool open()
    {
        if (!makeSampleProfile(dir.filePath(QStringLiteral("prefix"))))
            return false;
        context = std::make_unique<ProgramContext>(dir.filePath(QStringLiteral("prefix")), dialogs);
        main = std::make_unique<frmMain>(*context);
        tabs = attachTabs(*main);
        return true;
    }
    template <typename T> T *find(const char *name) const
    {
        return main->findChild<T *>(QLatin1String(name));
    }
    void backUpNow()
    {
        find<QPushButton>("cmdApply")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!main->isRunning(), 60000);
    }
};

} // namespace

class BackupTabTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void passwordBoxesFollowTheOption()
    {
        Window w;
        QVERIFY(w.open());
        auto *password = w.find<QLineEdit>("txtPassword");
        auto *retyped = w.find<QLineEdit>("txtPassword2");
        QVERIFY(!password->isEnabled() && !retyped->isEnabled());
        QCOMPARE(password->maxLength(), 20);

        w.find<QCheckBox>("ifprotect")->click();
        QVERIFY(password->isEnabled() && retyped->isEnabled());
        QTest::keyClicks(password, QStringLiteral("a").repeated(25));
        QCOMPARE(password->text().size(), 20);
        retyped->setText(QStringLiteral("secret"));
        w.find<QCheckBox>("ifprotect")->click();
        QVERIFY(!password->isEnabled());
        QVERIFY(password->text().isEmpty() && retyped->text().isEmpty());
    }

    void choosingTheArchive()
    {
        Window w;
        QVERIFY(w.open());
        const QString taken = w.dir.filePath(QStringLiteral("taken.wlm"));
        QVERIFY(writeFile(taken, "old"));

        w.dialogs.fileAnswers.enqueue(taken);
        w.dialogs.answers.enqueue(MessageAnswer::No);
        w.find<QPushButton>("cmdTargetFile")->click();
        QCOMPARE(w.dialogs.shown.first().title, QStringLiteral("Save Windows Live Mail Data as"));
        QVERIFY(w.dialogs.shown.first().text.contains(
            QStringLiteral("|brevnor") + QDate::currentDate().toString(QStringLiteral("MM-dd-yy")) +
            QStringLiteral(".wlm|Quillory File (*.wlm)")));
        QVERIFY(w.context->values().BackupFileName.isEmpty());

        w.dialogs.fileAnswers.enqueue(taken);
        w.dialogs.answers.enqueue(MessageAnswer::Yes);
        w.find<QPushButton>("cmdTargetFile")->click();
        QCOMPARE(w.find<QLineEdit>("txtTargetFile")->text(), taken);
        QCOMPARE(w.context->values().BackupFileName, taken);

        // The box cannot be typed into: what it shows is the archive to write.
        auto *box = w.find<QLineEdit>("txtTargetFile");
        QVERIFY(box->isReadOnly());
        box->setFocus();
        QTest::keyClicks(box, QStringLiteral("elsewhere"));
        QCOMPARE(box->text(), taken);
        QCOMPARE(w.context->values().BackupFileName, taken);
    }

    void aBackupFromTheWindow()
    {
        Window w;
        QVERIFY(w.open());
        w.backUpNow();
        QCOMPARE(w.dialogs.messageTexts().last(), QStringLiteral("Invalid backup file name."));
        QCOMPARE(w.dialogs.shown.last().icon, MessageIcon::Warning);

        const QString archive = w.dir.filePath(QStringLiteral("mail.wlm"));
        w.context->values().BackupFileName = archive;
        w.main->backupitem[ItemMailRules]->setChecked(true);
        w.main->backupitem[ItemContacts]->setChecked(true);
        w.find<QPlainTextEdit>("txtAttachInfo")->setPlainText(QStringLiteral("a\nb"));
        w.dialogs.answers.enqueue(MessageAnswer::Ok);
        w.dialogs.answers.enqueue(MessageAnswer::Cancel);
        w.backUpNow();
        QCOMPARE(w.dialogs.messageTexts().last(),
                 QStringLiteral("Do you need to backup your data to CD-R/RW or DVD?"));
        QCOMPARE(w.dialogs.shown.last().buttons, MessageButtons::OkCancel);
        QCOMPARE(w.dialogs.shown.last().icon, MessageIcon::Information);
        QVERIFY(w.main->backupcdpath.isEmpty());
        w.dialogs.shown.removeLast();
        QCOMPARE(w.dialogs.messageTexts().last(),
                 QStringLiteral("The Backup was Completed!\r\n\r\nBackup Mail Rules\tSuccessed!"
                                "\r\nBackup Contacts\tSuccessed!"));
        QCOMPARE(w.dialogs.shown.last().icon, MessageIcon::Information);
        QCOMPARE(infoLines(archive).value(3), QStringLiteral("BackupInformation=aPS$KRVb"));
        QVERIFY(w.context->values().InfoFilePath.isEmpty());

        // OK opens the burning window with the archive in the compilation's root.
        QStringList offered;
        QTimer watch;
        connect(&watch, &QTimer::timeout, &watch, [&offered] {
            auto *burn = qobject_cast<frmMaindvdwrite *>(QApplication::activeModalWidget());
            if (!burn)
                return;
            auto *files = burn->findChild<QTreeWidget *>(QStringLiteral("lvwImageFiles"));
            for (int i = 0; i < files->topLevelItemCount(); ++i)
                offered.append(files->topLevelItem(i)->text(0));
            burn->close();
        });
        watch.start(20);
        w.backUpNow();
        QTRY_COMPARE(offered, QStringList{QStringLiteral("mail.wlm")});
        QCOMPARE(w.main->backupfiletocd, QStringLiteral("mail.wlm"));
        QCOMPARE(w.main->backupcdpath, archive);
    }

    // The line under the item boxes tells the estimate and the room at the target; Backup Now
    // asks before a backup that will not fit there or in the temporary folder.
    void aBackupThatMayNotFit_data()
    {
        QTest::addColumn<quint64>("targetRoom");
        QTest::addColumn<quint64>("tempRoom");
        QTest::addColumn<QString>("place");
        QTest::addColumn<bool>("goOn");
        QTest::newRow("room enough") << quint64(1) << quint64(1) << QString() << true;
        QTest::newRow("nearly full target, stopped")
            << quint64(0) << quint64(1) << QStringLiteral("in the archive's folder") << false;
        QTest::newRow("nearly full temporary folder, gone on")
            << quint64(1) << quint64(0) << QStringLiteral("in the temporary folder") << true;
    }
    void aBackupThatMayNotFit()
    {
        QFETCH(quint64, targetRoom);
        QFETCH(quint64, tempRoom);
        QFETCH(QString, place);
        QFETCH(bool, goOn);
        Window w;
        QVERIFY(w.open());
        // Room of a gigabyte or of a kilobyte; the archive's folder lies below the temporary one.
        const auto room = [](quint64 big) { return big ? quint64(1'000'000'000) : quint64(1000); };
        w.context->setFreeSpace(std::make_unique<FakeSpace>(QList<FreeSpace>{
            {room(targetRoom), w.dir.path()}, {room(tempRoom), temporaryFolder()}}));
        const QString archive = w.dir.filePath(QStringLiteral("mail.wlm"));
        w.context->values().BackupFileName = archive;
        w.main->backupitem[ItemMailRules]->setChecked(true);
        w.main->backupitem[ItemContacts]->setChecked(true);
        auto *line = w.find<QLabel>("lblEstimate");
        QTRY_VERIFY(line->text().endsWith(QStringLiteral("free on ") + w.dir.path()));
        QVERIFY2(line->text().startsWith(QStringLiteral("About ")), qPrintable(line->text()));

        if (!place.isEmpty())
            w.dialogs.answers.enqueue(goOn ? MessageAnswer::Yes : MessageAnswer::No);
        w.dialogs.answers.enqueue(MessageAnswer::Ok);
        w.dialogs.answers.enqueue(MessageAnswer::Cancel);
        w.backUpNow();
        const ScriptedDialogs::Shown first = w.dialogs.shown.first();
        if (place.isEmpty()) {
            QCOMPARE(first.text.left(25), QStringLiteral("The Backup was Completed!"));
        } else {
            QVERIFY2(first.text.contains(place) &&
                         first.text.endsWith(
                             QStringLiteral("Do you want to start the backup all the same?")),
                     qPrintable(first.text));
            QCOMPARE(first.buttons, MessageButtons::YesNo);
            QCOMPARE(first.icon, MessageIcon::Warning);
        }
        QCOMPARE(QFileInfo::exists(archive), goOn);
    }

    // While a run works on the archive chosen, no other can be chosen, and the disc is offered
    // the file that was written whatever the name became meanwhile.
    void aRunKeepsItsArchive()
    {
        Window w;
        QVERIFY(w.open());
        const QString archive = w.dir.filePath(QStringLiteral("mail.wlm"));
        w.context->values().BackupFileName = archive;
        w.main->backupitem[ItemMailRules]->setChecked(true);
        auto *browse = w.find<QPushButton>("cmdTargetFile");
        w.find<QPushButton>("cmdApply")->click();
        QVERIFY(w.main->isRunning());
        QVERIFY(!browse->isEnabled());
        w.context->values().BackupFileName = w.dir.filePath(QStringLiteral("other.wlm"));
        w.dialogs.answers.enqueue(MessageAnswer::Ok);
        w.dialogs.answers.enqueue(MessageAnswer::Ok);
        QTimer closer;
        connect(&closer, &QTimer::timeout, &closer, [] {
            if (QWidget *burn = QApplication::activeModalWidget())
                burn->close();
        });
        closer.start(20);
        QTRY_VERIFY_WITH_TIMEOUT(!w.main->isRunning(), 60000);
        QTRY_COMPARE(w.main->backupcdpath, archive);
        QVERIFY(browse->isEnabled());
    }

    // Another program's backup or restore of the profile holds its lock: the window says so and
    // starts nothing.
    void aProfileInUseIsRefused()
    {
        Window w;
        QVERIFY(w.open());
        const QString archive = w.dir.filePath(QStringLiteral("mail.wlm"));
        w.context->values().BackupFileName = archive;
        w.main->backupitem[ItemMailRules]->setChecked(true);
        {
            const Expected<ProfileLock> held = ProfileLock::take(w.context->prefixPath());
            QVERIFY(held.ok());
            w.find<QPushButton>("cmdApply")->click();
            QVERIFY(!w.main->isRunning());
            QCOMPARE(w.dialogs.messageTexts(), QStringList{profileBusyText});
            QCOMPARE(w.dialogs.shown.last().icon, MessageIcon::Error);
            QVERIFY(!QFileInfo::exists(archive));
        }
        w.dialogs.answers.enqueue(MessageAnswer::Ok);
        w.dialogs.answers.enqueue(MessageAnswer::Cancel);
        w.backUpNow();
        QVERIFY(QFileInfo::exists(archive));
    }

    void theBarMovesWithTheAccountsWork()
    {
        Window w;
        QVERIFY(w.open());
        w.context->values().BackupFileName = w.dir.filePath(QStringLiteral("mail.wlm"));
        w.main->backupitem[ItemMailAccounts]->setChecked(true);
        auto *bar = w.find<QProgressBar>("pbshow");
        auto *step = w.find<QLabel>("Label1");
        QList<std::pair<QString, int>> shown;
        connect(bar, &QProgressBar::valueChanged, bar, [&](int value) {
            shown.append({step->text(), value});
        });
        w.dialogs.answers.enqueue(MessageAnswer::Ok);
        w.dialogs.answers.enqueue(MessageAnswer::Cancel);
        w.backUpNow();
        QVERIFY(w.dialogs.shown.first().text.startsWith(backupCompletedText));

        // The bar only goes forward until it is emptied at the end.
        QCOMPARE(shown.takeLast().second, 0);
        QList<int> withinAccounts;
        QList<int> withinWrite;
        for (qsizetype i = 0; i < shown.size(); ++i) {
            const auto &[text, value] = shown[i];
            QVERIFY(i == 0 || shown[i - 1].second <= value);
            if (text == itemTable()[ItemMailAccounts].status && value > 10 && value < 30)
                withinAccounts.append(value);
            if (value > 77 && value < 100)
                withinWrite.append(value);
        }
        // The profile's three account folders move it within the item, not only after it.
        QCOMPARE(withinAccounts.size(), 2);
        QVERIFY(!withinWrite.isEmpty());
    }

    void aFailedWriteIsAnError()
    {
        Window w;
        QVERIFY(w.open());
        // The archive's folder does not exist, so the archive cannot be written.
        w.context->values().BackupFileName = w.dir.filePath(QStringLiteral("gone/mail.wlm"));
        w.main->backupitem[ItemMailRules]->setChecked(true);
        w.main->backupitem[ItemSettings]->setChecked(true);
        w.backUpNow();
        const QString report = w.dialogs.messageTexts().last();
        QVERIFY(report.startsWith(QLatin1String("The backup archive could not be written: ")));
        QVERIFY2(report.endsWith(
                     QLatin1String("\r\n\r\nBackup Mail Rules\tFail!\r\nBackup Settings\tFail!")),
                 qPrintable(report));
        QCOMPARE(w.dialogs.shown.last().icon, MessageIcon::Error);
        QVERIFY(!report.contains(QLatin1String("Completed")));
    }

    void aStoreGoneSinceStartKeepsTheOldArchive()
    {
        Window w;
        QVERIFY(w.open());
        const QString archive = w.dir.filePath(QStringLiteral("mail.wlm"));
        QVERIFY(writeFile(archive, "the last good backup"));
        // A home folder on a share that went away: the registry still reads, the files do not.
        QVERIFY(QDir(w.context->store().StoreFolder).removeRecursively());
        w.context->values().BackupFileName = archive;
        w.main->backupitem[ItemMailRules]->setChecked(true);
        w.backUpNow();
        QVERIFY(w.dialogs.messageTexts().last().startsWith(
            QLatin1String("The backup archive could not be written: ")));
        QCOMPARE(w.dialogs.shown.last().icon, MessageIcon::Error);
        QCOMPARE(readFile(archive), QByteArray("the last good backup"));
    }
};

QUILLORY_TEST(BackupTabTest)
#include "tst_backuptab.moc"
