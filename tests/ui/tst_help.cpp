#include "app/programfolder.h"
#include "help/helplocations.h"
#include "help/windows/frmabout.h"
#include "help/windows/shellhelpers.h"
#include "support/testsupport.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace quillory;
using quillory::test::ScriptedDialogs;

namespace {

// Stands in for the desktop: records what it was asked to open.
struct RecordingOpener {
    QList<QUrl> opened;
    bool succeeds = true;
    UrlOpener opener()
    {
        return [this](const QUrl &url) {
            opened.append(url);
            return succeeds;
        };
    }
};

} // namespace

// Receives what the program hands to the desktop through QDesktopServices.
class UrlSink : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

class HelpTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theShippedHelpCoversTheUsersTasks()
    {
        const QString help = helpFilePath(programFolder());
        const QByteArray page = test::readFile(help);
        QVERIFY2(!page.isEmpty(), qPrintable(help));
        for (const char *section :
             {"id=\"backup\"", "id=\"restore\"", "id=\"schedule\"", "id=\"burn\""})
            QVERIFY2(page.contains(section), section);
        QVERIFY(QFile::exists(QFileInfo(help).dir().filePath(QStringLiteral("help.css"))));
    }

    void showHelpHandsTheFileToTheViewer()
    {
        ScriptedDialogs dialogs;
        RecordingOpener desktop;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("Program Files/help/index.html"));
        QVERIFY(test::writeFile(file, "<html></html>"));

        QVERIFY(ShowHelp(dialogs, file, desktop.opener()));
        QCOMPARE(desktop.opened.size(), 1);
        QCOMPARE(desktop.opened[0].toLocalFile(), file);
        QVERIFY(dialogs.shown.isEmpty());
    }

    void showHelpSaysOnceWhenItCannotShowTheHelp()
    {
        ScriptedDialogs dialogs;
        RecordingOpener desktop;
        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("help/index.html"));
        QVERIFY(!ShowHelp(dialogs, missing, desktop.opener()));
        QVERIFY(desktop.opened.isEmpty());

        QVERIFY(test::writeFile(missing, "<html></html>"));
        desktop.succeeds = false;
        QVERIFY(!ShowHelp(dialogs, missing, desktop.opener()));

        QCOMPARE(dialogs.shown.size(), 2);
        for (const ScriptedDialogs::Shown &shown : dialogs.shown) {
            QVERIFY2(shown.text.contains(missing), qPrintable(shown.text));
            QCOMPARE(shown.title, QStringLiteral("Quillory"));
            QCOMPARE(shown.icon, MessageIcon::Error);
        }
        QVERIFY(dialogs.shown[0].text.contains(QStringLiteral("not found")));
        QVERIFY(dialogs.shown[1].text.contains(QStringLiteral("No program")));
    }

    void shellOpenPassesWebAddressesAndFiles()
    {
        RecordingOpener desktop;
        QVERIFY(ShellOpen(productWebAddress(), desktop.opener()));
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("my backup.wlm"));
        QVERIFY(test::writeFile(file, "PK"));
        QVERIFY(ShellOpen(file, desktop.opener()));
        QCOMPARE(desktop.opened.size(), 2);
        QCOMPARE(desktop.opened[0], QUrl(productWebAddress()));
        QCOMPARE(desktop.opened[1].toLocalFile(), file);

        desktop.succeeds = false;
        QVERIFY(!ShellOpen(productWebAddress(), desktop.opener()));
    }

    void theDesktopIsReachedThroughItsServices()
    {
        UrlSink sink;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &sink, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &sink, "open");
        ScriptedDialogs dialogs;
        const bool helpShown = ShowHelp(dialogs);
        const bool siteShown = ShellOpen(productWebAddress());
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));

        QVERIFY(helpShown);
        QVERIFY(siteShown);
        QCOMPARE(sink.opened.size(), 2);
        QCOMPARE(sink.opened[0].toLocalFile(), helpFilePath(programFolder()));
        QVERIFY(dialogs.shown.isEmpty());
    }

    void aboutBoxShowsTheProductAndExitBringsBackTheMainWindow()
    {
        QWidget mainWindow;
        mainWindow.setObjectName(QStringLiteral("frmMain"));
        frmabout box;
        QCOMPARE(box.windowTitle(), QStringLiteral("About Quillory"));
        QStringList texts;
        const QList<QLabel *> labels = box.findChildren<QLabel *>();
        for (const QLabel *label : labels)
            if (!label->text().isEmpty())
                texts.append(label->text());
        texts.sort();
        // Built with the default settings, as the tests are: no address is made up, both lead to
        // the help installed with the program.
        const QUrl helpPage = QUrl::fromLocalFile(helpFilePath(programFolder()));
        QCOMPARE(productWebAddress(), helpPage.toString());
        QCOMPARE(supportEmailAddress(), helpPage.toString() + QStringLiteral("#problems"));
        QStringList expected = {
            QStringLiteral("Quillory v1.50"),    QStringLiteral("Thank you for using our product."),
            QStringLiteral("Visit Our Website"), productWebAddress(),
            QStringLiteral("Support"),           supportEmailAddress()};
        expected.sort();
        QCOMPARE(texts, expected);
        const auto *logo = box.findChild<QLabel *>(QStringLiteral("picLogo"));
        QVERIFY(!logo->pixmap().isNull());

        box.open();
        QVERIFY(box.isVisible());
        QVERIFY(!mainWindow.isVisible());
        auto *exit = box.findChild<QPushButton *>(QStringLiteral("Command3"));
        QCOMPARE(exit->text(), QStringLiteral("Exit"));
        exit->click();
        QVERIFY(!box.isVisible());
        QCOMPARE(box.result(), int(QDialog::Accepted));
        QVERIFY(mainWindow.isVisible());
    }
};

QUILLORY_TEST(HelpTest)

#include "tst_help.moc"
