#include "backup/storefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>

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

Result checkReadable(const QString &path)
{
    if (const int error = firstByteError(AT_FDCWD, QFile::encodeName(path).constData()); error != 0)
        return Result::failure(
            QStringLiteral("The file %1 cannot be read: %2").arg(path, systemError(error)));
    return Result::success();
}

Result checkTreeReadable(const QString &folder, TreeSize *size,
                         const std::function<void(const WalkedEntry &)> &file)
{
    const QFileInfo root(folder);
    if (!root.isReadable() || !root.isExecutable())
        return folderUnreadable(folder);
    return walkTree(folder, WalkOption::Recurse | WalkOption::RequireReadable,
                    [size, &file](const WalkedEntry &found) {
                        if (found.undecodable && size)
                            size->undecodable.append(found.path);
                        if (found.folder || found.undecodable)
                            return Result::success();
                        if (size) {
                            ++size->files;
                            size->bytes += found.size;
                        }
                        if (file)
                            file(found);
                        return Result::success();
                    });
}

} // namespace quillory
