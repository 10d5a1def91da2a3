#include "throwawayuser.h"

#include "support/testsupport.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

namespace quillory::test {

namespace {

QString systemTool(const QString &name)
{
    const QString onPath = QStandardPaths::findExecutable(name);
    return onPath.isEmpty() ? QStandardPaths::findExecutable(
                                  name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
                            : onPath;
}

} // namespace

ThrowawayUser::ThrowawayUser()
{
    if (::geteuid() != 0) {
        m_problem = QStringLiteral("Only root can make a throwaway user for the crontab tests.");
        return;
    }
    const QString useradd = systemTool(QStringLiteral("useradd"));
    if (useradd.isEmpty() || systemTool(QStringLiteral("userdel")).isEmpty()) {
        m_problem = QStringLiteral("useradd and userdel are needed for a throwaway user.");
        return;
    }
    static int made = 0;
    const QString name =
        QStringLiteral("qlrydlg%1x%2").arg(QCoreApplication::applicationPid()).arg(++made);
    if (QProcess::execute(useradd, {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                                    QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"),
                                    name}) != 0) {
        m_problem = QStringLiteral("useradd could not make %1.").arg(name);
        return;
    }
    m_name = name;
}

ThrowawayUser::~ThrowawayUser()
{
    if (!isValid())
        return;
    removeCrontab();
    QProcess::execute(systemTool(QStringLiteral("userdel")), {m_name});
}

QByteArray ThrowawayUser::crontab() const
{
    return runProgram(QStringLiteral("crontab"),
                      {QStringLiteral("-u"), m_name, QStringLiteral("-l")})
        .out;
}

bool ThrowawayUser::installCrontab(const QByteArray &table) const
{
    return runProgram(QStringLiteral("crontab"),
                      {QStringLiteral("-u"), m_name, QStringLiteral("-")}, {}, table)
               .exitCode == 0;
}

void ThrowawayUser::removeCrontab() const
{
    runProgram(QStringLiteral("crontab"), {QStringLiteral("-u"), m_name, QStringLiteral("-r")});
}

} // namespace quillory::test
