#include "fuzzsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace quillory::fuzz {

Scratch::Scratch()
{
    if (!m_dir.isValid())
        fail(QStringLiteral("no scratch folder: %1").arg(m_dir.errorString()));
}

QString Scratch::fresh()
{
    QDir dir(m_dir.path());
    // Extraction may leave folders without write or search permission.
    QDirIterator it(dir.path(),
                    QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (it.fileInfo().isDir() && !it.fileInfo().isSymLink())
            QFile::setPermissions(it.filePath(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    for (const QString &name :
         dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System)) {
        const QFileInfo info(dir.filePath(name));
        const bool removed = info.isDir() && !info.isSymLink()
                                 ? QDir(info.filePath()).removeRecursively()
                                 : QFile::remove(info.filePath());
        if (!removed)
            fail(QStringLiteral("cannot empty the scratch folder: %1").arg(info.filePath()));
    }
    return dir.path();
}

QStringList Scratch::contents() const
{
    QStringList found;
    const QDir root(m_dir.path());
    QDirIterator it(root.path(),
                    QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        found.append(root.relativeFilePath(info.filePath()) +
                     (info.isDir() && !info.isSymLink() ? QStringLiteral("/") : QString()));
    }
    found.sort();
    return found;
}

void writeInput(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush())
        fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
}

void fail(const QString &what)
{
    std::fprintf(stderr, "finding: %s\n", qPrintable(what));
    std::abort();
}

} // namespace quillory::fuzz
