#include "platform/disc/burndiscwriter.h"

#include "platform/disc/burnheaders.h"

#include <QFile>

#include <sys/stat.h>

namespace quillory {

std::optional<QString> BurnDiscWriter::holdsFile(const QString &imagePath) const
{
    struct stat image {};
    if (::stat(QFile::encodeName(imagePath).constData(), &image) != 0)
        return std::nullopt;
    for (const SourceFile &file : m_compilation.sourceFiles()) {
        struct stat source {};
        if (::stat(QFile::encodeName(file.sourcePath).constData(), &source) == 0 &&
            source.st_dev == image.st_dev && source.st_ino == image.st_ino)
            return QStringLiteral("The compilation holds %1, the image file being written: "
                                  "an image cannot hold itself.")
                .arg(file.sourcePath);
    }
    return std::nullopt;
}

void BurnDiscWriter::forgetImported()
{
    if (const int dropped = m_compilation.dropImported(
            [this](const QString &key) { Q_EMIT DirectoryRemoved(key, 0, true); }))
        Q_EMIT ImportedFilesDropped(dropped);
}

void BurnDiscWriter::announceAdded(const QString &parent, const QString &key, const QString &name)
{
    Q_EMIT DirectoryAdded(parent, key, name, 0, true);
}

bool BurnDiscWriter::askReplace(const QString &key, const QString &sourcePath)
{
    bool replace = false;
    Q_EMIT ReplaceImportedFile(key, sourcePath, 0, replace);
    return replace;
}

void BurnDiscWriter::ClearImage()
{
    if (m_busy)
        return;
    m_compilation.clear();
    Q_EMIT ImageCleared();
}

bool BurnDiscWriter::AddFile(const QString &discPath, const QString &sourcePath)
{
    return add(&Compilation::addFile, discPath, sourcePath);
}

bool BurnDiscWriter::AddFolder(const QString &discPath, const QString &sourceFolder)
{
    return add(&Compilation::addFolder, discPath, sourceFolder);
}

bool BurnDiscWriter::add(Adding adding, const QString &discPath, const QString &source)
{
    m_lastError.clear();
    m_addNotes.clear();
    if (m_busy)
        return refuse(QStringLiteral("Nothing can be added while a disc operation runs."));
    AddReport report;
    const bool added = (m_compilation.*adding)(
        discPath, source,
        [this](const QString &p, const QString &k, const QString &n) { announceAdded(p, k, n); },
        [this](const QString &k, const QString &s) { return askReplace(k, s); }, &report);
    m_lastError = report.refusal();
    m_addNotes = report.notes();
    return added;
}

bool BurnDiscWriter::RemoveItem(const QString &key)
{
    bool directory = false;
    if (m_busy || !m_compilation.remove(key, &directory))
        return false;
    if (directory)
        Q_EMIT DirectoryRemoved(Compilation::normalizedKey(key), 0, true);
    return true;
}

bool BurnDiscWriter::RenameFile(const QString &key, const QString &newName)
{
    return !m_busy && m_compilation.rename(key, newName, false).has_value();
}

bool BurnDiscWriter::RenameDirectory(const QString &key, const QString &newName)
{
    const std::optional<QString> newKey =
        m_busy ? std::nullopt : m_compilation.rename(key, newName, true);
    if (!newKey)
        return false;
    Q_EMIT DirectoryRenamed(Compilation::normalizedKey(key), *newKey, true);
    return true;
}

void BurnDiscWriter::ListDirectory(const QString &key)
{
    for (const Compilation::Entry &entry : m_compilation.list(key))
        Q_EMIT FileListed(0, entry.key, entry.name, 0, entry.isDirectory, entry.date, entry.size);
}

qint64 BurnDiscWriter::ImageBlocks()
{
    const Expected<qint64> blocks = m_compilation.imageBlocks(JolietNames() == 1);
    BurnLibrary::takeMessages();
    return blocks ? *blocks : 0;
}

bool BurnDiscWriter::ImportSession(bool)
{
    if (!ready(QStringLiteral("Import")))
        return false;
    if (!facts().importable)
        return refuse(QStringLiteral("The medium holds no ISO 9660 session to import."));
    isoburn_read_opts *options = nullptr;
    isoburn_ropt_new(&options, 0);
    isoburn_ropt_set_extensions(options, isoburn_ropt_noacl | isoburn_ropt_noea);
    IsoImage *image = nullptr;
    const bool loaded = isoburn_read_image(m_drive, options, &image) == 1 && image;
    isoburn_ropt_destroy(&options, 0);
    BurnLibrary::takeMessages();
    if (!loaded)
        return refuse(QStringLiteral("The newest session of the medium cannot be read."));
    AddReport report;
    if (!m_compilation.adoptKeeping(image, &report))
        return refuse(report.refused() ? report.refusal()
                                       : QStringLiteral("The files added before cannot be kept "
                                                        "beside the imported ones."));
    m_importReadable = true;
    Q_EMIT ImageCleared();
    setVolumeLabel(QString::fromUtf8(iso_image_get_volume_id(image)));
    m_compilation.announceDirectories(
        [this](const QString &p, const QString &k, const QString &n) { announceAdded(p, k, n); });
    return true;
}

} // namespace quillory
