#include "syncrecorder.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>

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

struct Record {
    QMutex mutex;
    QSet<QString> synced;
    QList<std::pair<QByteArray, bool>> renames;
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

int recordSync(int fd, int result)
{
    struct stat st {};
    if (result == 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        QMutexLocker lock(&record().mutex);
        record().synced.insert(stateOf(st));
    }
    return result;
}

} // namespace

void SyncRecorder::clear()
{
    QMutexLocker lock(&record().mutex);
    record().synced.clear();
    record().renames.clear();
}

QList<bool> SyncRecorder::renamesOnto(const QString &target)
{
    QMutexLocker lock(&record().mutex);
    QList<bool> found;
    for (const auto &[to, synced] : std::as_const(record().renames))
        if (to == QFile::encodeName(target))
            found.append(synced);
    return found;
}

} // namespace quillory::test

using quillory::test::record;
using quillory::test::recordSync;
using quillory::test::stateOf;

extern "C" int fsync(int fd)
{
    static const auto real = quillory::test::next<int(int)>("fsync");
    return recordSync(fd, real(fd));
}

extern "C" int fdatasync(int fd)
{
    static const auto real = quillory::test::next<int(int)>("fdatasync");
    return recordSync(fd, real(fd));
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
