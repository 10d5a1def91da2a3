#include "profilefolder.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

using quillory::Result;

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

ProfileFolder::ProfileFolder(QString root) : m_root(std::move(root)) {}

Result ProfileFolder::makeFolder(const QString &relative)
{
    QString done;
    for (const QString &name : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        done += (done.isEmpty() ? QString() : QStringLiteral("/")) + name;
        if (m_folders.contains(done))
            continue;
        const QByteArray path = QFile::encodeName(m_root + QLatin1Char('/') + done);
        struct stat st {};
        if (::lstat(path.constData(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return Result::failure(
                    QStringLiteral("%1 is in the way: it is not a folder of the profile's own")
                        .arg(QFile::decodeName(path)));
        } else if (::mkdir(path.constData(), 0777) != 0) {
            return Result::failure(QStringLiteral("Cannot create the folder %1: %2")
                                       .arg(QFile::decodeName(path), systemError()));
        }
        m_folders.insert(done);
    }
    return Result::success();
}

Result ProfileFolder::makeParent(const QString &relative)
{
    const qsizetype slash = relative.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? Result::success() : makeFolder(relative.left(slash));
}

Result ProfileFolder::clearEntry(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(encoded.constData(), &st) != 0)
        return Result::success();
    if (S_ISDIR(st.st_mode))
        return Result::failure(QStringLiteral("%1 is in the way: it is a folder").arg(path));
    if (::unlink(encoded.constData()) != 0)
        return Result::failure(QStringLiteral("Cannot replace %1: %2").arg(path, systemError()));
    return Result::success();
}

Result ProfileFolder::makeLink(const QString &relative, const QString &target)
{
    const QString path = m_root + QLatin1Char('/') + relative;
    if (Result made = makeParent(relative); !made)
        return made;
    if (Result cleared = clearEntry(path); !cleared)
        return cleared;
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) != 0)
        return Result::failure(
            QStringLiteral("Cannot create the link %1: %2").arg(path, systemError()));
    return Result::success();
}

Result ProfileFolder::writeFile(const QString &relative, const QByteArray &bytes)
{
    return writeFile(relative, [&](QIODevice &out) { return out.write(bytes) == bytes.size(); });
}

Result ProfileFolder::writeFile(const QString &relative,
                                const std::function<bool(QIODevice &)> &produce)
{
    const QString path = m_root + QLatin1Char('/') + relative;
    if (Result made = makeParent(relative); !made)
        return made;
    if (Result cleared = clearEntry(path); !cleared)
        return cleared;
    QFile file(path);
    // NewOnly creates the file exclusively, so a link put there meanwhile is not followed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return Result::failure(
            QStringLiteral("Cannot create %1: %2").arg(path, file.errorString()));
    const bool produced = produce(file);
    const qint64 size = file.pos();
    file.close();
    if (!produced || file.error() != QFileDevice::NoError)
        return Result::failure(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    ++m_files;
    m_bytes += size;
    return Result::success();
}
