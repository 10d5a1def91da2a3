#include "discfixture.h"
#include "platform/disc/burnheaders.h"
#include "platform/disc/burnlibrary.h"
#include "platform/disc/compilation.h"
#include "platform/disc/discverify.h"
#include "platform/disc/imagefiledrives.h"
#include "platform/disc/isowriting.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStorageInfo>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <utime.h>

using namespace quillory;
using quillory::test::DiscEvents;
using quillory::test::extractedWith7zip;
using quillory::test::extractedWithXorriso;
using quillory::test::ImageDrive;
using quillory::test::noise;
using quillory::test::readFile;
using quillory::test::treeOf;
using quillory::test::writeFile;

namespace {

bool writeAndWait(ImageDrive &drive)
{
    drive.events->log.clear();
    return drive.writer->StartWrite() && drive.events->waitForEnd() &&
           drive.events->has(QStringLiteral("WriteCompleted"));
}

// A file that reads as zeros and takes no room: big images without big disks.
QString sparseFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
        return {};
    return path;
}

void setModified(const QString &path, const QDateTime &time)
{
    const struct utimbuf times {
        time.toSecsSinceEpoch(), time.toSecsSinceEpoch()
    };
    QVERIFY(::utime(QFile::encodeName(path).constData(), &times) == 0);
}

// The listing line of `name` (the name ending the line, letters in any case), else empty.
QByteArray lineOf(const QByteArray &listing, const QByteArray &name)
{
    for (const QByteArray &line : listing.split('\n')) {
        const QByteArray lower = line.trimmed().toLower();
        if (lower.endsWith(name.toLower()) || lower.contains(name.toLower() + ';'))
            return line;
    }
    return {};
}

// The record of `path` in a `7zz l -slt` listing: its lines up to the next empty one.
QByteArray sevenZipRecord(const QByteArray &listing, const QByteArray &path)
{
    QByteArray record;
    bool in = false;
    for (const QByteArray &line : listing.split('\n')) {
        in = in ? !line.trimmed().isEmpty() : line.trimmed() == "Path = " + path;
        if (in)
            record += line + '\n';
    }
    return record;
}

// The volume label in the Joliet descriptor of an image's newest session head.
QString jolietLabel(const QString &image)
{
    QFile file(image);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(17 * 2048))
        return {};
    const QByteArray block = file.read(2048);
    if (block.size() < 72 || block[0] != 2)
        return {};
    QString label;
    for (int i = 40; i < 72; i += 2)
        label += QChar(char16_t((uchar(block[i]) << 8) | uchar(block[i + 1])));
    return label.trimmed();
}

} // namespace

class DiscWriterTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void imageFileDrivesAreValidated()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("a.iso"));
        writeFile(file, QByteArray("x"));
        const QString fresh = dir.filePath(QStringLiteral("new.iso"));
        const QString list = QStringList{dir.path(),
                                         QStringLiteral("relative.iso"),
                                         dir.filePath(QStringLiteral("missing/b.iso")),
                                         file,
                                         fresh,
                                         file,
                                         QStringLiteral("/dev/null")}
                                 .join(QLatin1Char(':'));
        QCOMPARE(usableImageFileDrives(list), (QStringList{file, fresh}));
        const QString link = dir.filePath(QStringLiteral("link.iso"));
        QVERIFY(QFile::link(file, link));
        const ImageFileDriveList sorted =
            sortImageFileDrives(list + QStringLiteral(":/proc/self/mem:") + link);
        QCOMPARE(sorted.usable, (QStringList{file, fresh, link}));
        QCOMPARE(sorted.leftOut,
                 (QList<std::pair<QString, QString>>{
                     {dir.path(), QStringLiteral("a folder")},
                     {QStringLiteral("relative.iso"), QStringLiteral("a relative path")},
                     {dir.filePath(QStringLiteral("missing/b.iso")),
                      QStringLiteral("its folder does not exist")},
                     {QStringLiteral("/dev/null"), QStringLiteral("a device, pipe or socket")},
                     {QStringLiteral("/proc/self/mem"),
                      QStringLiteral("under /proc, not an image file")}}));
    }

    void drivesAndFactsOfBlankAppendableAndForeignImages()
    {
        ImageDrive drive;
        BurnDiscWriter &w = *drive.writer;
        QCOMPARE(w.DeviceIsWriter(w.DeviceCount() - 1), true);
        QCOMPARE(w.MediaType(), int(DiscWriter::MediaDvdPlusRw));
        QVERIFY(w.DriveSupports(DiscWriter::SupportsDvdPlusRw));
        QVERIFY(w.DriveSupports(DiscWriter::SupportsBufferProtection));
        QVERIFY(!w.DriveSupports(DiscWriter::SupportsCdRw));
        QCOMPARE(w.DiscStatus(), int(DiscWriter::DiscEmpty));
        QCOMPARE(w.SessionCount(), 0);
        QCOMPARE(w.LastSessionState(), int(DiscWriter::SessionEmpty));
        QVERIFY(w.MultiSessionAllowed());
        QVERIFY(!w.ImportAllowed());
        QVERIFY(w.FreeBlocks() > 0);
        QCOMPARE(w.UsedBlocks(), 0);
        QCOMPARE(w.DiscType(), int(DiscWriter::CdUnknown));
        QVERIFY(w.MoveTray(false) && w.MoveTray(true));

        QVERIFY(w.AddFolder(QStringLiteral("\\"), drive.makeSources()));
        QVERIFY(writeAndWait(drive));
        QCOMPARE(w.DiscStatus(), int(DiscWriter::DiscOpen));
        QCOMPARE(w.SessionCount(), 1);
        QCOMPARE(w.LastSessionState(), int(DiscWriter::SessionClosed));
        QVERIFY(w.ImportAllowed());
        QVERIFY(w.MultiSessionAllowed());
        QVERIFY(w.HasFileSystem(DiscWriter::FileSystemIso9660));
        QVERIFY(w.HasFileSystem(DiscWriter::FileSystemJoliet));
        QVERIFY(!w.HasFileSystem(DiscWriter::FileSystemUdf));
        QVERIFY(w.UsedBlocks() > 0);
        QCOMPARE(w.CapacityBlocks(), w.UsedBlocks() + w.FreeBlocks());
        QVERIFY(!w.CloseMedia(true));

        writeFile(drive.image, noise(200000, 9));
        QVERIFY(drive.reselect());
        QCOMPARE(w.DiscStatus(), int(DiscWriter::DiscClosed));
        QVERIFY(w.HasFileSystem(DiscWriter::FileSystemOther));
        QVERIFY(!w.HasFileSystem(DiscWriter::FileSystemIso9660));
        QVERIFY(!w.ImportAllowed());
        QVERIFY(!w.StartWrite());
        QVERIFY(w.LastError().contains(QStringLiteral("Erase it first")));
    }

    void compilationEvents()
    {
        ImageDrive drive;
        BurnDiscWriter &w = *drive.writer;
        const QString sources = drive.makeSources();
        QVERIFY(w.AddFolder(QStringLiteral("\\Docs"), sources + QStringLiteral("/Mail\\*.*")));
        QCOMPARE(
            drive.events->log,
            (QStringList{QStringLiteral("DirectoryAdded(\\,\\Docs)"),
                         QStringLiteral("DirectoryAdded(\\Docs,\\Docs\\2024-05)"),
                         QStringLiteral("DirectoryAdded(\\Docs\\2024-05,\\Docs\\2024-05\\deep)")}));
        QVERIFY(
            w.AddFile(QStringLiteral("\\Docs\\b.wlm"), sources + QStringLiteral("/backup.wlm")));
        QVERIFY(!w.AddFile(QStringLiteral("\\x"), sources + QStringLiteral("/missing")));
        QCOMPARE(w.FileCount(), 4);
        QCOMPARE(w.DirectoryCount(), 3);

        QList<QPair<QString, qint64>> listed;
        connect(&w, &DiscWriter::FileListed, this,
                [&](int, const QString &key, const QString &, int, bool dir, const QDateTime &,
                    qint64 size) {
                    listed.append({key + (dir ? QStringLiteral("\\") : QString()), size});
                });
        w.ListDirectory(QStringLiteral("\\Docs"));
        std::sort(listed.begin(), listed.end());
        QCOMPARE(listed,
                 (QList<QPair<QString, qint64>>{
                     {QStringLiteral("\\Docs\\2024-05\\"), 0},
                     {QStringLiteral("\\Docs\\a message with a long name of sixty characters.eml"),
                      5000},
                     {QStringLiteral("\\Docs\\b.wlm"), 300000}}));

        QVERIFY(w.RenameDirectory(QStringLiteral("\\Docs\\2024-05"), QStringLiteral("May")));
        QVERIFY(!w.RenameDirectory(QStringLiteral("\\"), QStringLiteral("x")));
        QVERIFY(!w.RenameFile(QStringLiteral("\\Docs\\b.wlm"), QString()));
        QVERIFY(!w.RenameFile(QStringLiteral("\\Docs\\b.wlm"), QStringLiteral("May")));
        QVERIFY(w.RenameFile(QStringLiteral("\\Docs\\b.wlm"), QStringLiteral("c.wlm")));
        QVERIFY(w.RemoveItem(QStringLiteral("\\Docs\\May")));
        QVERIFY(!w.RemoveItem(QStringLiteral("\\Docs\\May")));
        QCOMPARE(drive.events->log.mid(3),
                 (QStringList{QStringLiteral("DirectoryRenamed(\\Docs\\2024-05,\\Docs\\May)"),
                              QStringLiteral("DirectoryRemoved(\\Docs\\May)")}));
        QCOMPARE(w.FileCount(), 2);
        w.ClearImage();
        QCOMPARE(w.FileCount(), 0);
        QCOMPARE(drive.events->log.last(), QStringLiteral("ImageCleared"));
    }

    void writeReadBackByXorrisoAnd7zip_data()
    {
        QTest::addColumn<int>("joliet");
        QTest::newRow("Joliet") << 1;
        QTest::newRow("Rock Ridge only") << 0;
    }
    void writeReadBackByXorrisoAnd7zip()
    {
        QFETCH(int, joliet);
        ImageDrive drive;
        BurnDiscWriter &w = *drive.writer;
        const QString sources = drive.makeSources();
        w.setJolietNames(joliet);
        w.setVolumeLabel(QStringLiteral("Windows Live Mail Backup of Mail Data"));
        QVERIFY(w.AddFolder(QStringLiteral("\\"), sources));
        w.setAutoVerify(true);
        drive.events->log.clear();
        QVERIFY(w.StartWrite());
        QVERIFY(drive.events->waitForEnd(
            {QStringLiteral("VerifyCompleted"), QStringLiteral("WriteError")}));
        QVERIFY2(drive.events->has(QStringLiteral("WriteCompleted")),
                 qPrintable(drive.events->log.join(QLatin1Char(' '))));
        QCOMPARE(drive.events->log.filter(QStringLiteral("VerifyStarted")),
                 QStringList{QStringLiteral("VerifyStarted(4)")});
        QCOMPARE(drive.events->log.last(), QStringLiteral("VerifyCompleted(4,4)"));

        const QMap<QString, QByteArray> expected = treeOf(sources);
        QCOMPARE(extractedWithXorriso(drive.image, drive.folder.filePath(QStringLiteral("x"))),
                 expected);
        QCOMPARE(w.HasFileSystem(DiscWriter::FileSystemJoliet), joliet == 1);
        if (joliet)
            QCOMPARE(extractedWith7zip(drive.image, drive.folder.filePath(QStringLiteral("7"))),
                     expected);
        const test::ProgramRun listing =
            test::runProgram(QStringLiteral("7zz"), {QStringLiteral("l"), drive.image});
        QCOMPARE(listing.exitCode, 0);
        QVERIFY(listing.out.toLower().contains("backup.wlm"));
        QVERIFY(drive.reselect());
        QVERIFY(w.ImportSession(true));
        QCOMPARE(w.VolumeLabel(), QStringLiteral("Windows Live Mail Backup of Mail"));
    }

    void savedImageReplacesTheOldFileOnlyWhenComplete()
    {
        ImageDrive drive;
        BurnDiscWriter &w = *drive.writer;
        const QString sources = drive.makeSources();
        // Large enough that the disk's writeback is started several times during the save.
        QVERIFY(!sparseFile(sources + QStringLiteral("/large.wlm"), qint64(40) << 20).isEmpty());
        QVERIFY(w.AddFolder(QStringLiteral("\\"), sources));
        const QString iso = drive.folder.filePath(QStringLiteral("saved.iso"));
        writeFile(iso, QByteArray("old image"));
        const QString killedSave =
            iso + QStringLiteral(".quillory-%1-0badf00d").arg(quillory::test::gonePid());
        writeFile(killedSave, QByteArray("half an image"));
        QVERIFY2(w.SaveImageToFile(iso), qPrintable(w.LastError()));
        QVERIFY(!QFileInfo::exists(killedSave));
        QCOMPARE(QFileInfo(iso).size(), w.ImageBlocks() * 2048);
        QCOMPARE(extractedWithXorriso(iso, drive.folder.filePath(QStringLiteral("x"))),
                 treeOf(sources));
        QCOMPARE(extractedWith7zip(iso, drive.folder.filePath(QStringLiteral("7"))),
                 treeOf(sources));

        const QByteArray good = readFile(iso);
        const QStringList before = QDir(drive.folder.path()).entryList(QDir::Files);
        writeFile(sources + QStringLiteral("/backup.wlm"), QByteArray("shrunk"));
        QVERIFY(!w.SaveImageToFile(iso));
        QVERIFY(drive.events->log.contains(QStringLiteral("FileError(2,backup.wlm)")));
        QFile::remove(sources + QStringLiteral("/Mail/2024-05/Grüße.txt"));
        QVERIFY(!w.SaveImageToFile(iso));
        QVERIFY(drive.events->log.contains(QStringLiteral("FileError(0,Grüße.txt)")));
        QVERIFY(!w.SaveImageToFile(drive.folder.filePath(QStringLiteral("new.iso"))));
        QCOMPARE(readFile(iso), good);
        QCOMPARE(QDir(drive.folder.path()).entryList(QDir::Files), before);
    }

    // Sources that change while the image is made are only found once it is made: the look
    // comes before the image may replace the old one.
    void aSaveRefusedWhenCompleteLeavesTheOldFile()
    {
        const BurnLibrary library;
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("a.txt"));
        QVERIFY(writeFile(source, noise(5000, 1)));
        Compilation compilation;
        QVERIFY(compilation.addFile(
            QStringLiteral("\\a.txt"), source,
            [](const QString &, const QString &, const QString &) {},
            [](const QString &, const QString &) { return true; }));
        const QString iso = dir.filePath(QStringLiteral("saved.iso"));
        QVERIFY(writeFile(iso, QByteArray("old image")));
        const std::atomic<bool> cancel = false;
        qint64 written = 0;
        const Result result = saveStandaloneImage(
            compilation.image(), true, iso, [&](qint64 done, qint64) { written = done; }, cancel,
            [&] {
                return written > 0 ? Result::failure(QStringLiteral("changed")) : Result::success();
            });
        QCOMPARE(result.message(), QStringLiteral("changed"));
        QCOMPARE(readFile(iso), QByteArray("old image"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 (QStringList{QStringLiteral("a.txt"), QStringLiteral("saved.iso")}));
    }

    void sourcesThatChangedAfterAddingFailTheWrite()
    {
        ImageDrive drive;
        BurnDiscWriter &w = *drive.writer;
        const QString sources = drive.makeSources();
        QVERIFY(w.AddFolder(QStringLiteral("\\"), sources));
        QFile::remove(sources + QStringLiteral("/backup.wlm"));
        QVERIFY(!writeAndWait(drive));
        QCOMPARE(drive.events->log.filter(QStringLiteral("Error")),
                 (QStringList{QStringLiteral("FileError(0,backup.wlm)"),
                              QStringLiteral("WriteError(1,0)")}));
        QVERIFY(drive.reselect());
        QCOMPARE(w.DiscStatus(), int(DiscWriter::DiscEmpty));
    }

    // The same image whichever way it is made: each file's and folder's own time in all three
    // trees, a nine-level tree in place, the label as typed, names as they are.
    void imagesKeepDatesDeepTreesAndTheLabel_data()
    {
        QTest::addColumn<bool>("burn");
        QTest::newRow("burn") << true;
        QTest::newRow("save") << false;
    }
    void imagesKeepDatesDeepTreesAndTheLabel()
    {
        QFETCH(bool, burn);
        ImageDrive drive;
        BurnDiscWriter &w = *drive.writer;
        const QString src = drive.folder.filePath(QStringLiteral("src"));
        const QString deep = QStringLiteral("d1/d2/d3/d4/d5/d6/d7/d8/d9");
        QDir().mkpath(src + QLatin1Char('/') + deep);
        QDir().mkpath(src + QStringLiteral("/old"));
        writeFile(src + QLatin1Char('/') + deep + QStringLiteral("/deep.txt"), "deep\n");
        writeFile(src + QStringLiteral("/old/letter.eml"), "2001\n");
        writeFile(src + QStringLiteral("/a\\b.txt"), "backslash\n");
        const QString longName = QString(110, QLatin1Char('n')) + QStringLiteral(".eml");
        writeFile(src + QLatin1Char('/') + longName, "long\n");
        const QDateTime old(QDate(2001, 1, 2), QTime(12, 0), Qt::UTC);
        setModified(src + QStringLiteral("/old/letter.eml"), old.addDays(-1));
        setModified(src + QStringLiteral("/old"), old);

        w.setVolumeLabel(QStringLiteral("Mail Backup 2026"));
        QVERIFY(w.AddFolder(QStringLiteral("\\"), src));
        QVERIFY2(w.AddNotes().contains(QStringLiteral("\\") + longName), qPrintable(w.AddNotes()));
        const QString image =
            burn ? drive.image : drive.folder.filePath(QStringLiteral("saved.iso"));
        QVERIFY(burn ? writeAndWait(drive) : w.SaveImageToFile(image));
        if (burn) {
            // A second session keeps the old files' times.
            const QString more = drive.folder.filePath(QStringLiteral("more.txt"));
            writeFile(more, "more\n");
            QVERIFY(w.ImportSession(true));
            QVERIFY(w.AddFile(QStringLiteral("\\more.txt"), more));
            QVERIFY(writeAndWait(drive));
            QCOMPARE(w.SessionCount(), 2);
        }
        w.InitializeDrives(false); // lets go of the image file
        const test::ProgramRun bsdtar =
            test::runProgram(QStringLiteral("bsdtar"), {QStringLiteral("-tf"), image});
        QCOMPARE(bsdtar.exitCode, 0);
        QVERIFY2(bsdtar.out.contains((deep + QStringLiteral("/deep.txt")).toUtf8()),
                 bsdtar.err.constData());

        for (const QStringList &tree : {QStringList{}, QStringList{QStringLiteral("-J")},
                                        QStringList{QStringLiteral("-R")}}) {
            const QByteArray listing =
                test::runProgram(QStringLiteral("isoinfo"),
                                 tree +
                                     QStringList{QStringLiteral("-l"), QStringLiteral("-i"), image})
                    .out;
            QVERIFY2(lineOf(listing, "letter.eml").contains("Jan  1 2001"), listing.constData());
            QVERIFY2(lineOf(listing, " old").contains("Jan  2 2001"), listing.constData());
        }
        const QByteArray sevenZip =
            test::runProgram(QStringLiteral("7zz"),
                             {QStringLiteral("l"), QStringLiteral("-slt"), image})
                .out;
        QVERIFY2(sevenZipRecord(sevenZip, "old/letter.eml").contains("Modified = 2001-01-01"),
                 sevenZip.constData());
        QVERIFY(sevenZipRecord(sevenZip, "old").contains("Modified = 2001-01-02"));
        QVERIFY(sevenZip.contains(longName.left(99).toUtf8()));

        QVERIFY(test::runProgram(QStringLiteral("isoinfo"),
                                 {QStringLiteral("-d"), QStringLiteral("-i"), image})
                    .out.contains("Volume id: Mail Backup 2026\n"));
        QCOMPARE(jolietLabel(image), QStringLiteral("Mail Backup 2026"));
        const QMap<QString, QByteArray> extracted =
            extractedWithXorriso(image, drive.folder.filePath(QStringLiteral("x")));
        QCOMPARE(extracted.value(QStringLiteral("a\\b.txt")), QByteArray("backslash\n"));
        QCOMPARE(extracted.value(deep + QStringLiteral("/deep.txt")), QByteArray("deep\n"));
    }

    // Imported files belong to the medium they came from: when it goes, they go, and what is
    // written or saved then holds no file that cannot be read.
    void importedFilesLeaveWithTheirMedium_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("another drive") << QStringLiteral("drive");
        QTest::newRow("quick erase") << QStringLiteral("quick");
        QTest::newRow("full erase") << QStringLiteral("full");
    }
    void importedFilesLeaveWithTheirMedium()
    {
        QFETCH(QString, change);
        ImageDrive drive;
        BurnDiscWriter &w = *drive.writer;
        QVERIFY(w.AddFolder(QStringLiteral("\\"), drive.makeSources(QStringLiteral("first"))));
        QVERIFY(writeAndWait(drive));
        const QString other = drive.folder.filePath(QStringLiteral("other.iso"));
        qputenv("QUILLORY_DISC_DRIVES", (drive.image + QLatin1Char(':') + other).toUtf8());
        QVERIFY(drive.reselect());
        w.ClearImage();
        QVERIFY(w.ImportSession(true));
        const QString added = drive.folder.filePath(QStringLiteral("added.wlm"));
        writeFile(added, noise(20000, 8));
        QVERIFY(w.AddFile(QStringLiteral("\\added.wlm"), added));
        drive.events->log.clear();
        if (change == QLatin1String("drive")) {
            QVERIFY(w.SelectDevice(1));
        } else {
            QVERIFY(w.EraseDisc(change == QLatin1String("quick")));
            QVERIFY(drive.events->waitForEnd());
        }
        QVERIFY2(drive.events->log.contains(QStringLiteral("ImportedFilesDropped(4)")),
                 qPrintable(drive.events->log.join(QLatin1Char(' '))));
        QVERIFY(!w.HasImportedFiles());
        const QMap<QString, QByteArray> expected{{QStringLiteral("added.wlm"), readFile(added)},
                                                 {QStringLiteral("empty/"), {}}};

        const QString iso = drive.folder.filePath(QStringLiteral("saved.iso"));
        QVERIFY2(w.SaveImageToFile(iso), qPrintable(w.LastError()));
        QCOMPARE(extractedWithXorriso(iso, drive.folder.filePath(QStringLiteral("s"))), expected);
        w.setAutoVerify(true);
        drive.events->log.clear();
        QVERIFY(w.StartWrite());
        QVERIFY(drive.events->waitForEnd(
            {QStringLiteral("VerifyCompleted"), QStringLiteral("WriteError")}));
        QCOMPARE(drive.events->log.last(), QStringLiteral("VerifyCompleted(1,1)"));
        const QString written = change == QLatin1String("drive") ? other : drive.image;
        w.InitializeDrives(false);
        QCOMPARE(extractedWithXorriso(written, drive.folder.filePath(QStringLiteral("w"))),
                 expected);
    }

    // What an add cannot take is named; what it leaves out is told.
    void addsNameWhatTheyRefuseAndLeaveOut()
    {
        ImageDrive drive;
        BurnDiscWriter &w = *drive.writer;
        const QString src = drive.makeSources();
        QVERIFY(QFile::link(src + QStringLiteral("/Mail"), src + QStringLiteral("/to folder")));
        QVERIFY(QFile::link(src + QStringLiteral("/gone"), src + QStringLiteral("/to nothing")));
        QVERIFY(::mkfifo(QFile::encodeName(src + QStringLiteral("/pipe")).constData(), 0600) == 0);
        QVERIFY(w.AddFolder(QStringLiteral("\\"), src));
        for (const char *left : {"to folder (a link to a folder)", "to nothing (a link to nothing)",
                                 "pipe (not a file or folder)"})
            QVERIFY2(w.AddNotes().contains(src + QLatin1Char('/') + QLatin1String(left)),
                     qPrintable(w.AddNotes()));
        const int files = w.FileCount();

        // A second item of the same name is refused by name, and nothing of its folder is added.
        const QString again = drive.makeSources(QStringLiteral("again"));
        QVERIFY(!w.AddFile(QStringLiteral("\\backup.wlm"), again + QStringLiteral("/backup.wlm")));
        QVERIFY2(w.LastError().contains(QStringLiteral("same name")) &&
                     w.LastError().contains(QStringLiteral("\\backup.wlm")),
                 qPrintable(w.LastError()));
        QVERIFY(!w.AddFolder(QStringLiteral("\\"), again));
        QVERIFY(w.LastError().contains(QStringLiteral("\\Mail\\2024-05\\Grüße.txt")));
        QCOMPARE(w.FileCount(), files);

        // The drive's own image file cannot go into itself.
        QVERIFY(w.AddFile(QStringLiteral("\\disc.iso"), drive.image));
        QVERIFY(!w.StartWrite());
        QVERIFY2(w.LastError().contains(QStringLiteral("cannot hold itself")),
                 qPrintable(w.LastError()));
    }

    void compilationLargerThanTheMediumIsRefused()
    {
        ImageDrive drive;
        BurnDiscWriter &w = *drive.writer;
        // Level 3 takes a file over 4 GiB; this one is larger than the free space here.
        const qint64 huge = QStorageInfo(drive.folder.path()).bytesAvailable() + (1LL << 30);
        const QString big = sparseFile(drive.folder.filePath(QStringLiteral("big.wlm")), huge);
        if (big.isEmpty())
            QSKIP("The file system here holds no sparse file that large.");
        QVERIFY(w.AddFile(QStringLiteral("\\big.wlm"), big));
        QVERIFY(w.ImageBlocks() > huge / 2048);
        QVERIFY(w.FreeBlocks() < huge / 2048);
        QVERIFY(!w.StartWrite());
        QVERIFY2(w.LastError().contains(QStringLiteral("MB but the medium has only")),
                 qPrintable(w.LastError()));
        QCOMPARE(QFileInfo(drive.image).size(), 0);
    }

    void secondSessionGrowsTheImageAndImportsTheFirst()
    {
        ImageDrive drive;
        BurnDiscWriter &w = *drive.writer;
        const QString first = drive.makeSources(QStringLiteral("first"));
        QVERIFY(w.AddFolder(QStringLiteral("\\"), first));
        QVERIFY(writeAndWait(drive));
        const QString update = drive.folder.filePath(QStringLiteral("update.wlm"));
        writeFile(update, noise(70000, 5));

        drive.events->log.clear();
        QVERIFY(w.ImportSession(true));
        QCOMPARE(drive.events->log.first(), QStringLiteral("ImageCleared"));
        QVERIFY(drive.events->log.contains(
            QStringLiteral("DirectoryAdded(\\Mail\\2024-05,\\Mail\\2024-05\\deep)")));
        int asked = 0;
        connect(&w, &DiscWriter::ReplaceImportedFile, this,
                [&](const QString &imported, const QString &, int, bool &replace) {
                    ++asked;
                    replace = imported == QStringLiteral("\\Mail\\2024-05\\Grüße.txt");
                });
        QVERIFY(!w.AddFile(QStringLiteral("\\backup.wlm"), update));
        QVERIFY(w.AddFile(QStringLiteral("\\Mail\\2024-05\\Grüße.txt"), update));
        QVERIFY(w.AddFile(QStringLiteral("\\second\\update.wlm"), update));
        QCOMPARE(asked, 2);
        // The verify reads the imported files back too.
        w.setAutoVerify(true);
        drive.events->log.clear();
        QVERIFY(w.StartWrite());
        QVERIFY(drive.events->waitForEnd(
            {QStringLiteral("VerifyCompleted"), QStringLiteral("WriteError")}));
        QCOMPARE(drive.events->log.last(), QStringLiteral("VerifyCompleted(5,5)"));
        QCOMPARE(w.SessionCount(), 2);
        // The drive was taken anew for the write: imported data is read again after an import.
        const QString iso = drive.folder.filePath(QStringLiteral("saved.iso"));
        QVERIFY(!w.SaveImageToFile(iso));
        QVERIFY(w.LastError().contains(QStringLiteral("import the previous session again")));
        QCOMPARE(w.DiscStatus(), int(DiscWriter::DiscOpen));

        QMap<QString, QByteArray> expected = treeOf(first);
        expected[QStringLiteral("Mail/2024-05/Grüße.txt")] = readFile(update);
        expected[QStringLiteral("second/")] = QByteArray();
        expected[QStringLiteral("second/update.wlm")] = readFile(update);
        QCOMPARE(extractedWithXorriso(drive.image, drive.folder.filePath(QStringLiteral("x"))),
                 expected);
        QCOMPARE(extractedWith7zip(drive.image, drive.folder.filePath(QStringLiteral("7"))),
                 expected);
        QVERIFY(w.ImportSession(true));
        QVERIFY2(w.SaveImageToFile(iso), qPrintable(w.LastError()));
        QCOMPARE(extractedWithXorriso(iso, drive.folder.filePath(QStringLiteral("s"))), expected);
    }

    void eraseMakesTheImageBlank_data()
    {
        QTest::addColumn<bool>("quick");
        QTest::newRow("quick") << true;
        QTest::newRow("full") << false;
    }
    void eraseMakesTheImageBlank()
    {
        QFETCH(bool, quick);
        ImageDrive drive;
        BurnDiscWriter &w = *drive.writer;
        QVERIFY(w.AddFolder(QStringLiteral("\\"), drive.makeSources()));
        QVERIFY(writeAndWait(drive));
        drive.events->log.clear();
        QVERIFY(w.EraseDisc(quick));
        QVERIFY(drive.events->waitForEnd());
        QCOMPARE(drive.events->log,
                 (QStringList{QStringLiteral("EraseStarted"), QStringLiteral("EraseCompleted")}));
        QCOMPARE(w.DiscStatus(), int(DiscWriter::DiscEmpty));
        QVERIFY(!w.ImportAllowed());
        QCOMPARE(QFileInfo(drive.image).size() == 0, !quick);
    }

    void writingAnImageFile()
    {
        ImageDrive drive;
        BurnDiscWriter &w = *drive.writer;
        const QString sources = drive.makeSources();
        QVERIFY(w.AddFolder(QStringLiteral("\\"), sources));
        const QString iso = drive.folder.filePath(QStringLiteral("saved.iso"));
        QVERIFY(w.SaveImageToFile(iso));
        // What the drive's file held goes only with an erase.
        writeFile(drive.image, noise(9000000, 3));
        QVERIFY(drive.reselect());
        QVERIFY(!w.WriteImageFile(iso));
        QVERIFY(w.EraseDisc(false));
        QVERIFY(drive.events->waitForEnd());
        drive.events->log.clear();
        QVERIFY(w.WriteImageFile(iso));
        QVERIFY(drive.events->waitForEnd());
        QVERIFY(drive.events->has(QStringLiteral("WriteCompleted")));
        QCOMPARE(readFile(drive.image).left(QFileInfo(iso).size()), readFile(iso));
        QCOMPARE(extractedWithXorriso(drive.image, drive.folder.filePath(QStringLiteral("x"))),
                 treeOf(sources));
    }

    void anImageIsNeverWrittenOverSessions()
    {
        ImageDrive drive;
        BurnDiscWriter &w = *drive.writer;
        QVERIFY(w.AddFolder(QStringLiteral("\\"), drive.makeSources()));
        const QString iso = drive.folder.filePath(QStringLiteral("saved.iso"));
        QVERIFY(w.SaveImageToFile(iso));
        QVERIFY(writeAndWait(drive));
        const QByteArray before = readFile(drive.image);
        QVERIFY(!w.WriteImageFile(iso));
        QCOMPARE(w.LastError(), QStringLiteral("An image needs a blank medium: erase the disc first."));
        QCOMPARE(readFile(drive.image), before);
    }

    void aWriteCutOffLeavesTheMediumAsItWas_data()
    {
        QTest::addColumn<bool>("session");
        QTest::newRow("session onto an appendable medium") << true;
        QTest::newRow("image file onto a blank medium") << false;
    }
    // A file size limit cuts the image file's writes off half-way, as a drive's failing write
    // would: the write must fail, not complete.
    void aWriteCutOffLeavesTheMediumAsItWas()
    {
        QFETCH(bool, session);
        ImageDrive drive;
        BurnDiscWriter &w = *drive.writer;
        QVERIFY(w.AddFolder(QStringLiteral("\\"), drive.makeSources()));
        const QString iso = drive.folder.filePath(QStringLiteral("saved.iso"));
        if (session) {
            QVERIFY(writeAndWait(drive));
            w.ClearImage();
            const QString big = drive.folder.filePath(QStringLiteral("big.wlm"));
            QVERIFY(writeFile(big, noise(2 << 20, 4)));
            QVERIFY(w.AddFile(QStringLiteral("\\big.wlm"), big));
        } else {
            QVERIFY(w.SaveImageToFile(iso));
            QVERIFY(writeFile(drive.image, QByteArray()));
            QVERIFY(drive.reselect());
        }
        const QByteArray before = readFile(drive.image);
        QStringList descriptions;
        connect(&w, &DiscWriter::WriteError, this,
                [&](int, int, const QString &text, const QString &) { descriptions.append(text); });
        {
            const test::FileSizeLimit small(quint64(before.size()) + 100 * 1024);
            QVERIFY(small.set());
            drive.events->log.clear();
            QVERIFY(session ? w.StartWrite() : w.WriteImageFile(iso));
            QVERIFY(drive.events->waitForEnd());
        }
        QVERIFY2(drive.events->names().filter(QRegularExpression(QStringLiteral("^Write[CE]"))) ==
                     QStringList{QStringLiteral("WriteError")},
                 qPrintable(drive.events->log.join(QLatin1Char(' '))));
        QVERIFY2(descriptions.value(0).startsWith(QStringLiteral("The write failed")),
                 qPrintable(descriptions.join(QLatin1Char('\n'))));
        QCOMPARE(readFile(drive.image), before);
        QVERIFY(drive.reselect());
        QCOMPARE(w.SessionCount(), session ? 1 : 0);
    }

    void verifyFindsASourceChangedAfterTheWrite()
    {
        ImageDrive drive;
        BurnDiscWriter &w = *drive.writer;
        const QString sources = drive.makeSources();
        QVERIFY(w.AddFolder(QStringLiteral("\\"), sources));
        QVERIFY(writeAndWait(drive));
        const auto source = [&](const char *path) {
            return sources + QLatin1Char('/') + QString::fromUtf8(path);
        };
        QByteArray changed = readFile(source("backup.wlm"));
        changed[1000] = char(changed[1000] ^ 1);
        writeFile(source("backup.wlm"), changed);
        writeFile(source("Mail/2024-05/Grüße.txt"), QByteArray("hello, world\n"));
        const QString longName =
            QStringLiteral("a message with a long name of sixty characters.eml");
        const QList<SourceFile> files{
            {QStringLiteral("\\backup.wlm"), source("backup.wlm")},
            {QStringLiteral("\\Mail\\2024-05\\deep\\empty.dat"), source("gone")},
            {QStringLiteral("\\Mail\\2024-05\\Grüße.txt"), source("Mail/2024-05/Grüße.txt")},
            {QStringLiteral("\\not on the disc"), source("backup.wlm")},
            {QStringLiteral("\\Mail\\") + longName, sources + QStringLiteral("/Mail/") + longName},
        };

        BurnLibrary library;
        w.InitializeDrives(false); // lets go of the drive
        burn::burn_drive_info *info = nullptr;
        QByteArray address = QStringLiteral("stdio:%1").arg(drive.image).toUtf8();
        QCOMPARE(isoburn_drive_aquire(&info, address.data(), 1), 1);
        while (burn_disc_get_status(info[0].drive) == BURN_DISC_UNREADY)
            QTest::qWait(10);
        QList<int> statuses;
        const int matched =
            verifyAgainstSources(info[0].drive, files, [&](const SourceFile &, int status, int) {
                statuses.append(status);
            });
        isoburn_drive_release(info[0].drive, 0);
        burn_drive_info_free(info);
        QCOMPARE(statuses,
                 (QList<int>{DiscWriter::VerifyContentDiffers, DiscWriter::VerifySourceUnreadable,
                             DiscWriter::VerifySizeDiffers, DiscWriter::VerifyDiscUnreadable,
                             DiscWriter::VerifyMatched}));
        QCOMPARE(matched, 1);
    }

    void cancelLeavesTheImageFileAsItWas()
    {
        ImageDrive drive;
        BurnDiscWriter &w = *drive.writer;
        QVERIFY(w.AddFolder(QStringLiteral("\\"), drive.makeSources()));
        QVERIFY(writeAndWait(drive));
        const QByteArray before = readFile(drive.image);
        w.ClearImage();
        const QString big =
            sparseFile(drive.folder.filePath(QStringLiteral("big.wlm")), qint64(3) << 30);
        QVERIFY(w.AddFile(QStringLiteral("\\big.wlm"), big));
        const QMetaObject::Connection aborting =
            connect(&w, &DiscWriter::WriteProgress, &w, [&](int, qint64 done, qint64) {
                if (done > 0)
                    w.AbortWrite();
            });
        drive.events->log.clear();
        QVERIFY(w.StartWrite());
        QVERIFY(drive.events->waitForEnd());
        QVERIFY2(drive.events->names().filter(QRegularExpression(QStringLiteral("^Write[CE]"))) ==
                     QStringList{QStringLiteral("WriteCancelled")},
                 qPrintable(drive.events->log.join(QLatin1Char(' '))));
        QVERIFY(drive.reselect());
        QCOMPARE(readFile(drive.image), before);
        QCOMPARE(w.SessionCount(), 1);

        // The drive is usable again after the cancel.
        disconnect(aborting);
        w.ClearImage();
        QVERIFY(w.AddFolder(QStringLiteral("\\"), drive.makeSources(QStringLiteral("again"))));
        QVERIFY2(writeAndWait(drive), qPrintable(drive.events->log.join(QLatin1Char(' '))));
        QCOMPARE(w.SessionCount(), 2);
    }
};

QUILLORY_TEST(DiscWriterTest)
#include "tst_discwriter.moc"
