#include "backup/storefiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace quillory {

namespace {

QStringList entriesIn(const QString &folder, bool (QFileInfo::*kind)() const)
{
    QStringList names;
    // The file system's own order: nothing sorts them.
    const QFileInfoList all = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::NoSort);
    for (const QFileInfo &info : all)
        if ((info.*kind)())
            names.append(info.fileName());
    return names;
}

Result folderUnreadable(const QString &folder)
{
    return Result::failure(QStringLiteral("The folder %1 cannot be read.").arg(folder));
}

bool endsWithNoCase(const QString &name, QLatin1String suffix)
{
    return name.endsWith(suffix, Qt::CaseInsensitive);
}

} // namespace

bool isLdapAccount(const QString &name)
{
    return endsWithNoCase(name, QLatin1String("oeaccount"));
}

bool isContactOrGroup(const QString &name)
{
    return endsWithNoCase(name, QLatin1String("contact")) ||
           endsWithNoCase(name, QLatin1String("group"));
}

bool isMailDatabase(const QString &name)
{
    return endsWithNoCase(name, QLatin1String("msmessagestore"));
}

bool isAnyFile(const QString &name)
{
    return !name.isEmpty();
}

QStringList regularFilesIn(const QString &folder)
{
    return entriesIn(folder, &QFileInfo::isFile);
}

QStringList foldersIn(const QString &folder)
{
    return entriesIn(folder, &QFileInfo::isDir);
}

bool canBeListed(const QString &name)
{
    return !name.contains(QLatin1Char(';')) && !name.contains(QLatin1Char('\r')) &&
           !name.contains(QLatin1Char('\n')) && name.trimmed() == name;
}

namespace {

// The file's size comes from the file opened, not from another look-up of its path.
Result checkReadable(const QString &path, qint64 *size)
{
    QFile file(path);
    char first = 0;
    if (!file.open(QIODevice::ReadOnly) || file.read(&first, 1) < 0)
        return Result::failure(
            QStringLiteral("The file %1 cannot be read: %2").arg(path, file.errorString()));
    if (size)
        *size = file.size();
    return Result::success();
}

} // namespace

Result checkReadable(const QString &path)
{
    return checkReadable(path, nullptr);
}

Result checkTreeReadable(const QString &folder, TreeSize *size)
{
    const QFileInfo root(folder);
    if (!root.isReadable() || !root.isExecutable())
        return folderUnreadable(folder);
    QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir()) {
            if (!info.isReadable() || !info.isExecutable())
                return folderUnreadable(info.filePath());
        } else {
            qint64 bytes = 0;
            if (Result readable = checkReadable(info.filePath(), &bytes); !readable)
                return readable;
            if (size) {
                ++size->files;
                size->bytes += quint64(bytes);
            }
        }
    }
    return Result::success();
}

} // namespace quillory
