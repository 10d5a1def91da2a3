#include "platform/secretfile.h"

#include <QFile>

#include <sys/stat.h>

namespace quillory {

QString readableByOthers(const QString &path, const QString &what)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || (st.st_mode & 044) == 0)
        return QString();
    return QStringLiteral("%1 %2 can be read by other users, and it holds a password: make it "
                          "readable by you alone (chmod 600).")
        .arg(what, path);
}

} // namespace quillory
