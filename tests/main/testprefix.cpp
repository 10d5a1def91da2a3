#include "testprefix.h"

#include "support/testsupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

namespace quillory::test {

TestPrefix::TestPrefix(Profile profile)
{
    QByteArray reg = "WINE REGISTRY Version 2\n\n#arch=win64\n\n";
    if (profile != Profile::WithoutMailClient)
        reg +=
            "[Software\\\\Microsoft\\\\Windows Live Mail] 0\n"
            "\"Store Root\"=\"C:\\\\users\\\\me\\\\AppData\\\\Local\\\\Microsoft\\\\Windows Live "
            "Mail\"\n\n"
            "[Software\\\\Microsoft\\\\Windows Live Mail\\\\Rules\\\\Mail\\\\000] 0\n"
            "\"Name\"=\"To the archive\"\n\n";
    reg += "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders] 0\n";
    if (profile != Profile::WithoutLocalAppData)
        reg += "\"Local AppData\"=\"C:\\\\users\\\\me\\\\AppData\\\\Local\"\n";
    reg += "\"Personal\"=\"C:\\\\users\\\\me\\\\Documents\"\n";

    m_valid = m_dir.isValid() && writeFile(m_dir.filePath(QStringLiteral("user.reg")), reg) &&
              QDir(m_dir.path()).mkpath(QStringLiteral("dosdevices")) &&
              QFile::link(QStringLiteral("../drive_c"),
                          m_dir.filePath(QStringLiteral("dosdevices/c:"))) &&
              QDir().mkpath(storeFolder()) &&
              writeFile(storeFolder() + QStringLiteral("/Inbox/message.eml"), "Subject: hi\r\n");
}

QString TestPrefix::storeFolder() const
{
    return m_dir.filePath(
        QStringLiteral("drive_c/users/me/AppData/Local/Microsoft/Windows Live Mail"));
}

} // namespace quillory::test
