#include "burn/namerules.h"
#include "burn/windows/frmmaindvdwrite.h"
#include "burn/writespeeds.h"
#include "platform/disc/burndiscwriter.h"
#include "platform/disc/discfixture.h"
#include "scripteddiscwriter.h"
#include "support/testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace quillory;
using namespace Qt::StringLiterals;
using namespace quillory::test;

namespace {

const QString noItem = QStringLiteral("No Item Selected.");

// The burning window on a disc writer, the user's answers scripted.
struct BurnWindow {
    ScriptedDialogs dialogs;
    std::unique_ptr<frmMaindvdwrite> window;

    explicit BurnWindow(DiscWriter &writer, const QString &file = {}, const QString &path = {})
    {
        window = std::make_unique<frmMaindvdwrite>(writer, dialogs, file, path);
        window->show();
    }
    template <typename T> T *find(const char *name) const
    {
        auto *found = window->findChild<T *>(QLatin1String(name));
        Q_ASSERT(found);
        return found;
    }
    QTreeWidget *tree() const { return find<QTreeWidget>("tvwDirectories"); }
    QTreeWidget *list() const { return find<QTreeWidget>("lvwImageFiles"); }
    void trigger(const char *action) { find<QAction>(action)->trigger(); }
    QStringList listed() const
    {
        QStringList names;
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            names.append(list()->topLevelItem(i)->text(0));
        return names;
    }
    QTreeWidgetItem *node(const QString &text) const
    {
        const auto found = tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }
    void drop(QTreeWidget *view, const QStringList &paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &path : paths)
            urls.append(QUrl::fromLocalFile(path));
        data.setUrls(urls);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        // Outside a real drag Qt delivers no drop events: hand it to the window's filter.
        static_cast<QObject *>(window.get())->eventFilter(view->viewport(), &event);
    }
    // Renames the selected item of `view` through its label editor.
    void rename(QTreeWidget *view, const char *action, const QString &name)
    {
        trigger(action);
        auto *editor = view->viewport()->findChild<QLineEdit *>();
        QVERIFY(editor);
        editor->setText(name);
        QTest::keyClick(editor, Qt::Key_Return);
        // The editor commits on the next turn of the event loop, the window answers on the one
        // after.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    QString lastMessage() const
    {
        return dialogs.shown.isEmpty() ? QString() : dialogs.shown.last().text;
    }
    QString panel(int n) const { return window->statusPanel(n); }
    bool waitFor(const QString &message)
    {
        return QTest::qWaitFor([&] { return dialogs.messageTexts().contains(message); }, 60000);
    }
};

// An image file standing in as the only recorder.
struct ImageRecorder {
    QTemporaryDir folder;
    QString image = folder.filePath(QStringLiteral("disc.iso"));
    std::unique_ptr<BurnDiscWriter> writer;

    ImageRecorder()
    {
        qputenv("QUILLORY_DISC_DRIVES", image.toUtf8());
        writer = std::make_unique<BurnDiscWriter>();
    }
    QString file(const QString &name, qsizetype size, quint32 seed = 3)
    {
        const QString path = folder.filePath(name);
        writeFile(path, noise(size, seed));
        return path;
    }
    QMap<QString, QByteArray> onDisc()
    {
        return extractedWithXorriso(image, folder.filePath(QStringLiteral("out%1").arg(++reads)));
    }
    int reads = 0;
};

} // namespace

class BurnWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void nameRules_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("joliet");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("refusal");
        const QString l1 =
            QStringLiteral("Item Name violates ISO9660 Level 1 naming rules (8 + 3 Char Max).");
        const QString l2 =
            QStringLiteral("Item Name violates ISO9660 Level 2 naming rules (31 Char Max).");
        const QString joliet =
            QStringLiteral("Item Name violates Joliet naming rules (64 Char Max).");
        const QString a = QStringLiteral("a");
        QTest::newRow("blank") << QString() << 1 << 3 << "Item name cannot be blank.";
        QTest::newRow("joliet 64") << a.repeated(64) << 1 << 1 << QString();
        QTest::newRow("joliet 65") << a.repeated(65) << 1 << 1 << joliet;
        QTest::newRow("level 2, 31") << a.repeated(31) << 0 << 2 << QString();
        QTest::newRow("level 2, 32") << a.repeated(32) << 0 << 3 << l2;
        QTest::newRow("8.3") << "abcdefgh.txt" << 0 << 1 << QString();
        QTest::newRow("9 before the dot") << "abcdefghi.txt" << 0 << 1 << l1;
        QTest::newRow("4 after the dot") << "abcdefgh.text" << 0 << 1 << l1;
        QTest::newRow("no dot, 9") << "abcdefghi" << 0 << 1 << l1;
        QTest::newRow("two dots, 3 after the first") << "a.b.c" << 0 << 1 << QString();
        QTest::newRow("two dots, 4 after the first") << "a.bc.d" << 0 << 1 << l1;
    }
    void nameRules()
    {
        QFETCH(QString, name);
        QFETCH(int, joliet);
        QFETCH(int, level);
        QFETCH(QString, refusal);
        QCOMPARE(nameRuleViolation(name, joliet, level).value_or(QString()), refusal);
    }

    void speedLists_data()
    {
        QTest::addColumn<int>("media");
        QTest::addColumn<int>("speed");
        QTest::addColumn<QStringList>("texts");
        QStringList dvd;
        for (int s = 22160; s >= 1380; s -= 690)
            dvd.append(QString::number(s / 1380.0, 'f', 1) + QLatin1Char('x'));
        QCOMPARE(dvd.mid(0, 2), (QStringList{u"16.1x"_s, u"15.6x"_s}));
        QCOMPARE(dvd.last(), u"1.1x"_s);
        const QStringList cd =
            QStringLiteral("40x 36x 32x 28x 24x 20x 16x 12x 8x 4x 2x 1x").split(QLatin1Char(' '));
        QTest::newRow("DVD-R") << int(DiscWriter::MediaDvdR) << 22160 << dvd;
        QTest::newRow("CD-R") << int(DiscWriter::MediaCdR) << 7056 << cd;
        QTest::newRow("empty drive: CD scale") << int(DiscWriter::MediaNone) << 7056 << cd;
        QTest::newRow("slow DVD") << int(DiscWriter::MediaDvdPlusRw) << 700
                                  << QStringList{u".5x"_s};
        QTest::newRow("unknown speed")
            << int(DiscWriter::MediaCdRw) << 0 << QStringList{u"Default"_s};
    }
    void speedLists()
    {
        QFETCH(int, media);
        QFETCH(int, speed);
        QFETCH(QStringList, texts);
        ScriptedDiscWriter writer;
        writer.mediaType = media;
        writer.maxSpeed = speed;
        BurnWindow w(writer);
        auto *speeds = w.find<QComboBox>("cboWriteSpeed");
        QStringList shown;
        for (int i = 0; i < speeds->count(); ++i)
            shown.append(speeds->itemText(i));
        QCOMPARE(shown, texts);
        QCOMPARE(writer.speedsSet, speed > 0 ? QList<int>{speed} : QList<int>{});
        if (speeds->count() > 1) {
            speeds->setCurrentIndex(1);
            QCOMPARE(writer.speedsSet.last(), speeds->itemData(1).toInt());
        }
        QCOMPARE(w.find<QComboBox>("cboDevices")->currentText(),
                 QStringLiteral("/dev/sr0: Scripted Recorder"));
    }

    void startChecksAndOptionHandOver()
    {
        ScriptedDiscWriter writer;
        writer.mediaType = DiscWriter::MediaNone;
        writer.supported.remove(DiscWriter::SupportsBufferProtection);
        ImageRecorder files;
        BurnWindow w(writer);
        QVERIFY(!w.find<QCheckBox>("chkUseBurnProof")->isEnabled());
        w.find<QPushButton>("cmdWriteDisc")->click();
        QCOMPARE(w.lastMessage(),
                 QStringLiteral("Please Insert Writable Media before continuing!"));
        w.trigger("mnuCDRecorderImportPreviousSession");
        QCOMPARE(w.lastMessage(), QStringLiteral("Please Insert a disc before continuing!"));

        writer.mediaType = DiscWriter::MediaDvdR;
        w.trigger("mnuCDRecorderImportPreviousSession");
        QCOMPARE(w.lastMessage(),
                 QStringLiteral("The disc is blank: it holds no session to import."));

        // An empty compilation is never written.
        w.find<QPushButton>("cmdWriteDisc")->click();
        QVERIFY(writer.writes.isEmpty());
        QCOMPARE(w.dialogs.shown.last().icon, MessageIcon::Information);

        w.drop(w.list(), {files.file(QStringLiteral("a.wlm"), 10)});
        for (const char *box : {"chkAutoVerify", "chkTestWrite", "chkFinalizeDisc", "chkUseMode2XA",
                                "chkDVDHighCompMode", "chkCacheImage"})
            w.find<QCheckBox>(box)->setChecked(true);
        w.find<QCheckBox>("chkUseJoliet")->setChecked(false);
        w.find<QLineEdit>("txtVolIdentifier")->setText(QStringLiteral("Label"));
        w.find<QPushButton>("cmdWriteDisc")->click();
        writer.mediaType = DiscWriter::MediaCdRw;
        writer.operationsStart = false;
        w.trigger("mnuActionWriteDisc");
        QCOMPARE(writer.writes,
                 (QList<ScriptedDiscWriter::Sent>{
                     {true, true, true, true, false, true, false, 0, 1, QStringLiteral("Label")},
                     {true, true, true, true, true, false, false, 0, 2, QStringLiteral("Label")}}));
        QCOMPARE(w.lastMessage(), QStringLiteral("Disc Write could not be started."));
        QCOMPARE(w.dialogs.shown.last().icon, MessageIcon::Error);
        QVERIFY(w.window->isIdle());

        const qsizetype before = w.dialogs.shown.size();
        w.find<QCheckBox>("chkCacheImage")->click();
        w.find<QCheckBox>("chkCacheImage")->click();
        QCOMPARE(w.dialogs.shown.size(), before + 1);
        QCOMPARE(w.lastMessage(),
                 QStringLiteral("Caching an image for a DVD format is not recommended and is "
                                "limited to 4.2GB!"));
    }

    void eventsBecomeTextsAndStates()
    {
        ScriptedDiscWriter writer;
        ImageRecorder files;
        BurnWindow w(writer);
        w.drop(w.list(), {files.file(QStringLiteral("a.wlm"), 10)});
        auto *progress = w.find<QProgressBar>("prgTotalProgress");

        // What a disc dialog's operation reports is not this window's.
        Q_EMIT writer.WriteCompleted();
        QVERIFY(writer.calls.filter(u"MoveTray"_s).isEmpty() &&
                !w.dialogs.messageTexts().contains(u"Writing is complete!"_s));

        w.find<QPushButton>("cmdWriteDisc")->click();
        Q_EMIT writer.WritePreparing();
        QCOMPARE(w.panel(1), QStringLiteral("Preparing to Write...."));
        QVERIFY(!w.window->isIdle() && !w.find<QPushButton>("cmdWriteDisc")->isEnabled());
        QVERIFY(w.find<QPushButton>("cmdCancel")->isEnabled());
        QVERIFY(!w.find<QMenu>("mnuFile")->menuAction()->isEnabled());
        QVERIFY(!w.window->close() && w.window->isVisible());

        const QList<std::pair<std::function<void()>, QString>> panel1 = {
            {[&] { Q_EMIT writer.CreatingDirectories(); }, u"Creating Directories...."_s},
            {[&] { Q_EMIT writer.FileError(2, u"a.txt"_s); }, u"ERROR:Error Reading file: a.txt"_s},
            {[&] { Q_EMIT writer.ClosingTrack(); }, u"Closing Track...."_s},
            {[&] { Q_EMIT writer.ClosingSession(); }, u"Closing Session...."_s},
            {[&] { Q_EMIT writer.ClosingDisc(); }, u"Closing Disc...."_s},
        };
        for (const auto &[emitIt, text] : panel1) {
            emitIt();
            QCOMPARE(w.panel(1), text);
        }
        Q_EMIT writer.WriteProgress(0, 1, 3);
        QCOMPARE(progress->value(), 33);
        Q_EMIT writer.WriteProgress(0, 5, 0);
        QCOMPARE(progress->value(), 0);
        Q_EMIT writer.WriteCompleted();
        QCOMPARE(w.panel(1), QStringLiteral("Writing Complete!"));
        QCOMPARE(w.lastMessage(), QStringLiteral("Writing is complete!"));
        QCOMPARE(writer.calls.filter(u"MoveTray"_s), QStringList{u"MoveTray(false)"_s});
        QVERIFY(w.window->isIdle() && !w.find<QPushButton>("cmdCancel")->isEnabled());

        w.find<QPushButton>("cmdWriteDisc")->click();
        Q_EMIT writer.WritePreparing();
        Q_EMIT writer.WriteError(3, 1008, u"The write failed."_s, u"70 03 00"_s);
        QCOMPARE(w.lastMessage(),
                 QStringLiteral("Writing Error: (3)   The write failed.\nA buffer under-run has "
                                "occurred (1008).\n Error Sense Data: 70 03 00"));
        QCOMPARE(w.dialogs.shown.last().icon, MessageIcon::Error);
        w.find<QPushButton>("cmdWriteDisc")->click();
        Q_EMIT writer.WriteError(2, 0, u"Refused."_s, u""_s);
        QCOMPARE(w.lastMessage(), QStringLiteral("Writing Error: (2)   Refused.\n"));
        QVERIFY(w.window->isIdle());

        w.find<QPushButton>("cmdWriteDisc")->click();
        Q_EMIT writer.WritePreparing();
        w.find<QPushButton>("cmdCancel")->click();
        QCOMPARE(w.panel(1), QStringLiteral("Aborting Write...Please Wait!"));
        QCOMPARE(writer.calls.count(u"AbortWrite()"_s), 1);
        Q_EMIT writer.WriteCancelled();
        QCOMPARE(w.panel(1), QStringLiteral("Writing Cancelled......"));
        QCOMPARE(w.lastMessage(), QStringLiteral("Writing Cancelled!"));

        // With verification: no message and no eject until it has ended.
        w.find<QCheckBox>("chkAutoVerify")->setChecked(true);
        w.find<QPushButton>("cmdWriteDisc")->click();
        const qsizetype shown = w.dialogs.shown.size();
        Q_EMIT writer.WriteCompleted();
        QCOMPARE(w.dialogs.shown.size(), shown);
        Q_EMIT writer.VerifyStarted(2);
        QCOMPARE(w.panel(1), QStringLiteral("Auto-Verify... 2 new files."));
        Q_EMIT writer.VerifyProgress(u"\\a.wlm"_s, u"/src/a.wlm"_s, 0, 0, 2, 1, 2);
        QCOMPARE(w.lastMessage(),
                 QStringLiteral("Verify Error - Source and Destination file did "
                                "not match: \n\\a.wlm (disc)\n/src/a.wlm (source)"));
        QCOMPARE(w.dialogs.shown.last().icon, MessageIcon::None);
        Q_EMIT writer.VerifyProgress(u"\\b.wlm"_s, u"/src/b.wlm"_s, 0, 0, 4, 2, 2);
        QCOMPARE(w.dialogs.shown.size(), shown + 1);
        QCOMPARE(w.panel(1), QStringLiteral("Auto-Verify... \\b.wlm"));
        QCOMPARE(progress->value(), 100);
        QCOMPARE(writer.calls.filter(u"MoveTray"_s), QStringList{u"MoveTray(false)"_s});
        Q_EMIT writer.VerifyCompleted(2, 1);
        QCOMPARE(w.panel(1), QStringLiteral("Auto-Verify...Complete (1 of 2 MATCHED)"));
        QCOMPARE(w.lastMessage(), QStringLiteral("Writing and Verify is complete!"));
        QCOMPARE(writer.calls.filter(u"MoveTray"_s), QStringList(2, u"MoveTray(false)"_s));

        // A test write on a CD is complete without an eject.
        writer.mediaType = DiscWriter::MediaCdR;
        w.find<QCheckBox>("chkAutoVerify")->setChecked(false);
        w.find<QCheckBox>("chkTestWrite")->setChecked(true);
        w.find<QPushButton>("cmdWriteDisc")->click();
        Q_EMIT writer.WriteCompleted();
        QCOMPARE(w.lastMessage(), QStringLiteral("Writing is complete!"));
        QCOMPARE(writer.calls.filter(u"MoveTray"_s).size(), 2);
    }

    void noRecorder()
    {
        qputenv("QUILLORY_DISC_DRIVES", "");
        BurnDiscWriter writer;
        BurnWindow w(writer);
        QCOMPARE(w.dialogs.messageTexts(),
                 QStringList{u"There are no compatible CDR drives reported.\nSome older CDR "
                             u"drives are not currently supported."_s});
        w.find<QPushButton>("cmdWriteDisc")->click();
        w.trigger("mnuCDRecorderImportPreviousSession");
        QCOMPARE(w.dialogs.messageTexts().mid(1),
                 QStringList(2, QStringLiteral("A drive is not selected or does not exist.")));
        QCOMPARE(w.window->selectedDevice(), -1);
    }

    // The tests run on a netbook's 1024x600 screen, smaller than the form: the window starts
    // within it, its frame allowed for.
    void startsWithinASmallScreen()
    {
        ScriptedDiscWriter writer;
        BurnWindow w(writer);
        const QSize screen = w.window->screen()->availableGeometry().size();
        QCOMPARE(screen.height(), 600);
        QVERIFY(w.window->width() + 16 <= screen.width());
        QVERIFY(w.window->height() + 48 <= screen.height());
    }

    void discInformationAsksTheWindowsWriter()
    {
        ScriptedDiscWriter writer;
        writer.mediaType = DiscWriter::MediaNone;
        BurnWindow w(writer);
        w.trigger("mnuCDRecorderDiscInformation");
        QCOMPARE(w.lastMessage(), u"No Media Loaded...Cannot Get Disc Info!"_s);
    }

    void editingTheCompilation()
    {
        ImageRecorder r;
        BurnWindow w(*r.writer);
        QCOMPARE(w.window->windowTitle(), QStringLiteral("Backup your data to CD and DVD"));
        QCOMPARE(w.tree()->topLevelItem(0)->text(0), QStringLiteral("Windows Live Mail Backup"));
        QCOMPARE(w.panel(1), QStringLiteral("Data Image Size: 0.00 MB  "));
        QCOMPARE(w.panel(2), QStringLiteral("Files: 0"));
        QCOMPARE(w.panel(3), QStringLiteral("Directories: 0"));
        QCOMPARE(w.find<QComboBox>("cboDevices")->currentText().section(QLatin1Char(':'), 0, 0),
                 r.image);

        const QString docs = r.folder.filePath(QStringLiteral("Docs"));
        QDir().mkpath(docs + QStringLiteral("/Inner"));
        writeFile(docs + QStringLiteral("/inside.txt"), "x");
        w.drop(w.list(), {docs, r.file(QStringLiteral("top.wlm"), 3000)});
        QVERIFY(w.node(QStringLiteral("Docs")) && w.node(QStringLiteral("Inner")));
        QCOMPARE(w.listed(), QStringList{u"top.wlm"_s});
        QCOMPARE(w.list()->topLevelItem(0)->text(1), QStringLiteral("3.00 KB"));
        QCOMPARE(w.panel(2), QStringLiteral("Files: 2"));
        QCOMPARE(w.panel(3), QStringLiteral("Directories: 2"));

        w.tree()->setCurrentItem(w.node(QStringLiteral("Docs")));
        const QString longName = QStringLiteral("n").repeated(65);
        w.drop(w.tree(), {r.file(longName, 10)});
        QCOMPARE(w.listed(), (QStringList{u"inside.txt"_s, longName}));

        w.list()->clearSelection();
        w.trigger("mnuFileRemoveFile");
        QCOMPARE(w.lastMessage(), noItem);
        w.list()->topLevelItem(1)->setSelected(true);
        w.rename(w.list(), "mnuFileRenameFile", QString());
        QCOMPARE(w.lastMessage(), QStringLiteral("Item name cannot be blank."));
        w.rename(w.list(), "mnuFileRenameFile", QStringLiteral("m").repeated(65));
        QCOMPARE(w.lastMessage(),
                 QStringLiteral("Item Name violates Joliet naming rules (64 Char Max)."));
        w.rename(w.list(), "mnuFileRenameFile", QStringLiteral("short.txt"));
        QCOMPARE(w.listed(), (QStringList{u"inside.txt"_s, u"short.txt"_s}));

        w.tree()->setCurrentItem(w.tree()->topLevelItem(0));
        const qsizetype shown = w.dialogs.shown.size();
        w.trigger("mnuFileRenameDir");
        QCOMPARE(w.lastMessage(), QStringLiteral("Root directory can not be renamed."));
        QCOMPARE(w.dialogs.shown.size(), shown + 1);
        QVERIFY(!w.tree()->viewport()->findChild<QLineEdit *>() ||
                !w.tree()->viewport()->findChild<QLineEdit *>()->isVisible());

        // The directories below a renamed one follow it.
        w.tree()->setCurrentItem(w.node(QStringLiteral("Docs")));
        w.rename(w.tree(), "mnuFileRenameDir", QStringLiteral("Papers"));
        QVERIFY(w.node(QStringLiteral("Papers")) && !w.node(QStringLiteral("Docs")));
        w.tree()->setCurrentItem(w.node(QStringLiteral("Inner")));
        w.trigger("mnuFileRemoveDir");
        QVERIFY(!w.node(QStringLiteral("Inner")));
        QCOMPARE(w.panel(3), QStringLiteral("Directories: 1"));

        w.find<QLineEdit>("txtVolIdentifier")->setText(QStringLiteral("Mine"));
        QCOMPARE(w.tree()->topLevelItem(0)->text(0), QStringLiteral("Mine"));
        w.trigger("mnuFileClear");
        QCOMPARE(w.tree()->topLevelItemCount(), 1);
        QCOMPARE(w.tree()->topLevelItem(0)->text(0), QStringLiteral("New Disc"));
        QVERIFY(w.listed().isEmpty());
        QCOMPARE(w.panel(2), QStringLiteral("Files: 0"));
    }

    void handedOverArchiveWrittenAndVerified()
    {
        ImageRecorder r;
        const QString archive = r.file(QStringLiteral("brevnor.wlm"), 700000);
        BurnWindow w(*r.writer, QStringLiteral("brevnor.wlm"), archive);
        QCOMPARE(w.listed(), QStringList{u"brevnor.wlm"_s});
        w.find<QCheckBox>("chkAutoVerify")->setChecked(true);
        w.find<QPushButton>("cmdWriteDisc")->click();
        QVERIFY(w.waitFor(QStringLiteral("Writing and Verify is complete!")));
        QCOMPARE(w.panel(1), QStringLiteral("Auto-Verify...Complete (1 of 1 MATCHED)"));
        QVERIFY(!w.dialogs.messageTexts().contains(QStringLiteral("Writing is complete!")));
        QVERIFY(w.window->isIdle());
        QCOMPARE(r.onDisc(), (QMap<QString, QByteArray>{{u"brevnor.wlm"_s, readFile(archive)}}));
    }

    // A disc with sessions: the window asks before a new session would hide their files.
    void writingToADiscWithSessionsAsksFirst_data()
    {
        QTest::addColumn<MessageAnswer>("answer");
        QTest::addColumn<QStringList>("newestTree");
        QTest::addColumn<QString>("label");
        QTest::newRow("import first")
            << MessageAnswer::Yes << QStringList{u"first.wlm"_s, u"second.wlm"_s}
            << u"Session One"_s;
        QTest::newRow("write anyway")
            << MessageAnswer::No << QStringList{u"second.wlm"_s} << u"Windows Live Mail Backup"_s;
        QTest::newRow("cancel") << MessageAnswer::Cancel << QStringList{u"first.wlm"_s}
                                << u"Session One"_s;
    }
    void writingToADiscWithSessionsAsksFirst()
    {
        QFETCH(MessageAnswer, answer);
        QFETCH(QStringList, newestTree);
        QFETCH(QString, label);
        ImageRecorder r;
        {
            BurnWindow w(*r.writer, u"first.wlm"_s, r.file(u"first.wlm"_s, 20000, 1));
            w.find<QLineEdit>("txtVolIdentifier")->setText(u"Session One"_s);
            w.find<QPushButton>("cmdWriteDisc")->click();
            QVERIFY(w.waitFor(u"Writing is complete!"_s));
        }
        r.writer = std::make_unique<BurnDiscWriter>();
        BurnWindow w(*r.writer, u"second.wlm"_s, r.file(u"second.wlm"_s, 30000, 2));
        w.dialogs.answers.enqueue(answer);
        w.find<QPushButton>("cmdWriteDisc")->click();
        QVERIFY(
            w.lastMessage().startsWith(u"The disc already holds files from earlier sessions."_s));
        QCOMPARE(w.dialogs.shown.last().buttons, MessageButtons::YesNoCancel);
        if (answer != MessageAnswer::Cancel)
            QVERIFY(w.waitFor(u"Writing is complete!"_s));
        r.writer->InitializeDrives(false);
        QCOMPARE(r.onDisc().keys(), newestTree);
        QVERIFY(runProgram(u"isoinfo"_s, {u"-d"_s, u"-i"_s, r.image})
                    .out.contains("Volume id: " + label.toUtf8() + '\n'));
    }

    // The bar ends full; a refusal shows the writer's reason; the image offered is "Test.iso".
    void progressReasonsAndProposals()
    {
        ImageRecorder r;
        BurnWindow w(*r.writer, u"a.wlm"_s, r.file(u"a.wlm"_s, 50000));
        w.find<QPushButton>("cmdWriteDisc")->click();
        QVERIFY(w.waitFor(u"Writing is complete!"_s));
        QCOMPARE(w.find<QProgressBar>("prgTotalProgress")->value(), 100);

        w.trigger("mnuFileWriteDiscFromISO");
        QCOMPARE(w.dialogs.shown.last().kind, u"open"_s);
        QVERIFY(w.dialogs.shown.last().text.contains(u"|Test.iso|"_s));
        // An image never goes over what the disc holds: the disc is erased first.
        const QByteArray before = readFile(r.image);
        w.dialogs.fileAnswers.enqueue(r.file(u"other.iso"_s, 4096));
        w.trigger("mnuFileWriteDiscFromISO");
        QCOMPARE(w.lastMessage(), u"Error Writing ISO File."_s);
        QVERIFY(w.dialogs.shown.last().details.contains(u"erase the disc first"_s));
        QVERIFY(w.window->isIdle());
        QCOMPARE(readFile(r.image), before);

        ImageRecorder closed;
        writeFile(closed.image, noise(100000, 5));
        BurnWindow refused(*closed.writer, u"a.wlm"_s, closed.file(u"a.wlm"_s, 50000));
        refused.find<QPushButton>("cmdWriteDisc")->click();
        QCOMPARE(refused.lastMessage(), u"Disc Write could not be started."_s);
        QVERIFY(refused.dialogs.shown.last().details.contains(u"Erase it first"_s));

        // Imported files that had to go are told of.
        Q_EMIT closed.writer->ImportedFilesDropped(2);
        QVERIFY(refused.lastMessage().startsWith(
            u"2 files imported from the previous session were taken out of the compilation"_s));
    }

    void cancelledSaveSaysSoOnce()
    {
        ImageRecorder r;
        const QString big = r.folder.filePath(u"big.wlm"_s);
        QFile file(big);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(qint64(2) << 30));
        file.close();
        BurnWindow w(*r.writer, u"big.wlm"_s, big);
        connect(r.writer.get(), &DiscWriter::WriteProgress, w.window.get(),
                [&](int, qint64 done, qint64) {
                    if (done > 0)
                        r.writer->AbortWrite();
                });
        w.dialogs.fileAnswers.enqueue(r.folder.filePath(u"saved.iso"_s));
        w.trigger("mnuFileSaveImageAsISO");
        QCOMPARE(w.dialogs.messageTexts(), QStringList{u"Writing Cancelled!"_s});
    }

    // Escape or the close box with files in the compilation asks first.
    void closingWithACompilationAsks()
    {
        ImageRecorder r;
        BurnWindow w(*r.writer, u"a.wlm"_s, r.file(u"a.wlm"_s, 5000));
        w.dialogs.answers.enqueue(MessageAnswer::No);
        QTest::keyClick(w.window.get(), Qt::Key_Escape);
        QVERIFY(w.lastMessage().startsWith(u"Close the window?"_s));
        // Enter keeps the work: the question's default answer is No.
        QCOMPARE(w.dialogs.shown.last().buttons, MessageButtons::YesNoDefaultNo);
        QVERIFY(w.window->isVisible());
        w.window->close();
        QVERIFY(!w.window->isVisible());
    }

    // Files and folders come by the Action menu too; Delete and F2 act on the selection.
    void addingByMenuAndKeys()
    {
        ImageRecorder r;
        BurnWindow w(*r.writer);
        w.dialogs.fileAnswers.enqueue(r.file(u"a.wlm"_s, 100) + u"|"_s + r.file(u"b.wlm"_s, 100));
        w.trigger("mnuActionAddFiles");
        QCOMPARE(w.listed(), (QStringList{u"a.wlm"_s, u"b.wlm"_s}));
        QDir().mkpath(r.folder.filePath(u"Mail/sub"_s));
        w.dialogs.fileAnswers.enqueue(r.folder.filePath(u"Mail"_s));
        w.find<QPushButton>("cmdAddFolder")->click();
        QVERIFY(w.node(u"Mail"_s));
        QVERIFY(w.node(u"sub"_s));

        w.list()->setCurrentItem(w.list()->topLevelItem(0));
        w.list()->setFocus();
        QTest::keyClick(w.list(), Qt::Key_Delete);
        QCOMPARE(w.listed(), QStringList{u"b.wlm"_s});
        w.list()->setCurrentItem(w.list()->topLevelItem(0));
        QTest::keyClick(w.list(), Qt::Key_F2);
        QVERIFY(w.list()->viewport()->findChild<QLineEdit *>());
    }

    void isoSavedAndWrittenBack()
    {
        ImageRecorder r;
        const QString archive = r.file(QStringLiteral("a.wlm"), 50000);
        BurnWindow w(*r.writer, QStringLiteral("a.wlm"), archive);
        w.trigger("mnuFileSaveImageAsISO");
        QCOMPARE(w.dialogs.shown.size(), 1);
        QVERIFY(w.window->isIdle());

        const QString iso = r.folder.filePath(QStringLiteral("saved.iso"));
        w.dialogs.fileAnswers.enqueue(iso);
        w.find<QLineEdit>("txtVolIdentifier")->setText(QStringLiteral("Saved Label"));
        w.trigger("mnuFileSaveImageAsISO");
        QCOMPARE(w.dialogs.shown.at(1).title, QStringLiteral("Save as ISO File"));
        QCOMPARE(w.lastMessage(), QStringLiteral("ISO File Created successfully!"));
        QVERIFY(w.window->isIdle());

        w.dialogs.fileAnswers.enqueue(iso);
        w.trigger("mnuFileWriteDiscFromISO");
        QVERIFY(w.waitFor(QStringLiteral("Writing is complete!")));
        QCOMPARE(w.dialogs.shown.at(3).title, QStringLiteral("Write ISO File"));
        QCOMPARE(r.onDisc(), (QMap<QString, QByteArray>{{u"a.wlm"_s, readFile(archive)}}));
        QVERIFY(runProgram(QStringLiteral("xorriso"),
                           {QStringLiteral("-indev"), r.image, QStringLiteral("-pvd_info")})
                    .out.contains("Saved Label"));
    }

    void previousSessionImportedAndExtended()
    {
        ImageRecorder r;
        const QString first = r.file(QStringLiteral("first.wlm"), 20000, 1);
        {
            BurnWindow w(*r.writer, QStringLiteral("first.wlm"), first);
            w.find<QLineEdit>("txtVolIdentifier")->setText(QStringLiteral("Session One"));
            w.find<QPushButton>("cmdWriteDisc")->click();
            QVERIFY(w.waitFor(QStringLiteral("Writing is complete!")));
        }
        r.writer = std::make_unique<BurnDiscWriter>();
        BurnWindow w(*r.writer);
        w.trigger("mnuCDRecorderImportPreviousSession");
        QCOMPARE(w.find<QLineEdit>("txtVolIdentifier")->text(), QStringLiteral("Session One"));
        QCOMPARE(w.listed(), QStringList{u"first.wlm"_s});

        const QString again = r.folder.filePath(QStringLiteral("again/first.wlm"));
        QDir().mkpath(r.folder.filePath(QStringLiteral("again")));
        writeFile(again, "newer");
        w.dialogs.answers.enqueue(MessageAnswer::Cancel);
        w.drop(w.list(), {again, r.file(QStringLiteral("second.wlm"), 30000, 2)});
        QCOMPARE(w.dialogs.shown.last().title, QStringLiteral("Replace imported file..."));
        QCOMPARE(w.lastMessage(),
                 QStringLiteral("Imported file from the last session on this disc: \n\\first.wlm\n"
                                "Would you like to replace it with: \n") +
                     again + QStringLiteral(" ?"));
        QCOMPARE(w.dialogs.shown.last().buttons, MessageButtons::OkCancel);
        w.find<QPushButton>("cmdWriteDisc")->click();
        QVERIFY(w.waitFor(QStringLiteral("Writing is complete!")));
        const auto disc = r.onDisc();
        QCOMPARE(disc.value(QStringLiteral("first.wlm")), readFile(first));
        QCOMPARE(disc.value(QStringLiteral("second.wlm")),
                 readFile(r.folder.filePath(QStringLiteral("second.wlm"))));
    }

    // libburn keeps a cancelled write's drive busy for the rest of the process: this comes last.
    void cancelledWrite()
    {
        ImageRecorder r;
        const QString big = r.folder.filePath(QStringLiteral("big.wlm"));
        QFile file(big);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(qint64(3) << 30));
        file.close();
        BurnWindow w(*r.writer, QStringLiteral("big.wlm"), big);
        connect(r.writer.get(), &DiscWriter::WriteProgress, w.window.get(),
                [&](int, qint64 done, qint64) {
                    if (done > 0 && w.find<QPushButton>("cmdCancel")->isEnabled())
                        w.find<QPushButton>("cmdCancel")->click();
                });
        w.find<QPushButton>("cmdWriteDisc")->click();
        QVERIFY(w.waitFor(QStringLiteral("Writing Cancelled!")));
        QCOMPARE(w.panel(1), QStringLiteral("Writing Cancelled......"));
        QVERIFY(w.window->isIdle());
        QCOMPARE(w.listed(), QStringList{u"big.wlm"_s});
    }
};

QUILLORY_TEST(BurnWindowTest)
#include "tst_frmmaindvdwrite.moc"
