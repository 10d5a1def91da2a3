#include "app/programcontext.h"
#include "backup/backupcollectors.h"
#include "main/windows/frmmain.h"
#include "main/windows/maintabs.h"
#include "platform/widgets/frmpwd.h"
#include "restore/restoreitems.h"
#include "restore/windows/frmaccounts.h"
#include "restore/windows/restoretab.h"
#include "restorefixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace quillory;
using namespace quillory::test;

namespace {

// The main window with its Restore tab over a sample profile, the user's side scripted.
struct Window {
    SampleProfile profile;
    ScriptedDialogs dialogs;
    ProgramContext context{profile.path(), dialogs};
    frmMain main{context};
    MainTabs tabs = attachTabs(main);

    template <typename T> T *find(const char *name) const
    {
        return main.findChild<T *>(QLatin1String(name));
    }
    void open(const QString &archive, std::optional<QString> password = {})
    {
        dialogs.fileAnswers.enqueue(archive);
        if (password)
            dialogs.passwordAnswers.enqueue(*password);
        find<QPushButton>("cmdSourceFile")->click();
    }
    void restoreNow()
    {
        find<QTabWidget>("SSTab1")->setCurrentIndex(1);
        find<QPushButton>("cmdApply")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!main.isRunning(), 60000);
    }
    int passwordPrompts() const
    {
        return int(std::count_if(dialogs.shown.begin(), dialogs.shown.end(), [](const auto &s) {
            return s.kind == QLatin1String("password");
        }));
    }
};

} // namespace

class RestoreTabTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    SampleProfile m_source;
    QString m_protected;
    QString m_plain;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_source.isValid());
        m_protected = m_dir.filePath(QStringLiteral("protected.wlm"));
        m_plain = m_dir.filePath(QStringLiteral("plain.wlm"));
        QVERIFY(backUp(m_source.path(), m_protected, itemsOf({ItemMailRules, ItemContacts}),
                       QStringLiteral("pw")));
        QVERIFY(backUp(m_source.path(), m_plain, itemsOf({ItemSignatures})));
    }

    void openingShowsTheOriginAndTheItemsHeld()
    {
        Window w;
        w.open(m_protected, QStringLiteral("pw"));
        QCOMPARE(w.passwordPrompts(), 1);
        QCOMPARE(w.find<QLineEdit>("txtSourceFile")->text(), m_protected);
        QVERIFY(w.find<QPlainTextEdit>("txtPOBinfo")
                    ->toPlainText()
                    .startsWith(QLatin1String("Computer:")));
        for (int i = 0; i < ItemCount; ++i)
            QCOMPARE(w.main.restoreitem[i]->isEnabled(), i == ItemMailRules || i == ItemContacts);

        // An unprotected archive never asks for a password. A box it does not hold loses the
        // tick it had for the archive before.
        w.main.restoreitem[ItemMailRules]->setChecked(true);
        w.open(m_plain);
        QCOMPARE(w.passwordPrompts(), 1);
        QVERIFY(w.main.restoreitem[ItemSignatures]->isEnabled());
        QVERIFY(!w.main.restoreitem[ItemMailRules]->isEnabled());
        QVERIFY(!w.main.restoreitem[ItemMailRules]->isChecked());

        // Both tabs' archive boxes are filled by their Browse... buttons only.
        QVERIFY(w.find<QLineEdit>("txtSourceFile")->isReadOnly());
        QVERIFY(w.find<QLineEdit>("txtTargetFile")->isReadOnly());
    }

    // What the archive says is shown, never obeyed: control characters become U+FFFD.
    void controlCharactersShowAsReplacements()
    {
        const QString archive = m_dir.filePath(QStringLiteral("controls.wlm"));
        QVERIFY(ArchiveWriter()
                    .add(QStringLiteral("krvstore.dat"),
                         "BackupComputer=pc\x1b]0;owned\x07\r\nBackupInformation=one\tPS$KRVtwo\r\n"
                         "BackupItem=0000000000\r\n")
                    .write(archive));
        Window w;
        w.open(archive);
        QVERIFY(w.find<QPlainTextEdit>("txtPOBinfo")
                    ->toPlainText()
                    .startsWith(QStringLiteral("Computer:pc\ufffd]0;owned\ufffd\n")));
        QCOMPARE(w.find<QPlainTextEdit>("txtFileInfo")->toPlainText(),
                 QStringLiteral("one\t\ntwo"));
    }

    void aWrongPasswordIsSaid()
    {
        Window w;
        w.open(m_protected, QStringLiteral("wrong"));
        QCOMPARE(w.dialogs.messageTexts().last(),
                 QStringLiteral("Incorect Password or Invalid backup file"));
        QVERIFY(w.find<QLineEdit>("txtSourceFile")->text().isEmpty());
    }

    void restoreFromTheWindow()
    {
        Window w;
        w.open(m_protected, QStringLiteral("pw"));
        w.main.restoreitem[ItemMailRules]->setChecked(true);

        w.dialogs.answers.enqueue(MessageAnswer::Cancel);
        const qsizetype before = w.dialogs.shown.size();
        w.restoreNow();
        QCOMPARE(w.dialogs.shown.size(), before + 1);
        QCOMPARE(w.dialogs.shown.last().text, restoreConfirmationText);

        w.restoreNow();
        QCOMPARE(
            w.dialogs.messageTexts().last(),
            QStringLiteral("The Restore was Completed!\r\n\r\nRestore Mail Rules\tSuccessed!"));
        QCOMPARE(w.dialogs.shown.last().icon, MessageIcon::Information);
        QVERIFY(w.dialogs.shown.last().details.isEmpty());
    }

    // The accounts the archive holds are listed with their messages, all ticked; those left
    // ticked are restored, each whole, and the others stay as they were.
    void choosingTheAccounts()
    {
        const QString archive = m_dir.filePath(QStringLiteral("accounts.wlm"));
        QVERIFY(backUp(m_source.path(), archive, itemsOf({ItemMailAccounts})));
        Window w;
        const QStringList folders = accountFolders(w.profile.store());
        QCOMPARE(folders.size(), 3);
        const auto marker = [&w](const QString &folder) {
            return QDir(w.profile.store(folder)).filePath(QStringLiteral("marker.eml"));
        };
        for (const QString &folder : folders)
            QVERIFY(writeFile(marker(folder), "here before"));
        auto *button = w.find<QPushButton>("cmdAccounts");
        QVERIFY(!button->isEnabled());
        w.open(archive);
        QVERIFY(button->isEnabled());

        QStringList listed;
        QString unticked;
        QTimer answer;
        connect(&answer, &QTimer::timeout, &answer, [&] {
            auto *dialog = qobject_cast<frmAccounts *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            auto *list = dialog->findChild<QListWidget *>(QStringLiteral("lstAccounts"));
            for (int i = 0; i < list->count(); ++i) {
                QCOMPARE(list->item(i)->checkState(), Qt::Checked);
                listed.append(list->item(i)->text());
            }
            list->item(1)->setCheckState(Qt::Unchecked);
            unticked = list->item(1)->data(Qt::UserRole).toString();
            dialog->accept();
        });
        answer.start(20);
        button->click();
        answer.stop();
        QStringList expected;
        for (const QString &folder : folders)
            expected.append(folder + QStringLiteral(" (3 messages)"));
        listed.sort();
        expected.sort();
        QCOMPARE(listed, expected);
        QCOMPARE(button->text(), QStringLiteral("Accounts (2 of 3)..."));

        w.main.restoreitem[ItemMailAccounts]->setChecked(true);
        w.restoreNow();
        QCOMPARE(w.dialogs.messageTexts().last(), reportOf({{ItemMailAccounts, true}}));
        for (const QString &folder : folders)
            QCOMPARE(QFileInfo::exists(marker(folder)), folder == unticked);

        // A new archive opened restores every account again.
        w.open(archive);
        QCOMPARE(button->text(), QStringLiteral("Accounts..."));
    }

    void refusalsComeBeforeTheProgressPanel_data()
    {
        QTest::addColumn<bool>("invalid");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing ticked")
            << false << QStringLiteral("Please select at least one item.");
        QTest::newRow("invalid archive") << true << QStringLiteral("Invalid backup file.");
    }

    void refusalsComeBeforeTheProgressPanel()
    {
        QFETCH(bool, invalid);
        QFETCH(QString, message);
        Window w;
        if (invalid) {
            const QString nineFlags = m_dir.filePath(QStringLiteral("nine.wlm"));
            QVERIFY(
                ArchiveWriter()
                    .add(QStringLiteral("krvstore.dat"), infoFile(QStringLiteral("000000001"), {}))
                    .write(nineFlags));
            w.open(nineFlags);
            w.main.restoreitem[ItemSettings]->setChecked(true);
        } else {
            w.open(m_plain);
        }
        w.find<QTabWidget>("SSTab1")->setCurrentIndex(1);
        w.find<QPushButton>("cmdApply")->click();
        QVERIFY(!w.main.isRunning());
        QVERIFY(!w.find<QWidget>("picCon3")->isVisibleTo(&w.main));
        QCOMPARE(w.dialogs.messageTexts().last(), message);
    }

    void aFailedItemSaysWhyInTheDetails()
    {
        const QString crafted = m_dir.filePath(QStringLiteral("crafted.wlm"));
        QVERIFY(ArchiveWriter()
                    .add(QStringLiteral("krvstore.dat"),
                         infoFile(QStringLiteral("1000000000"),
                                  {{QStringLiteral("Backupmailaccountsandmessages"),
                                    QStringLiteral("Contacts.zip")}}))
                    .add(QStringLiteral("Contacts.zip"),
                         ArchiveWriter().add(QStringLiteral("a.contact"), "x").bytes())
                    .write(crafted));
        Window w;
        w.open(crafted);
        w.main.restoreitem[ItemMailAccounts]->setChecked(true);
        w.restoreNow();
        const ScriptedDialogs::Shown &report = w.dialogs.shown.last();
        QCOMPARE(report.text, reportOf({{ItemMailAccounts, false}}));
        QVERIFY2(report.details.startsWith(restoreItemTable()[ItemMailAccounts].reportName +
                                           QStringLiteral(": ")) &&
                     report.details.contains(QStringLiteral("own folder \"Contacts\"")),
                 qPrintable(report.details));
    }

    void enterInThePasswordPromptIsOk()
    {
        frmPwd prompt;
        prompt.show();
        auto *box = prompt.findChild<QLineEdit *>(QStringLiteral("txtPassword"));
        QCOMPARE(box->echoMode(), QLineEdit::Password);
        QTest::keyClicks(box, QStringLiteral("s3cret"));
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(prompt.result(), int(QDialog::Accepted));
        QCOMPARE(prompt.password(), QStringLiteral("s3cret"));
        QCOMPARE(prompt.windowTitle(), QStringLiteral("Please enter password"));
    }
};

QUILLORY_TEST(RestoreTabTest)
#include "tst_restoretab.moc"
