#include "cli/disccommands.h"

#include "burn/errortexts.h"
#include "cli/exitstatus.h"
#include "cli/progressline.h"
#include "platform/disc/burndiscwriter.h"
#include "platform/disc/imagefiledrives.h"
#include "platform/interruption.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <unistd.h>

namespace quillory {

const char discUsage[] =
    "  drives     list the recorders and image-file drives with their media and free space,\n"
    "             and the paths in QUILLORY_DISC_DRIVES that are not used, with the reason\n"
    "  disc-info [--drive DRIVE]\n"
    "             show what the medium in the drive holds\n"
    "  burn FILE... [--drive DRIVE] [--verify] [--finalize] [--label TEXT] [--test] [--quiet]\n"
    "             write the files and folders, each in the disc's root under its own name,\n"
    "             as a new session that keeps the disc's files (and its label, without\n"
    "             --label); --verify reads every file back and compares it\n"
    "  iso FILE... --output IMAGE [--label TEXT] [--quiet]\n"
    "             make an ISO image of the files and folders\n"
    "  erase [--drive DRIVE] [--full] [--quiet]\n"
    "             erase a re-writable medium (quickly, unless --full)\n"
    "\n"
    "DRIVE is a drive's path as `drives` shows it; the first recorder is the default. Image\n"
    "files listed in QUILLORY_DISC_DRIVES (separated by \":\") act as DVD+RW drives, for\n"
    "making a disc image to burn elsewhere.\n";

namespace {

struct DiscOptions {
    QStringList files;
    QString drive;
    QString output;
    std::optional<QString> label;
    bool verify = false;
    bool finalize = false;
    bool test = false;
    bool full = false;
    bool quiet = false;
};

QString mediaName(int type)
{
    switch (type) {
    case DiscWriter::MediaDvdRom:
        return QStringLiteral("DVD-ROM");
    case DiscWriter::MediaDvdRam:
        return QStringLiteral("DVD-RAM");
    case DiscWriter::MediaDvdR:
        return QStringLiteral("DVD-R");
    case DiscWriter::MediaDvdRw:
        return QStringLiteral("DVD-RW");
    case DiscWriter::MediaDvdPlusRw:
        return QStringLiteral("DVD+RW");
    case DiscWriter::MediaDvdPlusR:
        return QStringLiteral("DVD+R");
    case DiscWriter::MediaDvdPlusRDualLayer:
        return QStringLiteral("DVD+R Dual Layer");
    case DiscWriter::MediaCdRw:
        return QStringLiteral("CD-RW");
    case DiscWriter::MediaNone:
        return QStringLiteral("no medium");
    case DiscWriter::MediaCdR:
        return QStringLiteral("CD-R");
    default:
        return QStringLiteral("other DVD or BD");
    }
}

QString discStatusName(int status)
{
    switch (status) {
    case DiscWriter::DiscEmpty:
        return QStringLiteral("blank");
    case DiscWriter::DiscOpen:
        return QStringLiteral("appendable");
    case DiscWriter::DiscClosed:
        return QStringLiteral("closed");
    default:
        return QStringLiteral("unknown");
    }
}

QString megabytesOf(qint64 blocks)
{
    return FormatMegabytes(double(DiscWriter::BlocksToBytes(blocks, 1)));
}

std::optional<DiscOptions> parse(const QStringList &arguments, QTextStream &err)
{
    DiscOptions options;
    const QString command = arguments.first();
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        const auto value = [&](QString &target) {
            if (i + 1 >= arguments.size())
                return false;
            target = arguments[++i];
            return true;
        };
        bool ok = true;
        if (a == QLatin1String("--drive") && command != QLatin1String("iso"))
            ok = value(options.drive);
        else if (a == QLatin1String("--label") &&
                 (command == QLatin1String("burn") || command == QLatin1String("iso")))
            ok = value(options.label.emplace());
        else if (a == QLatin1String("--output") && command == QLatin1String("iso"))
            ok = value(options.output);
        else if (a == QLatin1String("--verify") && command == QLatin1String("burn"))
            options.verify = true;
        else if (a == QLatin1String("--finalize") && command == QLatin1String("burn"))
            options.finalize = true;
        else if (a == QLatin1String("--test") && command == QLatin1String("burn"))
            options.test = true;
        else if (a == QLatin1String("--full") && command == QLatin1String("erase"))
            options.full = true;
        else if (a == QLatin1String("--quiet") && command != QLatin1String("drives") &&
                 command != QLatin1String("disc-info"))
            options.quiet = true;
        else if (!a.startsWith(QLatin1String("--")) &&
                 (command == QLatin1String("burn") || command == QLatin1String("iso")))
            options.files.append(a);
        else
            ok = false;
        if (!ok) {
            err << "brevnor-cli " << command << ": unexpected argument " << a << '\n';
            return std::nullopt;
        }
    }
    const bool needsFiles = command == QLatin1String("burn") || command == QLatin1String("iso");
    if (needsFiles && options.files.isEmpty()) {
        err << "brevnor-cli " << command << ": no files given\n";
        return std::nullopt;
    }
    if (command == QLatin1String("iso") && options.output.isEmpty()) {
        err << "brevnor-cli iso: --output IMAGE is missing\n";
        return std::nullopt;
    }
    return options;
}

// The index of the drive selected, if any.
std::optional<int> selectDrive(BurnDiscWriter &writer, const QString &wanted, QTextStream &err)
{
    if (!writer.InitializeDrives(false)) {
        err << "Drives cannot be initialized: " << writer.LastError() << '\n';
        return std::nullopt;
    }
    for (int i = 0; i < writer.DeviceCount(); ++i) {
        if (!writer.DeviceIsWriter(i))
            continue;
        if (!wanted.isEmpty() && QFileInfo(writer.DeviceDrive(i)).absoluteFilePath() !=
                                     QFileInfo(wanted).absoluteFilePath())
            continue;
        if (writer.SelectDevice(i))
            return i;
        err << writer.LastError() << '\n';
        return std::nullopt;
    }
    err << (wanted.isEmpty() ? QStringLiteral("There is no recorder.")
                             : QStringLiteral("There is no recorder %1.").arg(wanted))
        << '\n';
    return std::nullopt;
}

const QString defaultLabel = QStringLiteral("Windows Live Mail Backup");

bool addFiles(BurnDiscWriter &writer, const QStringList &files, QTextStream &err)
{
    for (const QString &file : files) {
        const QFileInfo info(file);
        const QString root = QStringLiteral("\\");
        const bool added = info.isDir()
                               ? writer.AddFolder(root + info.fileName(), info.absoluteFilePath())
                               : writer.AddFile(root, info.absoluteFilePath());
        if (!writer.AddNotes().isEmpty())
            err << writer.AddNotes() << '\n';
        if (!added) {
            err << "Cannot add " << file;
            if (!writer.LastError().isEmpty())
                err << ". " << writer.LastError();
            else if (!info.exists() && !info.isSymLink())
                err << ": it does not exist.";
            else if (!info.isFile() && !info.isDir())
                err << ": it is not a file or folder.";
            err << "\nNothing was written.\n";
            return false;
        }
    }
    return true;
}

// Asks the writer to stop once the process is asked to (SIGTERM, SIGINT, SIGHUP); the writer
// leaves the medium or the image file as it was.
void stopOnSignal(BurnDiscWriter &writer, QObject &owner)
{
    auto *poll = new QTimer(&owner);
    QObject::connect(poll, &QTimer::timeout, &writer, [&writer, poll] {
        if (!interruptionRequested())
            return;
        poll->stop();
        writer.AbortWrite();
    });
    poll->start(100);
}

// The status of a run that a stop request met: stopped (the medium or file as before), or
// finished before it could stop.
int afterStopRequest(int status, bool finished, QTextStream &err)
{
    if (!interruptionRequested())
        return status;
    if (finished && status == CliExit::Success) {
        err << "The run had finished before it was asked to stop.\n";
        return status;
    }
    err << "brevnor-cli: " << interruptionText() << '\n';
    return CliExit::Refused;
}

// Moves the progress line with the write, which counts blocks of the image or the disc.
void showWriting(BurnDiscWriter &writer, ProgressLine &line, QObject &owner)
{
    QObject::connect(
        &writer, &DiscWriter::WriteProgress, &owner, [&line](int, qint64 done, qint64 total) {
            line.progress(QString(), total > 0 ? int(done * 100 / total) : 0);
            const auto bytes = [](qint64 blocks) {
                return quint64(DiscWriter::BlocksToBytes(std::max<qint64>(blocks, 0), 1));
            };
            line.bytes(bytes(done), bytes(total));
        });
}

// Runs the event loop until the operation ends; prints its progress and problems on `err`, and
// with `quiet` only its problems.
int follow(BurnDiscWriter &writer, QTextStream &err, bool verify, ProgressLine &line, bool quiet)
{
    QEventLoop loop;
    int status = CliExit::Success;
    bool finished = false;
    bool started = false;
    // Every message takes the progress line's place, and the line is drawn anew below it.
    const auto say = [&](const QString &text) {
        line.clear();
        err << text << '\n' << Qt::flush;
    };
    stopOnSignal(writer, loop);
    // Announced as the first block goes to the drive.
    QObject::connect(&writer, &DiscWriter::CreatingDirectories, &loop, [&] { started = true; });
    showWriting(writer, line, loop);
    QObject::connect(&writer, &DiscWriter::FileError, &loop,
                     [&](int code, const QString &name) { say(FileErrorText(code, name)); });
    QObject::connect(
        &writer, &DiscWriter::WriteError, &loop,
        [&](int category, int code, const QString &text, const QString &sense) {
            say(QStringLiteral("Writing Error: (%1)   %2").arg(category).arg(text));
            if (category == DiscWriter::ErrorDrive)
                say(DriveErrorText(code) + QStringLiteral("\n Error Sense Data: ") + sense);
            // Refused before a block was written: the run changed nothing.
            status = category == DiscWriter::ErrorRefused && !started ? CliExit::Refused
                                                                      : CliExit::ItemFailed;
            loop.quit();
        });
    QObject::connect(&writer, &DiscWriter::WriteCancelled, &loop, [&] {
        say(QStringLiteral("Writing Cancelled!"));
        status = CliExit::ItemFailed;
        loop.quit();
    });
    QObject::connect(&writer, &DiscWriter::WriteCompleted, &loop, [&] {
        if (!quiet)
            say(QStringLiteral("Writing is complete!"));
        finished = true;
        if (!verify)
            loop.quit();
    });
    QObject::connect(&writer, &DiscWriter::VerifyProgress, &loop,
                     [&](const QString &disc, const QString &source, int, int, int result,
                         qint64 done, qint64 total) {
                         if (result != DiscWriter::VerifyMatched)
                             say(QStringLiteral("Verify Error (%1): %2 (disc) %3 (source)")
                                     .arg(result)
                                     .arg(disc, source));
                         line.progress(QStringLiteral("Verifying ") + disc,
                                       total > 0 ? int(done * 100 / total) : 0);
                     });
    QObject::connect(&writer, &DiscWriter::VerifyCompleted, &loop, [&](int compared, int matched) {
        if (!quiet || matched != compared)
            say(QStringLiteral("Auto-Verify...Complete (%1 of %2 MATCHED)")
                    .arg(matched)
                    .arg(compared));
        if (matched != compared)
            status = CliExit::ItemFailed;
        loop.quit();
    });
    // An erase tells nothing until it ends: the line shows how long it has taken.
    QTimer erasing;
    QObject::connect(&erasing, &QTimer::timeout, &loop, [&] { line.progress(QString(), -1); });
    QObject::connect(&writer, &DiscWriter::EraseStarted, &loop, [&] {
        if (!quiet)
            say(QStringLiteral("Erasing Disc...Please Wait!!"));
        line.progress(QStringLiteral("Erasing the disc..."), -1);
        erasing.start(100);
    });
    QObject::connect(&writer, &DiscWriter::EraseCompleted, &loop, [&] {
        if (!quiet)
            say(QStringLiteral("Erase operation complete!!!"));
        finished = true;
        loop.quit();
    });
    loop.exec();
    line.clear();
    return afterStopRequest(status, finished, err);
}

int listDrives(QTextStream &out, QTextStream &err)
{
    BurnDiscWriter writer;
    if (!writer.InitializeDrives(false)) {
        err << "Drives cannot be initialized: " << writer.LastError() << '\n';
        return CliExit::Refused;
    }
    for (int i = 0; i < writer.DeviceCount(); ++i) {
        if (!writer.DeviceIsWriter(i))
            continue;
        out << writer.DeviceDrive(i) << ": " << writer.DeviceVendor(i) << ' '
            << writer.DeviceProduct(i);
        if (writer.SelectDevice(i))
            out << "  " << mediaName(writer.MediaType()) << ", "
                << discStatusName(writer.DiscStatus()) << ", free "
                << megabytesOf(writer.FreeBlocks());
        else
            out << "  " << writer.LastError();
        out << '\n';
    }
    for (const auto &[path, why] :
         sortImageFileDrives(qEnvironmentVariable("QUILLORY_DISC_DRIVES")).leftOut)
        out << path << ": not used, " << why << '\n';
    return CliExit::Success;
}

int discInfo(const DiscOptions &options, QTextStream &out, QTextStream &err)
{
    BurnDiscWriter writer;
    if (!selectDrive(writer, options.drive, err))
        return CliExit::Refused;
    out << "Media Type: " << mediaName(writer.MediaType()) << '\n';
    if (writer.MediaType() == DiscWriter::MediaNone)
        return CliExit::Success;
    QStringList systems;
    const std::pair<int, const char *> names[] = {{DiscWriter::FileSystemIso9660, "ISO9660"},
                                                  {DiscWriter::FileSystemJoliet, "Joliet"},
                                                  {DiscWriter::FileSystemUdf, "UDF"},
                                                  {DiscWriter::FileSystemOther, "Other"}};
    for (const auto &[bit, name] : names)
        if (writer.HasFileSystem(bit))
            systems.append(QLatin1String(name));
    out << "Disc Status: " << discStatusName(writer.DiscStatus()) << '\n'
        << "Free Space: " << megabytesOf(writer.FreeBlocks()) << '\n'
        << "Used Space: " << megabytesOf(writer.UsedBlocks()) << '\n'
        << "Total Capacity: " << megabytesOf(writer.CapacityBlocks()) << '\n'
        << "Number of Sessions: " << writer.SessionCount() << '\n'
        << "Multi-Session Allowed: " << (writer.MultiSessionAllowed() ? "yes" : "no") << '\n'
        << "Import Allowed: " << (writer.ImportAllowed() ? "yes" : "no") << '\n'
        << "Detected File Systems: " << systems.join(QStringLiteral(", ")) << '\n';
    return CliExit::Success;
}

int burn(const DiscOptions &options, QTextStream &err)
{
    BurnDiscWriter writer;
    const std::optional<int> drive = selectDrive(writer, options.drive, err);
    if (!drive)
        return CliExit::Refused;
    // A new session keeps what the disc holds; a file given again replaces its older copy.
    QObject::connect(&writer, &DiscWriter::ReplaceImportedFile, &writer,
                     [](const QString &, const QString &, int, bool &replace) { replace = true; });
    const bool appending = writer.ImportAllowed() && writer.MultiSessionAllowed();
    if (appending && !writer.ImportSession(true)) {
        err << writer.LastError() << '\n';
        return CliExit::Refused;
    }
    if (!addFiles(writer, options.files, err))
        return CliExit::Refused;
    // A session added without a new label keeps the disc's.
    if (options.label || !appending)
        writer.setVolumeLabel(options.label.value_or(defaultLabel));
    if (options.finalize && imageFileDrives().contains(writer.DeviceDrive(*drive)))
        err << "An image file stays appendable: --finalize does not close it.\n";
    writer.setAutoVerify(options.verify && !options.test);
    writer.setFinalizeDisc(options.finalize);
    writer.setTestWrite(options.test);
    err.flush();
    ProgressLine line(STDERR_FILENO, !options.quiet, QStringLiteral("Writing the disc..."));
    if (!writer.StartWrite()) {
        err << "Disc Write could not be started. " << writer.LastError() << '\n';
        return CliExit::Refused;
    }
    return follow(writer, err, writer.AutoVerify(), line, options.quiet);
}

int makeIso(const DiscOptions &options, QTextStream &err)
{
    BurnDiscWriter writer;
    if (!addFiles(writer, options.files, err))
        return CliExit::Refused;
    writer.setVolumeLabel(options.label.value_or(defaultLabel));
    stopOnSignal(writer, writer);
    err.flush();
    ProgressLine line(STDERR_FILENO, !options.quiet, QStringLiteral("Making the image..."));
    showWriting(writer, line, writer);
    QObject::connect(&writer, &DiscWriter::FileError, &writer, [&](int code, const QString &name) {
        line.clear();
        err << FileErrorText(code, name) << '\n' << Qt::flush;
    });
    const bool made = writer.SaveImageToFile(options.output);
    line.clear();
    if (!made) {
        if (interruptionRequested())
            return afterStopRequest(CliExit::ItemFailed, false, err);
        err << "Error creating ISO File. " << writer.LastError() << '\n';
        return CliExit::ItemFailed;
    }
    if (!options.quiet)
        err << "ISO File Created successfully!\n";
    return afterStopRequest(CliExit::Success, true, err);
}

int erase(const DiscOptions &options, QTextStream &err)
{
    BurnDiscWriter writer;
    if (!selectDrive(writer, options.drive, err))
        return CliExit::Refused;
    // An erase cannot be stopped once it runs; asked before, it does not start.
    if (interruptionRequested())
        return afterStopRequest(CliExit::Refused, false, err);
    err.flush();
    ProgressLine line(STDERR_FILENO, !options.quiet, QStringLiteral("Erasing the disc..."));
    if (!writer.EraseDisc(!options.full)) {
        err << "Error Erasing Disc!!! " << writer.LastError() << '\n';
        return CliExit::Refused;
    }
    return follow(writer, err, false, line, options.quiet);
}

} // namespace

bool isDiscCommand(const QString &command)
{
    for (const char *name : {"drives", "disc-info", "burn", "iso", "erase"})
        if (command == QLatin1String(name))
            return true;
    return false;
}

int runDiscCommand(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const std::optional<DiscOptions> options = parse(arguments, err);
    if (!options)
        return CliExit::Refused;
    const QString &command = arguments.first();
    if (command == QLatin1String("drives"))
        return listDrives(out, err);
    if (command == QLatin1String("disc-info"))
        return discInfo(*options, out, err);
    if (command == QLatin1String("burn"))
        return burn(*options, err);
    if (command == QLatin1String("iso"))
        return makeIso(*options, err);
    return erase(*options, err);
}

} // namespace quillory
