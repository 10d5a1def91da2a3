#include "app/tempfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace quillory {

QString temporaryFolder()
{
    // QDir::tempPath() turns a TMPDIR that does not exist into the empty text, which then
    // names the working folder.
    const QString fromEnvironment = qEnvironmentVariable("TMPDIR");
    if (QDir::isAbsolutePath(fromEnvironment) && QFileInfo(fromEnvironment).isDir())
        return QDir::cleanPath(fromEnvironment);
    return QStringLiteral(P_tmpdir);
}

QString sGetTempFile(const QString &sPrefix, const QString &folder)
{
    const QString dir = folder.isEmpty() ? temporaryFolder() : folder;
    const QString stem = sPrefix.left(3);
    // Like GetTempFileName, the number is a 16-bit one; O_EXCL makes a taken name a retry,
    // never a shared file.
    quint32 number = QRandomGenerator::global()->bounded(0x10000u);
    for (int attempt = 0; attempt < 0x10000; ++attempt, number = (number + 1) & 0xffffu) {
        if (number == 0)
            continue;
        const QString path = QDir(dir).filePath(stem + QString::number(number, 16).toUpper() +
                                                QStringLiteral(".tmp"));
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            return QString();
    }
    return QString();
}

} // namespace quillory
