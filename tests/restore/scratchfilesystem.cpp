#include "scratchfilesystem.h"

#include <QFile>
#include <QProcess>
#include <QStorageInfo>

namespace quillory::test {

namespace {

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

ScratchFileSystem::ScratchFileSystem(qint64 bytes)
{
    m_mounted = m_dir.isValid() &&
                run(QStringLiteral("mount"),
                    {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                     QStringLiteral("size=%1").arg(bytes), QStringLiteral("tmpfs"), m_dir.path()});
}

ScratchFileSystem::~ScratchFileSystem()
{
    if (m_mounted)
        run(QStringLiteral("umount"), {m_dir.path()});
}

bool ScratchFileSystem::fill()
{
    QFile filler(m_dir.filePath(QStringLiteral(".filler")));
    if (!filler.open(QIODevice::WriteOnly))
        return false;
    for (const qsizetype size : {64 * 1024, 4096}) {
        const QByteArray block(size, '\0');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.unsetError();
    }
    return QStorageInfo(m_dir.path()).bytesAvailable() == 0;
}

bool ScratchFileSystem::makeReadOnly()
{
    return run(QStringLiteral("mount"),
               {QStringLiteral("-o"), QStringLiteral("remount,ro"), m_dir.path()});
}

} // namespace quillory::test
