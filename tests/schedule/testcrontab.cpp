#include "testcrontab.h"

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

TestCrontab::TestCrontab()
{
    if (::geteuid() != 0) {
        const ProgramRun own = runProgram(QStringLiteral("crontab"), {QStringLiteral("-l")},
                                          {QStringLiteral("LC_ALL=C")});
        if (own.exitCode == 0)
            m_problem = QStringLiteral(
                "The crontab tests write a crontab: run them as root, which makes a throwaway "
                "user for them, or as a user who has no crontab (this one has one).");
        else if (!own.err.startsWith("no crontab for "))
            m_problem = QStringLiteral("The crontab tests need the crontab program: %1")
                            .arg(QString::fromLocal8Bit(own.err));
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

TestCrontab::~TestCrontab()
{
    if (!isValid())
        return;
    removeCrontab();
    if (!m_name.isEmpty())
        QProcess::execute(systemTool(QStringLiteral("userdel")), {m_name});
}

QStringList TestCrontab::arguments(const QString &action) const
{
    if (m_name.isEmpty())
        return {action};
    return {QStringLiteral("-u"), m_name, action};
}

QByteArray TestCrontab::crontab() const
{
    return runProgram(QStringLiteral("crontab"), arguments(QStringLiteral("-l"))).out;
}

bool TestCrontab::installCrontab(const QByteArray &table) const
{
    return runProgram(QStringLiteral("crontab"), arguments(QStringLiteral("-")), {}, table)
               .exitCode == 0;
}

void TestCrontab::removeCrontab() const
{
    runProgram(QStringLiteral("crontab"), arguments(QStringLiteral("-r")));
}

} // namespace quillory::test
