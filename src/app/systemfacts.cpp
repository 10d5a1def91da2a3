#include "app/systemfacts.h"

#include <QSysInfo>

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace quillory {

QString computerName()
{
    return QSysInfo::machineHostName().trimmed();
}

QString logonUserName()
{
    // The password database, not $USER: cron and su may leave the environment without it.
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    passwd entry{};
    passwd *found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_name || !*found->pw_name)
        return QStringLiteral("Unknow");
    return QString::fromLocal8Bit(found->pw_name).trimmed();
}

} // namespace quillory
