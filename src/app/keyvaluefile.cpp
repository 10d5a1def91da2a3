#include "app/keyvaluefile.h"

#include <QFile>

namespace quillory {

Result SaveINI(const QString &KeyName, const QString &KeyValue, const QString &filename)
{
    QFile file(filename);
    // Key-value files are staged, and what is staged is its owner's alone.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append, QFile::ReadOwner | QFile::WriteOwner))
        return Result::failure(
            QStringLiteral("Cannot write %1: %2").arg(filename, file.errorString()));
    const QByteArray line = KeyName.toUtf8() + '=' + KeyValue.toUtf8() + "\r\n";
    if (file.write(line) != line.size() || !file.flush())
        return Result::failure(
            QStringLiteral("Cannot write %1: %2").arg(filename, file.errorString()));
    return Result::success();
}

Expected<QString> GetINI(const QString &KeyName, const QString &filename)
{
    QFile file(filename);
    if (!file.open(QIODevice::ReadOnly))
        return Result::failure(
            QStringLiteral("Cannot read %1: %2").arg(filename, file.errorString()));
    const QString wanted = KeyName.toUpper();
    while (!file.atEnd()) {
        QByteArray raw = file.readLine();
        if (raw.endsWith('\n'))
            raw.chop(1);
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (raw.isEmpty())
            break;
        const QString line = QString::fromUtf8(raw);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        if (line.left(eq).toUpper() == wanted)
            return line.mid(eq + 1);
    }
    return QString();
}

} // namespace quillory
