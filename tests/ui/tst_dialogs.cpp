#include "app/itemtable.h"
#include "app/windows/skin.h"
#include "backup/backuprun.h"
#include "platform/widgets/frmpwd.h"
#include "platform/widgets/widgetdialogs.h"
#include "restore/restoreitems.h"
#include "restore/restorerun.h"
#include "support/testsupport.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QTimer>

#include <functional>

using namespace quillory;

namespace {

// Runs `look` on the dialog of type T once it is the modal window in front, then closes it.
template <typename T> void whenShown(const std::function<void(T *)> &look)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, look] {
        T *shown = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!shown)
            return;
        timer->deleteLater();
        look(shown);
        if (shown->isVisible())
            shown->reject();
    });
    timer->start(10);
}

QString lineText(QTextTable *table, int row)
{
    const QString first = table->cellAt(row, 0).firstCursorPosition().block().text();
    if (table->cellAt(row, 0).columnSpan() == 2)
        return first;
    return first + QLatin1Char('\t') + table->cellAt(row, 1).firstCursorPosition().block().text();
}

// A completion report as the runs compose it: the heading, an empty line, a line per item.
QString report(const QString &heading, const QStringList &names)
{
    QString text = heading + QStringLiteral("\r\n");
    for (const QString &name : names)
        text += QStringLiteral("\r\n") + name + QStringLiteral("\tSuccessed!");
    return text;
}

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void thePromptMasksWithStarsAndShowsItsTitle()
    {
        frmPwd prompt;
        auto *box = prompt.findChild<QLineEdit *>(QStringLiteral("txtPassword"));
        QTest::keyClicks(box, QStringLiteral("s3cret"));
        QCOMPARE(box->text(), QStringLiteral("s3cret"));
        QCOMPARE(box->displayText(), QStringLiteral("******"));
        prompt.show();
        QVERIFY(QTest::qWaitForWindowExposed(&prompt));
        QVERIFY(prompt.width() >
                prompt.fontMetrics().horizontalAdvance(prompt.windowTitle()) + 100);
    }

    void reportResultsLineUp_data()
    {
        QTest::addColumn<QString>("text");
        QStringList backedUp;
        for (const int item : {0, int(ItemContacts), int(ItemSettings)})
            backedUp.append(itemTable()[item].logLabel);
        QStringList restored;
        for (const RestoreItemInfo &item : restoreItemTable())
            restored.append(item.reportName);
        QTest::newRow("backup") << report(backupCompletedText, backedUp);
        QTest::newRow("restore") << report(restoreCompletedText, restored);
        QTest::newRow("failed write with a note")
            << QStringLiteral("The backup archive could not be written: No space left on "
                              "device\r\n\r\nBackup Contacts\tFail!\r\n2 files were left out.");
    }

    void reportResultsLineUp()
    {
        QFETCH(QString, text);
        WidgetDialogs dialogs;
        bool looked = false;
        whenShown<QMessageBox>([&](QMessageBox *box) {
            looked = true;
            auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
            QVERIFY(label);
            auto *document = label->findChild<QTextDocument *>();
            QVERIFY(document);
            QTextTable *table = nullptr;
            for (QTextFrame *frame : document->rootFrame()->childFrames())
                if ((table = qobject_cast<QTextTable *>(frame)))
                    break;
            QVERIFY(table);
            QAbstractTextDocumentLayout *layout = document->documentLayout();
            QStringList lines;
            QList<qreal> resultsAt;
            for (int row = 0; row < table->rows(); ++row) {
                lines.append(lineText(table, row));
                // Only lines without a tab may wrap.
                if (table->cellAt(row, 0).columnSpan() == 2)
                    continue;
                for (int column = 0; column < 2; ++column) {
                    const QTextBlock block =
                        table->cellAt(row, column).firstCursorPosition().block();
                    QVERIFY2(block.layout()->lineCount() == 1, qPrintable(block.text()));
                }
                resultsAt.append(
                    layout->blockBoundingRect(table->cellAt(row, 1).firstCursorPosition().block())
                        .x());
            }
            QCOMPARE(lines.join(QStringLiteral("\r\n")), text);
            QVERIFY(!resultsAt.isEmpty());
            QCOMPARE(resultsAt, QList<qreal>(resultsAt.size(), resultsAt.first()));
            QVERIFY(layout->frameBoundingRect(table).right() <= label->contentsRect().width());
        });
        dialogs.message(text, applicationTitle(), MessageIcon::Information, MessageButtons::Ok, {});
        QVERIFY(looked);
    }

    void aNameTypedWithoutExtensionGetsTheFilters_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("chosen");
        const QString archives = QStringLiteral("Quillory File (*.wlm)");
        QTest::newRow("no extension") << "mail" << archives << "mail.wlm";
        QTest::newRow("the extension") << "mail.wlm" << archives << "mail.wlm";
        QTest::newRow("the proposed name") << QString() << archives << "brevnor12-08-26.wlm";
        QTest::newRow("a filter of several kinds")
            << "mail" << QStringLiteral("Files (*.wlm *.zip)") << "mail";
    }

    void aNameTypedWithoutExtensionGetsTheFilters()
    {
        QFETCH(QString, typed);
        QFETCH(QString, filter);
        QFETCH(QString, chosen);
        QTemporaryDir dir;
        WidgetDialogs dialogs;
        whenShown<QFileDialog>([&](QFileDialog *dialog) {
            if (!typed.isEmpty())
                dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(typed);
            QMetaObject::invokeMethod(dialog, &QDialog::accept);
        });
        QCOMPARE(dialogs.saveFileName(QStringLiteral("Save"), dir.path(),
                                      QStringLiteral("brevnor12-08-26.wlm"), filter),
                 std::optional<QString>(dir.filePath(chosen)));
    }

    void messageBoxesShowTheirWholeTextAndButtons_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<MessageIcon>("icon");
        QTest::addColumn<MessageButtons>("buttons");
        QTest::addColumn<QString>("details");
        const QString path = QStringLiteral("/home/anna/backups/") + QString(120, u'm') +
                             QStringLiteral("/bogus.wlm");
        QTest::newRow("information") << QStringLiteral("The Backup was Completed!")
                                     << MessageIcon::Information << MessageButtons::Ok << QString();
        QTest::newRow("question") << QStringLiteral("Do you need to backup your data to CD-R/RW or "
                                                    "DVD?")
                                  << MessageIcon::Question << MessageButtons::OkCancel << QString();
        QTest::newRow("replace a long path")
            << path + QStringLiteral(" already exists.\nDo you want to replace it?")
            << MessageIcon::Warning << MessageButtons::YesNo << QString();
        QTest::newRow("three answers")
            << QStringLiteral("Keep the disc's earlier session?") << MessageIcon::None
            << MessageButtons::YesNoCancel << QString();
        QTest::newRow("with details")
            << QStringLiteral("Invalid backup file") << MessageIcon::Error << MessageButtons::Ok
            << QStringLiteral("%1 is not a zip archive.").arg(path);
        QTest::newRow("report with details")
            << report(backupCompletedText, {QStringLiteral("Backup Contacts")})
            << MessageIcon::Information << MessageButtons::Ok
            << QStringLiteral("Contacts: 2 files could not be read.");
    }

    // Run from ctest on a 1280x900 screen and a netbook's 1024x600 too, in the program's skin.
    void messageBoxesShowTheirWholeTextAndButtons()
    {
        QFETCH(QString, text);
        QFETCH(MessageIcon, icon);
        QFETCH(MessageButtons, buttons);
        QFETCH(QString, details);
        Skin skin;
        QVERIFY(skin.load(Skin::windowSkinPath()));
        WidgetDialogs dialogs;
        dialogs.setLook(skin.styleSheet());
        int looks = 0;
        whenShown<QMessageBox>([&](QMessageBox *box) {
            const auto lookWhole = [&] {
                ++looks;
                QCoreApplication::processEvents();
                const QRect screen = box->screen()->availableGeometry();
                QVERIFY(screen.contains(box->frameGeometry()));
                const auto inside = [box](const QWidget *part) {
                    return box->rect().contains(QRect(part->mapTo(box, QPoint()), part->size()));
                };
                auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
                QVERIFY(inside(label));
                QVERIFY(label->height() >= label->heightForWidth(label->width()));
                if (!label->wordWrap())
                    QVERIFY(label->width() >= label->sizeHint().width());
                for (const QPushButton *button : box->findChildren<QPushButton *>()) {
                    if (!button->isVisible())
                        continue;
                    QVERIFY2(inside(button), qPrintable(button->text()));
                    QVERIFY2(button->width() >= button->sizeHint().width(),
                             qPrintable(button->text()));
                }
            };
            lookWhole();
            if (details.isEmpty())
                return;
            // The details button, both ways.
            for (QPushButton *button : box->findChildren<QPushButton *>())
                if (button->text().contains(QLatin1String("Details"))) {
                    button->click();
                    lookWhole();
                }
        });
        dialogs.message(text, applicationTitle(), icon, buttons, details);
        QCOMPARE(looks, details.isEmpty() ? 1 : 2);
    }

    void enterGivesTheSafeAnswer_data()
    {
        QTest::addColumn<MessageButtons>("buttons");
        QTest::addColumn<MessageAnswer>("answer");
        QTest::newRow("yes or no") << MessageButtons::YesNo << MessageAnswer::Yes;
        // A question whose Yes throws work away.
        QTest::newRow("yes or no, no by default")
            << MessageButtons::YesNoDefaultNo << MessageAnswer::No;
    }

    void enterGivesTheSafeAnswer()
    {
        QFETCH(MessageButtons, buttons);
        QFETCH(MessageAnswer, answer);
        WidgetDialogs dialogs;
        whenShown<QMessageBox>([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); });
        QCOMPARE(dialogs.message(QStringLiteral("Close the window? The compilation (3 files) will "
                                                "be thrown away."),
                                 applicationTitle(), MessageIcon::Question, buttons, QString()),
                 answer);
    }

    // Asked for no particular kind or folder, a file dialog offers every file, at home.
    void fileDialogsWithoutAFilterOrFolder()
    {
        WidgetDialogs dialogs;
        QStringList filters;
        QString folder;
        const auto look = [&](QFileDialog *dialog) {
            filters = dialog->nameFilters();
            folder = dialog->directory().absolutePath();
            QMetaObject::invokeMethod(dialog, &QDialog::reject);
        };
        whenShown<QFileDialog>(look);
        QVERIFY(dialogs.openFileNames(QStringLiteral("Add Files"), QString(), QString()).isEmpty());
        QCOMPARE(filters, QStringList{QStringLiteral("All files (*)")});
        QCOMPARE(folder, QDir::homePath());
        whenShown<QFileDialog>(look);
        QVERIFY(!dialogs.saveFileName(QStringLiteral("Save as ISO File"), QString(),
                                      QStringLiteral("Tenmoor.iso"),
                                      QStringLiteral("ISO (*.iso)")));
        QCOMPARE(folder, QDir::homePath());
    }

    void fileDialogsRememberTheLastFolderOfTheirKind()
    {
        QTemporaryDir dir;
        const QString written = dir.filePath(QStringLiteral("written"));
        const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(written) && QDir().mkpath(elsewhere));
        WidgetDialogs dialogs;

        QString openedIn;
        QSize size;
        whenShown<QFileDialog>([&](QFileDialog *dialog) {
            size = dialog->size();
            // Typed as a user types it: selectFile leaves the name box alone while it has focus,
            // which it may or may not have yet.
            dialog->setDirectory(written);
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))
                ->setText(QStringLiteral("mail.wlm"));
            QMetaObject::invokeMethod(dialog, &QDialog::accept);
        });
        QCOMPARE(dialogs.saveFileName(QStringLiteral("Save"), elsewhere, QStringLiteral("brevnor"),
                                      QStringLiteral("Quillory File (*.wlm)")),
                 std::optional<QString>(written + QStringLiteral("/mail.wlm")));
        const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
        QVERIFY2(size.width() > 624 && size.height() > 426,
                 qPrintable(QString::number(size.width())));
        QVERIFY(size.width() <= screen.width() && size.height() <= screen.height());

        // The restore's dialog spells the filter its own way; other kinds keep their folder.
        const auto openIn = [&](const QString &filter) {
            whenShown<QFileDialog>(
                [&](QFileDialog *dialog) { openedIn = dialog->directory().absolutePath(); });
            QVERIFY(!dialogs.openFileName(QStringLiteral("Open"), elsewhere, QString(), filter));
        };
        openIn(QStringLiteral("Quillory File(*.wlm)"));
        QCOMPARE(openedIn, written);
        openIn(QStringLiteral("ISO Image (*.iso)"));
        QCOMPARE(openedIn, elsewhere);
    }

    void aMessageOpensOverTheWindowThatAsked()
    {
        QWidget main;
        main.show();
        WidgetDialogs dialogs(&main);
        dialogs.setLook(QStringLiteral("QMessageBox { background: #fafafa; }"));

        QDialog scheduler(&main);
        QWidget *parent = nullptr;
        QTimer::singleShot(0, &scheduler, [&] {
            whenShown<QMessageBox>([&](QMessageBox *box) { parent = box->parentWidget(); });
            dialogs.message(QStringLiteral("Please select at least one item."), applicationTitle(),
                            MessageIcon::Warning, MessageButtons::Ok, {});
            scheduler.reject();
        });
        scheduler.exec();
        QCOMPARE(parent, &scheduler);

        // At start-up no window is there yet: the box takes the skin on its own.
        WidgetDialogs early;
        early.setLook(QStringLiteral("QMessageBox { background: #fafafa; }"));
        QString look;
        whenShown<QMessageBox>([&](QMessageBox *box) {
            parent = box->parentWidget();
            look = box->styleSheet();
        });
        early.message(QStringLiteral("Your Windows System have not install Windows Live Mail "),
                      applicationTitle(), MessageIcon::Error, MessageButtons::Ok, {});
        QCOMPARE(parent, nullptr);
        QCOMPARE(look, QStringLiteral("QMessageBox { background: #fafafa; }"));
    }
};

QUILLORY_TEST(DialogsTest)
#include "tst_dialogs.moc"
