#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quillory::test {

// The crontab the tests write, chosen so that no real user's table is ever at stake: as root,
// that of a system user made for the run; as anybody else, the user's own, but only while the
// user has none (it is removed again).
class TestCrontab {
public:
    TestCrontab();
    ~TestCrontab();
    TestCrontab(const TestCrontab &) = delete;
    TestCrontab &operator=(const TestCrontab &) = delete;

    bool isValid() const { return m_problem.isEmpty(); }
    // Why no crontab could be had, and what the tests need.
    const QString &problem() const { return m_problem; }
    // The user whose crontab it is, for `crontab -u`; empty for the caller's own.
    const QString &name() const { return m_name; }

    QByteArray crontab() const;
    bool installCrontab(const QByteArray &table) const;
    void removeCrontab() const;

private:
    QStringList arguments(const QString &action) const;

    QString m_name;
    QString m_problem;
};

} // namespace quillory::test
