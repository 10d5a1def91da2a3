#include "syncrecorder.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace quillory::test {

namespace {

// What identifies a file and its contents at one moment: a write changes size or time.
QString stateOf(const struct stat &st)
{
    return QStringLiteral("%1:%2:%3:%4.%5")
        .arg(st.st_dev)
        .arg(st.st_ino)
        .arg(st.st_size)
        .arg(st.st_mtim.tv_sec)
        .arg(st.st_mtim.tv_nsec);
}

struct Rename {
    QByteArray to;
    bool synced = false;
    bool folderSynced = false;
};

struct Record {
    QMutex mutex;
    QSet<QString> synced;
    QList<Rename> renames;
    QRegularExpression failing;
};

Record &record()
{
    static Record instance;
    return instance;
}

template <typename Function> Function *next(const char *name)
{
    return reinterpret_cast<Function *>(dlsym(RTLD_NEXT, name));
}

QString pathOf(int fd)
{
    return QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd));
}

// Calls `sync` on `fd` unless syncs of its path are to fail; records what it synced.
template <typename Sync> int recordSync(int fd, Sync sync)
{
    const QString path = pathOf(fd);
    {
        QMutexLocker lock(&record().mutex);
        if (!record().failing.pattern().isEmpty() && record().failing.match(path).hasMatch()) {
            errno = EIO;
            return -1;
        }
    }
    const int result = sync(fd);
    struct stat st {};
    if (result != 0 || ::fstat(fd, &st) != 0)
        return result;
    QMutexLocker lock(&record().mutex);
    if (S_ISREG(st.st_mode))
        record().synced.insert(stateOf(st));
    else if (S_ISDIR(st.st_mode))
        for (Rename &rename : record().renames)
            if (QFileInfo(QFile::decodeName(rename.to)).absolutePath() == path)
                rename.folderSynced = true;
    return result;
}

} // namespace

void SyncRecorder::clear()
{
    QMutexLocker lock(&record().mutex);
    record().synced.clear();
    record().renames.clear();
    record().failing = {};
}

QList<std::pair<bool, bool>> SyncRecorder::renamesOnto(const QString &target)
{
    QMutexLocker lock(&record().mutex);
    QList<std::pair<bool, bool>> found;
    for (const Rename &rename : std::as_const(record().renames))
        if (rename.to == QFile::encodeName(target))
            found.append({rename.synced, rename.folderSynced});
    return found;
}

void SyncRecorder::failSyncsOf(const QString &pattern)
{
    QMutexLocker lock(&record().mutex);
    record().failing.setPattern(pattern);
}

} // namespace quillory::test

using quillory::test::record;
using quillory::test::recordSync;
using quillory::test::stateOf;

extern "C" int fsync(int fd)
{
    static const auto real = quillory::test::next<int(int)>("fsync");
    return recordSync(fd, real);
}

extern "C" int fdatasync(int fd)
{
    static const auto real = quillory::test::next<int(int)>("fdatasync");
    return recordSync(fd, real);
}

extern "C" int syncfs(int fd) noexcept
{
    static const auto real = quillory::test::next<int(int)>("syncfs");
    return recordSync(fd, real);
}

extern "C" int rename(const char *from, const char *to) noexcept
{
    static const auto real = quillory::test::next<int(const char *, const char *)>("rename");
    struct stat st {};
    if (::lstat(from, &st) == 0 && S_ISREG(st.st_mode)) {
        QMutexLocker lock(&record().mutex);
        record().renames.append({QByteArray(to), record().synced.contains(stateOf(st))});
    }
    return real(from, to);
}
